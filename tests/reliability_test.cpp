// Hostile profiles, hostile windows, many starts in a row, and drags or holds
// that end the hard way, with real windows, processes and profile files.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "res/resource.h"
#include "run/launch_report.h"
#include "run/target_list.h"
#include "run/target_lookup.h"
#include "settings/settings_dlg.h"
#include "tests/testkit.h"

namespace {

const std::string kPid = std::to_string(GetCurrentProcessId());
const std::vector<std::string> kOnePress = {"WM_LBUTTONDOWN 0 0", "WM_LBUTTONDOWN 0 0", "WM_LBUTTONUP 0 0"};

// Each profile under a fresh name, since Wine caches profiles by name;
// test_main deletes the last one.
std::string UseProfile(const std::string& bytes)
{
    DeleteFileA(AfxGetApp()->m_pszProfileName);
    std::string path = testkit::TempPath("zelvano-rel") + ".ini";
    testkit::WriteFile(path, bytes);
    AfxGetApp()->SetProfileName(path.c_str());
    return path;
}

int g_posts = 0;
BOOL WINAPI CountPost(HWND, UINT, WPARAM, LPARAM)
{
    ++g_posts;
    return TRUE;
}

// The start-up run with posts counted, not sent: the list it read and its report lines.
std::vector<std::string> RunList(std::string* pLines = nullptr)
{
    CStringList targets;
    std::string lines = PressListedTargets(targets, CountPost).GetString();
    if (pLines)
        *pLines = lines;
    std::vector<std::string> out;
    for (POSITION pos = targets.GetHeadPosition(); pos;)
        out.push_back(targets.GetNext(pos).GetString());
    return out;
}

std::string Shown(int position, const std::string& window, const std::string& button)
{
    return std::to_string(position) + ")\"" + window + "\"ｳｨﾝﾄﾞの\"" + button + "\"ボタン\r\n";
}

// The built program under a name of its own, so that its profile in the
// Windows directory is private to the test.
struct PrivateZelvano {
    std::string exe, profile;
    explicit PrivateZelvano(const std::string& bytes) : exe(testkit::TempPath("zrel"))
    {
        profile = testkit::WindowsDirFile((exe.substr(exe.find_last_of('\\') + 1) + ".INI").c_str());
        exe += ".exe";
        EXPECT_TRUE(CopyFileA((testkit::BuildDir() + "\\zelvano.exe").c_str(), exe.c_str(), FALSE) &&
                    testkit::WriteFile(profile, bytes));
    }
    ~PrivateZelvano()
    {
        DeleteFileA(exe.c_str());
        DeleteFileA(profile.c_str());
    }
    // One start: the report it shows; then OK, after which it must end.
    std::string StartAndClose()
    {
        testkit::Process process("\"" + exe + "\"");
        HWND hMain = nullptr;
        std::string report;
        EXPECT_TRUE(testkit::WaitFor([&] {
            hMain = testkit::FindWindowOf(process.Id(), "zelvano");
            report = hMain && IsWindowVisible(hMain) ? testkit::WindowTextOf(GetDlgItem(hMain, IDC_REPORT)) : "";
            return !report.empty();
        })) << "no report";
        PostMessageA(hMain, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(process.WaitExit(10000)) << "the program did not end after OK";
        return report;
    }
};

TEST(HostileProfile, TenThousandEntriesAreReadInOrderAndTheRunEnds)
{
    std::string title = "RelMany " + kPid, lines;
    testkit::TargetApp app({"W:" + title, "B:Hit"});
    ASSERT_TRUE(app.Ready());
    std::vector<std::string> entries;
    std::string ini = "[BUTTON]\r\n";
    for (int i = 1; i <= 10000; ++i) {
        entries.push_back(i == 1 || i == 5000 || i == 10000 ? title + ",Hit" : "Absent " + std::to_string(i) + ",x");
        ini += "BTN" + std::to_string(i) + "=" + entries.back() + "\r\n";
    }
    UseProfile(ini + "BTN10002=" + title + ",Hit\r\n");  // behind the end: never read
    EXPECT_TRUE(entries == RunList(&lines));
    EXPECT_EQ(Shown(1, title, "Hit") + Shown(5000, title, "Hit") + Shown(10000, title, "Hit"), lines);
    EXPECT_EQ(9, g_posts);
}

TEST(HostileProfile, ValueOverFourKilobytesIsReadWholeWithNeighboursIntact)
{
    const std::vector<std::string> values = {"first,before", std::string(4095, 'a'), std::string(4096, 'b'),
                                             std::string(4097, 'c'), std::string(100000, 'd') + ",tail", "last,after"};
    std::string ini = "[BUTTON]\r\n";
    for (size_t i = 0; i < values.size(); ++i)
        ini += "BTN" + std::to_string(i + 1) + "=" + values[i] + "\r\n";
    UseProfile(ini);
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(values[i].size(), static_cast<size_t>(ReadTarget(static_cast<int>(i)).GetLength())) << i;
    EXPECT_TRUE(values == RunList());
}

TEST(HostileProfile, LoneLeadByteAtTheEndOfAValueLeavesTheNextEntriesIntact)
{
    // 0x81 opens a two-byte character in code page 932; a line end or the file's end follows instead.
    UseProfile("[BUTTON]\r\nBTN1=abc\x81\r\nBTN2=next,entry\r\nBTN3=\x81,\x81\r\nBTN4=after\x81");
    std::string lines = "?";
    std::vector<std::string> read = RunList(&lines);
    ASSERT_EQ(4u, read.size());
    EXPECT_EQ("abc", read[0].substr(0, 3));
    EXPECT_EQ("next,entry", read[1]);
    EXPECT_EQ("after", read[3].substr(0, 5));
    EXPECT_EQ("", lines);
    for (const char* raw : {"abc\x81", "\x81,", "x,\x81", ",\x81\x81\x81"})
        EXPECT_GE(FormatReportLine(1, raw).GetLength(), static_cast<int>(std::strlen(raw)));
}

TEST(HostileProfile, PercentSignsQuotesAndBackslashesAreReportedVerbatim)
{
    // "表" and "ソ" end in 0x5C, a backslash: kept away from the quotes.
    std::string title = "Rel %s%n 50% \"quoted\" C:\\x\\ 表示 " + kPid, caption = "%d%% 'a' \"b\" \\\\srv\\ ソフト ok";
    testkit::TargetApp app({"W:" + title, "B:" + caption});
    ASSERT_TRUE(app.Ready());
    PrivateZelvano zelvano("[BUTTON]\r\nBTN1=" + title + "," + caption + "\r\n");
    std::string report = zelvano.StartAndClose();
    EXPECT_NE(std::string::npos, report.find("に\r\n" + Shown(1, title, caption) + "を押しましたよ～ん")) << report;
    ASSERT_TRUE(app.WaitEvents(3));
    EXPECT_EQ(kOnePress, app.MessagesOf(0));
}

TEST(HostileProfile, NonIniFileReadsAsAnEmptyList)
{
    std::string garbage;
    for (unsigned i = 0, seed = 12345; i < 65536; ++i)
        garbage += static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    for (const std::string& file : {garbage, "\xFF\xFE" + garbage, "MZ" + garbage, std::string(4096, '\0')}) {
        UseProfile(file);
        EXPECT_TRUE(RunList().empty()) << static_cast<int>(file[0]);
    }
}

TEST(HostileProfile, UnwritableProfileRefusesTheWriteAndKeepsTheFile)
{
    const std::string original = "[BUTTON]\r\nBTN1=kept,one\r\n";
    const std::string path = UseProfile(original);
    // Another program holds the file open for reading only, as an editor or a virus scanner does.
    HANDLE hLock = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hLock);
    EXPECT_FALSE(WriteTarget("lost,entry", 0));
    EXPECT_FALSE(WriteTarget("", 1));
    EXPECT_EQ(CString("kept,one"), ReadTarget(0));
    CloseHandle(hLock);
    EXPECT_EQ(original, testkit::ReadFile(path));
}

TEST(HostileWindows, HungTargetDelaysNeitherLookupAndPressNorAWholeStart)
{
    std::string hung = "RelHung " + kPid, live = "RelLive " + kPid;
    testkit::TargetApp hangs({"W:" + hung, "B:Stuck", "HANG"}), answers({"W:" + live, "B:Fine"});
    ASSERT_TRUE(hangs.Ready() && answers.Ready());
    DWORD start = GetTickCount();
    EXPECT_EQ(GetWindow(FindWindowA(nullptr, hung.c_str()), GW_CHILD), FindTarget((hung + ",Stuck").c_str()));
    EXPECT_EQ(1, PressTarget((hung + ",Stuck").c_str()));
    EXPECT_LT(GetTickCount() - start, 2000u);

    PrivateZelvano zelvano("[BUTTON]\r\nBTN1=" + hung + ",Stuck\r\nBTN2=" + live + ",Fine\r\n");
    start = GetTickCount();
    std::string report = zelvano.StartAndClose();
    // Asking the hung window anything would wait forever, or seconds a message.
    EXPECT_LT(GetTickCount() - start, 8000u);
    EXPECT_NE(std::string::npos, report.find(Shown(1, hung, "Stuck") + Shown(2, live, "Fine"))) << report;
    ASSERT_TRUE(answers.WaitEvents(3));
    EXPECT_EQ(kOnePress, answers.MessagesOf(0));
}

TEST(HostileWindows, LastOfTenThousandChildrenIsFoundAndPressed)
{
    std::string title = "RelSwarm " + kPid;
    testkit::TargetApp app({"W:" + title, "N:10000"});
    // Making the buttons can outlast the kit's wait for "ready".
    ASSERT_TRUE(testkit::WaitFor(
        [&] { return FindWindowExA(FindWindowA(nullptr, title.c_str()), nullptr, nullptr, "n9999") != nullptr; },
        40000));
    EXPECT_EQ(1, PressTarget((title + ",n9999").c_str()));
    ASSERT_TRUE(app.WaitEvents(3));
    EXPECT_EQ(kOnePress, app.MessagesOf(9999));
}

std::unique_ptr<testkit::TargetApp> g_pDoomed;

// Ends the target's process before the first post, as a program that quits
// between the lookup and the click.
BOOL WINAPI PostAfterTheTargetDied(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_pDoomed) {
        g_pDoomed.reset();
        testkit::WaitFor([&] { return !IsWindow(hWnd); }, 5000);
    }
    return PostMessageA(hWnd, message, wParam, lParam);
}

