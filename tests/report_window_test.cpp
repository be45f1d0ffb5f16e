// The main window: in-process for what only its own process can see (system
// menu, icon, template); the built program from outside for the rest.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/report_dlg.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "tests/testkit.h"

namespace {

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
        for (int i = 0; i < n; ++i) {
            EXPECT_NE(static_cast<UINT>(SC_RESTORE), ::GetMenuItemID(menu, i));
            EXPECT_NE(static_cast<UINT>(SC_MAXIMIZE), ::GetMenuItemID(menu, i));
        }
        char lastText[128] = {};
        MENUITEMINFOA mii = {};
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_FTYPE;
        ::GetMenuItemInfoA(menu, n - 2, TRUE, &mii);
        EXPECT_TRUE(mii.fType & MFT_SEPARATOR);
        mii.fMask = MIIM_FTYPE | MIIM_STRING, mii.dwTypeData = lastText, mii.cch = sizeof(lastText);
        ::GetMenuItemInfoA(menu, n - 1, TRUE, &mii);
        EXPECT_FALSE(mii.fType & MFT_SEPARATOR);
        EXPECT_STREQ("設定とﾊﾞｰｼﾞｮﾝ情報 (&A)", lastText);
        EXPECT_EQ(0x0010u, ::GetMenuItemID(menu, n - 1));

        HICON hBig = reinterpret_cast<HICON>(::SendMessageA(h, WM_GETICON, ICON_BIG, 0));
        EXPECT_NE(nullptr, hBig);
        EXPECT_EQ(AfxGetApp()->LoadIcon(IDR_MAINFRAME), hBig);
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
        EXPECT_EQ(160, mmi.ptMinTrackSize.x);
        EXPECT_EQ(80, mmi.ptMinTrackSize.y);
        EXPECT_EQ(3333, mmi.ptMaxTrackSize.x);  // the other limits stay
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
    EXPECT_EQ(CPoint(64, 0), CenteredIconOrigin(CRect(0, 0, 160, 30), 32, 32));  // -1 / 2 is 0
    EXPECT_EQ(CPoint(65, 1), CenteredIconOrigin(CRect(0, 0, 161, 33), 32, 32));
    EXPECT_EQ(CPoint(-5, -10), CenteredIconOrigin(CRect(0, 0, 20, 10), 32, 32));
    EXPECT_EQ(CPoint(64, 0), CenteredIconOrigin(CRect(100, 200, 260, 230), 32, 32));
}

// A profile that lists entries; the report after its time stamp.
std::string ListOf(const Strings& entries)
{
    std::string bytes = "[BUTTON]\r\n";
    for (size_t i = 0; i < entries.size(); ++i)
        bytes += "BTN" + std::to_string(i + 1) + "=" + entries[i] + "\r\n";
    return bytes;
}

std::string Rest(const std::string& r)
{
    const size_t stamp = sizeof("dddd-dd-dd dd:dd:dd") - 1;
    return r.size() > stamp && r[4] == '-' && r[13] == ':' ? r.substr(stamp) : "<no stamp> " + r;
}

// Two starts of each list: every start presses anew and ends, by OK, Esc or
// the close box in turn, with exit code 0 and the profile as it was.
TEST(ZelvanoProgram, ReportsWhatEachStartPressedAndEndsWithoutWriting)
{
    // 表 ends in 0x5C, which must not be taken for a backslash.
    const std::string window = WithPid("表示テスト");
    testkit::TargetApp target({"W:" + window, "B:押してね", "B:OK"});
    ASSERT_TRUE(target.Ready());
    const struct { Strings entries; std::string rest; } cases[] = {
        {{}, kNothingDone},
        {{WithPid("ない窓表") + ",押してね", WithPid("solo")}, kNothingDone},
        {{window + ",押してね", WithPid("ない窓") + ",OK", window + ",OK"},
         "に\r\n" + testkit::Shown(1, window, "押してね") + testkit::Shown(3, window, "OK") + "を押しましたよ～ん"},
    };
    Strings clicks;
    int way = 0;
    for (const auto& c : cases) {
        const std::string bytes = ListOf(c.entries);
        testkit::ZelvanoCopy zelvano(WithPid("zrep-list" + std::to_string(c.entries.size())), bytes);
        for (int start = 1; start <= 2; ++start, way = (way + 1) % 3) {
            SCOPED_TRACE(bytes + " start " + std::to_string(start) + " way " + std::to_string(way));
            testkit::ZelvanoStart run(zelvano.exe);
            ASSERT_TRUE(run.hMain);
            EXPECT_EQ(c.rest, Rest(run.report));
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
            EXPECT_EQ(bytes, testkit::ReadFile(zelvano.profile));
            if (c.rest != kNothingDone)
                clicks.insert(clicks.end(), testkit::kOnePress.begin(), testkit::kOnePress.end());
            // The presses are posted: wait until the target handled them.
            testkit::WaitFor([&] { return target.MessagesOf(0) == clicks && target.MessagesOf(1) == clicks; });
            EXPECT_EQ(clicks, target.MessagesOf(0));
            EXPECT_EQ(clicks, target.MessagesOf(1));
        }
    }
}

TEST(ZelvanoProgram, ResizingPlacesTheControlsByTheirAnchors)
{
    testkit::ZelvanoCopy zelvano(WithPid("zrep-size"), ListOf({}));
    testkit::ZelvanoStart run(zelvano.exe);
    ASSERT_TRUE(run.hMain);
    HWND h = run.hMain, hEdit = ::GetDlgItem(h, IDC_REPORT), hOk = ::GetDlgItem(h, IDOK);
    CRect w0, edit0 = ChildRect(h, hEdit), ok0 = ChildRect(h, hOk);
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
        EXPECT_TRUE(testkit::WaitFor([&] { return ChildRect(h, hEdit) == edit && ChildRect(h, hOk) == ok; }, 3000));
    }
    EXPECT_TRUE(run.Close());
}

}  // namespace
