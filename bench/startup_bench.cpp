// Figures 1 and 2: Zelvano and the two floors started from scratch, in turn,
// against one button of target_app, which stamps the button-downs it gets.
#include "bench/bench.h"

#include <psapi.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace bench {
namespace {
const char kTargetTitle[] = "ZelvanoBenchTarget";
const char kTargetPath[] = "ZelvanoBenchTarget,Press";
const int kTimeoutMs = 15000;

template <typename Cond>
bool PollFor(Cond cond, int timeoutMs = kTimeoutMs)
{
    DWORD start = GetTickCount();
    while (!cond()) {
        if (static_cast<int>(GetTickCount() - start) > timeoutMs)
            return false;
        Sleep(1);
    }
    return true;
}

// *pStart is stamped just before the process is created.
bool Spawn(const std::string& commandLine, PROCESS_INFORMATION& pi, long long* pStart = nullptr)
{
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    if (pStart)
        *pStart = Qpc();
    return CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != FALSE;
}

void WaitAndClose(PROCESS_INFORMATION& pi)
{
    if (WaitForSingleObject(pi.hProcess, kTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, kTimeoutMs);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

// The stamp of the first "<button> WM_LBUTTONDOWN <wParam> <lParam> <qpc>"
// line that target_app logged after offset, or -1.
long long FirstDownAfter(const std::string& logPath, size_t offset)
{
    std::string log = testkit::ReadFile(logPath);
    size_t at = offset <= log.size() ? log.find(" WM_LBUTTONDOWN ", offset) : std::string::npos;
    size_t end = at == std::string::npos ? at : log.find('\n', at);
    if (end == std::string::npos)
        return -1;
    return std::atoll(log.c_str() + log.rfind(' ', end) + 1);
}

size_t Count(const std::string& text, const char* what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Every press begun has come to its button-up: the last start's later
// messages may still be on their way when the next start begins.
bool PressesComplete(const std::string& logPath)
{
    const std::string log = testkit::ReadFile(logPath);
    return Count(log, " WM_LBUTTONDOWN ") == 2 * Count(log, " WM_LBUTTONUP ");
}

// A visible dialog of process pid whose edit box 1000 holds text.
HWND ReportWindowOf(DWORD pid)
{
    for (HWND h = FindWindowExA(nullptr, nullptr, "#32770", nullptr); h;
         h = FindWindowExA(nullptr, h, "#32770", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        DWORD_PTR length = 0;
        if (owner == pid && IsWindowVisible(h) &&
            SendMessageTimeoutA(GetDlgItem(h, 1000), WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000,
                                &length) &&
            length > 0)
            return h;
    }
    return nullptr;
}

double PeakWorkingSetMib(DWORD pid)
{
    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof(pmc);
    BOOL ok = h && GetProcessMemoryInfo(h, &pmc, sizeof(pmc));
    if (h)
        CloseHandle(h);
    return ok ? static_cast<double>(pmc.PeakWorkingSetSize) / (1024.0 * 1024.0) : NAN;
}

struct Sample {
    double pressMs = NAN, shownMs = NAN, peakMib = NAN;
};

struct Program {
    std::string commandLine;
    bool bHasWindow;
    std::vector<Sample> samples;

    double MedianOf(double Sample::*field) const
    {
        std::vector<double> values;
        for (const Sample& s : samples)
            values.push_back(s.*field);
        return Median(values);
    }
};

// One start. A program with a window is measured when its report shows and
// then closed with OK; the press stamp is read once the process has ended.
Sample RunOnce(const Program& program, const std::string& logPath)
{
    Sample s;
    PollFor([&] { return PressesComplete(logPath); }, 5000);
    size_t mark = testkit::ReadFile(logPath).size();
    PROCESS_INFORMATION pi = {};
    long long t0 = 0;
    if (!Spawn(program.commandLine, pi, &t0))
        return s;
    HWND hReport = nullptr;
    if (program.bHasWindow &&
        PollFor([&] { return (hReport = ReportWindowOf(pi.dwProcessId)) != nullptr; })) {
        s.shownMs = TicksToMs(Qpc() - t0);
        s.peakMib = PeakWorkingSetMib(pi.dwProcessId);
        PostMessageA(hReport, WM_COMMAND, IDOK, 0);
    }
    WaitAndClose(pi);
    long long stamp = -1;
    if (PollFor([&] { return (stamp = FirstDownAfter(logPath, mark)) >= 0; }, 5000))
        s.pressMs = TicksToMs(stamp - t0);
    return s;
}
}  // namespace

bool MeasureStartup(const std::string& zelvanoExe, StartupResult& result)
{
    const std::string dir = BuildDir();
    // A copy under a name of its own, so its profile is ours alone.
    char name[64];
    std::snprintf(name, sizeof(name), "zelvano_bench_%lu", GetCurrentProcessId());
    const std::string copy = dir + "\\" + name + ".exe";
    char winDir[MAX_PATH] = {};
    GetWindowsDirectoryA(winDir, MAX_PATH);
    const std::string profile = std::string(winDir) + "\\" + name + ".INI";
    const std::string logPath = TempPath("bench-target-log");

    PROCESS_INFORMATION target = {};
    bool ok = CopyFileA(zelvanoExe.c_str(), copy.c_str(), FALSE) &&
              testkit::WriteFile(profile, std::string("[BUTTON]\r\nBTN1=") + kTargetPath + "\r\n") &&
              Spawn(Quote(dir + "\\target_app.exe") + " " + Quote(logPath) + " W:" + kTargetTitle +
                        " B:Press",
                    target) &&
              PollFor([&] { return testkit::ReadFile(logPath).find("ready") != std::string::npos; });
    if (!ok)
        std::fprintf(stderr, "cannot prepare %s, its profile or target_app\n", copy.c_str());

    Program programs[] = {
        {Quote(copy), true, {}},
        {Quote(dir + "\\bench\\floor_dialog.exe") + " " + kTargetPath, true, {}},
        {Quote(dir + "\\bench\\floor_bare.exe") + " " + kTargetPath, false, {}},
    };
    if (ok) {
        // Untimed first starts fill the file caches.
        for (const Program& p : programs)
            RunOnce(p, logPath);
        // Each round starts with the next program, so none always follows the same one.
        for (int rep = 0; rep < g_nReps; ++rep)
            for (int k = 0; k < 3; ++k) {
                Program& p = programs[(rep + k) % 3];
                p.samples.push_back(RunOnce(p, logPath));
            }
    }
    result.pressZelvano = programs[0].MedianOf(&Sample::pressMs);
    result.pressDialog = programs[1].MedianOf(&Sample::pressMs);
    result.pressBare = programs[2].MedianOf(&Sample::pressMs);
    result.shownZelvano = programs[0].MedianOf(&Sample::shownMs);
    result.shownDialog = programs[1].MedianOf(&Sample::shownMs);
    result.peakZelvano = programs[0].MedianOf(&Sample::peakMib);
    result.peakDialog = programs[1].MedianOf(&Sample::peakMib);

    if (target.hProcess) {
        PostMessageA(FindWindowA(nullptr, kTargetTitle), WM_CLOSE, 0, 0);
        WaitAndClose(target);
    }
    DeleteFileA(logPath.c_str());
    DeleteFileA(profile.c_str());
    DeleteFileA(copy.c_str());
    return ok;
}

}  // namespace bench
