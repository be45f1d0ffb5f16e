#include "tests/testkit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "res/resource.h"

namespace testkit {

const Strings kOnePress = {"WM_LBUTTONDOWN 0 0", "WM_LBUTTONDOWN 0 0", "WM_LBUTTONUP 0 0"};

std::string Str(const CString& s) { return std::string(s.GetString(), static_cast<size_t>(s.GetLength())); }

Strings Items(const CStringList& list)
{
    Strings out;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        out.push_back(Str(list.GetNext(pos)));
    return out;
}

std::string Shown(int n, const std::string& window, const std::string& button, const std::string& tail)
{
    return std::to_string(n) + ")\"" + window + "\"ｳｨﾝﾄﾞの\"" + button + "\"ボタン" + tail;
}

std::string WithPid(const std::string& name) { return name + " " + std::to_string(GetCurrentProcessId()); }

bool UnderCi()
{
    const char* ci = std::getenv("CI");
    return ci && *ci && std::strcmp(ci, "false") != 0 && std::strcmp(ci, "0") != 0;
}

namespace {
void PrintAndEnd(const std::string& what)
{
    std::fprintf(stderr, "%s\n", what.c_str());
    ExitProcess(1);
}

FailureHandler g_failure = PrintAndEnd;
}  // namespace

void Fail(const std::string& what) { g_failure(what); }

void SetFailureHandler(FailureHandler handler) { g_failure = handler; }

std::string BuildDir()
{
    char path[MAX_PATH] = {};
    std::string s(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    return s.substr(0, s.find_last_of('\\', s.find_last_of('\\') - 1));  // <build>\tests\name.exe
}

std::string TempPath(const std::string& stem)
{
    char dir[MAX_PATH] = {}, name[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    static unsigned counter = 0;
    std::snprintf(name, sizeof(name), "%s%s-%lu-%u-%lu", dir, stem.c_str(), GetCurrentProcessId(), ++counter,
                  GetTickCount());
    DeleteFileA(name);
    return name;
}

std::string ReadFile(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (h != INVALID_HANDLE_VALUE && ::ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0)
        out.append(buf, got);
    return CloseHandle(h), out;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Utf16(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(932, 0, text.data(), int(text.size()), &wide[0], int(wide.size())));
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    bool ok = h != INVALID_HANDLE_VALUE &&
              ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    return CloseHandle(h), ok;
}

Strings SaveTempsOf(const std::string& profile)
{
    Strings out;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((profile + "*.tmp").c_str(), &data);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &data))
        out.push_back(data.cFileName);
    if (h != INVALID_HANDLE_VALUE)
        FindClose(h);
    return out;
}

bool UnixSymlink(const std::string& target, const std::string& link)
{
    typedef char* (CDECL * UnixNameFn)(LPCWSTR);
    auto pfnUnix = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    auto unixName = [&](const std::string& path) {
        std::wstring wide(path.size() + 1, L'\0');
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], int(wide.size()));
        char* name = pfnUnix ? pfnUnix(wide.c_str()) : nullptr;
        std::string s = name ? name : "";
        HeapFree(GetProcessHeap(), 0, name);
        return s;
    };
    // The parent folder exists; the link itself must not, or Wine could not name it.
    const size_t slash = link.find_last_of('\\');
    const std::string from = unixName(target), folder = unixName(link.substr(0, slash));
    if (from.empty() || folder.empty())
        return false;
    // Wine starts a Unix program but may report no process for it: the link tells.
    Process ln("Z:\\bin\\ln -s \"" + from + "\" \"" + folder + "/" + link.substr(slash + 1) + "\"");
    return WaitFor([&] { return Exists(link); }, 10000);
}

