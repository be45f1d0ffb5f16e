#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "tests/testkit.h"
#include "ui/anchor_layout.h"

namespace {

::testing::AssertionResult SamePoint(const char* ea, const char* eb, const CPoint& a, const CPoint& b)
{
    if (a == b)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ea << " is (" << a.x << ", " << a.y << "), " << eb << " is (" << b.x
                                         << ", " << b.y << ")";
}

::testing::AssertionResult SameRect(const char* ea, const char* eb, const CRect& a, const CRect& b)
{
    if (a == b)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ea << " is (" << a.left << ", " << a.top << ", " << a.right << ", "
                                         << a.bottom << "), " << eb << " is (" << b.left << ", " << b.top << ", "
                                         << b.right << ", " << b.bottom << ")";
}

#define EXPECT_POINT(a, b) EXPECT_PRED_FORMAT2(SamePoint, a, b)
#define EXPECT_RECT(a, b) EXPECT_PRED_FORMAT2(SameRect, a, b)

AnchorCorner Corner(int nAnchor, int cx, int cy)
{
    AnchorCorner c;
    c.m_nAnchor = nAnchor;
    c.m_offset = CSize(cx, cy);
    return c;
}

CRect Shifted(const CRect& r, int dx, int dy)
{
    return CRect(r.left + dx, r.top + dy, r.right + dx, r.bottom + dy);
}

// A resizable top-level window of the test's own with plain child controls.
class OwnerWindow {
public:
    OwnerWindow(int x, int y, int cx, int cy)
    {
        static ATOM atom = Register();
        m_hWnd = ::CreateWindowExA(0, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(atom)), "anchor owner",
                                   WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x, y, cx, cy, nullptr, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
        ::ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
        ::UpdateWindow(m_hWnd);
        testkit::PumpMessages();
    }
    ~OwnerWindow()
    {
        if (m_hWnd)
            ::DestroyWindow(m_hWnd);
    }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;

    HWND Handle() const { return m_hWnd; }

    HWND AddChild(int nID, const CRect& rcClient, const char* cls = "STATIC")
    {
        return ::CreateWindowExA(0, cls, "child", WS_CHILD | WS_VISIBLE, rcClient.left, rcClient.top,
                                 rcClient.Width(), rcClient.Height(), m_hWnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(nID)), ::GetModuleHandleA(nullptr),
                                 nullptr);
    }

    // The child's rectangle in the owner's client coordinates.
    CRect ChildRect(int nID) const
    {
        CRect r;
        ::GetWindowRect(::GetDlgItem(m_hWnd, nID), &r);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    CRect WindowRect() const
    {
        CRect r;
        ::GetWindowRect(m_hWnd, &r);
        return r;
    }

    // Keeps the position; true when the window got exactly that size.
    bool Resize(int cx, int cy)
    {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        testkit::PumpMessages();
        CRect r = WindowRect();
        return r.Width() == cx && r.Height() == cy;
    }

    bool MoveTo(int x, int y)
    {
        ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        testkit::PumpMessages();
        CRect r = WindowRect();
        return r.left == x && r.top == y;
    }

private:
    static ATOM Register()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = "ZelvanoAnchorTestOwner";
        return ::RegisterClassA(&wc);
    }

    HWND m_hWnd = nullptr;
};

}  // namespace

// ---- Pure calculations ----

TEST(AnchorLayoutCalc, AnchorPointsOfTheEightCodes)
{
    const CRect r(200, 150, 560, 260);
    EXPECT_POINT(GetAnchorPoint(r, ANCHOR_TOPLEFT), CPoint(200, 150));
    EXPECT_POINT(GetAnchorPoint(r, ANCHOR_TOPRIGHT), CPoint(560, 150));
    EXPECT_POINT(GetAnchorPoint(r, ANCHOR_BOTTOMLEFT), CPoint(200, 260));
    EXPECT_POINT(GetAnchorPoint(r, ANCHOR_BOTTOMRIGHT), CPoint(560, 260));
    EXPECT_POINT(GetAnchorPoint(r, ANCHOR_TOPLEFT_SCALEX), CPoint(200, 150));
    EXPECT_POINT(GetAnchorPoint(r, ANCHOR_BOTTOMLEFT_SCALEX), CPoint(200, 260));
    EXPECT_POINT(GetAnchorPoint(r, ANCHOR_TOPLEFT_SCALEY), CPoint(200, 150));
    EXPECT_POINT(GetAnchorPoint(r, ANCHOR_TOPRIGHT_SCALEY), CPoint(560, 150));
}

