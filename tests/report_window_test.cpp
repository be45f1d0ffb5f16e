// The main window: in-process for its menu, icon, template and layout
// queries; the built program from outside for the report, the presses,
// resizing and the three ways to close it.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/report_dlg.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "run/target_list.h"
#include "tests/testkit.h"

namespace {

const char kStampShape[] = "dddd-dd-dd dd:dd:dd";
const size_t kStampLength = sizeof(kStampShape) - 1;

bool HasStampShape(const std::string& s)
{
    if (s.size() != kStampLength)
        return false;
    for (size_t i = 0; i < kStampLength; ++i) {
        bool digit = s[i] >= '0' && s[i] <= '9';
        if (kStampShape[i] == 'd' ? !digit : s[i] != kStampShape[i])
            return false;
    }
    return true;
}

// The local time in the report's stamp form: fixed width, so stamps
// compare as strings in time order.
std::string LocalStampNow()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char s[32];
    std::snprintf(s, sizeof(s), "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return s;
}

std::string Unique(const char* stem)
{
    static int counter = 0;
    char s[96];
    std::snprintf(s, sizeof(s), "%s-%lu-%d-%lu", stem, GetCurrentProcessId(), ++counter, GetTickCount());
    return s;
}

CRect ChildRectInClient(HWND hParent, HWND hChild)
{
    CRect r;
    ::GetWindowRect(hChild, &r);
    ::MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// (x, y, cx, cy) as a rectangle.
CRect PlaceAndSize(const RECT& r)
{
    return CRect(r.left, r.top, r.left + r.right, r.top + r.bottom);
}

std::string RectText(const RECT& r)
{
    char s[80];
    std::snprintf(s, sizeof(s), "(%ld,%ld,%ld,%ld)", r.left, r.top, r.right, r.bottom);
    return s;
}

// ---------------------------------------------------------------------------
// In-process: a CReportDlg run modally, driven from a thread timer that
// fires inside its modal loop (and inside any nested one).

struct Driver {
    std::vector<std::function<bool()>> steps;
    size_t next = 0;
    HWND hReport = nullptr;
    bool bBusy = false;
    bool bClosing = false;
    bool bTimedOut = false;
    DWORD start = 0;
};
Driver* g_pDriver = nullptr;

BOOL CALLBACK PostCloseToWindow(HWND hWnd, LPARAM)
{
    if (::IsWindowVisible(hWnd))
        ::PostMessageA(hWnd, WM_CLOSE, 0, 0);
    return TRUE;
}

void CALLBACK DriverTick(HWND, UINT, UINT_PTR, DWORD)
{
    Driver* d = g_pDriver;
    if (!d || d->bBusy || d->bClosing)
        return;
    d->bBusy = true;
    if (GetTickCount() - d->start > 15000) {
        // A step never came true: close whatever is open so the test can report it.
        d->bTimedOut = true;
        ::EnumThreadWindows(GetCurrentThreadId(), PostCloseToWindow, 0);
    } else {
        while (d->next < d->steps.size() && d->steps[d->next]())
            ++d->next;
        if (d->next == d->steps.size()) {
            d->bClosing = true;
            ::PostMessageA(d->hReport, WM_COMMAND, IDOK, 0);
        }
    }
    d->bBusy = false;
}

// Runs dlg modally as the application's main window, as the program does;
// each step is polled until it returns true, then the dialog gets OK.
::testing::AssertionResult RunDriven(CReportDlg& dlg, std::vector<std::function<bool()>> steps,
                                     INT_PTR* pResult = nullptr)
{
    Driver d;
    d.steps = std::move(steps);
    d.start = GetTickCount();
    // The first step may need the window: it is there once the loop runs.
    d.steps.insert(d.steps.begin(), [&] {
        d.hReport = dlg.m_hWnd;
        return d.hReport != nullptr && ::IsWindowVisible(d.hReport);
    });
    g_pDriver = &d;
    UINT_PTR timer = ::SetTimer(nullptr, 0, 20, DriverTick);
    AfxGetApp()->m_pMainWnd = &dlg;
    INT_PTR result = dlg.DoModal();
    AfxGetApp()->m_pMainWnd = nullptr;
    ::KillTimer(nullptr, timer);
    g_pDriver = nullptr;
    if (pResult)
        *pResult = result;
    if (d.bTimedOut || d.next != d.steps.size())
        return ::testing::AssertionFailure() << "step " << d.next << " (0: the window shows) did not complete";
    return ::testing::AssertionSuccess();
}

HWND VisibleWindowOwnedBy(HWND hOwner)
{
    struct Search {
        HWND hOwner;
        HWND hFound;
    } search = {hOwner, nullptr};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND h, LPARAM lParam) -> BOOL {
            Search* p = reinterpret_cast<Search*>(lParam);
            if (::GetWindow(h, GW_OWNER) == p->hOwner && ::IsWindowVisible(h)) {
                p->hFound = h;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

struct MenuItem {
    UINT id;
    bool bSeparator;
    std::string text;
};

std::vector<MenuItem> ReadMenu(HMENU hMenu)
{
    std::vector<MenuItem> items;
    int n = ::GetMenuItemCount(hMenu);
    for (int i = 0; i < n; ++i) {
        char text[256] = {};
        MENUITEMINFOA mii = {};
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        mii.dwTypeData = text;
        mii.cch = sizeof(text);
        ::GetMenuItemInfoA(hMenu, static_cast<UINT>(i), TRUE, &mii);
        items.push_back({mii.wID, (mii.fType & MFT_SEPARATOR) != 0, text});
    }
    return items;
}

TEST(ReportDialog, SystemMenuLosesRestoreAndMaximizeAndEndsWithTheSettingsItem)
{
    CReportDlg dlg;
    std::vector<MenuItem> items;
    ASSERT_TRUE(RunDriven(dlg, {[&] {
        items = ReadMenu(::GetSystemMenu(dlg.m_hWnd, FALSE));
        return true;
    }}));

    ASSERT_GE(items.size(), 2u);
    bool bMove = false, bSize = false, bMinimize = false, bClose = false;
    for (const MenuItem& item : items) {
        EXPECT_NE(item.id, static_cast<UINT>(SC_RESTORE)) << item.text;
        EXPECT_NE(item.id, static_cast<UINT>(SC_MAXIMIZE)) << item.text;
        bMove |= item.id == SC_MOVE;
        bSize |= item.id == SC_SIZE;
        bMinimize |= item.id == SC_MINIMIZE;
        bClose |= item.id == SC_CLOSE;
    }
    // Removed by command, not by position: the neighbours stay.
    EXPECT_TRUE(bMove && bSize && bMinimize && bClose);
    EXPECT_TRUE(items[items.size() - 2].bSeparator);
    EXPECT_EQ(items.back().id, 0x0010u);
    EXPECT_FALSE(items.back().bSeparator);
    EXPECT_EQ(items.back().text, "設定とﾊﾞｰｼﾞｮﾝ情報 (&A)");
}

TEST(ReportDialog, SettingsCommandOpensTheSettingsOverTheReportWithItsList)
{
    // Windows that do not exist: the start-up run keeps them without pressing.
    std::string first = Unique("不在ウィンドウ表") + ",押してね";
    std::string second = Unique("absent") + ",OK";
    ASSERT_TRUE(WriteTarget(first.c_str(), 0));
    ASSERT_TRUE(WriteTarget(second.c_str(), 1));

    CReportDlg dlg;
    HWND hSettings = nullptr;
    bool bReportDisabled = false;
    std::vector<std::string> listed;
    std::string caption;
    ASSERT_TRUE(RunDriven(dlg, {
        [&] {
            // The low four bits of a system command are the system's own: masked off.
            ::PostMessageA(dlg.m_hWnd, WM_SYSCOMMAND, 0x0013, 0);
            return true;
        },
        [&] {
            HWND h = VisibleWindowOwnedBy(dlg.m_hWnd);
            if (!h)
                return false;
            hSettings = h;
            char text[128] = {};
            ::GetWindowTextA(h, text, sizeof(text));
            caption = text;
            bReportDisabled = !::IsWindowEnabled(dlg.m_hWnd);
            HWND hList = ::GetDlgItem(h, IDC_TARGET_LIST);
            int n = static_cast<int>(::SendMessageA(hList, LB_GETCOUNT, 0, 0));
            for (int i = 0; i < n; ++i) {
                char item[512] = {};
                ::SendMessageA(hList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item));
                listed.push_back(item);
            }
            ::PostMessageA(h, WM_CLOSE, 0, 0);
            return true;
        },
        [&] { return !::IsWindow(hSettings) && ::IsWindowEnabled(dlg.m_hWnd); },
    }));

    EXPECT_EQ(caption, "設定とﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_TRUE(bReportDisabled);
    EXPECT_EQ(listed, (std::vector<std::string>{first, second}));
    // Both are kept for the settings though neither was found.
    ASSERT_EQ(dlg.m_targets.GetCount(), 2);
    POSITION pos = dlg.m_targets.GetHeadPosition();
    EXPECT_EQ(std::string(dlg.m_targets.GetNext(pos)), first);
    EXPECT_EQ(std::string(dlg.m_targets.GetNext(pos)), second);
}

TEST(ReportDialog, BigIconStylesAndControlPlacesFollowTheTemplate)
{
    CReportDlg dlg;
    HICON hBig = nullptr, hSmall = nullptr;
    LONG style = 0, exStyle = 0, editStyle = 0, editExStyle = 0, okStyle = 0;
    CRect client, edit, ok;
    // The dialog manager converts position and size each on its own:
    // (x, y, cx, cy) in dialog units.
    CRect wantClient(0, 0, 231, 53), wantEdit(7, 6, 187, 41), wantOk(198, 16, 30, 20);
    HWND hFocus = nullptr, hOk = nullptr;
    std::string report;
    ASSERT_TRUE(RunDriven(dlg, {[&] {
        HWND h = dlg.m_hWnd;
        hBig = reinterpret_cast<HICON>(::SendMessageA(h, WM_GETICON, ICON_BIG, 0));
        hSmall = reinterpret_cast<HICON>(::SendMessageA(h, WM_GETICON, ICON_SMALL, 0));
        style = ::GetWindowLongA(h, GWL_STYLE);
        exStyle = ::GetWindowLongA(h, GWL_EXSTYLE);
        HWND hEdit = ::GetDlgItem(h, IDC_REPORT);
        hOk = ::GetDlgItem(h, IDOK);
        editStyle = ::GetWindowLongA(hEdit, GWL_STYLE);
        editExStyle = ::GetWindowLongA(hEdit, GWL_EXSTYLE);
        okStyle = ::GetWindowLongA(hOk, GWL_STYLE);
        ::GetClientRect(h, &client);
        edit = ChildRectInClient(h, hEdit);
        ok = ChildRectInClient(h, hOk);
        ::MapDialogRect(h, &wantClient);
        ::MapDialogRect(h, &wantEdit);
        ::MapDialogRect(h, &wantOk);
        hFocus = ::GetFocus();
        char text[1024] = {};
        ::GetDlgItemTextA(h, IDC_REPORT, text, sizeof(text));
        report = text;
        return true;
    }}));

    EXPECT_EQ(hBig, AfxGetApp()->LoadIcon(IDR_MAINFRAME));
    EXPECT_NE(hBig, nullptr);
    EXPECT_EQ(hSmall, nullptr);

    const LONG frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME;
    EXPECT_EQ(style & frame, frame);
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
    EXPECT_EQ(exStyle & WS_EX_APPWINDOW, WS_EX_APPWINDOW);

    const LONG editBits = ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL;
    EXPECT_EQ(editStyle & editBits, editBits);
    EXPECT_EQ(editStyle & (ES_CENTER | ES_RIGHT), 0);
    EXPECT_EQ(editStyle & WS_TABSTOP, 0);
    // The dialog manager may turn an edit box's WS_BORDER into a client edge.
    EXPECT_TRUE((editStyle & WS_BORDER) || (editExStyle & WS_EX_CLIENTEDGE));
    EXPECT_EQ(okStyle & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(okStyle & WS_TABSTOP, WS_TABSTOP);
    // The report box is no tab stop, so OK takes the focus.
    EXPECT_EQ(hFocus, hOk);

    EXPECT_EQ(RectText(client), RectText(wantClient));
    EXPECT_EQ(RectText(edit), RectText(PlaceAndSize(wantEdit)));
    EXPECT_EQ(RectText(ok), RectText(PlaceAndSize(wantOk)));

    // The test program's profile is empty: nothing pressed.
    ASSERT_GT(report.size(), kStampLength);
    EXPECT_TRUE(HasStampShape(report.substr(0, kStampLength))) << report;
    EXPECT_EQ(report.substr(kStampLength), "に起動したけど\r\n何もしてないよ～ん");
}

TEST(ReportDialog, MinimumTrackSizeIs160By80AndOtherLimitsStay)
{
    CReportDlg dlg;
    MINMAXINFO mmi = {};
    ASSERT_TRUE(RunDriven(dlg, {[&] {
        mmi.ptMaxSize = {1111, 2222};
        mmi.ptMaxPosition = {-3, -4};
        mmi.ptMinTrackSize = {1, 2};
        mmi.ptMaxTrackSize = {3333, 4444};
        ::SendMessageA(dlg.m_hWnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
        return true;
    }}));
    EXPECT_EQ(mmi.ptMinTrackSize.x, 160);
    EXPECT_EQ(mmi.ptMinTrackSize.y, 80);
    EXPECT_EQ(mmi.ptMaxTrackSize.x, 3333);
    EXPECT_EQ(mmi.ptMaxTrackSize.y, 4444);
}

// Erase messages outside the painter's life: before initialisation and
// after WM_DESTROY, when m_pBackground is null.
class EarlyAndLateEraseDlg : public CReportDlg {
public:
    LRESULT m_earlyResult = 0;
    LRESULT m_lateResult = 0;
    bool m_bLateSent = false;

protected:
    BOOL OnInitDialog() override
    {
        m_earlyResult = Erase();
        return CReportDlg::OnInitDialog();
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        LRESULT r = CReportDlg::WindowProc(message, wParam, lParam);
        if (message == WM_DESTROY) {
            m_lateResult = Erase();
            m_bLateSent = true;
        }
        return r;
    }

private:
    LRESULT Erase()
    {
        HDC hdc = ::GetDC(m_hWnd);
        LRESULT r = SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
        ::ReleaseDC(m_hWnd, hdc);
        return r;
    }
};

TEST(ReportDialog, EraseBeforeInitialisationAndAfterDestroyGetsTheDefault)
{
    EarlyAndLateEraseDlg dlg;
    INT_PTR result = 0;
    ASSERT_TRUE(RunDriven(dlg, {}, &result));
    EXPECT_EQ(result, IDOK);
    // The dialog's default erase fills with its brush and reports done.
    EXPECT_NE(dlg.m_earlyResult, 0);
    EXPECT_TRUE(dlg.m_bLateSent);
    EXPECT_NE(dlg.m_lateResult, 0);
}

TEST(CenteredIconOrigin, CentresWithRoundingTowardZero)
{
    EXPECT_EQ(CenteredIconOrigin(CRect(0, 0, 160, 30), 32, 32), CPoint(64, 0));  // -1 / 2 is 0
    EXPECT_EQ(CenteredIconOrigin(CRect(0, 0, 161, 33), 32, 32), CPoint(65, 1));
    EXPECT_EQ(CenteredIconOrigin(CRect(0, 0, 32, 32), 32, 32), CPoint(0, 0));
    EXPECT_EQ(CenteredIconOrigin(CRect(0, 0, 20, 10), 32, 32), CPoint(-5, -10));
    // Only the extent counts: the result is relative to the client's origin.
    EXPECT_EQ(CenteredIconOrigin(CRect(100, 200, 260, 230), 32, 32), CPoint(64, 0));
    EXPECT_EQ(CenteredIconOrigin(CRect(0, 0, 160, 30), 16, 16), CPoint(72, 7));
}

// ---------------------------------------------------------------------------
// The built program from outside. Each run has its own copy of zelvano.exe,
// hence its own profile in the Windows directory.

class ZelvanoRun {
public:
    explicit ZelvanoRun(const std::string& profileBytes) : m_profileBytes(profileBytes)
    {
        std::string name = Unique("zelvano");
        char dir[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, dir);
        m_exe = std::string(dir) + name + ".exe";
        m_bCopied = CopyFileA((testkit::BuildDir() + "\\zelvano.exe").c_str(), m_exe.c_str(), FALSE) != 0;
        m_profile = testkit::WindowsDirFile((name + ".INI").c_str());
        m_bProfileWritten = testkit::WriteFile(m_profile, profileBytes);
    }
    ~ZelvanoRun()
    {
        m_process.reset();
        DeleteFileA(m_exe.c_str());
        DeleteFileA(m_profile.c_str());
    }

    // Starts the program and waits for its window with the report in it.
    ::testing::AssertionResult Start()
    {
        if (!m_bCopied || !m_bProfileWritten)
            return ::testing::AssertionFailure() << "could not prepare " << m_exe << " / " << m_profile;
        m_before = LocalStampNow();
        m_process.reset(new testkit::Process("\"" + m_exe + "\""));
        if (!m_process->Started())
            return ::testing::AssertionFailure() << "could not start " << m_exe;
        m_hWnd = nullptr;
        bool bUp = testkit::WaitFor([this] {
            m_hWnd = testkit::FindWindowOf(m_process->Id(), "zelvano");
            return m_hWnd && ::IsWindowVisible(m_hWnd) && !testkit::WindowTextOf(Edit()).empty();
        });
        m_after = LocalStampNow();
        if (!bUp)
            return ::testing::AssertionFailure() << "the main window did not appear";
        return ::testing::AssertionSuccess();
    }

    HWND Window() const { return m_hWnd; }
    HWND Edit() const { return ::GetDlgItem(m_hWnd, IDC_REPORT); }
    HWND Ok() const { return ::GetDlgItem(m_hWnd, IDOK); }
    std::string Report() const { return testkit::WindowTextOf(Edit()); }
    const std::string& Profile() const { return m_profile; }
    const std::string& ProfileBytes() const { return m_profileBytes; }

    // The report with its stamp checked and taken off.
    ::testing::AssertionResult ReportAfterStamp(std::string* pRest) const
    {
        std::string report = Report();
        if (report.size() < kStampLength || !HasStampShape(report.substr(0, kStampLength)))
            return ::testing::AssertionFailure() << "no stamp at the start of: " << report;
        std::string stamp = report.substr(0, kStampLength);
        if (stamp < m_before || stamp > m_after)
            return ::testing::AssertionFailure()
                   << "stamp " << stamp << " is not the start time (" << m_before << " .. " << m_after << ")";
        *pRest = report.substr(kStampLength);
        return ::testing::AssertionSuccess();
    }

    // Waits for the program to end; its exit code must be 0.
    ::testing::AssertionResult Ended()
    {
        if (!m_process->WaitExit(10000))
            return ::testing::AssertionFailure() << "the program is still running";
        DWORD code = 99;
        GetExitCodeProcess(m_process->Handle(), &code);
        if (code != 0)
            return ::testing::AssertionFailure() << "exit code " << code;
        return ::testing::AssertionSuccess();
    }

private:
    std::string m_exe;
    std::string m_profile;
    std::string m_profileBytes;
    bool m_bCopied = false;
    bool m_bProfileWritten = false;
    std::unique_ptr<testkit::Process> m_process;
    HWND m_hWnd = nullptr;
    std::string m_before;
    std::string m_after;
};

std::string Profile(const std::vector<std::string>& entries)
{
    std::string s = "[BUTTON]\r\n";
    for (size_t i = 0; i < entries.size(); ++i)
        s += "BTN" + std::to_string(i + 1) + "=" + entries[i] + "\r\n";
    return s;
}

// Posts the n-th marker after the program has gone: the target handles its
// queue in order, so once the marker is logged every earlier click is too.
bool FlushTarget(const testkit::TargetApp& target, HWND hButton, size_t n)
{
    ::PostMessageA(hButton, WM_RBUTTONUP, 0, 0);
    return testkit::WaitFor([&] {
        size_t markers = 0;
        for (const std::string& m : target.MessagesOf(0))
            markers += m.rfind("WM_RBUTTONUP", 0) == 0;
        return markers >= n;
    });
}

TEST(ZelvanoProgram, EmptyListReportsAStartThatPressedNothing)
{
    ZelvanoRun run(Profile({}));
    ASSERT_TRUE(run.Start());
    std::string rest;
    ASSERT_TRUE(run.ReportAfterStamp(&rest));
    EXPECT_EQ(rest, "に起動したけど\r\n何もしてないよ～ん");
    ::PostMessageA(run.Window(), WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(run.Ended());
}

TEST(ZelvanoProgram, ListOfMissingWindowsReportsAStartThatPressedNothing)
{
    ZelvanoRun run(Profile({Unique("ない窓表") + ",押してね", Unique("none") + ",OK", Unique("solo")}));
    ASSERT_TRUE(run.Start());
    std::string rest;
    ASSERT_TRUE(run.ReportAfterStamp(&rest));
    EXPECT_EQ(rest, "に起動したけど\r\n何もしてないよ～ん");
    ::PostMessageA(run.Window(), WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(run.Ended());
}

TEST(ZelvanoProgram, FoundTargetsArePressedOncePerStartAndReportedByListPosition)
{
    // 表 ends in 0x5C, the byte the profile and the comparison must not take for '\'.
    std::string window = Unique("表示テスト");
    testkit::TargetApp target({"W:" + window, "B:押してね", "B:OK"});
    ASSERT_TRUE(target.Ready());
    HWND hTop = testkit::FindWindowOf(target.ProcessId(), window.c_str());
    ASSERT_NE(hTop, nullptr);
    HWND hFirst = ::FindWindowExA(hTop, nullptr, "Button", "押してね");
    ASSERT_NE(hFirst, nullptr);

    ZelvanoRun run(Profile({window + ",押してね", Unique("ない窓") + ",OK", window + ",OK"}));
    const std::vector<std::string> click = {"WM_LBUTTONDOWN 0 0", "WM_LBUTTONDOWN 0 0", "WM_LBUTTONUP 0 0"};
    const std::string expected = "に\r\n1)\"" + window + "\"ｳｨﾝﾄﾞの\"押してね\"ボタン\r\n3)\"" + window +
                                 "\"ｳｨﾝﾄﾞの\"OK\"ボタン\r\nを押しましたよ～ん";

    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        ASSERT_TRUE(run.Start());
        std::string rest;
        ASSERT_TRUE(run.ReportAfterStamp(&rest));
        EXPECT_EQ(rest, expected);
        ::PostMessageA(run.Window(), WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(run.Ended());
        ASSERT_TRUE(FlushTarget(target, hFirst, start));

        std::vector<std::string> want;
        for (int i = 0; i < start; ++i)
            want.insert(want.end(), click.begin(), click.end());
        std::vector<std::string> first;
        for (const std::string& m : target.MessagesOf(0))
            if (m.rfind("WM_RBUTTONUP", 0) != 0)  // the markers
                first.push_back(m);
        EXPECT_EQ(first, want);
        EXPECT_EQ(target.MessagesOf(1), want);
    }
    EXPECT_EQ(testkit::ReadFile(run.Profile()), run.ProfileBytes());
}

// The three ways a person closes the window; each ends the process with
// nothing written.
void ExpectClosedBy(const std::function<void(ZelvanoRun&)>& close)
{
    ZelvanoRun run(Profile({Unique("ない窓表") + ",押してね"}));
    ASSERT_TRUE(run.Start());
    close(run);
    EXPECT_TRUE(run.Ended());
    EXPECT_EQ(testkit::ReadFile(run.Profile()), run.ProfileBytes());
}

// The input state of the thread of a window of any process.
GUITHREADINFO GuiInfoOf(HWND hWnd)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(hWnd, nullptr), &info);
    return info;
}

void PostEscape(HWND hWnd)
{
    const LPARAM scanEsc = 0x00010001;
    ::PostMessageA(hWnd, WM_KEYDOWN, VK_ESCAPE, scanEsc);
    ::PostMessageA(hWnd, WM_KEYUP, VK_ESCAPE, scanEsc | 0xC0000000);
}

TEST(ZelvanoProgram, OkButtonEndsTheProgram)
{
    ExpectClosedBy([](ZelvanoRun& run) { ::PostMessageA(run.Ok(), BM_CLICK, 0, 0); });
}

TEST(ZelvanoProgram, EscapeOnTheFocusedControlEndsTheProgram)
{
    ExpectClosedBy([](ZelvanoRun& run) {
        HWND hFocus = nullptr;
        ASSERT_TRUE(testkit::WaitFor([&] { return (hFocus = GuiInfoOf(run.Window()).hwndFocus) != nullptr; }));
        EXPECT_EQ(hFocus, run.Ok());
        PostEscape(hFocus);
    });
}

TEST(ZelvanoProgram, EscapeInTheReportBoxEndsTheProgram)
{
    ExpectClosedBy([](ZelvanoRun& run) { PostEscape(run.Edit()); });
}

TEST(ZelvanoProgram, CloseBoxEndsTheProgram)
{
    ExpectClosedBy([](ZelvanoRun& run) { ::PostMessageA(run.Window(), WM_SYSCOMMAND, SC_CLOSE, 0); });
}

// Where the anchor rules put the report box and OK after the window has
// grown by (dx, dy) from initial, given their places there.
struct Placement {
    CRect edit;
    CRect ok;
};

Placement ExpectedAfterResize(const Placement& initial, const CRect& initialWindow, const CRect& window)
{
    int dx = window.Width() - initialWindow.Width();
    int dy = window.Height() - initialWindow.Height();
    Placement p;
    p.edit = CRect(initial.edit.left, initial.edit.top, initial.edit.right + dx, initial.edit.bottom + dy);
    // OK keeps its distance from the right edge; its client y scales with the
    // whole window height, truncated toward zero.
    auto scaleY = [&](LONG y) {
        return static_cast<LONG>(static_cast<long long>(y) * window.Height() / initialWindow.Height());
    };
    p.ok = CRect(initial.ok.left + dx, scaleY(initial.ok.top), initial.ok.right + dx, scaleY(initial.ok.bottom));
    return p;
}

Placement PlacementOf(const ZelvanoRun& run)
{
    return {ChildRectInClient(run.Window(), run.Edit()), ChildRectInClient(run.Window(), run.Ok())};
}

TEST(ZelvanoProgram, ResizingKeepsTheReportStretchedAndOkAtTheRightEdge)
{
    ZelvanoRun run(Profile({}));
    ASSERT_TRUE(run.Start());
    HWND h = run.Window();
    CRect w0;
    ::GetWindowRect(h, &w0);
    Placement initial = PlacementOf(run);

    // Sizes whose height ratios do not divide evenly, growing and shrinking.
    const SIZE deltas[] = {{123, 77}, {41, 13}, {-20, -9}};
    for (const SIZE& delta : deltas) {
        SCOPED_TRACE("resize by " + std::to_string(delta.cx) + "," + std::to_string(delta.cy));
        ::SetWindowPos(h, nullptr, 0, 0, w0.Width() + delta.cx, w0.Height() + delta.cy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        CRect w;
        ::GetWindowRect(h, &w);
        ASSERT_EQ(w.Width(), w0.Width() + delta.cx);
        ASSERT_EQ(w.Height(), w0.Height() + delta.cy);
        Placement want = ExpectedAfterResize(initial, w0, w);
        Placement now;
        testkit::WaitFor(
            [&] {
                now = PlacementOf(run);
                return now.edit == want.edit && now.ok == want.ok;
            },
            3000);
        EXPECT_EQ(RectText(now.edit), RectText(want.edit));
        EXPECT_EQ(RectText(now.ok), RectText(want.ok));
    }

    // Moving without resizing moves no control.
    Placement before = PlacementOf(run);
    ::SetWindowPos(h, nullptr, w0.left + 17, w0.top + 11, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A round trip: whatever the move made it do is done.
    ::SendMessageTimeoutA(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    Placement after = PlacementOf(run);
    EXPECT_EQ(RectText(after.edit), RectText(before.edit));
    EXPECT_EQ(RectText(after.ok), RectText(before.ok));

    ::PostMessageA(h, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(run.Ended());
}

TEST(ZelvanoProgram, MinimiseAndRestoreKeepTheControlsInPlace)
{
    ZelvanoRun run(Profile({}));
    ASSERT_TRUE(run.Start());
    HWND h = run.Window();
    CRect w0;
    ::GetWindowRect(h, &w0);
    Placement initial = PlacementOf(run);

    ::ShowWindow(h, SW_MINIMIZE);
    ASSERT_TRUE(testkit::WaitFor([&] { return ::IsIconic(h) != 0; }, 5000));
    ::ShowWindow(h, SW_RESTORE);
    ASSERT_TRUE(testkit::WaitFor([&] { return !::IsIconic(h); }, 5000));

    CRect w;
    ::GetWindowRect(h, &w);
    EXPECT_EQ(RectText(w), RectText(w0));
    Placement now = PlacementOf(run);
    EXPECT_EQ(RectText(now.edit), RectText(initial.edit));
    EXPECT_EQ(RectText(now.ok), RectText(initial.ok));

    ::PostMessageA(h, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(run.Ended());
}

}  // namespace
