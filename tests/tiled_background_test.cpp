#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

#include "platform/platform.h"
#include "res/resource.h"
#include "tests/testkit.h"
#include "ui/tiled_background.h"

namespace {

const int kTileW = 48;
const int kTileH = 20;
const uint32_t kPreFill = 0xFF00FF;  // magenta: not a grey of the tile

// ---- Plan helpers ----

bool Is(const TileCopy& c, TileCopy::Kind kind, int x, int y, int cx, int cy)
{
    return c.kind == kind && c.x == x && c.y == y && c.cx == cx && c.cy == cy;
}

std::string Describe(const std::vector<TileCopy>& plan)
{
    std::string s;
    for (const TileCopy& c : plan) {
        s += "[" + std::to_string(c.kind) + " " + std::to_string(c.x) + "," + std::to_string(c.y) + " " +
             std::to_string(c.cx) + "x" + std::to_string(c.cy) + "] ";
    }
    return s;
}

// Doubling steps along one axis: every k >= 1 with len * 2^k still short of the extent.
int Doublings(int extent, int len)
{
    int k = 0;
    for (long long x = 2LL * len; x < extent; x *= 2)
        ++k;
    return k;
}

// Replays the plan on a model canvas that records which tile pixel each
// canvas pixel holds, checking the rules a real blit relies on.
void CheckPlanPaintsTiles(int cw, int ch, int w, int h)
{
    SCOPED_TRACE(testing::Message() << cw << " x " << ch << " with a " << w << " x " << h << " tile");
    const std::vector<TileCopy> plan = PlanTileCopies(cw, ch, w, h);
    ASSERT_EQ(4u + Doublings(cw, w) + Doublings(ch, h), plan.size()) << Describe(plan);
    EXPECT_TRUE(Is(plan.front(), TileCopy::TileToCanvas, 0, 0, w, h));
    EXPECT_TRUE(Is(plan.back(), TileCopy::CanvasToWindow, 0, 0, cw, ch));

    const int unpainted = -1;
    std::vector<int> canvas(static_cast<size_t>(cw) * ch, unpainted);
    auto at = [&](int x, int y) -> int& { return canvas[static_cast<size_t>(y) * cw + x]; };
    for (int y = 0; y < std::min(h, ch); ++y)
        for (int x = 0; x < std::min(w, cw); ++x)
            at(x, y) = y * w + x;

    for (size_t i = 1; i + 1 < plan.size(); ++i) {
        const TileCopy& c = plan[i];
        SCOPED_TRACE(testing::Message() << "copy " << i << " " << Describe({c}));
        ASSERT_EQ(TileCopy::CanvasToCanvas, c.kind);
        if (c.cx <= 0 || c.cy <= 0)
            continue;
        // The destination must not overlap its own source at (0, 0).
        const bool apart = c.x >= c.cx || c.y >= c.cy;
        ASSERT_TRUE(apart);
        for (int dy = 0; dy < c.cy; ++dy) {
            for (int dx = 0; dx < c.cx; ++dx) {
                if (dx >= cw || dy >= ch)
                    continue;  // outside the canvas: clipped
                ASSERT_NE(unpainted, at(dx, dy)) << "reads unpainted (" << dx << ", " << dy << ")";
                const int tx = c.x + dx, ty = c.y + dy;
                if (tx < cw && ty < ch)
                    at(tx, ty) = at(dx, dy);
            }
        }
    }
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x)
            ASSERT_EQ((y % h) * w + x % w, at(x, y)) << "pixel (" << x << ", " << y << ")";
}

// ---- GDI helpers ----

std::vector<uint32_t> ReadPixels(HBITMAP hBitmap, int cx, int cy)
{
    std::vector<uint32_t> px(static_cast<size_t>(cx) * cy);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = -cy;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC hScreen = ::GetDC(nullptr);
    int lines = ::GetDIBits(hScreen, hBitmap, 0, cy, px.data(), &bi, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, hScreen);
    if (lines != cy)
        return std::vector<uint32_t>();
    for (uint32_t& p : px)
        p &= 0xFFFFFF;
    return px;
}

struct Tile {
    int cx = 0, cy = 0;
    std::vector<uint32_t> px;
    uint32_t At(int x, int y) const { return px[static_cast<size_t>(y) * cx + x]; }
};

