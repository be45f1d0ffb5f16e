#include "run/target_list.h"

namespace {
const char kSection[] = "BUTTON";
const char kKeyPrefix[] = "BTN";

CString TargetKey(int n)
{
    CString key;
    key.Format("%s%d", kKeyPrefix, n + 1);
    return key;
}
}  // namespace

CString ReadTarget(int n)
{
    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return CString();
    return pApp->GetProfileString(kSection, TargetKey(n), "");
}

BOOL WriteTarget(const CString& text, int n)
{
    CWinApp* pApp = AfxGetApp();
    if (!pApp || text.Find('\r') >= 0 || text.Find('\n') >= 0)
        return FALSE;
    return pApp->WriteProfileString(kSection, TargetKey(n), text);
}
