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

bool HasLineBreak(const CString& text)
{
    return text.Find('\r') >= 0 || text.Find('\n') >= 0;
}

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
    if (!pApp || HasLineBreak(text))
        return FALSE;
    return pApp->WriteProfileString(kSection, TargetKey(n), text);
}

BOOL WriteTargets(const CStringList& targets)
{
    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return FALSE;
    CArray<CProfileValue> values;
    int n = 0;
    for (POSITION pos = targets.GetHeadPosition(); pos; ++n) {
        const CString& text = targets.GetNext(pos);
        if (HasLineBreak(text))
            return FALSE;
        values.Add(CProfileValue{TargetKey(n), text});
    }
    values.Add(CProfileValue{TargetKey(n), CString()});
    return pApp->GetProfileFile().WriteStrings(kSection, values);
}