TEST(HostileWindows, TargetThatClosesDuringTheRunIsNotCountedAsPressed)
{
    g_pDoomed.reset(new testkit::TargetApp({"W:RelGone " + kPid, "B:Bye"}));
    ASSERT_TRUE(g_pDoomed->Ready());
    EXPECT_EQ(0, PressTarget(("RelGone " + kPid + ",Bye").c_str(), PostAfterTheTargetDied));
    EXPECT_FALSE(g_pDoomed) << "the target was not looked up";
}

// Half of a hundred starts, to stay within the time limit of one test.
void StartFiftyTimes()
{
    std::string title = "RelRepeat " + kPid;
    testkit::TargetApp app({"W:" + title, "B:Press", "B:Marker"});
    HWND hMarker = FindTarget((title + ",Marker").c_str());
    ASSERT_NE(nullptr, hMarker);
    // A comment, an entry behind the end of the list, another section and odd
    // spacing: a start that rewrote the file would change some of it.
    const std::string profile = "; Zelvano targets\r\n[BUTTON]\r\nBTN1=" + title + ",Press\r\nBTN2=\r\nBTN3=" +
                                title + ",Marker\r\n\r\n[Other]\r\n key = value \r\n";
    PrivateZelvano zelvano(profile);
    std::vector<std::string> pressed;
    for (size_t i = 1; i <= 50; ++i) {
        std::string report = zelvano.StartAndClose();
        ASSERT_NE(std::string::npos, report.find("に\r\n" + Shown(1, title, "Press") + "を")) << i << ": " << report;
        // The marker comes out of the target's queue after all the presses.
        PostMessageA(hMarker, WM_MBUTTONUP, 0, 0);
        ASSERT_TRUE(testkit::WaitFor([&] { return app.MessagesOf(1).size() == i; })) << i;
        pressed.insert(pressed.end(), kOnePress.begin(), kOnePress.end());
        ASSERT_EQ(pressed, app.MessagesOf(0)) << "start " << i;
        ASSERT_EQ(profile, testkit::ReadFile(zelvano.profile)) << "start " << i;
    }
}

