#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/platform.h"
#include "res/resource.h"
#include "tests/testkit.h"
#include "ui/tiled_background.h"

namespace {

std::string Describe(int cw, int ch, int w, int h)
{
    std::string s;
    for (const TileCopy& c : PlanTileCopies(cw, ch, w, h))
        s += std::string(1, "TCW"[c.kind]) + std::to_string(c.x) + "," + std::to_string(c.y) + " " +
             std::to_string(c.cx) + "x" + std::to_string(c.cy) + "; ";
    return s;
}

// 32-bit top-down pixels, without alpha, of a bitmap selected into no context.
std::vector<uint32_t> Pixels(HBITMAP hBitmap, int cx, int cy)
{
    std::vector<uint32_t> px(static_cast<size_t>(cx) * cy);
    BITMAPINFO bi = {};
    bi.bmiHeader = {static_cast<DWORD>(sizeof(bi.bmiHeader)), cx, -cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC hScreen = ::GetDC(nullptr);
    const int lines = ::GetDIBits(hScreen, hBitmap, 0, cy, px.data(), &bi, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, hScreen);
    for (uint32_t& p : px)
        p &= 0xFFFFFF;
    return lines == cy ? px : std::vector<uint32_t>();
}

}  // namespace

// The pixels cannot tell doubling from tile-by-tile copying: the plan can.
// Each copy reads only what is painted and never overlaps its own source.
TEST(TiledBackgroundPlan, TheTileIsDoubledAcrossThenDownAndHandedOverInOneCopy)
{
    EXPECT_EQ("T0,0 48x20; C48,0 48x20; C96,0 96x20; C192,0 192x20; C384,0 216x20; C0,20 600x20; "
              "C0,40 600x40; C0,80 600x80; C0,160 600x160; C0,320 600x80; W0,0 600x400; ",
              Describe(600, 400, 48, 20));
    EXPECT_EQ("T0,0 48x20; C48,0 48x20; C0,20 96x0; W0,0 96x20; ", Describe(96, 20, 48, 20));
    EXPECT_EQ("T0,0 48x20; C48,0 -18x20; C0,20 30x-10; W0,0 30x10; ", Describe(30, 10, 48, 20));
    EXPECT_EQ("", Describe(100, 100, 0, 20));
}

// Real GDI: every pixel of the client area shows the tile and nothing beyond it
// is touched; a missing bitmap or an empty client area draws nothing. Painting
// again keeps no GDI object.
TEST(TiledBackgroundPaint, EveryPixelShowsTheTileAndNoGdiObjectIsKept)
{
    HBITMAP hTile = ::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BACKGROUND));
    const std::vector<uint32_t> tile = Pixels(hTile, 48, 20);
    ::DeleteObject(hTile);
    ASSERT_EQ(48u * 20u, tile.size());
    ASSERT_GT(std::set<uint32_t>(tile.begin(), tile.end()).size(), 2u);  // a flat tile would prove nothing
    const int B = IDB_BACKGROUND;
    const struct { int id, cw, ch; } cases[] = {
        {B, 97, 45}, {B, 96, 20}, {B, 30, 10}, {B, 1, 57}, {B, 600, 400}, {B, 193, 161}, {B, 49, 81},
        {0x10000 | B, 101, 43},  // only the low 16 bits count
        {B, 0, 50},  {B, 80, 0},  {9999, 120, 60},
    };
    testkit::GuiCount before;
    // Held through both counts: with a window and GDI objects there, a count of none means it fails.
    const std::unique_ptr<std::remove_pointer<HWND>::type, decltype(&::DestroyWindow)> held(
        ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, 0), ::DestroyWindow);
    for (int pass = 0; pass < 2; ++pass) {  // the first one also fills what the system caches on first use
        if (pass == 1) {
            before = testkit::GuiObjects();
            ASSERT_TRUE(before.gdi > 0 && before.windows > 0) << before;
        }
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "bitmap " << c.id << ", client " << c.cw << " x " << c.ch);
            // A hidden window's client area painted into a larger canvas, white first.
            HWND hWnd = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, c.cw, c.ch, nullptr, nullptr, nullptr, 0);
            CWnd owner(hWnd);
            const int bw = c.cw + 7, bh = c.ch + 5;
            HDC hScreen = ::GetDC(nullptr), hDC = ::CreateCompatibleDC(hScreen);
            HBITMAP hCanvas = ::CreateCompatibleBitmap(hScreen, bw, bh);
            ::ReleaseDC(nullptr, hScreen);
            HGDIOBJ hOld = ::SelectObject(hDC, hCanvas);
            ::PatBlt(hDC, 0, 0, bw, bh, WHITENESS);
            CDC dc(hDC);
            EXPECT_TRUE(CTiledBackground(&owner, c.id).Paint(&dc));
            ::SelectObject(hDC, hOld);
            const std::vector<uint32_t> px = Pixels(hCanvas, bw, bh);
            ::DeleteObject(hCanvas), ::DeleteDC(hDC), ::DestroyWindow(hWnd);
            ASSERT_EQ(static_cast<size_t>(bw) * bh, px.size());
            int bad = 0;
            for (int y = 0; y < bh; ++y)
                for (int x = 0; x < bw; ++x) {
                    const bool inside = c.id != 9999 && x < c.cw && y < c.ch;
                    if (px[y * bw + x] != (inside ? tile[y % 20 * 48 + x % 48] : 0xFFFFFFu) && bad++ < 3)
                        ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << px[y * bw + x];
                }
            EXPECT_EQ(0, bad);
        }
    }
    EXPECT_EQ(before, testkit::GuiObjects());
}