// The tile as the program's resources hold it, read without the painter.
Tile LoadTile()
{
    Tile t;
    HBITMAP hBitmap = ::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BACKGROUND));
    if (!hBitmap)
        return t;
    BITMAP bm = {};
    ::GetObjectA(hBitmap, sizeof(bm), &bm);
    t.cx = bm.bmWidth;
    t.cy = bm.bmHeight;
    t.px = ReadPixels(hBitmap, t.cx, t.cy);
    ::DeleteObject(hBitmap);
    return t;
}

// A borderless window of the test's own whose client area is exactly cx x cy.
class PaintedWindow {
public:
    PaintedWindow(int x, int y, int cx, int cy)
    {
        static ATOM atom = Register();
        m_hWnd = ::CreateWindowExA(WS_EX_TOOLWINDOW, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(atom)),
                                   "tiled", WS_POPUP, x, y, cx, cy, nullptr, nullptr, ::GetModuleHandleA(nullptr),
                                   nullptr);
    }
    ~PaintedWindow()
    {
        if (m_hWnd)
            ::DestroyWindow(m_hWnd);
    }
    PaintedWindow(const PaintedWindow&) = delete;
    PaintedWindow& operator=(const PaintedWindow&) = delete;

    HWND Handle() const { return m_hWnd; }
    CSize ClientSize() const
    {
        RECT r = {};
        ::GetClientRect(m_hWnd, &r);
        return CSize(r.right - r.left, r.bottom - r.top);
    }
    // From now on the window's background is erased by the painter.
    void EraseWith(CTiledBackground* pPainter)
    {
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pPainter));
    }

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_ERASEBKGND) {
            auto* pPainter = reinterpret_cast<CTiledBackground*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
            if (pPainter) {
                CDC dc(reinterpret_cast<HDC>(wParam));
                return pPainter->Paint(&dc);
            }
        }
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }
    static ATOM Register()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &PaintedWindow::WndProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = "ZelvanoTiledTestWindow";
        return ::RegisterClassA(&wc);
    }

    HWND m_hWnd = nullptr;
};

