// Helpers for tests that drive real windows and other processes under Wine.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace testkit {

using Strings = std::vector<std::string>;
// What one press posts to a button, as target_app logs it.
extern const Strings kOnePress;

std::string Str(const CString& s);
Strings Items(const CStringList& list);
// A report line: n)"window"ｳｨﾝﾄﾞの"button"ボタン, then tail.
std::string Shown(int n, const std::string& window, const std::string& button, const std::string& tail = "\r\n");
// name and this process's id: tests run two at a time and must not find each other's windows.
std::string WithPid(const std::string& name);

// Whether the tests run under CI (CI=true), where a test that cannot set itself up fails.
bool UnderCi();
// Fails the running test from inside a helper of the kit (a lock not had in time): a GoogleTest failure
// where RunAllTests has set that up; elsewhere (the bench) the message is printed and the program ends.
void Fail(const std::string& what);
using FailureHandler = void (*)(const std::string& what);
void SetFailureHandler(FailureHandler handler);
// RUN_ALL_TESTS as every test program's main runs it, with what makes a run count: the system is
// the one the scripts asked for (the code page in ZELVANO_SYSTEM_CODEPAGE, the DPI in
// ZELVANO_SYSTEM_DPI, measured without the program's functions), some test ran, and under CI none
// was skipped. Non-zero when any of it fails.
int RunAllTests();

// The folder that holds zelvano.exe and target_app.exe.
std::string BuildDir();
// A fresh file name in the temp folder (no such file).
std::string TempPath(const std::string& stem);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Code page 932 text as a UTF-16 LE file holds it, with its byte-order mark.
std::string Utf16(const std::string& text);
bool WriteFile(const std::string& path, const std::string& bytes);
// The temporary files that saves left beside a profile: profile.<id>.tmp, and
// the profile.tmp of earlier versions.
Strings SaveTempsOf(const std::string& profile);
// A Unix symbolic link at link to target, both Windows paths (Wine runs ln).
bool UnixSymlink(const std::string& target, const std::string& link);
// Polls cond, handling this thread's messages, until it holds or timeoutMs pass.
bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 10000);

// A process that is ended, if still running, when the object goes.
class Process {
public:
    // localAppData: the %LOCALAPPDATA% the process is given, where the program keeps its store.
    explicit Process(const std::string& commandLine, const char* localAppData = nullptr);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    DWORD Id() const { return m_pi.dwProcessId; }
    bool WaitExit(int timeoutMs);  // ended within timeoutMs
    DWORD ExitCode() const;
    void Kill();  // at once, as a crash or a power cut ends it

private:
    PROCESS_INFORMATION m_pi = {};
};

// Held by every test that moves the real pointer, reads pixels off the screen or shows a window
// that takes the focus (ending a drag): ctest runs two tests at once on one display. Not had
// within 120 seconds, it fails the test.
class ScreenLock {
public:
    ScreenLock();
    ~ScreenLock();
    ScreenLock(const ScreenLock&) = delete;
    ScreenLock& operator=(const ScreenLock&) = delete;

private:
    HANDLE m_hMutex;
    bool m_bHeld;
};

// target_app.exe with its log; the layout arguments are its command line.
class TargetApp {
public:
    explicit TargetApp(const Strings& layout);
    ~TargetApp();
    bool Ready() const { return m_bReady; }
    DWORD ProcessId() const { return m_process.Id(); }
    Strings Events() const;  // the log lines but "ready"
    // The message lines of one button, "WM_LBUTTONDOWN 0 0", without the time.
    Strings MessagesOf(int button) const;
    bool WaitEvents(size_t n, int timeoutMs = 10000) const;  // at least n events

private:
    ScreenLock m_lock;  // a program starting takes the focus
    std::string m_log;
    Process m_process;
    bool m_bReady;
};

// A visible top-level window, or message box, of process pid, or null.
HWND FindWindowOf(DWORD pid, const char* title);
HWND FindBox(DWORD pid, const std::string& caption);
HWND WaitBox(DWORD pid, const std::string& caption, int timeoutMs = 10000);
// A window's text read in UTF-16, as the A form can come back in UTF-16
// across processes, and converted to the ANSI code page.
std::string WindowTextOf(HWND hWnd);
std::string BoxText(HWND hBox);
std::string WindowsDirFile(const char* name);
CPoint CentreOf(HWND hWnd);
COLORREF PixelOf(HWND hWnd, int x, int y);  // client coordinates
std::vector<COLORREF> ClientPixels(HWND hWnd);  // every pixel of the client area, row by row
// Whether hWnd holds the capture of its thread, in whatever process.
bool HasCapture(HWND hWnd);
// GDI objects and windows of this process.
struct GuiCount {
    unsigned gdi = 0, windows = 0;
    bool operator==(const GuiCount& o) const { return gdi == o.gdi && windows == o.windows; }
};
std::ostream& operator<<(std::ostream& out, const GuiCount& count);
GuiCount GuiObjects();
// Starts xdotool with args on the real display (through Wine: not waited for).
bool Xdotool(const std::string& args);
// Moves the real pointer there and waits until Windows sees it there.
bool PointerTo(CPoint p);

// A copy of the built program (or of another build of it in the build folder)
// named stem.exe, whose profile (stem.INI in the Windows directory) is the
// test's own. Both go with the object.
struct ZelvanoCopy {
    explicit ZelvanoCopy(const std::string& stem);
    // A string literal as the second argument is the profile's bytes, never the program's name.
    ZelvanoCopy(const std::string& stem, const std::string& profileBytes, const char* program = "zelvano.exe");
    ~ZelvanoCopy();
    std::string exe, profile;
};

// One start of a program, its main window shown with the report (hMain null
// when none shows in time); closed, if still running, when the object goes.
struct ZelvanoStart {
    explicit ZelvanoStart(const std::string& exe, const char* localAppData = nullptr);
    ~ZelvanoStart();
    bool Close();  // closes the main window if the program still runs; then as Ended
    bool Ended();  // ended within 10 seconds with exit code 0
    HWND OpenSettings() const;
    Process process;
    HWND hMain = nullptr;
    std::string report;
};

// In the started program's settings hDlg, picks hButton with the real mouse, answers the question (read
// into question) with OK and adds the pick to the list; false where a step failed. The program's message
// boxes are captioned caption. A drag that lost the capture is tried again, up to three times in all,
// each retry said in the test's output.
bool PickAndAdd(const ZelvanoStart& app, HWND hDlg, const std::string& caption, HWND hButton, std::string& question);

}  // namespace testkit
