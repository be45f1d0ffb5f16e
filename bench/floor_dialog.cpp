// The dialog floor: a dialog from a template like Zelvano's main window that
// presses the target named on its command line in WM_INITDIALOG, as Zelvano
// does, and shows a one-line result in edit box 1000. OK or Esc ends it.
#include "bench/floor_press.h"

namespace {
const char* g_pszPath = "";

INT_PTR CALLBACK FloorDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(hDlg, 1000, FloorPress(g_pszPath) ? "pressed" : "not found");
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndDialog(hDlg, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}
}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int)
{
    g_pszPath = lpCmdLine;
    DialogBoxParamA(hInstance, MAKEINTRESOURCEA(102), nullptr, FloorDialogProc, 0);
    return 0;
}