// A memory context compatible with a window's context, holding a bitmap
// pre-filled with magenta, as the erase message's context would be.
class Canvas {
public:
    Canvas(HWND hWnd, int cx, int cy) : m_cx(cx), m_cy(cy)
    {
        HDC hWindowDC = ::GetDC(hWnd);
        m_hDC = ::CreateCompatibleDC(hWindowDC);
        m_hBitmap = ::CreateCompatibleBitmap(hWindowDC, cx, cy);
        ::ReleaseDC(hWnd, hWindowDC);
        m_hOld = ::SelectObject(m_hDC, m_hBitmap);
        HBRUSH hBrush = ::CreateSolidBrush(RGB(0xFF, 0x00, 0xFF));
        RECT r = {0, 0, cx, cy};
        ::FillRect(m_hDC, &r, hBrush);
        ::DeleteObject(hBrush);
    }
    ~Canvas()
    {
        ::SelectObject(m_hDC, m_hOld);
        ::DeleteObject(m_hBitmap);
        ::DeleteDC(m_hDC);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool Ok() const { return m_hDC && m_hBitmap && m_hOld; }
    BOOL PaintWith(CTiledBackground& painter)
    {
        CDC dc(m_hDC);
        return painter.Paint(&dc);
    }
    // A bitmap is read back while not selected into any context.
    std::vector<uint32_t> Pixels()
    {
        ::SelectObject(m_hDC, m_hOld);
        std::vector<uint32_t> px = ReadPixels(m_hBitmap, m_cx, m_cy);
        ::SelectObject(m_hDC, m_hBitmap);
        return px;
    }

private:
    int m_cx, m_cy;
    HDC m_hDC = nullptr;
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hOld = nullptr;
};

// Every pixel of a cw x ch area at the top-left of a bw-wide picture shows
// the tile, and everything else in the picture stayed magenta.
::testing::AssertionResult ShowsTiles(const std::vector<uint32_t>& px, int bw, int bh, int cw, int ch,
                                      const Tile& tile)
{
    if (px.size() != static_cast<size_t>(bw) * bh)
        return ::testing::AssertionFailure() << "could not read the picture back";
    int bad = 0;
    ::testing::AssertionResult result = ::testing::AssertionFailure();
    for (int y = 0; y < bh; ++y) {
        for (int x = 0; x < bw; ++x) {
            const bool inside = x < cw && y < ch;
            const uint32_t want = inside ? tile.At(x % tile.cx, y % tile.cy) : kPreFill;
            const uint32_t got = px[static_cast<size_t>(y) * bw + x];
            if (got != want && bad++ < 5)
                result << "(" << x << ", " << y << ") is " << std::hex << got << " not " << want << std::dec << "; ";
        }
    }
    if (bad == 0)
        return ::testing::AssertionSuccess();
    return result << bad << " wrong pixels in " << cw << " x " << ch;
}

::testing::AssertionResult AllPreFilled(const std::vector<uint32_t>& px, size_t n)
{
    if (px.size() != n)
        return ::testing::AssertionFailure() << "could not read the picture back";
    for (size_t i = 0; i < px.size(); ++i)
        if (px[i] != kPreFill)
            return ::testing::AssertionFailure() << "pixel " << i << " was drawn: " << std::hex << px[i];
    return ::testing::AssertionSuccess();
}

// Paints a window of client size cw x ch into a canvas a little larger than
// the client area and checks the whole of it.
void CheckFullFrame(int cw, int ch, const Tile& tile, int x = 100, int y = 100)
{
    SCOPED_TRACE(testing::Message() << "client " << cw << " x " << ch);
    PaintedWindow window(x, y, cw, ch);
    ASSERT_TRUE(window.Handle());
    ASSERT_TRUE(window.ClientSize() == CSize(cw, ch));
    CWnd owner(window.Handle());
    CTiledBackground painter(&owner, IDB_BACKGROUND);
    const int bw = cw + 7, bh = ch + 5;
    Canvas canvas(window.Handle(), bw, bh);
    ASSERT_TRUE(canvas.Ok());
    EXPECT_TRUE(canvas.PaintWith(painter));
    EXPECT_TRUE(ShowsTiles(canvas.Pixels(), bw, bh, cw, ch, tile));
}

DWORD GdiObjects()
{
    return ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
}

// Wine does not count GDI objects per process (GetGuiResources gives 0), but
// it hands out freed handle slots again, most recent first: when nothing
// leaked, a fresh batch of objects lands in the same slots as before.
std::set<unsigned> FreeHandleSlots()
{
    std::vector<HRGN> probes;
    for (int i = 0; i < 64; ++i)
        probes.push_back(::CreateRectRgn(0, 0, 1, 1));
    std::set<unsigned> slots;
    for (HRGN h : probes)
        slots.insert(static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(h) & 0xFFFF));
    for (auto it = probes.rbegin(); it != probes.rend(); ++it)
        ::DeleteObject(*it);
    return slots;
}

}  // namespace

// ---- The plan of copies ----

TEST(TiledBackgroundPlan, ExampleOf600By400)
{
    const std::vector<TileCopy> plan = PlanTileCopies(600, 400, kTileW, kTileH);
    ASSERT_EQ(11u, plan.size()) << Describe(plan);
    const TileCopy::Kind T = TileCopy::TileToCanvas, C = TileCopy::CanvasToCanvas, W = TileCopy::CanvasToWindow;
    EXPECT_TRUE(Is(plan[0], T, 0, 0, 48, 20));
    EXPECT_TRUE(Is(plan[1], C, 48, 0, 48, 20));
    EXPECT_TRUE(Is(plan[2], C, 96, 0, 96, 20));
    EXPECT_TRUE(Is(plan[3], C, 192, 0, 192, 20));
    EXPECT_TRUE(Is(plan[4], C, 384, 0, 216, 20));
    EXPECT_TRUE(Is(plan[5], C, 0, 20, 600, 20));
    EXPECT_TRUE(Is(plan[6], C, 0, 40, 600, 40));
    EXPECT_TRUE(Is(plan[7], C, 0, 80, 600, 80));
    EXPECT_TRUE(Is(plan[8], C, 0, 160, 600, 160));
    EXPECT_TRUE(Is(plan[9], C, 0, 320, 600, 80));
    EXPECT_TRUE(Is(plan[10], W, 0, 0, 600, 400));
}

