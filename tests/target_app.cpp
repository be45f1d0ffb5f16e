// The tests' own program with windows to find and buttons to press:
//   target_app.exe LOG ARG...
//     W:title  a top-level window     B:caption  a button of the last one
//     P:caption  a panel of it        I:caption  a button in that panel
//     G:caption  a group box of it around its first two rows of buttons, made before them (so above them)
//     N:count  buttons "n0".. of it   HANG       stops handling messages after "ready"
// LOG gets "ready", "<button> <message> <wParam> <lParam> <qpc>" for each mouse
// message a button receives, and "clicked <button>" for each BN_CLICKED;
// buttons are numbered from 0 in creation order.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
HANDLE g_hLog = INVALID_HANDLE_VALUE;
int g_nButtons = 0;
WNDPROC g_pfnButton = nullptr;

void Log(const char* line)
{
    DWORD written = 0;
    std::string s = std::string(line) + "\n";
    WriteFile(g_hLog, s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}

int ButtonIndex(HWND hWnd) { return static_cast<int>(GetWindowLongPtrA(hWnd, GWLP_USERDATA)); }

LRESULT CALLBACK ButtonProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const char* const kNames[] = {"WM_LBUTTONDOWN", "WM_LBUTTONUP", "WM_LBUTTONDBLCLK", "WM_RBUTTONDOWN",
                                         "WM_RBUTTONUP", "WM_RBUTTONDBLCLK", "WM_MBUTTONDOWN", "WM_MBUTTONUP"};
    if (message >= WM_LBUTTONDOWN && message <= WM_MBUTTONUP) {
        LARGE_INTEGER qpc;
        QueryPerformanceCounter(&qpc);
        char line[160];
        std::snprintf(line, sizeof(line), "%d %s %llu %lld %lld", ButtonIndex(hWnd), kNames[message - WM_LBUTTONDOWN],
                      static_cast<unsigned long long>(wParam), static_cast<long long>(lParam),
                      static_cast<long long>(qpc.QuadPart));
        Log(line);
    }
    return CallWindowProcA(g_pfnButton, hWnd, message, wParam, lParam);
}

LRESULT CALLBACK FrameProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        char line[64];
        std::snprintf(line, sizeof(line), "clicked %d", ButtonIndex(reinterpret_cast<HWND>(lParam)));
        return Log(line), 0;
    }
    if (message == WM_CLOSE)
        return PostQuitMessage(0), 0;
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

// A top-level window is shown without taking the focus, which would end another test's drag.
HWND Add(const char* cls, const char* text, DWORD style, int x, int y, int cx, int cy, HWND hParent, int id = 0)
{
    HWND h = CreateWindowExA(0, cls, text, style | (hParent ? WS_VISIBLE : 0), x, y, cx, cy, hParent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    if (!hParent)
        ShowWindow(h, SW_SHOWNOACTIVATE);
    return h;
}

void AddButton(HWND hParent, const char* caption, int slot)
{
    HWND h = Add("BUTTON", caption, WS_CHILD | BS_PUSHBUTTON, 10 + slot % 4 * 90, 10 + slot / 4 % 8 * 30, 80, 24,
                 hParent, 100 + slot);
    SetWindowLongPtrA(h, GWLP_USERDATA, g_nButtons++);
    g_pfnButton = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(h, GWLP_WNDPROC, LONG_PTR(ButtonProc)));
}
}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    if (__argc < 2)
        return 2;
    g_hLog = CreateFileA(__argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_hLog == INVALID_HANDLE_VALUE)
        return 3;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "ZelvanoTestFrame";
    RegisterClassA(&wc);
    bool hang = false;
    HWND hTop = nullptr, hPanel = nullptr;
    for (int i = 2, tops = 0, slot = 0; i < __argc; ++i) {
        const std::string a = __argv[i];
        const char* text = __argv[i] + 2;
        if (a == "HANG")
            hang = true;
        else if (a.compare(0, 2, "W:") == 0) {
            hTop = Add(wc.lpszClassName, text, WS_OVERLAPPEDWINDOW, 420 + 30 * tops, 40 + 40 * tops, 400, 300, nullptr);
            ++tops, slot = 0;
        } else if (a.compare(0, 2, "B:") == 0)
            AddButton(hTop, text, slot++);
        else if (a.compare(0, 2, "P:") == 0)
            hPanel = Add(wc.lpszClassName, text, WS_CHILD | WS_BORDER, 10, 200, 370, 60, hTop);
        else if (a.compare(0, 2, "G:") == 0)
            Add("BUTTON", text, WS_CHILD | BS_GROUPBOX, 5, 0, 370, 72, hTop);
        else if (a.compare(0, 2, "I:") == 0)
            AddButton(hPanel, text, 0);
        else if (a.compare(0, 2, "N:") == 0)
            for (int k = 0, n = std::atoi(text); k < n; ++k)
                AddButton(hTop, ("n" + std::to_string(k)).c_str(), slot++);
        else
            return 4;
    }
    Log("ready");
    if (hang)
        Sleep(INFINITE);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        TranslateMessage(&msg), DispatchMessageA(&msg);
    return CloseHandle(g_hLog), 0;
}
