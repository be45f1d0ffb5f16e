// The main window, in-process and as the built program.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/report_dlg.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "tests/testkit.h"

namespace {

using testkit::Shown;
using testkit::Strings;
using testkit::WithPid;

const char kNothingDone[] = "に起動したけど\r\n何もしてないよ～ん";

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

// An erase arriving before OnInitDialog made the painter must not crash: it gets the default.
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

TEST(ReportDialog, SystemMenuIconTemplateAndAnEraseBeforeThePainter)
{
    EarlyEraseDlg dlg;
    EXPECT_EQ(IDOK, RunLooking(dlg, [](HWND h) {
        HMENU menu = ::GetSystemMenu(h, FALSE);
        const int n = ::GetMenuItemCount(menu);
        ASSERT_GE(n, 4);
        for (int i = 0; i < n; ++i)
            EXPECT_TRUE(::GetMenuItemID(menu, i) != SC_RESTORE && ::GetMenuItemID(menu, i) != SC_MAXIMIZE) << i;
        char last[128] = {};
        ::GetMenuStringA(menu, n - 1, last, sizeof(last), MF_BYPOSITION);
        EXPECT_STREQ("設定とﾊﾞｰｼﾞｮﾝ情報 (&A)", last);
        EXPECT_EQ(0x0010u, ::GetMenuItemID(menu, n - 1));
        EXPECT_TRUE(::GetMenuState(menu, n - 2, MF_BYPOSITION) & MF_SEPARATOR);
        HICON hBig = reinterpret_cast<HICON>(::SendMessageA(h, WM_GETICON, ICON_BIG, 0));
        EXPECT_TRUE(hBig && hBig == AfxGetApp()->LoadIcon(IDR_MAINFRAME));
        EXPECT_EQ(0, ::SendMessageA(h, WM_GETICON, ICON_SMALL, 0));

        HWND hEdit = ::GetDlgItem(h, IDC_REPORT), hOk = ::GetDlgItem(h, IDOK);
        const LONG frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME;
        EXPECT_EQ(frame, ::GetWindowLongA(h, GWL_STYLE) & (frame | WS_MAXIMIZEBOX));
        const LONG edit = ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL;
        EXPECT_EQ(edit, ::GetWindowLongA(hEdit, GWL_STYLE) & (edit | WS_TABSTOP | ES_CENTER | ES_RIGHT));
        EXPECT_EQ(BS_DEFPUSHBUTTON | WS_TABSTOP, ::GetWindowLongA(hOk, GWL_STYLE) & (BS_TYPEMASK | WS_TABSTOP));
        // Position and size are converted separately: (x, y, cx, cy) in dialog units.
        CRect client, want[] = {{0, 0, 231, 53}, {7, 6, 187, 41}, {198, 16, 30, 20}};
        for (CRect& r : want)
            ::MapDialogRect(h, &r), r.right += r.left, r.bottom += r.top;
        ::GetClientRect(h, &client);
        EXPECT_EQ(want[0], client);
        EXPECT_EQ(want[1], ChildRect(h, hEdit));
        EXPECT_EQ(want[2], ChildRect(h, hOk));

        MINMAXINFO mmi = {};
        mmi.ptMaxTrackSize = {3333, 4444};
        ::SendMessageA(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
        EXPECT_TRUE(mmi.ptMinTrackSize.x == 160 && mmi.ptMinTrackSize.y == 80 && mmi.ptMaxTrackSize.x == 3333);
    }));
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
    EXPECT_EQ(CPoint(64, 0), CenteredIconOrigin(CRect(100, 200, 260, 230), 32, 32));  // -1 / 2 is 0
    EXPECT_EQ(CPoint(65, 1), CenteredIconOrigin(CRect(0, 0, 161, 33), 32, 32));
    EXPECT_EQ(CPoint(-5, -10), CenteredIconOrigin(CRect(0, 0, 20, 10), 32, 32));
}

// The report after its time stamp.
std::string Rest(const std::string& r)
{
    const size_t stamp = sizeof("dddd-dd-dd dd:dd:dd") - 1;
    return r.size() > stamp && r[4] == '-' && r[13] == ':' ? r.substr(stamp) : "<no stamp> " + r;
}

TEST(ReportDialog, ResizingPlacesTheControlsByTheirAnchorsAndAStartWithNoListDoesNothing)
{
    CReportDlg dlg;
    RunLooking(dlg, [](HWND h) {
        EXPECT_EQ(kNothingDone, Rest(testkit::WindowTextOf(::GetDlgItem(h, IDC_REPORT))));
        HWND hEdit = ::GetDlgItem(h, IDC_REPORT), hOk = ::GetDlgItem(h, IDOK);
        CRect w0, edit0 = ChildRect(h, hEdit), ok0 = ChildRect(h, hOk);
        ::GetWindowRect(h, &w0);
        // Heights whose ratios do not divide evenly, growing and shrinking.
        for (SIZE d : {SIZE{123, 77}, SIZE{41, 13}, SIZE{-20, -9}}) {
            int height = w0.Height() + d.cy;
            ::SetWindowPos(h, nullptr, 0, 0, w0.Width() + d.cx, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            // The report stretches; OK keeps its distance from the right edge
            // and its y scales with the window height, truncated.
            EXPECT_EQ(CRect(edit0.left, edit0.top, edit0.right + d.cx, edit0.bottom + d.cy), ChildRect(h, hEdit));
            EXPECT_EQ(CRect(ok0.left + d.cx, ok0.top * height / w0.Height(), ok0.right + d.cx,
                            ok0.bottom * height / w0.Height()), ChildRect(h, hOk)) << d.cx << "," << d.cy;
        }
    });
}

// Three starts of one list, ended by OK, Esc and the close box: each presses
// every button found once, reports it, ends with exit code 0 and leaves the
// profile byte for byte (a comment, an entry behind the end and another
// section would show a rewrite). The names hold '%', quotes, backslashes and
// trail bytes 0x5C (表, ソ); one window is missing and one hangs.
TEST(ZelvanoProgram, EachStartPressesTheListOnceReportsItAndEndsWithoutWriting)
{
    const std::string window = WithPid("表示 %s%n 50% \"q\" C:\\x\\"), button = "%d%% 'a' \"b\" \\\\srv\\ ソフト";
    const std::string hung = WithPid("止まった窓");
    testkit::TargetApp target({"W:" + window, "B:" + button, "B:OK", "B:Marker"}), hangs({"W:" + hung, "B:Stuck", "HANG"});
    ASSERT_TRUE(target.Ready() && hangs.Ready());
    HWND hMarker = ::GetDlgItem(testkit::FindWindowOf(target.ProcessId(), window.c_str()), 102);
    ASSERT_TRUE(hMarker);
    const std::string profile = "; Zelvano targets\r\n[BUTTON]\r\nBTN1=" + window + "," + button + "\r\nBTN2=" +
                                WithPid("ない窓") + ",OK\r\nBTN3=" + hung + ",Stuck\r\nBTN4=" + window +
                                ",OK\r\nBTN5=\r\nBTN6=" + window + ",Marker\r\n\r\n[Other]\r\n key = value \r\n";
    testkit::ZelvanoCopy zelvano(WithPid("zrep-list"), profile);
    Strings pressed, markers;
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        testkit::ZelvanoStart run(zelvano.exe);
        ASSERT_TRUE(run.hMain);
        EXPECT_EQ("に\r\n" + Shown(1, window, button) + Shown(3, hung, "Stuck") + Shown(4, window, "OK") +
                      "を押しましたよ～ん", Rest(run.report));
        HWND hOk = ::GetDlgItem(run.hMain, IDOK);
        if (way == 0) {
            ::PostMessageA(hOk, BM_CLICK, 0, 0);
        } else if (way == 1) {
            ::PostMessageA(hOk, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            ::PostMessageA(hOk, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        } else {
            ::PostMessageA(run.hMain, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        EXPECT_TRUE(run.Ended());
        EXPECT_EQ(profile, testkit::ReadFile(zelvano.profile));
        // The marker comes out of the target's queue after all of the start's presses.
        ::PostMessageA(hMarker, WM_MBUTTONUP, 0, 0);
        markers.push_back("WM_MBUTTONUP 0 0");
        ASSERT_TRUE(testkit::WaitFor([&] { return target.MessagesOf(2) == markers; }));
        pressed.insert(pressed.end(), testkit::kOnePress.begin(), testkit::kOnePress.end());
        EXPECT_EQ(pressed, target.MessagesOf(0));
        EXPECT_EQ(pressed, target.MessagesOf(1));
    }
}

}  // namespace