TEST(TiledBackgroundPlan, WidthsAroundTwoTiles)
{
    // 97: one doubling (96 < 97), then one column at x = 96.
    std::vector<TileCopy> plan = PlanTileCopies(97, 20, kTileW, kTileH);
    ASSERT_EQ(5u, plan.size()) << Describe(plan);
    EXPECT_TRUE(Is(plan[1], TileCopy::CanvasToCanvas, 48, 0, 48, 20));
    EXPECT_TRUE(Is(plan[2], TileCopy::CanvasToCanvas, 96, 0, 1, 20));
    EXPECT_EQ(0, plan[3].cy);  // nothing left below
    EXPECT_TRUE(Is(plan[4], TileCopy::CanvasToWindow, 0, 0, 97, 20));

    // 96: no doubling, the final copy across is a whole tile wide.
    plan = PlanTileCopies(96, 20, kTileW, kTileH);
    ASSERT_EQ(4u, plan.size()) << Describe(plan);
    EXPECT_TRUE(Is(plan[1], TileCopy::CanvasToCanvas, 48, 0, 48, 20));
    EXPECT_TRUE(Is(plan[3], TileCopy::CanvasToWindow, 0, 0, 96, 20));
}

TEST(TiledBackgroundPlan, AreaSmallerThanTheTileOrEmpty)
{
    // Narrower and lower: the copies across and down lie outside or have no extent.
    for (CSize size : {CSize(30, 10), CSize(47, 19), CSize(1, 1), CSize(0, 0), CSize(0, 50), CSize(200, 0)}) {
        SCOPED_TRACE(testing::Message() << size.cx << " x " << size.cy);
        const std::vector<TileCopy> plan = PlanTileCopies(size.cx, size.cy, kTileW, kTileH);
        ASSERT_GE(plan.size(), 4u);
        if (size.cx <= kTileW) {
            const TileCopy& across = plan[1];
            EXPECT_TRUE(across.cx <= 0 || across.x >= size.cx) << Describe(plan);
        }
        if (size.cy <= kTileH) {
            const TileCopy& down = plan[plan.size() - 2];
            EXPECT_TRUE(down.cy <= 0 || down.y >= size.cy) << Describe(plan);
        }
        EXPECT_TRUE(Is(plan.back(), TileCopy::CanvasToWindow, 0, 0, size.cx, size.cy));
    }
    EXPECT_EQ(4u, PlanTileCopies(30, 10, kTileW, kTileH).size());
    EXPECT_EQ(4u, PlanTileCopies(0, 0, kTileW, kTileH).size());
    // No tile, nothing to copy.
    EXPECT_TRUE(PlanTileCopies(100, 100, 0, 20).empty());
    EXPECT_TRUE(PlanTileCopies(100, 100, 48, 0).empty());
}

TEST(TiledBackgroundPlan, CopyCountGrowsWithDoublings)
{
    const struct {
        int cw, ch;
        size_t copies;
    } cases[] = {
        {48, 20, 4},    {49, 21, 4},     {96, 40, 4},     {97, 41, 6},      {193, 41, 7},
        {600, 400, 11}, {1000, 1000, 13}, {1920, 1080, 14}, {48, 1000, 9},   {1000, 20, 8},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.copies, PlanTileCopies(c.cw, c.ch, kTileW, kTileH).size()) << c.cw << " x " << c.ch;
}

TEST(TiledBackgroundPlan, CopiesReadOnlyPaintedPixelsAndTileEverySize)
{
    struct Case {
        int cw, ch, w, h;
    };
    std::vector<Case> cases;
    for (int cw = 0; cw <= 260; ++cw)
        for (int ch : {0, 1, 19, 20, 21, 40, 41, 79, 81, 161})
            cases.push_back({cw, ch, kTileW, kTileH});
    for (int ch = 0; ch <= 200; ++ch)
        for (int cw : {0, 1, 47, 48, 49, 96, 97, 193, 385})
            cases.push_back({cw, ch, kTileW, kTileH});
    for (CSize tile : {CSize(1, 1), CSize(5, 3), CSize(64, 64), CSize(300, 7)})
        for (CSize area : {CSize(1, 1), CSize(63, 65), CSize(129, 127), CSize(640, 480), CSize(301, 15)})
            cases.push_back({area.cx, area.cy, tile.cx, tile.cy});
    cases.push_back({1920, 1080, kTileW, kTileH});
    for (const Case& c : cases) {
        CheckPlanPaintsTiles(c.cw, c.ch, c.w, c.h);
        if (HasFatalFailure())
            return;  // one broken size says enough
    }
}

// ---- Painting ----

