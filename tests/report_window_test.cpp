// The main window: in-process for what only its own process can see (system
// menu, icon, template); the built program from outside for the rest.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/report_dlg.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "tests/testkit.h"

namespace {

const size_t kStampLength = sizeof("dddd-dd-dd dd:dd:dd") - 1;
const char kNothingDone[] = "に起動したけど\r\n何もしてないよ～ん";

std::string Unique(const char* stem)
{
    static int counter = 0;
    return std::string(stem) + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

CRect ChildRect(HWND hParent, HWND hChild)
{
    CRect r;
    ::GetWindowRect(hChild, &r);
    ::MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Runs dlg modally as the main window; once it shows, a timer inside its
// modal loop calls look, then OK ends it.
std::function<void(HWND)> g_look;
CReportDlg* g_pDlg = nullptr;

void CALLBACK LookTick(HWND, UINT, UINT_PTR, DWORD)
{
    if (!g_look || !g_pDlg->m_hWnd || !::IsWindowVisible(g_pDlg->m_hWnd))
        return;
    auto look = std::move(g_look);
    g_look = nullptr;
    look(g_pDlg->m_hWnd);
    ::PostMessageA(g_pDlg->m_hWnd, WM_COMMAND, IDOK, 0);
}

INT_PTR RunLooking(CReportDlg& dlg, std::function<void(HWND)> look)
{
    g_pDlg = &dlg;
    g_look = std::move(look);
    UINT_PTR timer = ::SetTimer(nullptr, 0, 20, LookTick);
    AfxGetApp()->m_pMainWnd = &dlg;
    INT_PTR r = dlg.DoModal();
    AfxGetApp()->m_pMainWnd = nullptr;
    ::KillTimer(nullptr, timer);
    g_pDlg = nullptr;
    return r;
}

TEST(ReportDialog, SystemMenuIconAndTemplate)
{
    CReportDlg dlg;
    std::vector<UINT> ids;
    UINT lastType = 0, beforeLastType = 0;
    char lastText[128] = {};
    HICON hBig = nullptr, hSmall = nullptr;
    LONG style = 0, editStyle = 0, okStyle = 0;
    CRect client, edit, ok, wantClient(0, 0, 231, 53), wantEdit(7, 6, 187, 41), wantOk(198, 16, 30, 20);
    MINMAXINFO mmi = {};
    EXPECT_EQ(IDOK, RunLooking(dlg, [&](HWND h) {
        HMENU menu = ::GetSystemMenu(h, FALSE);
        int n = ::GetMenuItemCount(menu);
        for (int i = 0; i < n; ++i)
            ids.push_back(::GetMenuItemID(menu, i));
        MENUITEMINFOA mii = {};
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_FTYPE;
        ::GetMenuItemInfoA(menu, n - 2, TRUE, &mii);
        beforeLastType = mii.fType;
        mii.fMask = MIIM_FTYPE | MIIM_STRING;
        mii.dwTypeData = lastText;
        mii.cch = sizeof(lastText);
        ::GetMenuItemInfoA(menu, n - 1, TRUE, &mii);
        lastType = mii.fType;

        hBig = reinterpret_cast<HICON>(::SendMessageA(h, WM_GETICON, ICON_BIG, 0));
        hSmall = reinterpret_cast<HICON>(::SendMessageA(h, WM_GETICON, ICON_SMALL, 0));
        style = ::GetWindowLongA(h, GWL_STYLE);
        editStyle = ::GetWindowLongA(::GetDlgItem(h, IDC_REPORT), GWL_STYLE);
        okStyle = ::GetWindowLongA(::GetDlgItem(h, IDOK), GWL_STYLE);
        ::GetClientRect(h, &client);
        edit = ChildRect(h, ::GetDlgItem(h, IDC_REPORT));
        ok = ChildRect(h, ::GetDlgItem(h, IDOK));
        // Position and size are converted separately: (x, y, cx, cy) here.
        for (CRect* r : {&wantClient, &wantEdit, &wantOk})
            ::MapDialogRect(h, r);
        mmi.ptMaxTrackSize = {3333, 4444};
        ::SendMessageA(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    }));

    for (UINT id : ids) {
        EXPECT_NE(static_cast<UINT>(SC_RESTORE), id);
        EXPECT_NE(static_cast<UINT>(SC_MAXIMIZE), id);
    }
    ASSERT_GE(ids.size(), 4u);
    EXPECT_TRUE(beforeLastType & MFT_SEPARATOR);
    EXPECT_EQ(0x0010u, ids.back());
    EXPECT_FALSE(lastType & MFT_SEPARATOR);
    EXPECT_STREQ("設定とﾊﾞｰｼﾞｮﾝ情報 (&A)", lastText);

    EXPECT_NE(nullptr, hBig);
    EXPECT_EQ(AfxGetApp()->LoadIcon(IDR_MAINFRAME), hBig);
    EXPECT_EQ(nullptr, hSmall);

    const LONG frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME;
    EXPECT_EQ(frame, style & (frame | WS_MAXIMIZEBOX));
    const LONG editBits = ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL;
    EXPECT_EQ(editBits, editStyle & (editBits | WS_TABSTOP | ES_CENTER | ES_RIGHT));
    EXPECT_EQ(BS_DEFPUSHBUTTON | WS_TABSTOP, okStyle & (BS_TYPEMASK | WS_TABSTOP));
    EXPECT_EQ(wantClient, client);
    auto placed = [](const CRect& r) { return CRect(r.left, r.top, r.left + r.right, r.top + r.bottom); };
    EXPECT_EQ(placed(wantEdit), edit);
    EXPECT_EQ(placed(wantOk), ok);

    EXPECT_EQ(160, mmi.ptMinTrackSize.x);
    EXPECT_EQ(80, mmi.ptMinTrackSize.y);
    EXPECT_EQ(3333, mmi.ptMaxTrackSize.x);  // the other limits stay
}

// An erase arriving before OnInitDialog made the painter must not crash.
class EarlyEraseDlg : public CReportDlg {
public:
    LRESULT m_erased = 0;

protected:
    BOOL OnInitDialog() override
    {
        HDC hdc = ::GetDC(m_hWnd);
        m_erased = SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
        ::ReleaseDC(m_hWnd, hdc);
        return CReportDlg::OnInitDialog();
    }
};

TEST(ReportDialog, EraseBeforeThePainterExistsGetsTheDefault)
{
    EarlyEraseDlg dlg;
    EXPECT_EQ(IDOK, RunLooking(dlg, [](HWND) {}));
    EXPECT_NE(0, dlg.m_erased);
}

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Every static and button text of both templates fits its control on one
// line, measured in the font that the dialog gave the control: a label cut
// short on screen fails here (a static wraps what does not fit, and the next
// line falls outside it).
TEST(DialogTemplates, EveryTextFitsItsControlInTheDialogsFont)
{
    const int buttonInset = 2 * (::GetSystemMetrics(SM_CXEDGE) + 1);  // edges and focus frame
    for (int id : {IDD_REPORT, IDD_SETTINGS}) {
        HWND hDlg = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr,
                                         InertDialogProc, 0);
        ASSERT_NE(nullptr, hDlg);
        HDC hDC = ::GetDC(hDlg);
        int checked = 0;
        for (HWND h = ::GetWindow(hDlg, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
            char cls[16] = {};
            ::GetClassNameA(h, cls, sizeof(cls));
            const bool button = ::lstrcmpiA(cls, "Button") == 0;
            const LONG type = ::GetWindowLongA(h, GWL_STYLE) & SS_TYPEMASK;
            if (!button && (::lstrcmpiA(cls, "Static") != 0 || type > SS_RIGHT))
                continue;  // edit boxes, the list, the icon
            const std::string text = testkit::WindowTextOf(h);
            HGDIOBJ hOld = ::SelectObject(hDC, reinterpret_cast<HGDIOBJ>(::SendMessageA(h, WM_GETFONT, 0, 0)));
            CRect need, have;
            ::DrawTextA(hDC, text.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
            ::SelectObject(hDC, hOld);
            ::GetClientRect(h, &have);
            EXPECT_LE(need.Width(), have.Width() - (button ? buttonInset : 0)) << id << " " << text;
            EXPECT_LE(need.Height(), have.Height()) << id << " " << text;
            ++checked;
        }
        ::ReleaseDC(hDlg, hDC);
        ::DestroyWindow(hDlg);
        EXPECT_EQ(id == IDD_REPORT ? 1 : 7, checked) << id;
    }
}

TEST(CenteredIconOrigin, CentresWithRoundingTowardZero)
{
    EXPECT_EQ(CPoint(64, 0), CenteredIconOrigin(CRect(0, 0, 160, 30), 32, 32));  // -1 / 2 is 0
    EXPECT_EQ(CPoint(65, 1), CenteredIconOrigin(CRect(0, 0, 161, 33), 32, 32));
    EXPECT_EQ(CPoint(-5, -10), CenteredIconOrigin(CRect(0, 0, 20, 10), 32, 32));
    EXPECT_EQ(CPoint(64, 0), CenteredIconOrigin(CRect(100, 200, 260, 230), 32, 32));
}

// The built program; a copy of its own per run, hence its own profile.
class ZelvanoRun {
public:
    explicit ZelvanoRun(const std::vector<std::string>& entries)
    {
        // The program names its profile after its own file.
        std::string name = Unique("zelvano-report");
        char dir[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, dir);
        m_exe = dir + name + ".exe";
        m_bReady = ::CopyFileA((testkit::BuildDir() + "\\zelvano.exe").c_str(), m_exe.c_str(), FALSE) != 0;
        m_profile = testkit::WindowsDirFile((name + ".INI").c_str());
        m_bytes = "[BUTTON]\r\n";
        for (size_t i = 0; i < entries.size(); ++i)
            m_bytes += "BTN" + std::to_string(i + 1) + "=" + entries[i] + "\r\n";
        m_bReady = m_bReady && testkit::WriteFile(m_profile, m_bytes);
    }
    ~ZelvanoRun()
    {
        m_process.reset();
        testkit::WaitFor([this] { return ::DeleteFileA(m_exe.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND; },
                         5000);
        ::DeleteFileA(m_profile.c_str());
    }

    ::testing::AssertionResult Start()
    {
        if (!m_bReady)
            return ::testing::AssertionFailure() << "could not prepare " << m_exe;
        m_process.reset(new testkit::Process("\"" + m_exe + "\""));
        m_hWnd = nullptr;
        if (!testkit::WaitFor([this] {
                m_hWnd = testkit::FindWindowOf(m_process->Id(), "zelvano");
                return m_hWnd && ::IsWindowVisible(m_hWnd) && !Report().empty();
            }))
            return ::testing::AssertionFailure() << "the main window did not appear";
        return ::testing::AssertionSuccess();
    }
    // Ended with exit code 0 and the profile untouched.
    ::testing::AssertionResult Ended()
    {
        DWORD code = 99;
        if (!m_process->WaitExit(10000) || !::GetExitCodeProcess(m_process->Handle(), &code) || code != 0)
            return ::testing::AssertionFailure() << "still running or exit code " << code;
        if (testkit::ReadFile(m_profile) != m_bytes)
            return ::testing::AssertionFailure() << "the profile changed";
        return ::testing::AssertionSuccess();
    }
    HWND Window() const { return m_hWnd; }
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    std::string Report() const { return testkit::WindowTextOf(Item(IDC_REPORT)); }
    // The report after its time stamp.
    std::string Rest() const
    {
        std::string r = Report();
        return r.size() > kStampLength && r[4] == '-' && r[13] == ':' ? r.substr(kStampLength) : "<no stamp> " + r;
    }

private:
    std::string m_exe, m_profile, m_bytes;
    bool m_bReady = false;
    std::unique_ptr<testkit::Process> m_process;
    HWND m_hWnd = nullptr;
};

TEST(ZelvanoProgram, ReportsWhatEachStartPressed)
{
    // 表 ends in 0x5C, which must not be taken for a backslash.
    std::string window = Unique("表示テスト");
    testkit::TargetApp target({"W:" + window, "B:押してね", "B:OK"});
    ASSERT_TRUE(target.Ready());

    ZelvanoRun none({});
    ASSERT_TRUE(none.Start());
    EXPECT_EQ(kNothingDone, none.Rest());
    ZelvanoRun missing({Unique("ない窓表") + ",押してね", Unique("solo")});
    ASSERT_TRUE(missing.Start());
    EXPECT_EQ(kNothingDone, missing.Rest());

    ZelvanoRun found({window + ",押してね", Unique("ない窓") + ",OK", window + ",OK"});
    const std::string want = "に\r\n1)\"" + window + "\"ｳｨﾝﾄﾞの\"押してね\"ボタン\r\n3)\"" + window +
                             "\"ｳｨﾝﾄﾞの\"OK\"ボタン\r\nを押しましたよ～ん";
    std::vector<std::string> clicks;
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        ASSERT_TRUE(found.Start());
        EXPECT_EQ(want, found.Rest());
        ::PostMessageA(found.Window(), WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(found.Ended());
        clicks.insert(clicks.end(), {"WM_LBUTTONDOWN 0 0", "WM_LBUTTONDOWN 0 0", "WM_LBUTTONUP 0 0"});
        // The presses are posted: wait until the target handled them.
        testkit::WaitFor([&] { return target.MessagesOf(0) == clicks && target.MessagesOf(1) == clicks; });
        EXPECT_EQ(clicks, target.MessagesOf(0));
        EXPECT_EQ(clicks, target.MessagesOf(1));
    }
    for (ZelvanoRun* run : {&none, &missing}) {
        ::PostMessageA(run->Window(), WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(run->Ended());
    }
}

TEST(ZelvanoProgram, OkEscOrCloseBoxEndsItWithoutWriting)
{
    const LPARAM esc = 0x00010001;
    const std::vector<std::pair<const char*, std::function<void(const ZelvanoRun&)>>> ways = {
        {"OK", [](const ZelvanoRun& r) { ::PostMessageA(r.Item(IDOK), BM_CLICK, 0, 0); }},
        {"Esc", [&](const ZelvanoRun& r) {
             ::PostMessageA(r.Item(IDOK), WM_KEYDOWN, VK_ESCAPE, esc);
             ::PostMessageA(r.Item(IDOK), WM_KEYUP, VK_ESCAPE, esc | 0xC0000000);
         }},
        {"close box", [](const ZelvanoRun& r) { ::PostMessageA(r.Window(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.first);
        ZelvanoRun run({Unique("ない窓表") + ",押してね"});
        ASSERT_TRUE(run.Start());
        way.second(run);
        EXPECT_TRUE(run.Ended());
    }
}

TEST(ZelvanoProgram, ResizingPlacesTheControlsByTheirAnchors)
{
    ZelvanoRun run({});
    ASSERT_TRUE(run.Start());
    HWND h = run.Window();
    CRect w0, edit0 = ChildRect(h, run.Item(IDC_REPORT)), ok0 = ChildRect(h, run.Item(IDOK));
    ::GetWindowRect(h, &w0);
    // Heights whose ratios do not divide evenly, growing and shrinking.
    for (SIZE d : {SIZE{123, 77}, SIZE{41, 13}, SIZE{-20, -9}}) {
        SCOPED_TRACE(std::to_string(d.cx) + "," + std::to_string(d.cy));
        int height = w0.Height() + d.cy;
        ::SetWindowPos(h, nullptr, 0, 0, w0.Width() + d.cx, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        // The report stretches; OK keeps its distance from the right edge
        // and its y scales with the window height, truncated.
        CRect edit(edit0.left, edit0.top, edit0.right + d.cx, edit0.bottom + d.cy);
        CRect ok(ok0.left + d.cx, ok0.top * height / w0.Height(), ok0.right + d.cx, ok0.bottom * height / w0.Height());
        EXPECT_TRUE(testkit::WaitFor(
            [&] { return ChildRect(h, run.Item(IDC_REPORT)) == edit && ChildRect(h, run.Item(IDOK)) == ok; }, 3000));
    }
    ::PostMessageA(h, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(run.Ended());
}

}  // namespace