// Each code scales only its own coordinate, and only from the left or top edge.
TEST(AnchorLayoutCalc, EachCodeMovesAndScalesItsOwnCoordinate)
{
    const CRect initial(0, 0, 150, 100);
    const CRect now(10, 20, 310, 220);  // twice as wide and twice as high
    const struct {
        int code;
        CPoint expected;
    } cases[] = {
        {ANCHOR_TOPLEFT, CPoint(5, 7)},           {ANCHOR_TOPRIGHT, CPoint(305, 7)},
        {ANCHOR_BOTTOMLEFT, CPoint(5, 207)},      {ANCHOR_BOTTOMRIGHT, CPoint(305, 207)},
        {ANCHOR_TOPLEFT_SCALEX, CPoint(10, 7)},   {ANCHOR_BOTTOMLEFT_SCALEX, CPoint(10, 207)},
        {ANCHOR_TOPLEFT_SCALEY, CPoint(5, 14)},   {ANCHOR_TOPRIGHT_SCALEY, CPoint(305, 14)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_POINT(CalcAnchorCorner(now, initial, Corner(c.code, 5, 7)), c.expected);
    }
}

TEST(AnchorLayoutCalc, WorkedExampleOfTheMainDialog)
{
    const CRect registered(200, 150, 560, 260);
    const CPoint clientOrigin(203, 172);
    const CSize d(clientOrigin.x - registered.left, clientOrigin.y - registered.top);
    // What AddControl measures: the corner minus its anchor point minus the client-origin distance.
    auto measure = [&](int x, int y, int code) {
        CPoint a = GetAnchorPoint(registered, code);
        return Corner(code, x - a.x - d.cx, y - a.y - d.cy);
    };
    const AnchorCorner boxTL = measure(214, 182, 0);
    const AnchorCorner boxBR = measure(514, 248, 3);
    const AnchorCorner okTL = measure(508, 198, 7);
    const AnchorCorner okBR = measure(552, 230, 7);
    EXPECT_TRUE(boxTL.m_offset == CSize(11, 10));
    EXPECT_TRUE(boxBR.m_offset == CSize(-49, -34));
    EXPECT_TRUE(okTL.m_offset == CSize(-55, 26));
    EXPECT_TRUE(okBR.m_offset == CSize(-11, 58));

    // Only the size matters: the same drag ending elsewhere on the screen gives the same places.
    for (const CRect& dragged : {CRect(200, 150, 680, 350), CRect(-40, 700, 440, 900)}) {
        EXPECT_POINT(CalcAnchorCorner(dragged, registered, boxTL), CPoint(11, 10));
        EXPECT_POINT(CalcAnchorCorner(dragged, registered, boxBR), CPoint(431, 166));
        CPoint tl = CalcAnchorCorner(dragged, registered, okTL);
        CPoint br = CalcAnchorCorner(dragged, registered, okBR);
        EXPECT_POINT(tl, CPoint(425, 47));
        EXPECT_EQ(44, br.x - tl.x);
        EXPECT_EQ(58, br.y - tl.y);
    }
}

TEST(AnchorLayoutCalc, ScaledOffsetsTruncateTowardZero)
{
    // 3 : 2 across and down; -10.5 must become -10, not -11, and 10.5 becomes 10.
    const CRect initial(0, 0, 200, 200);
    const CRect now(50, 60, 350, 360);
    EXPECT_EQ(-10, CalcAnchorCorner(now, initial, Corner(ANCHOR_TOPLEFT_SCALEX, -7, 0)).x);
    EXPECT_EQ(-10, CalcAnchorCorner(now, initial, Corner(ANCHOR_TOPLEFT_SCALEY, 0, -7)).y);
    EXPECT_EQ(10, CalcAnchorCorner(now, initial, Corner(ANCHOR_TOPLEFT_SCALEX, 7, 0)).x);
    EXPECT_POINT(CalcAnchorCorner(now, initial, Corner(ANCHOR_BOTTOMLEFT_SCALEX, -7, -7)), CPoint(-10, 293));
    EXPECT_POINT(CalcAnchorCorner(now, initial, Corner(ANCHOR_TOPRIGHT_SCALEY, -7, -7)), CPoint(293, -10));
    // Shrinking: 2 : 3, -10 gives -6.67 -> -6.
    EXPECT_EQ(-6, CalcAnchorCorner(CRect(0, 0, 200, 200), CRect(0, 0, 300, 300),
                                   Corner(ANCHOR_TOPLEFT_SCALEX, -10, 0)).x);
}

TEST(AnchorLayoutCalc, ZeroInitialExtentScalesNothing)
{
    const CRect flat(100, 100, 100, 100);
    const CRect now(0, 0, 400, 300);
    EXPECT_POINT(CalcAnchorCorner(now, flat, Corner(ANCHOR_TOPLEFT_SCALEX, 13, 17)), CPoint(13, 17));
    EXPECT_POINT(CalcAnchorCorner(now, flat, Corner(ANCHOR_BOTTOMLEFT_SCALEX, 13, -17)), CPoint(13, 283));
    EXPECT_POINT(CalcAnchorCorner(now, flat, Corner(ANCHOR_TOPLEFT_SCALEY, 13, 17)), CPoint(13, 17));
    EXPECT_POINT(CalcAnchorCorner(now, flat, Corner(ANCHOR_TOPRIGHT_SCALEY, -13, 17)), CPoint(387, 17));
    // Only width zero: the height still scales.
    EXPECT_POINT(CalcAnchorCorner(now, CRect(0, 0, 0, 150), Corner(ANCHOR_TOPLEFT_SCALEY, 13, 17)),
                 CPoint(13, 34));
}

TEST(AnchorLayoutCalc, CodesOutsideTheTableAnchorAtTheOrigin)
{
    const CRect r(120, 80, 520, 380);
    for (int code : {8, 9, 100, -1, -8, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(code);
        EXPECT_POINT(GetAnchorPoint(r, code), CPoint(0, 0));
        // The anchor is the screen origin, relative to the window; nothing scales.
        EXPECT_POINT(CalcAnchorCorner(r, CRect(0, 0, 100, 100), Corner(code, 6, -4)), CPoint(-120 + 6, -80 - 4));
    }
}

TEST(AnchorLayoutCalc, MinTrackSizeNeedsBothExtents)
{
    OwnerWindow owner(40, 40, 300, 200);
    CWnd w(owner.Handle());
    MINMAXINFO untouched;
    std::memset(&untouched, 0x5A, sizeof(untouched));

    for (CSize min : {CSize(160, 0), CSize(0, 80), CSize(0, 0)}) {
        CAnchorLayout layout(&w, min);
        MINMAXINFO mmi = untouched;
        layout.ApplyMinTrackSize(&mmi);
        EXPECT_EQ(0, std::memcmp(&mmi, &untouched, sizeof(mmi))) << min.cx << " x " << min.cy;
    }

    CAnchorLayout layout(&w, CSize(160, 80));
    MINMAXINFO mmi = untouched;
    layout.ApplyMinTrackSize(&mmi);
    EXPECT_EQ(160, mmi.ptMinTrackSize.x);
    EXPECT_EQ(80, mmi.ptMinTrackSize.y);
    MINMAXINFO expected = untouched;
    expected.ptMinTrackSize.x = 160;
    expected.ptMinTrackSize.y = 80;
    EXPECT_EQ(0, std::memcmp(&mmi, &expected, sizeof(mmi)));
}

// ---- Real windows ----

TEST(AnchorLayoutWindow, FixedCodesFollowTheirCorners)
{
    OwnerWindow owner(60, 60, 400, 300);
    ASSERT_TRUE(owner.Handle());
    const CRect r0(10, 12, 60, 40), r1(300, 12, 350, 40), r2(10, 200, 60, 230), r3(300, 200, 350, 230),
        stretch(80, 60, 280, 180);
    owner.AddChild(200, r0);
    owner.AddChild(201, r1);
    owner.AddChild(202, r2);
    owner.AddChild(203, r3);
    owner.AddChild(204, stretch);
    CWnd w(owner.Handle());
    CAnchorLayout layout(&w, CSize(160, 80));
    EXPECT_EQ(0, layout.AddControl(200, ANCHOR_TOPLEFT, ANCHOR_TOPLEFT));
    EXPECT_EQ(1, layout.AddControl(201, ANCHOR_TOPRIGHT, ANCHOR_TOPRIGHT));
    EXPECT_EQ(2, layout.AddControl(202, ANCHOR_BOTTOMLEFT, ANCHOR_BOTTOMLEFT));
    EXPECT_EQ(3, layout.AddControl(203, ANCHOR_BOTTOMRIGHT, ANCHOR_BOTTOMRIGHT));
    EXPECT_EQ(4, layout.AddControl(204, ANCHOR_TOPLEFT, ANCHOR_BOTTOMRIGHT));

    // Larger, then smaller than the start, then back.
    for (CSize delta : {CSize(70, 45), CSize(-30, -20), CSize(0, 0)}) {
        SCOPED_TRACE(testing::Message() << delta.cx << ", " << delta.cy);
        ASSERT_TRUE(owner.Resize(400 + delta.cx, 300 + delta.cy));
        layout.Relayout();
        const int dx = delta.cx, dy = delta.cy;
        EXPECT_RECT(owner.ChildRect(200), r0);
        EXPECT_RECT(owner.ChildRect(201), Shifted(r1, dx, 0));
        EXPECT_RECT(owner.ChildRect(202), Shifted(r2, 0, dy));
        EXPECT_RECT(owner.ChildRect(203), Shifted(r3, dx, dy));
        EXPECT_RECT(owner.ChildRect(204),
                    CRect(stretch.left, stretch.top, stretch.right + dx, stretch.bottom + dy));
    }
}

TEST(AnchorLayoutWindow, WorkedExampleOfTheMainDialog)
{
    // The example's screen rectangles less its client origin (203, 172); the
    // result does not depend on this frame's own thickness.
    OwnerWindow owner(200, 150, 360, 110);
    ASSERT_TRUE(owner.Resize(360, 110));
    owner.AddChild(1000, CRect(11, 10, 311, 76), "EDIT");
    owner.AddChild(IDOK, CRect(305, 26, 349, 58), "BUTTON");
    CWnd w(owner.Handle());
    CAnchorLayout layout(&w, CSize(160, 80));
    EXPECT_EQ(0, layout.AddControl(1000, 0, 3));
    EXPECT_EQ(1, layout.AddControl(IDOK, 7, 7));

    ASSERT_TRUE(owner.Resize(480, 200));
    layout.Relayout();
    EXPECT_RECT(owner.ChildRect(1000), CRect(11, 10, 431, 166));
    EXPECT_RECT(owner.ChildRect(IDOK), CRect(425, 47, 425 + 44, 47 + 58));
}

TEST(AnchorLayoutWindow, ScalingCodesAtInitialSizeAndAfterResizing)
{
    OwnerWindow owner(80, 80, 200, 200);
    ASSERT_TRUE(owner.Resize(200, 200));
    // Partly left of and above the client area, so offsets are negative.
    const CRect a(-7, 20, 33, 50), b(40, -7, 80, 33), c(90, 30, 130, 70), e(20, 100, 150, 140);
    owner.AddChild(301, a);
    owner.AddChild(302, b);
    owner.AddChild(303, c);
    owner.AddChild(304, e);
    CWnd w(owner.Handle());
    CAnchorLayout layout(&w, CSize(160, 80));
    EXPECT_EQ(0, layout.AddControl(301, ANCHOR_TOPLEFT_SCALEX, ANCHOR_TOPLEFT_SCALEX));
    EXPECT_EQ(1, layout.AddControl(302, ANCHOR_TOPLEFT_SCALEY, ANCHOR_TOPLEFT_SCALEY));
    EXPECT_EQ(2, layout.AddControl(303, ANCHOR_TOPRIGHT_SCALEY, ANCHOR_BOTTOMLEFT_SCALEX));
    EXPECT_EQ(3, layout.AddControl(304, ANCHOR_BOTTOMLEFT_SCALEX, ANCHOR_BOTTOMRIGHT));

    layout.Relayout();
    EXPECT_RECT(owner.ChildRect(301), a);
    EXPECT_RECT(owner.ChildRect(302), b);
    EXPECT_RECT(owner.ChildRect(303), c);
    EXPECT_RECT(owner.ChildRect(304), e);

    // 3 : 2 in both directions.
    ASSERT_TRUE(owner.Resize(300, 300));
    layout.Relayout();
    // -7 * 1.5 = -10.5 -> -10; 33 * 1.5 = 49.5 -> 49.
    EXPECT_RECT(owner.ChildRect(301), CRect(-10, 20, 49, 50));
    EXPECT_RECT(owner.ChildRect(302), CRect(40, -10, 80, 49));
    // TL: x keeps its distance from the right edge, y = 30 * 1.5; BR: x = 130 * 1.5, y from the bottom.
    EXPECT_RECT(owner.ChildRect(303), CRect(190, 45, 195, 170));
    // TL: x = 20 * 1.5, y from the bottom; BR: both from the bottom-right corner.
    EXPECT_RECT(owner.ChildRect(304), CRect(30, 200, 250, 240));

    // Back at the initial size everything is exactly where it was registered.
    ASSERT_TRUE(owner.Resize(200, 200));
    layout.Relayout();
    EXPECT_RECT(owner.ChildRect(301), a);
    EXPECT_RECT(owner.ChildRect(302), b);
    EXPECT_RECT(owner.ChildRect(303), c);
    EXPECT_RECT(owner.ChildRect(304), e);
}

// Offsets are measured on the window as it is at registration, while the
// scaling codes keep dividing by the size the layout was created at.
TEST(AnchorLayoutWindow, RegistrationAfterAResizeScalesByTheConstructionSize)
{
    OwnerWindow owner(90, 70, 200, 200);
    ASSERT_TRUE(owner.Resize(200, 200));
    CWnd w(owner.Handle());
    CAnchorLayout layout(&w, CSize(160, 80));
    ASSERT_TRUE(owner.Resize(300, 300));
    const CRect fixed(250, 250, 280, 280), scaled(40, 60, 100, 120);
    owner.AddChild(351, fixed);
    owner.AddChild(352, scaled);
    EXPECT_EQ(0, layout.AddControl(351, ANCHOR_BOTTOMRIGHT, ANCHOR_BOTTOMRIGHT));
    EXPECT_EQ(1, layout.AddControl(352, ANCHOR_TOPLEFT_SCALEX, ANCHOR_TOPLEFT_SCALEY));

    layout.Relayout();
    EXPECT_RECT(owner.ChildRect(351), fixed);
    // 40 * 300 / 200 and 120 * 300 / 200.
    EXPECT_RECT(owner.ChildRect(352), CRect(60, 60, 100, 180));

    ASSERT_TRUE(owner.Resize(200, 200));
    layout.Relayout();
    EXPECT_RECT(owner.ChildRect(351), Shifted(fixed, -100, -100));
    EXPECT_RECT(owner.ChildRect(352), scaled);
}

TEST(AnchorLayoutWindow, MovingWithoutResizingMovesNothing)
{
    OwnerWindow owner(100, 100, 320, 240);
    std::vector<CRect> placed;
    CWnd w(owner.Handle());
    for (int code = 0; code < 8; ++code) {
        CRect r(10 + 35 * code, 20 + 10 * code, 40 + 35 * code, 60 + 10 * code);
        owner.AddChild(400 + code, r);
        placed.push_back(r);
    }
    CAnchorLayout layout(&w, CSize(160, 80));
    for (int code = 0; code < 8; ++code)
        EXPECT_EQ(code, layout.AddControl(400 + code, code, 7 - code));

    for (CPoint to : {CPoint(300, 250), CPoint(-50, 10), CPoint(100, 100)}) {
        ASSERT_TRUE(owner.MoveTo(to.x, to.y));
        layout.Relayout();
        for (int code = 0; code < 8; ++code)
            EXPECT_RECT(owner.ChildRect(400 + code), placed[code]) << "code " << code << " at " << to.x;
    }
}

TEST(AnchorLayoutWindow, LaterRegistrationOfTheSameControlWins)
{
    OwnerWindow owner(120, 90, 300, 220);
    const CRect r1(20, 20, 60, 50), r2(100, 100, 140, 130);
    owner.AddChild(501, r1);
    owner.AddChild(502, r2);
    CWnd w(owner.Handle());
    CAnchorLayout layout(&w, CSize(160, 80));
    EXPECT_EQ(0, layout.AddControl(501, ANCHOR_TOPLEFT, ANCHOR_TOPLEFT));
    EXPECT_EQ(1, layout.AddControl(502, ANCHOR_BOTTOMRIGHT, ANCHOR_BOTTOMRIGHT));
    EXPECT_EQ(2, layout.AddControl(501, ANCHOR_BOTTOMRIGHT, ANCHOR_BOTTOMRIGHT));
    EXPECT_EQ(3, layout.AddControl(502, ANCHOR_TOPLEFT, ANCHOR_TOPLEFT));

    ASSERT_TRUE(owner.Resize(350, 260));
    layout.Relayout();
    EXPECT_RECT(owner.ChildRect(501), Shifted(r1, 50, 40));
    EXPECT_RECT(owner.ChildRect(502), r2);
}

TEST(AnchorLayoutWindow, MissingControlGetsAnIndexAndNeverMoves)
{
    OwnerWindow owner(140, 120, 300, 220);
    const CRect r(30, 30, 80, 60), unregistered(150, 30, 200, 60), late(20, 100, 70, 130);
    owner.AddChild(601, r);
    owner.AddChild(602, unregistered);
    CWnd w(owner.Handle());
    CAnchorLayout layout(&w, CSize(160, 80));
    EXPECT_EQ(0, layout.AddControl(999, ANCHOR_BOTTOMRIGHT, ANCHOR_BOTTOMRIGHT));
    EXPECT_EQ(1, layout.AddControl(601, ANCHOR_BOTTOMRIGHT, ANCHOR_BOTTOMRIGHT));
    EXPECT_EQ(2, layout.AddControl(998, ANCHOR_TOPLEFT, ANCHOR_BOTTOMRIGHT));

    ASSERT_TRUE(owner.Resize(340, 250));
    layout.Relayout();
    // The entries after the missing one still do their work.
    EXPECT_RECT(owner.ChildRect(601), Shifted(r, 40, 30));
    EXPECT_RECT(owner.ChildRect(602), unregistered);

    // A control that appears later under the id was never measured: it stays put.
    owner.AddChild(999, late);
    ASSERT_TRUE(owner.Resize(400, 300));
    layout.Relayout();
    EXPECT_RECT(owner.ChildRect(999), late);
    EXPECT_RECT(owner.ChildRect(601), Shifted(r, 100, 80));
}

TEST(AnchorLayoutWindow, NoEntriesMoveNothing)
{
    OwnerWindow owner(160, 140, 300, 220);
    const CRect r(30, 30, 80, 60);
    owner.AddChild(701, r);
    CWnd w(owner.Handle());
    CAnchorLayout layout(&w, CSize(160, 80));
    ASSERT_TRUE(owner.Resize(360, 280));
    layout.Relayout();
    EXPECT_RECT(owner.ChildRect(701), r);
}

TEST(AnchorLayoutWindow, MinimisedOwnerMovesNothing)
{
    OwnerWindow owner(180, 160, 300, 220);
    const CRect r1(30, 30, 80, 60), r2(150, 100, 200, 150);
    owner.AddChild(801, r1);
    owner.AddChild(802, r2);
    CWnd w(owner.Handle());
    CAnchorLayout layout(&w, CSize(160, 80));
    layout.AddControl(801, ANCHOR_BOTTOMRIGHT, ANCHOR_BOTTOMRIGHT);
    layout.AddControl(802, ANCHOR_TOPLEFT_SCALEX, ANCHOR_TOPRIGHT_SCALEY);
    ASSERT_TRUE(owner.Resize(360, 280));
    layout.Relayout();
    const CRect before1 = owner.ChildRect(801), before2 = owner.ChildRect(802);
    const CRect restored = owner.WindowRect();

    ::ShowWindow(owner.Handle(), SW_MINIMIZE);
    ASSERT_TRUE(testkit::WaitFor([&] { return ::IsIconic(owner.Handle()) != FALSE; }));
    // Otherwise a layout that ignored the state would put everything back anyway.
    const CRect iconic = owner.WindowRect();
    ASSERT_TRUE(iconic.Width() != restored.Width() || iconic.Height() != restored.Height());
    layout.Relayout();

    ::ShowWindow(owner.Handle(), SW_RESTORE);
    ASSERT_TRUE(testkit::WaitFor([&] { return !::IsIconic(owner.Handle()); }));
    EXPECT_EQ(restored.Width(), owner.WindowRect().Width());
    EXPECT_EQ(restored.Height(), owner.WindowRect().Height());
    EXPECT_RECT(owner.ChildRect(801), before1);
    EXPECT_RECT(owner.ChildRect(802), before2);
}