TEST(RepeatedStarts, HundredStartsFirstHalfEachPressOnceAndLeaveTheProfileByteForByte)
{
    StartFiftyTimes();
}

TEST(RepeatedStarts, HundredStartsSecondHalfEachPressOnceAndLeaveTheProfileByteForByte)
{
    StartFiftyTimes();
}

// A topmost white window with a white child "Panel" filling most of it: what
// WindowFromPoint finds there, and what "title,Panel" names.
HWND AddPanel(const std::string& title, int y)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "ZelvanoRelWhite";
    RegisterClassA(&wc);
    HWND hFrame = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, title.c_str(), WS_POPUP, 1060, y, 200, 150,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    CreateWindowExA(0, wc.lpszClassName, "Panel", WS_CHILD | WS_VISIBLE, 10, 10, 170, 120, hFrame, nullptr,
                    wc.hInstance, nullptr);
    ShowWindow(hFrame, SW_SHOWNOACTIVATE);
    UpdateWindow(hFrame);
    return GetWindow(hFrame, GW_CHILD);
}

bool Inverted(HWND hWnd)
{
    HDC hDC = GetDC(hWnd);
    COLORREF c = GetPixel(hDC, 20, 20);
    ReleaseDC(hWnd, hDC);
    return c == RGB(0, 0, 0);
}