TEST(TiledBackgroundPaint, ResourceTileIsA48By20GreyPicture)
{
    const Tile tile = LoadTile();
    ASSERT_EQ(kTileW, tile.cx);
    ASSERT_EQ(kTileH, tile.cy);
    ASSERT_EQ(static_cast<size_t>(kTileW * kTileH), tile.px.size());
    // A flat tile would make every picture check below pass by itself.
    std::set<uint32_t> colours(tile.px.begin(), tile.px.end());
    EXPECT_GT(colours.size(), 2u);
    for (uint32_t p : colours) {
        EXPECT_EQ(p & 0xFF, (p >> 8) & 0xFF);
        EXPECT_EQ(p & 0xFF, (p >> 16) & 0xFF);
    }
}

TEST(TiledBackgroundPaint, EveryPixelShowsTheTileForManySizes)
{
    const Tile tile = LoadTile();
    ASSERT_EQ(kTileW, tile.cx);
    ASSERT_EQ(kTileH, tile.cy);
    const CSize sizes[] = {
        CSize(97, 20),  CSize(96, 20),  CSize(97, 41),   CSize(96, 40),  CSize(30, 10),  CSize(47, 19),
        CSize(48, 20),  CSize(49, 21),  CSize(1, 1),     CSize(1, 57),   CSize(211, 1),  CSize(13, 300),
        CSize(500, 3),  CSize(333, 177), CSize(600, 400), CSize(193, 161),
    };
    for (CSize s : sizes) {
        CheckFullFrame(s.cx, s.cy, tile);
        if (HasFatalFailure())
            return;
    }
}

TEST(TiledBackgroundPaint, LastColumnOf97ShowsTileColumnZero)
{
    const Tile tile = LoadTile();
    ASSERT_EQ(kTileW, tile.cx);
    PaintedWindow window(100, 100, 97, 45);
    ASSERT_TRUE(window.ClientSize() == CSize(97, 45));
    CWnd owner(window.Handle());
    CTiledBackground painter(&owner, IDB_BACKGROUND);
    Canvas canvas(window.Handle(), 97, 45);
    ASSERT_TRUE(canvas.Ok());
    EXPECT_TRUE(canvas.PaintWith(painter));
    const std::vector<uint32_t> px = canvas.Pixels();
    ASSERT_EQ(97u * 45u, px.size());
    for (int y = 0; y < 45; ++y)
        EXPECT_EQ(tile.At(0, y % kTileH), px[static_cast<size_t>(y) * 97 + 96]) << "row " << y;
}

TEST(TiledBackgroundPaint, BitmapIdUsesItsLow16Bits)
{
    const Tile tile = LoadTile();
    ASSERT_EQ(kTileW, tile.cx);
    PaintedWindow window(120, 120, 101, 43);
    CWnd owner(window.Handle());
    CTiledBackground painter(&owner, 0x10000 | IDB_BACKGROUND);
    Canvas canvas(window.Handle(), 101, 43);
    ASSERT_TRUE(canvas.Ok());
    EXPECT_TRUE(canvas.PaintWith(painter));
    EXPECT_TRUE(ShowsTiles(canvas.Pixels(), 101, 43, 101, 43, tile));
}

TEST(TiledBackgroundPaint, MissingBitmapOrEmptyClientDrawsNothing)
{
    {
        PaintedWindow window(100, 100, 120, 60);
        CWnd owner(window.Handle());
        CTiledBackground painter(&owner, 9999);
        Canvas canvas(window.Handle(), 120, 60);
        ASSERT_TRUE(canvas.Ok());
        EXPECT_TRUE(canvas.PaintWith(painter));
        EXPECT_TRUE(AllPreFilled(canvas.Pixels(), 120u * 60u));
    }
    for (CSize s : {CSize(0, 0), CSize(0, 50), CSize(80, 0)}) {
        SCOPED_TRACE(testing::Message() << s.cx << " x " << s.cy);
        PaintedWindow window(100, 100, s.cx, s.cy);
        ASSERT_TRUE(window.Handle());
        ASSERT_TRUE(window.ClientSize() == s);
        CWnd owner(window.Handle());
        CTiledBackground painter(&owner, IDB_BACKGROUND);
        Canvas canvas(window.Handle(), 90, 60);
        ASSERT_TRUE(canvas.Ok());
        EXPECT_TRUE(canvas.PaintWith(painter));
        EXPECT_TRUE(AllPreFilled(canvas.Pixels(), 90u * 60u));
    }
}