bool WaitFor(const std::function<bool()>& cond, int timeoutMs)
{
    for (DWORD start = GetTickCount();;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            TranslateMessage(&msg), DispatchMessageA(&msg);
        if (cond())
            return true;
        if (static_cast<int>(GetTickCount() - start) > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

Process::Process(const std::string& commandLine, const char* localAppData)
{
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    std::string cmd = commandLine;
    char kept[MAX_PATH] = {};
    GetEnvironmentVariableA("LOCALAPPDATA", kept, MAX_PATH);
    if (localAppData)
        SetEnvironmentVariableA("LOCALAPPDATA", localAppData);
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
        m_pi = PROCESS_INFORMATION();
    if (localAppData)
        SetEnvironmentVariableA("LOCALAPPDATA", kept);
}

Process::~Process()
{
    if (!WaitExit(0))
        TerminateProcess(m_pi.hProcess, 1), WaitExit(5000);
    CloseHandle(m_pi.hProcess), CloseHandle(m_pi.hThread);
}

bool Process::WaitExit(int timeoutMs)
{
    return !m_pi.hProcess || WaitForSingleObject(m_pi.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

void Process::Kill()
{
    if (m_pi.hProcess && TerminateProcess(m_pi.hProcess, 9))
        WaitExit(5000);
}

DWORD Process::ExitCode() const
{
    DWORD code = 99;
    return m_pi.hProcess && GetExitCodeProcess(m_pi.hProcess, &code) ? code : 99;
}

namespace {
// One argument as the C run-time splits a command line: quotes are escaped,
// and so are the backslashes in front of one. The run-time reads double-byte
// characters whole, so a trail byte 0x5C is no backslash.
std::string Quote(const std::string& s)
{
    std::string out = "\"";
    size_t backslashes = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
        if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < s.size())
            out += s[++i];
    }
    return out.append(backslashes * 2, '\\') + "\"";
}

std::string TargetCommand(const std::string& log, const Strings& layout)
{
    std::string cmd = Quote(BuildDir() + "\\target_app.exe") + " " + Quote(log);
    for (const std::string& s : layout)
        cmd += " " + Quote(s);
    return cmd;
}
}  // namespace

TargetApp::TargetApp(const Strings& layout)
    : m_log(TempPath("target-log")), m_process(TargetCommand(m_log, layout)),
      m_bReady(WaitFor([this] { return ReadFile(m_log).find("ready") != std::string::npos; }))
{
}

// The log was opened to be shared for deletion: it goes when the process ends.
TargetApp::~TargetApp() { DeleteFileA(m_log.c_str()); }

Strings TargetApp::Events() const
{
    Strings out;
    std::istringstream in(ReadFile(m_log));
    for (std::string line; std::getline(in, line);)
        if (line != "ready" && !line.empty())
            out.push_back(line);
    return out;
}

Strings TargetApp::MessagesOf(int button) const
{
    Strings out;
    for (const std::string& line : Events()) {
        std::istringstream in(line);
        std::string index, name, wparam, lparam;
        if (in >> index >> name >> wparam >> lparam && index == std::to_string(button))
            out.push_back(name + " " + wparam + " " + lparam);
    }
    return out;
}

bool TargetApp::WaitEvents(size_t n, int timeoutMs) const
{
    return WaitFor([&] { return Events().size() >= n; }, timeoutMs);
}

ScreenLock::ScreenLock() : m_hMutex(CreateMutexA(nullptr, FALSE, "zelvano-tests-screen")), m_bHeld(false)
{
    // An abandoned mutex (a crashed test) is ours all the same.
    const DWORD got = WaitForSingleObject(m_hMutex, 120000);
    m_bHeld = got == WAIT_OBJECT_0 || got == WAIT_ABANDONED;
    if (!m_bHeld)
        Fail("the screen lock was not had within 120 s: another test holds the screen");
}

ScreenLock::~ScreenLock()
{
    if (m_bHeld)
        ReleaseMutex(m_hMutex);
    CloseHandle(m_hMutex);
}

namespace {
struct Search {
    DWORD pid;
    const char *cls, *title;
    HWND found;
};

// Over a snapshot of the windows: a loop of FindWindowEx calls skips windows that change places meanwhile.
BOOL CALLBACK SearchProc(HWND hWnd, LPARAM lParam)
{
    Search* s = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    char cls[16] = {};
    GetWindowThreadProcessId(hWnd, &pid);
    GetClassNameA(hWnd, cls, sizeof(cls));
    if (pid != s->pid || !IsWindowVisible(hWnd) || (s->cls && std::strcmp(s->cls, cls) != 0) ||
        WindowTextOf(hWnd) != s->title)
        return TRUE;
    return s->found = hWnd, FALSE;
}

HWND FindVisible(DWORD pid, const char* cls, const char* title)
{
    Search s = {pid, cls, title, nullptr};
    EnumWindows(SearchProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}
}  // namespace

HWND FindWindowOf(DWORD pid, const char* title) { return FindVisible(pid, nullptr, title); }
HWND FindBox(DWORD pid, const std::string& caption) { return FindVisible(pid, "#32770", caption.c_str()); }

HWND WaitBox(DWORD pid, const std::string& caption, int timeoutMs)
{
    return WaitFor([&] { return FindBox(pid, caption) != nullptr; }, timeoutMs) ? FindBox(pid, caption) : nullptr;
}

std::string WindowTextOf(HWND hWnd)
{
    DWORD_PTR len = 0, got = 0;
    if (!SendMessageTimeoutW(hWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &len))
        return std::string();
    std::wstring w(len + 1, L'\0');
    SendMessageTimeoutW(hWnd, WM_GETTEXT, len + 1, reinterpret_cast<LPARAM>(&w[0]), SMTO_ABORTIFHUNG, 5000, &got);
    std::string s(got * 2, '\0');
    s.resize(WideCharToMultiByte(CP_ACP, 0, w.c_str(), static_cast<int>(got), &s[0], static_cast<int>(s.size()),
                                 nullptr, nullptr));
    return s;
}

std::string BoxText(HWND hBox) { return WindowTextOf(GetDlgItem(hBox, 0xFFFF)); }

std::string WindowsDirFile(const char* name)
{
    char dir[MAX_PATH] = {};
    GetWindowsDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\" + name;
}

CPoint CentreOf(HWND hWnd)
{
    RECT r = {};
    GetWindowRect(hWnd, &r);
    return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

COLORREF PixelOf(HWND hWnd, int x, int y)
{
    HDC hDC = GetDC(hWnd);
    COLORREF c = GetPixel(hDC, x, y);
    return ReleaseDC(hWnd, hDC), c;
}

std::vector<COLORREF> ClientPixels(HWND hWnd)
{
    RECT rc;
    GetClientRect(hWnd, &rc);
    std::vector<COLORREF> pixels;
    HDC hDC = GetDC(hWnd);
    for (int y = 0; y < rc.bottom; ++y)
        for (int x = 0; x < rc.right; ++x)
            pixels.push_back(GetPixel(hDC, x, y));
    return ReleaseDC(hWnd, hDC), pixels;
}

bool HasCapture(HWND hWnd)
{
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof(gui);
    return GetGUIThreadInfo(GetWindowThreadProcessId(hWnd, nullptr), &gui) && gui.hwndCapture == hWnd;
}

// Every handle slot is tried, as GetGuiResources is a stub under Wine: there a
// handle whose high word is 0 names whatever its slot holds.
GuiCount GuiObjects()
{
    GuiCount count;
    DWORD pid = 0;
    for (ULONG_PTR h = 1; h < 0x10000; ++h) {
        count.gdi += GetObjectType(reinterpret_cast<HGDIOBJ>(h)) != 0;
        count.windows += IsWindow(reinterpret_cast<HWND>(h)) &&
                         GetWindowThreadProcessId(reinterpret_cast<HWND>(h), &pid) && pid == GetCurrentProcessId();
    }
    return count;
}

std::ostream& operator<<(std::ostream& out, const GuiCount& count)
{
    return out << "gdi " << count.gdi << ", windows " << count.windows;
}

bool Xdotool(const std::string& args)
{
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::string cmd = "/usr/bin/xdotool " + args;
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    return CloseHandle(pi.hThread), CloseHandle(pi.hProcess), true;
}

bool PointerTo(CPoint p)
{
    return Xdotool("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y)) && WaitFor([p] {
               POINT now = {};
               return GetCursorPos(&now) && now.x == p.x && now.y == p.y;
           });
}

// A copy or a profile that could not be made shows as a start with no report.
ZelvanoCopy::ZelvanoCopy(const std::string& stem)
    : exe(BuildDir() + "\\" + stem + ".exe"), profile(WindowsDirFile((stem + ".INI").c_str()))
{
    CopyFileA((BuildDir() + "\\zelvano.exe").c_str(), exe.c_str(), FALSE);
}

ZelvanoCopy::ZelvanoCopy(const std::string& stem, const std::string& profileBytes, const char* program)
    : exe(BuildDir() + "\\" + stem + ".exe"), profile(WindowsDirFile((stem + ".INI").c_str()))
{
    if (!CopyFileA((BuildDir() + "\\" + program).c_str(), exe.c_str(), FALSE) || !WriteFile(profile, profileBytes))
        DeleteFileA(exe.c_str());
}

ZelvanoCopy::~ZelvanoCopy()
{
    // The program's file stays locked for a moment after it ends.
    WaitFor([this] { return DeleteFileA(exe.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; }, 5000);
    DeleteFileA(profile.c_str());
}

ZelvanoStart::ZelvanoStart(const std::string& exe, const char* localAppData)
    : process("\"" + exe + "\"", localAppData)
{
    if (!WaitFor([this] {
            hMain = FindWindowOf(process.Id(), "zelvano");
            report = hMain ? WindowTextOf(GetDlgItem(hMain, IDC_REPORT)) : "";
            return !report.empty() || process.WaitExit(0);
        }) || report.empty())
        hMain = nullptr;
}

ZelvanoStart::~ZelvanoStart() { if (hMain) Close(); }

bool ZelvanoStart::Close()
{
    if (hMain && !process.WaitExit(0))
        PostMessageA(hMain, WM_CLOSE, 0, 0);
    return Ended();
}

bool ZelvanoStart::Ended() { return process.WaitExit(10000) && process.ExitCode() == 0; }

HWND ZelvanoStart::OpenSettings() const
{
    PostMessageA(hMain, WM_SYSCOMMAND, IDM_SETTINGS, 0);
    auto find = [this] { return FindWindowOf(process.Id(), "設定とﾊﾞｰｼﾞｮﾝ情報"); };
    return WaitFor([&] { return find() != nullptr; }) ? find() : nullptr;
}

bool PickAndAdd(const ZelvanoStart& app, HWND hDlg, const std::string& caption, HWND hButton, std::string& question)
{
    HWND hBox = nullptr;
    for (HWND h : {GetParent(hButton), hDlg})  // above the windows of tests beside this one
        SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // A group box of the button's own window may lie above it.
    if (GetAncestor(WindowFromPoint(CentreOf(hButton)), GA_ROOT) != GetAncestor(hButton, GA_ROOT))
        return false;
    // Another test's program can take the focus and the capture: such a drag is let go over the banner.
    auto holding = [&] { return HasCapture(hDlg); };
    const int kTries = 3;
    const char* why = "";
    for (int attempt = 0; attempt < kTries && !hBox; ++attempt) {
        if (attempt > 0)
            std::printf("PickAndAdd: %s; try %d of %d\n", why, attempt + 1, kTries);
        if (!PointerTo(CentreOf(GetDlgItem(hDlg, IDC_MARKER))) || !Xdotool("mousedown 1"))
            return false;
        bool held = WaitFor(holding, 3000) && PointerTo(CentreOf(hButton)) && holding();
        if (!(held || PointerTo(CentreOf(GetDlgItem(hDlg, IDC_BANNER)))) || !Xdotool("mouseup 1"))
            return false;
        auto box = [&] { return (hBox = FindBox(app.process.Id(), caption)) != nullptr; };
        WaitFor([&] { return held ? box() : !holding(); }, 5000);
        why = held ? "no question came after the drag" : "the dialog did not keep the capture during the drag";
    }
    if (!hBox) {
        std::printf("PickAndAdd: %s; no question after %d tries\n", why, kTries);
        return false;
    }
    question = BoxText(hBox);
    PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    HWND hPath = GetDlgItem(hDlg, IDC_PATH), hList = GetDlgItem(hDlg, IDC_TARGET_LIST);
    const std::string path = WindowTextOf(GetParent(hButton)) + "," + WindowTextOf(hButton);
    if (!WaitFor([&] { return WindowTextOf(hPath) == path; }))
        return false;
    const LRESULT count = SendMessageA(hList, LB_GETCOUNT, 0, 0);
    PostMessageA(GetDlgItem(hDlg, IDC_ADD), BM_CLICK, 0, 0);
    return WaitFor([&] { return SendMessageA(hList, LB_GETCOUNT, 0, 0) == count + 1; });
}

}  // namespace testkit
