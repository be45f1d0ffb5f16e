// Looks at a running Zelvano from outside, for run.sh and the demo:
//   zelvano_probe report   waits for the main window and prints its report (UTF-8)
//   zelvano_probe close    presses its OK button and waits for it to go
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
    if (std::strcmp(argv[1], "close") == 0) {
        PostMessageA(hMain, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 500 && IsWindow(hMain); ++i)
            Sleep(10);
        return IsWindow(hMain) ? 1 : 0;
    }
    return 2;
}
