// Figure 4: CTiledBackground::Paint, which doubles what is painted, against
// a painter that copies the tile once per grid cell straight to the target.
#include <algorithm>

#include "bench/bench.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "ui/tiled_background.h"

namespace bench {
namespace {
const SIZE kClients[] = {{160, 80}, {600, 400}, {1920, 1080}, {3840, 2160}};
// Small clients are painted this many pixels' worth per repetition, so a
// repetition lasts long enough for the clock.
const int kMinPixels = 4000000;

// The plain way: one copy per tile position. Returns the number of copies.
int PaintTileByTile(CWnd* pOwner, CDC* pDC)
{
    HBITMAP hTile = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BACKGROUND));
    BITMAP bm = {};
    GetObjectA(hTile, sizeof(bm), &bm);
    HDC hTileDC = CreateCompatibleDC(*pDC);
    HGDIOBJ hOld = SelectObject(hTileDC, hTile);
    CRect rc;
    pOwner->GetClientRect(&rc);
    int copies = 0;
    for (int y = 0; y < rc.Height(); y += bm.bmHeight)
        for (int x = 0; x < rc.Width(); x += bm.bmWidth, ++copies)
            BitBlt(*pDC, x, y, bm.bmWidth, bm.bmHeight, hTileDC, 0, 0, SRCCOPY);
    SelectObject(hTileDC, hOld);
    DeleteDC(hTileDC);
    DeleteObject(hTile);
    return copies;
}

// A memory picture of a window's client area, in the window's format.
class Canvas {
public:
    explicit Canvas(HWND hWnd) : m_hWnd(hWnd), m_hWindowDC(GetDC(hWnd))
    {
        RECT rc;
        GetClientRect(hWnd, &rc);
        m_cx = rc.right;
        m_cy = rc.bottom;
        m_dc.m_hDC = CreateCompatibleDC(m_hWindowDC);
        m_hBitmap = CreateCompatibleBitmap(m_hWindowDC, m_cx, m_cy);
        m_hOld = SelectObject(m_dc, m_hBitmap);
    }
    ~Canvas()
    {
        SelectObject(m_dc, m_hOld);
        DeleteObject(m_hBitmap);
        DeleteDC(m_dc.m_hDC);
        ReleaseDC(m_hWnd, m_hWindowDC);
    }
    CDC* Dc() { return &m_dc; }
    void Clear() { PatBlt(m_dc, 0, 0, m_cx, m_cy, BLACKNESS); }
    // The picture's bytes, to check that both painters agree.
    std::vector<char> Bits() const
    {
        BITMAP bm = {};
        GetObjectA(m_hBitmap, sizeof(bm), &bm);
        std::vector<char> bits(static_cast<size_t>(bm.bmWidthBytes) * bm.bmHeight);
        GetBitmapBits(m_hBitmap, static_cast<LONG>(bits.size()), bits.data());
        return bits;
    }

private:
    HWND m_hWnd;
    HDC m_hWindowDC;
    CDC m_dc;
    HBITMAP m_hBitmap;
    HGDIOBJ m_hOld;
    int m_cx, m_cy;
};

Row PaintRow(HWND hWnd, const BITMAP& tile)
{
    CWnd owner(hWnd);
    CRect rc;
    owner.GetClientRect(&rc);
    CTiledBackground doubling(&owner, IDB_BACKGROUND);
    Canvas canvas(hWnd);

    canvas.Clear();
    doubling.Paint(canvas.Dc());
    std::vector<char> picture = canvas.Bits();
    canvas.Clear();
    int tileCopies = PaintTileByTile(&owner, canvas.Dc());
    bool same = canvas.Bits() == picture;

    const int inner = std::max(1, kMinPixels / (rc.Width() * rc.Height()));
    auto timeDoubling = [&] {
        long long t0 = Qpc();
        for (int i = 0; i < inner; ++i)
            doubling.Paint(canvas.Dc());
        return TicksToMs(Qpc() - t0) / inner;
    };
    auto timeTiles = [&] {
        long long t0 = Qpc();
        for (int i = 0; i < inner; ++i)
            PaintTileByTile(&owner, canvas.Dc());
        return TicksToMs(Qpc() - t0) / inner;
    };
    std::vector<double> ours, floor;
    for (int rep = 0; rep < g_nReps; ++rep) {
        if (rep % 2) {
            floor.push_back(timeTiles());
            ours.push_back(timeDoubling());
        } else {
            ours.push_back(timeDoubling());
            floor.push_back(timeTiles());
        }
    }
    double ms = Median(ours), floorMs = Median(floor);
    int copies = PlanTileCopies(rc.Width(), rc.Height(), tile.bmWidth, tile.bmHeight).GetSize();
    return {"4. Paint " + std::to_string(rc.Width()) + "x" + std::to_string(rc.Height()) +
                ", doubling vs tile by tile" + (same ? "" : " (pictures differ!)"),
            Fixed(ms, 3) + " ms, " + std::to_string(copies) + " copies",
            Fixed(floorMs, 3) + " ms, " + std::to_string(tileCopies) + " copies",
            Fixed(ms / floorMs, 2) + " x", "(shown)", "-"};
}
}  // namespace

void MeasurePainting(Table& table)
{
    BITMAP tile = {};
    HBITMAP hTile = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BACKGROUND));
    GetObjectA(hTile, sizeof(tile), &tile);
    DeleteObject(hTile);

    for (const SIZE& size : kClients) {
        // A borderless pop-up: its client area is the whole window.
        HWND hWnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, size.cx, size.cy, nullptr,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);
        table.push_back(PaintRow(hWnd, tile));
        DestroyWindow(hWnd);
    }
}

}  // namespace bench
