// The tests' own program with windows to find and buttons to press. It logs
// every mouse message its buttons receive, and each BN_CLICKED that reaches
// a parent, one line at a time, to the file named first on its command line.
//
//   target_app.exe LOG WINDOW-OR-BUTTON...
//     W:title    a new top-level window
//     B:caption  a button, a direct child of the last top-level window
//     P:caption  a panel (a plain child window) of the last top-level window
//     I:caption  a button inside the last panel (a grandchild)
//     N:count    that many more buttons "n0".."n{count-1}" of the last top-level window
//     HANG       after "ready", stop handling messages
//
// Log lines: "ready", "<button> <message> <wParam> <lParam> <qpc>" and
// "clicked <button>"; buttons are numbered in creation order from 0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
HANDLE g_hLog = INVALID_HANDLE_VALUE;
std::vector<HWND> g_buttons;
WNDPROC g_pfnButton = nullptr;

void Log(const std::string& line)
{
    std::string s = line + "\n";
    DWORD written = 0;
    WriteFile(g_hLog, s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}

int ButtonIndex(HWND hWnd)
{
    for (size_t i = 0; i < g_buttons.size(); ++i)
        if (g_buttons[i] == hWnd)
            return static_cast<int>(i);
    return -1;
}

const char* MouseName(UINT message)
{
    switch (message) {
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP: return "WM_LBUTTONUP";
    case WM_LBUTTONDBLCLK: return "WM_LBUTTONDBLCLK";
    case WM_RBUTTONDOWN: return "WM_RBUTTONDOWN";
    case WM_RBUTTONUP: return "WM_RBUTTONUP";
    case WM_MBUTTONDOWN: return "WM_MBUTTONDOWN";
    case WM_MBUTTONUP: return "WM_MBUTTONUP";
    default: return nullptr;
    }
}

LRESULT CALLBACK ButtonProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (const char* name = MouseName(message)) {
        LARGE_INTEGER qpc;
        QueryPerformanceCounter(&qpc);
        char line[160];
        std::snprintf(line, sizeof(line), "%d %s %llu %lld %lld", ButtonIndex(hWnd), name,
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
        Log(line);
        return 0;
    }
    if (message == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

HWND AddButton(HWND hParent, const char* caption, int slot)
{
    HWND h = CreateWindowExA(0, "BUTTON", caption, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                             10 + (slot % 4) * 90, 10 + (slot / 4 % 8) * 30, 80, 24, hParent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(100 + slot)),
                             GetModuleHandleA(nullptr), nullptr);
    WNDPROC old = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ButtonProc)));
    if (!g_pfnButton)
        g_pfnButton = old;
    g_buttons.push_back(h);
    return h;
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
    int topCount = 0, slot = 0;
    for (int i = 2; i < __argc; ++i) {
        const char* a = __argv[i];
        std::string arg = a;
        if (arg == "HANG") {
            hang = true;
            continue;
        }
        if (arg.size() < 2 || arg[1] != ':')
            return 4;
        const char* text = a + 2;
        switch (arg[0]) {
        case 'W':
            hTop = CreateWindowExA(0, wc.lpszClassName, text, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                   420 + 30 * topCount, 40 + 40 * topCount, 400, 300, nullptr,
                                   nullptr, hInstance, nullptr);
            ++topCount;
            slot = 0;
            break;
        case 'B':
            AddButton(hTop, text, slot++);
            break;
        case 'P':
            hPanel = CreateWindowExA(0, wc.lpszClassName, text, WS_CHILD | WS_VISIBLE | WS_BORDER,
                                     10, 200, 370, 60, hTop, nullptr, hInstance, nullptr);
            break;
        case 'I':
            AddButton(hPanel, text, 0);
            break;
        case 'N': {
            int count = std::atoi(text);
            for (int k = 0; k < count; ++k) {
                char name[32];
                std::snprintf(name, sizeof(name), "n%d", k);
                AddButton(hTop, name, slot++);
            }
            break;
        }
        default:
            return 4;
        }
    }
    Log("ready");
    if (hang)
        Sleep(INFINITE);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    CloseHandle(g_hLog);
    return 0;
}
