#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "res/resource.h"
#include "tests/testkit.h"
#include "ui/tiled_background.h"

namespace {

const uint32_t kWhite = 0xFFFFFF;  // not a grey of the tile

template <class Plan>
std::string Describe(const Plan& plan)
{
    std::string s;
    for (const TileCopy& c : plan)
        s += std::string(1, "TCW"[c.kind]) + std::to_string(c.x) + "," + std::to_string(c.y) + " " +
             std::to_string(c.cx) + "x" + std::to_string(c.cy) + "; ";
    return s;
}

// 32-bit top-down pixels of a bitmap that is not selected into any context.
std::vector<uint32_t> Pixels(HBITMAP hBitmap, int cx, int cy)
{
    std::vector<uint32_t> px(static_cast<size_t>(cx) * cy);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx, bi.bmiHeader.biHeight = -cy;  // top-down
    bi.bmiHeader.biPlanes = 1, bi.bmiHeader.biBitCount = 32;
    HDC hScreen = ::GetDC(nullptr);
    const int lines = ::GetDIBits(hScreen, hBitmap, 0, cy, px.data(), &bi, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, hScreen);
    for (uint32_t& p : px)
        p &= 0xFFFFFF;
    return lines == cy ? px : std::vector<uint32_t>();
}

// Paints for a hidden window with a cw x ch client area into a bw x bh
// memory canvas filled with white, as an erase message's context would be.
std::vector<uint32_t> PaintCanvas(int nBitmapID, int cw, int ch, int bw, int bh, BOOL* pResult)
{
    HWND hWnd = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, cw, ch, nullptr, nullptr, nullptr, nullptr);
    CWnd owner(hWnd);
    CTiledBackground painter(&owner, nBitmapID);
    HDC hScreen = ::GetDC(nullptr);
    HDC hDC = ::CreateCompatibleDC(hScreen);
    HBITMAP hBitmap = ::CreateCompatibleBitmap(hScreen, bw, bh);
    ::ReleaseDC(nullptr, hScreen);
    HGDIOBJ hOld = ::SelectObject(hDC, hBitmap);
    ::PatBlt(hDC, 0, 0, bw, bh, WHITENESS);
    CDC dc(hDC);
    *pResult = painter.Paint(&dc);
    ::SelectObject(hDC, hOld);
    std::vector<uint32_t> px = Pixels(hBitmap, bw, bh);
    ::DeleteObject(hBitmap);
    ::DeleteDC(hDC);
    ::DestroyWindow(hWnd);
    return px;
}

}  // namespace

TEST(TiledBackgroundPlan, ExactCopies)
{
    EXPECT_EQ("T0,0 48x20; C48,0 48x20; C96,0 96x20; C192,0 192x20; C384,0 216x20; C0,20 600x20; "
              "C0,40 600x40; C0,80 600x80; C0,160 600x160; C0,320 600x80; W0,0 600x400; ",
              Describe(PlanTileCopies(600, 400, 48, 20)));
    EXPECT_TRUE(PlanTileCopies(100, 100, 0, 20).IsEmpty());
}

