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

TargetCheck CheckTarget(HWND hWnd, const CString& window, const CString& button)
{
    HWND hParent = ::GetParent(hWnd);
    if (!(::GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD))
        return TARGET_NOT_CHILD;
    if (::GetWindowLongA(hParent, GWL_STYLE) & WS_CHILD)
        return TARGET_NESTED;
    if (window.Find(',') >= 0 || button.Find(',') >= 0)
        return TARGET_COMMA;
    if (window.IsEmpty() || button.IsEmpty())
        return TARGET_UNNAMED;
    HWND hFound = FindTarget(window + "," + button);
    if (hFound == hWnd)
        return TARGET_OK;
    HWND hTop = ::FindWindowA(nullptr, window);
    if (hTop && hTop != hParent)
        return TARGET_TITLE_TAKEN;
    return hTop && hFound ? TARGET_CAPTION_TAKEN : TARGET_LOST;
}