TEST(TiledBackgroundPaint, MovedWindowPaintsTheSamePicture)
{
    const Tile tile = LoadTile();
    ASSERT_EQ(kTileW, tile.cx);
    PaintedWindow window(100, 100, 157, 63);
    CWnd owner(window.Handle());
    CTiledBackground painter(&owner, IDB_BACKGROUND);
    std::vector<std::vector<uint32_t>> pictures;
    for (CPoint at : {CPoint(100, 100), CPoint(437, 251), CPoint(-23, -11)}) {
        ::SetWindowPos(window.Handle(), nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT r = {};
        ::GetWindowRect(window.Handle(), &r);
        ASSERT_EQ(at.x, r.left);
        ASSERT_EQ(at.y, r.top);
        Canvas canvas(window.Handle(), 157, 63);
        ASSERT_TRUE(canvas.Ok());
        EXPECT_TRUE(canvas.PaintWith(painter));
        pictures.push_back(canvas.Pixels());
        EXPECT_TRUE(ShowsTiles(pictures.back(), 157, 63, 157, 63, tile)) << "at " << at.x << ", " << at.y;
    }
    EXPECT_TRUE(pictures[0] == pictures[1]);
    EXPECT_TRUE(pictures[0] == pictures[2]);
}

// The painter as the window's own eraser: what the window shows is the tiling.
TEST(TiledBackgroundPaint, EraseMessagePaintsTheWindow)
{
    const Tile tile = LoadTile();
    ASSERT_EQ(kTileW, tile.cx);
    const int cw = 203, ch = 87;
    PaintedWindow window(900, 700, cw, ch);
    CWnd owner(window.Handle());
    CTiledBackground painter(&owner, IDB_BACKGROUND);
    window.EraseWith(&painter);
    ::ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);
    ::InvalidateRect(window.Handle(), nullptr, TRUE);
    ::UpdateWindow(window.Handle());

    std::vector<uint32_t> px;
    // What the window shows, read back through its own context.
    auto shown = [&] {
        HDC hWindowDC = ::GetDC(window.Handle());
        HDC hMemDC = ::CreateCompatibleDC(hWindowDC);
        HBITMAP hBitmap = ::CreateCompatibleBitmap(hWindowDC, cw, ch);
        HGDIOBJ hOld = ::SelectObject(hMemDC, hBitmap);
        ::BitBlt(hMemDC, 0, 0, cw, ch, hWindowDC, 0, 0, SRCCOPY);
        ::SelectObject(hMemDC, hOld);
        px = ReadPixels(hBitmap, cw, ch);
        ::DeleteObject(hBitmap);
        ::DeleteDC(hMemDC);
        ::ReleaseDC(window.Handle(), hWindowDC);
        return ShowsTiles(px, cw, ch, cw, ch, tile) == ::testing::AssertionSuccess();
    };
    EXPECT_TRUE(testkit::WaitFor([&] { return shown(); }, 5000));
    EXPECT_TRUE(ShowsTiles(px, cw, ch, cw, ch, tile));
    window.EraseWith(nullptr);
}

TEST(TiledBackgroundPaint, RepeatedPaintingKeepsNoGdiObjects)
{
    PaintedWindow big(100, 100, 250, 130);
    PaintedWindow empty(100, 100, 0, 0);
    CWnd bigOwner(big.Handle()), emptyOwner(empty.Handle());
    CTiledBackground tiles(&bigOwner, IDB_BACKGROUND);
    CTiledBackground missing(&bigOwner, 9999);
    CTiledBackground nothing(&emptyOwner, IDB_BACKGROUND);
    Canvas canvas(big.Handle(), 250, 130);
    ASSERT_TRUE(canvas.Ok());
    auto paintAll = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            EXPECT_TRUE(canvas.PaintWith(tiles));
            EXPECT_TRUE(canvas.PaintWith(missing));
            EXPECT_TRUE(canvas.PaintWith(nothing));
        }
    };
    paintAll(3);  // whatever the system caches on first use
    const DWORD objectsBefore = GdiObjects();
    const std::set<unsigned> slotsBefore = FreeHandleSlots();
    paintAll(500);
    EXPECT_EQ(objectsBefore, GdiObjects());
    EXPECT_TRUE(slotsBefore == FreeHandleSlots());
}