// Replays each plan on a model canvas: 4 + doublings copies, none reading an
// unpainted pixel or overlapping its own source, every pixel ending up as
// tile pixel (x mod w, y mod h). Sizes include zero and less than the tile.
TEST(TiledBackgroundPlan, EveryPlanTilesItsArea)
{
    std::vector<std::vector<int>> cases;  // cw, ch, w, h
    for (int n = 0; n <= 130; ++n)
        for (int m : {0, 1, 19, 20, 21, 47, 48, 49, 97, 193})
            cases.insert(cases.end(), {{n, m, 48, 20}, {m, n, 48, 20}});
    for (int t : {1, 5, 64, 300})
        for (int a : {1, 63, 129, 301})
            cases.insert(cases.end(), {{a, 2 * a, t, 3}, {640, a, t, t}});
    for (const std::vector<int>& c : cases) {
        const int cw = c[0], ch = c[1], w = c[2], h = c[3];
        const CArray<TileCopy> plan = PlanTileCopies(cw, ch, w, h);
        SCOPED_TRACE(testing::Message() << cw << "x" << ch << " by " << w << "x" << h << ": " << Describe(plan));
        int copies = 4;
        for (long long x = 2LL * w; x < cw; x *= 2)
            ++copies;
        for (long long y = 2LL * h; y < ch; y *= 2)
            ++copies;
        ASSERT_EQ(copies, plan.GetSize());
        ASSERT_EQ("W0,0 " + std::to_string(cw) + "x" + std::to_string(ch) + "; ", Describe(std::vector<TileCopy>{plan[copies - 1]}));
        // Each canvas pixel holds the index of the tile pixel it shows, -1 before it is painted.
        std::vector<int> px(static_cast<size_t>(cw) * ch, -1);
        for (int i = 0; i < cw * ch; ++i)
            px[i] = i % cw < w && i / cw < h ? i / cw * w + i % cw : -1;
        for (int n = 1; n + 1 < copies; ++n) {
            const TileCopy& k = plan[n];
            ASSERT_EQ(TileCopy::CanvasToCanvas, k.kind);
            ASSERT_TRUE(k.cx <= 0 || k.cy <= 0 || k.x >= k.cx || k.y >= k.cy) << "copy " << n << " overlaps";
            for (int y = 0; y < std::min(k.cy, ch); ++y)
                for (int x = 0; x < std::min(k.cx, cw); ++x) {
                    ASSERT_NE(-1, px[y * cw + x]) << "copy " << n << " reads unpainted " << x << "," << y;
                    if (k.x + x < cw && k.y + y < ch)
                        px[(k.y + y) * cw + k.x + x] = px[y * cw + x];
                }
        }
        for (int i = 0; i < cw * ch; ++i)
            ASSERT_EQ(i / cw % h * w + i % cw % w, px[i]) << "pixel " << i % cw << "," << i / cw;
    }
}

// Real GDI: every pixel of the client area shows the tile, nothing beyond it
// is touched, and a missing bitmap or an empty client area draws nothing.
// Painting again keeps no GDI object.
TEST(TiledBackgroundPaint, EveryPixelShowsTheTileAndNoGdiObjectIsKept)
{
    HBITMAP hTile = ::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BACKGROUND));
    const std::vector<uint32_t> tile = Pixels(hTile, 48, 20);
    ::DeleteObject(hTile);
    ASSERT_EQ(48u * 20u, tile.size());
    ASSERT_GT(std::set<uint32_t>(tile.begin(), tile.end()).size(), 2u);  // a flat tile would prove nothing

    const int B = IDB_BACKGROUND;
    const struct { int id, cw, ch; } cases[] = {
        {B, 97, 45}, {B, 96, 20},  {B, 30, 10},  {B, 1, 57},  {B, 600, 400}, {B, 193, 161},
        {0x10000 | B, 101, 43},  // only the low 16 bits count
        {B, 0, 50},  {B, 80, 0},   {9999, 120, 60},
    };
    std::string before;
    for (int pass = 0; pass < 2; ++pass) {  // the first one also fills what the system caches on first use
        if (pass == 1)
            before = testkit::GuiObjects();
        for (const auto& c : cases) {
            const bool drawn = c.id != 9999;
            SCOPED_TRACE(testing::Message() << "bitmap " << c.id << ", client " << c.cw << " x " << c.ch);
            const int bw = c.cw + 7, bh = c.ch + 5;
            BOOL result = FALSE;
            const std::vector<uint32_t> px = PaintCanvas(c.id, c.cw, c.ch, bw, bh, &result);
            EXPECT_TRUE(result);
            ASSERT_EQ(static_cast<size_t>(bw) * bh, px.size());
            int bad = 0;
            for (int y = 0; y < bh; ++y)
                for (int x = 0; x < bw; ++x) {
                    const uint32_t want = drawn && x < c.cw && y < c.ch ? tile[(y % 20) * 48 + x % 48] : kWhite;
                    if (px[y * bw + x] != want && bad++ < 3)
                        ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << px[y * bw + x];
                }
            EXPECT_EQ(0, bad);
        }
    }
    EXPECT_EQ(before, testkit::GuiObjects());
}
