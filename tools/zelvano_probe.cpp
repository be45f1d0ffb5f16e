// Looks at a running Zelvano from outside, for run.sh and the demo:
//   zelvano_probe report   waits for the main window and prints its report (UTF-8)
//   zelvano_probe close    presses its OK button and waits for it to go
//   zelvano_probe settings opens the settings dialog from the system menu, waits
//                          for it and prints "marker X Y", the marker's centre on
//                          the screen, where a drag starts
//   zelvano_probe aside    moves the main window to the screen's bottom right
//   zelvano_probe button TITLE CAPTION
//                          prints "left top right bottom", the screen rectangle
//                          of the client area of that button of that window
#include <windows.h>

#include <cstring>
#include <string>

namespace {
HWND WaitForMainWindow(int timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND h = FindWindowA("#32770", "zelvano");
        if (h && IsWindowVisible(h))
            return h;
        if (static_cast<int>(GetTickCount() - start) > timeoutMs)
            return nullptr;
        Sleep(20);
    }
}

void WriteOut(const std::string& s)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    HWND hMain = WaitForMainWindow(15000);
    if (!hMain) {
        WriteOut("zelvano's window did not appear\n");
        return 1;
    }
    if (std::strcmp(argv[1], "report") == 0) {
        HWND hEdit = GetDlgItem(hMain, 1000);
        wchar_t text[8192] = {};
        SendMessageW(hEdit, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text));
        int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(n > 0 ? n - 1 : 0, '\0');
        if (n > 1)
            WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], n, nullptr, nullptr);
        WriteOut(utf8 + "\n");
        // Let the window finish painting before anyone takes a picture.
        RedrawWindow(hMain, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(300);
        return 0;
    }
    if (std::strcmp(argv[1], "settings") == 0) {
        PostMessageA(hMain, WM_SYSCOMMAND, 0x0010, 0);
        HWND hSettings = nullptr;
        for (int i = 0; i < 500 && !hSettings; ++i) {
            HWND h = FindWindowW(L"#32770", L"設定とﾊﾞｰｼﾞｮﾝ情報");
            if (h && IsWindowVisible(h))
                hSettings = h;
            else
                Sleep(20);
        }
        if (!hSettings) {
            WriteOut("the settings dialog did not appear\n");
            return 1;
        }
        RECT rc = {};
        GetWindowRect(GetDlgItem(hSettings, 1001), &rc);
        char line[64];
        wsprintfA(line, "marker %ld %ld\n", (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        WriteOut(line);
        RedrawWindow(hSettings, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(300);
        return 0;
    }
    if (std::strcmp(argv[1], "aside") == 0) {
        RECT rc = {};
        GetWindowRect(hMain, &rc);
        SetWindowPos(hMain, nullptr, GetSystemMetrics(SM_CXSCREEN) - (rc.right - rc.left),
                     GetSystemMetrics(SM_CYSCREEN) - (rc.bottom - rc.top), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Sleep(300);
        return 0;
    }
    if (std::strcmp(argv[1], "button") == 0 && argc == 4) {
        HWND hButton = FindWindowExA(FindWindowA(nullptr, argv[2]), nullptr, nullptr, argv[3]);
        RECT rc = {};
        if (!hButton || !GetClientRect(hButton, &rc))
            return 1;
        MapWindowPoints(hButton, nullptr, reinterpret_cast<POINT*>(&rc), 2);
        char line[64];
        wsprintfA(line, "%ld %ld %ld %ld\n", rc.left, rc.top, rc.right, rc.bottom);
        WriteOut(line);
        return 0;
    }
    if (std::strcmp(argv[1], "close") == 0) {
        PostMessageA(hMain, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 500 && IsWindow(hMain); ++i)
            Sleep(10);
        return IsWindow(hMain) ? 1 : 0;
    }
    return 2;
}