// The centre of hOver in hClient's client coordinates, as a mouse message's lParam.
LPARAM PointOver(HWND hClient, HWND hOver)
{
    RECT rc;
    GetWindowRect(hOver, &rc);
    POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ScreenToClient(hClient, &pt);
    return POINTTOPOINTS(pt);
}

// GDI objects and windows of this process, found by trying every handle slot
// (GetGuiResources is a stub under Wine): there a handle whose high word is 0
// names whatever its slot holds.
std::string GuiObjects()
{
    testkit::PumpMessages();
    DWORD gdi = 0, windows = 0, pid = 0;
    for (ULONG_PTR h = 1; h < 0x10000; ++h) {
        gdi += GetObjectType(reinterpret_cast<HGDIOBJ>(h)) != 0;
        windows += IsWindow(reinterpret_cast<HWND>(h)) && GetWindowThreadProcessId(reinterpret_cast<HWND>(h), &pid) &&
                   pid == GetCurrentProcessId();
    }
    return "gdi " + std::to_string(gdi) + ", windows " + std::to_string(windows);
}

// The settings dialog with a current path, as a pick leaves it.
struct PathSettingsDlg : CSettingsDlg {
    explicit PathSettingsDlg(const std::string& path) { m_path = path.c_str(); }
};

// Run once from inside a dialog's own modal loop.
std::function<void()> g_step;
void CALLBACK RunStep(HWND, UINT, UINT_PTR, DWORD)
{
    std::function<void()> step;
    step.swap(g_step);
    if (step)
        step();
}

TEST(PickerCleanup, DragsAndHoldsEndedTheHardWayLeaveNothingInvertedAndNothingLeaked)
{
    testkit::ScreenLock lock;
    std::string title = "RelCut " + kPid;
    HWND hPanel = AddPanel(title, 420);
    // A drag ended by Escape or DestroyWindow; one whose window is destroyed
    // and replaced before the release; Escape while the confirm button is
    // held. All in one step, so no move of the real pointer comes between.
    auto cut = [&](int how) {
        PathSettingsDlg dlg(title + ",Panel");
        g_step = [&] {
            HWND hDlg = dlg.m_hWnd;
            if (how == 3) {
                MSG press = {};
                press.hwnd = GetDlgItem(hDlg, IDC_CONFIRM);
                press.message = WM_LBUTTONDOWN;
                dlg.PreTranslateMessage(&press);
            } else {
                SendMessageA(hDlg, WM_LBUTTONDOWN, MK_LBUTTON, PointOver(hDlg, GetDlgItem(hDlg, IDC_MARKER)));
                SendMessageA(hDlg, WM_MOUSEMOVE, MK_LBUTTON, PointOver(hDlg, hPanel));
            }
            EXPECT_TRUE(Inverted(hPanel)) << "not highlighted, case " << how;
            if (how == 2) {
                DestroyWindow(GetParent(hPanel));
                hPanel = AddPanel(title, 420);
                SendMessageA(hDlg, WM_LBUTTONUP, 0, 0);
            }
            if (how == 1)
                DestroyWindow(hDlg);
            else
                PostMessageA(hDlg, WM_KEYDOWN, VK_ESCAPE, 0);
        };
        UINT_PTR timer = SetTimer(nullptr, 0, 40, RunStep);
        dlg.DoModal();
        KillTimer(nullptr, timer);
        EXPECT_EQ(nullptr, GetCapture());
        EXPECT_FALSE(Inverted(hPanel)) << "left inverted, case " << how;
    };
    for (int how = 0; how < 4; ++how)
        cut(how);
    std::string before = GuiObjects();
    for (int i = 0; i < 16 && !HasFailure(); ++i)
        cut(i % 4);
    EXPECT_EQ(before, GuiObjects());
}

}  // namespace
