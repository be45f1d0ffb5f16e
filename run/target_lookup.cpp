#include "run/target_lookup.h"

#include "run/target_path.h"

HWND FindTarget(CString path)
{
    CString top = PopTargetToken(path);
    HWND hTop = ::FindWindowA(nullptr, top);
    if (!hTop)
        return nullptr;
    HWND hResult = nullptr;
    for (CString name = PopTargetToken(path); !name.IsEmpty(); name = PopTargetToken(path)) {
        HWND hChild = ::GetWindow(hTop, GW_CHILD);
        if (!hChild)
            return hResult;
        for (; hChild; hChild = ::GetWindow(hChild, GW_HWNDNEXT)) {
            CString text;
            CWnd(hChild).GetWindowText(text);
            if (_mbscmp(reinterpret_cast<const unsigned char*>(text.GetString()),
                        reinterpret_cast<const unsigned char*>(name.GetString())) == 0) {
                hResult = hChild;
                break;
            }
        }
    }
    return hResult;
}

int PressTarget(const CString& path, PostMessageFn pfnPost, DWORD* pdwRefused)
{
    if (pdwRefused)
        *pdwRefused = 0;
    HWND hTarget = FindTarget(path);
    if (!hTarget)
        return 0;
    static const UINT kClick[] = {WM_LBUTTONDOWN, WM_LBUTTONDOWN, WM_LBUTTONUP};
    for (UINT message : kClick) {
        // The lookup leaves its own errors behind.
        ::SetLastError(0);
        if (!pfnPost(hTarget, message, 0, 0)) {
            DWORD dwError = ::GetLastError();
            if (pdwRefused)
                *pdwRefused = dwError ? dwError : ERROR_GEN_FAILURE;
            return 0;
        }
    }
    return 1;
}
