#include "run/target_path.h"

CString PopTargetToken(CString& path)
{
    int nComma = path.Find(',');
    if (nComma < 0) {
        CString name = path;
        path.Empty();
        return name;
    }
    CString name = path.Left(nComma);
    path = path.Mid(nComma + 1);
    return name;
}
