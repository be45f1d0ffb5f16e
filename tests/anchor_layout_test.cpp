#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "tests/testkit.h"
#include "ui/anchor_layout.h"

namespace {

std::string R(const CRect& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

void AddChild(HWND hOwner, int id, const CRect& r)
{
    ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, r.left, r.top, r.Width(), r.Height(), hOwner,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

// The child's rectangle in the owner's client coordinates.
std::string Child(HWND hOwner, int id)
{
    CRect r;
    ::GetWindowRect(::GetDlgItem(hOwner, id), &r);
    ::MapWindowPoints(nullptr, hOwner, reinterpret_cast<POINT*>(&r), 2);
    return R(r);
}

bool Resize(HWND hOwner, int cx, int cy)
{
    ::SetWindowPos(hOwner, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CRect r;
    ::GetWindowRect(hOwner, &r);
    return r.Width() == cx && r.Height() == cy;
}

}  // namespace

TEST(AnchorLayoutCalc, CornersForTheWindowRectangle)
{
    // The main dialog's worked example: 360 x 110 dragged to 480 x 200 elsewhere on the screen.
    const CRect reg(200, 150, 560, 260), dragged(-40, 700, 440, 900);
    const CRect sq(0, 0, 200, 200), sq3(50, 60, 350, 360), big(0, 0, 400, 300), off(120, 80, 520, 380);
    const struct { CRect now, initial; int code; CSize offset; CPoint expected; } cases[] = {
        {dragged, reg, ANCHOR_TOPLEFT, {11, 10}, {11, 10}},
        {dragged, reg, ANCHOR_BOTTOMRIGHT, {-49, -34}, {431, 166}},
        {dragged, reg, ANCHOR_TOPRIGHT_SCALEY, {-55, 26}, {425, 47}},
        {dragged, reg, ANCHOR_TOPRIGHT_SCALEY, {-11, 58}, {469, 105}},
        // 3 : 2 truncates toward zero: -10.5 is -10, not -11.
        {sq3, sq, ANCHOR_TOPLEFT_SCALEX, {-7, 0}, {-10, 0}},
        {sq3, sq, ANCHOR_BOTTOMLEFT_SCALEX, {-7, -7}, {-10, 293}},
        {sq3, sq, ANCHOR_TOPRIGHT_SCALEY, {-7, -7}, {293, -10}},
        {sq, CRect(0, 0, 300, 300), ANCHOR_TOPLEFT_SCALEX, {-10, 0}, {-6, 0}},
        // A zero initial extent scales nothing; the other extent still scales.
        {big, CRect(100, 100, 100, 100), ANCHOR_TOPLEFT_SCALEX, {13, 17}, {13, 17}},
        {big, CRect(100, 100, 100, 100), ANCHOR_TOPRIGHT_SCALEY, {-13, 17}, {387, 17}},
        {big, CRect(0, 0, 0, 150), ANCHOR_TOPLEFT_SCALEY, {13, 17}, {13, 34}},
        // Unknown codes anchor at the screen origin.
        {off, sq, 8, {6, -4}, {-114, -84}},
        {off, sq, INT_MIN, {6, -4}, {-114, -84}},
    };
    for (const auto& c : cases) {
        AnchorCorner corner;
        corner.m_nAnchor = c.code;
        corner.m_offset = c.offset;
        const CPoint p = CalcAnchorCorner(c.now, c.initial, corner);
        EXPECT_TRUE(p == c.expected) << "code " << c.code << " offset " << c.offset.cx << "," << c.offset.cy
                                     << ": " << p.x << "," << p.y;
    }
}

TEST(AnchorLayoutWindow, MinTrackSizeAndCornersFollowingResizes)
{
    HWND hOwner = ::CreateWindowExA(0, "STATIC", "anchor owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 400, 300,
                                    nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(Resize(hOwner, 400, 300));
    CWnd w(hOwner);
    // The minimum track size is applied only when both extents are set.
    for (CSize min : {CSize(160, 0), CSize(0, 80), CSize(160, 80)}) {
        MINMAXINFO mmi, expected;
        std::memset(&mmi, 0x5A, sizeof(mmi));
        expected = mmi;
        if (min.cx && min.cy)
            expected.ptMinTrackSize = {160, 80};
        CAnchorLayout(&w, min).ApplyMinTrackSize(&mmi);
        EXPECT_EQ(0, std::memcmp(&mmi, &expected, sizeof(mmi))) << min.cx << " x " << min.cy;
    }

    CAnchorLayout layout(&w, CSize(160, 80));
    // An id without a control still takes an index and must not stop the rest.
    EXPECT_EQ(0, layout.AddControl(999, ANCHOR_BOTTOMRIGHT, ANCHOR_BOTTOMRIGHT));
    const CRect r[] = {{10, 12, 60, 40}, {300, 12, 350, 40}, {10, 200, 60, 230}, {300, 200, 350, 230}};
    for (int code = 0; code < 4; ++code) {
        AddChild(hOwner, 200 + code, r[code]);
        EXPECT_EQ(code + 1, layout.AddControl(200 + code, code, code));
    }
    AddChild(hOwner, 204, CRect(80, 60, 280, 180));
    layout.AddControl(204, ANCHOR_TOPLEFT, ANCHOR_BOTTOMRIGHT);
    // Registered twice: the later entry wins.
    AddChild(hOwner, 205, CRect(100, 100, 140, 130));
    layout.AddControl(205, ANCHOR_TOPLEFT, ANCHOR_TOPLEFT);
    EXPECT_EQ(7, layout.AddControl(205, ANCHOR_BOTTOMRIGHT, ANCHOR_BOTTOMRIGHT));

    for (CSize d : {CSize(70, 45), CSize(-30, -20), CSize(0, 0)}) {
        ASSERT_TRUE(Resize(hOwner, 400 + d.cx, 300 + d.cy));
        layout.Relayout();
        for (int code = 0; code < 4; ++code) {
            const int dx = (code & 1) ? d.cx : 0, dy = (code & 2) ? d.cy : 0;
            EXPECT_EQ(R(CRect(r[code].left + dx, r[code].top + dy, r[code].right + dx, r[code].bottom + dy)),
                      Child(hOwner, 200 + code)) << "code " << code << " delta " << d.cx << "," << d.cy;
        }
        EXPECT_EQ(R(CRect(80, 60, 280 + d.cx, 180 + d.cy)), Child(hOwner, 204));
        EXPECT_EQ(R(CRect(100 + d.cx, 100 + d.cy, 140 + d.cx, 130 + d.cy)), Child(hOwner, 205));
    }
    // A control that appears later under the missing id was never measured.
    AddChild(hOwner, 999, CRect(20, 100, 70, 130));
    ASSERT_TRUE(Resize(hOwner, 450, 330));
    layout.Relayout();
    EXPECT_EQ(R(CRect(20, 100, 70, 130)), Child(hOwner, 999));

    auto all = [&] {
        std::string s;
        for (HWND h = ::GetWindow(hOwner, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT))
            s += Child(hOwner, ::GetDlgCtrlID(h)) + " ";
        return s;
    };
    const std::string before = all();
    ::SetWindowPos(hOwner, nullptr, -50, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    layout.Relayout();
    EXPECT_EQ(before, all()) << "moved without resizing";
    ::ShowWindow(hOwner, SW_MINIMIZE);
    ASSERT_TRUE(testkit::WaitFor([&] { return ::IsIconic(hOwner) != FALSE; }));
    // The iconic size differs, so a layout that ignored the state would move things.
    CRect iconic;
    ::GetWindowRect(hOwner, &iconic);
    ASSERT_NE(450, iconic.Width());
    layout.Relayout();
    ::ShowWindow(hOwner, SW_RESTORE);
    ASSERT_TRUE(testkit::WaitFor([&] { return !::IsIconic(hOwner); }));
    EXPECT_EQ(before, all()) << "relaid out while minimised";
    ::DestroyWindow(hOwner);
}
