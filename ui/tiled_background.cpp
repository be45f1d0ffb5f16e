#include "ui/tiled_background.h"

CArray<TileCopy> PlanTileCopies(int cw, int ch, int w, int h)
{
    CArray<TileCopy> plan;
    if (w <= 0 || h <= 0)
        return plan;
    plan.Add(TileCopy{TileCopy::TileToCanvas, 0, 0, w, h});
    // Each copy reads only what is painted and never overlaps its source:
    // the remainder after a loop is at most what is already there.
    long long x = w;
    for (; 2 * x < cw; x *= 2)
        plan.Add(TileCopy{TileCopy::CanvasToCanvas, static_cast<int>(x), 0, static_cast<int>(x), h});
    plan.Add(TileCopy{TileCopy::CanvasToCanvas, static_cast<int>(x), 0, static_cast<int>(cw - x), h});
    long long y = h;
    for (; 2 * y < ch; y *= 2)
        plan.Add(TileCopy{TileCopy::CanvasToCanvas, 0, static_cast<int>(y), cw, static_cast<int>(y)});
    plan.Add(TileCopy{TileCopy::CanvasToCanvas, 0, static_cast<int>(y), cw, static_cast<int>(ch - y)});
    plan.Add(TileCopy{TileCopy::CanvasToWindow, 0, 0, cw, ch});
    return plan;
}

BOOL CTiledBackground::Paint(CDC* pDC)
{
    CBitmap tile;
    BITMAP bm = {};
    if (!tile.LoadBitmap(static_cast<UINT>(m_nBitmapID) & 0xFFFF) || !tile.GetBitmap(&bm))
        return TRUE;

    CCompatibleDC tileDC;
    if (!tileDC.CreateCompatibleDC(pDC))
        return TRUE;
    HGDIOBJ hOldTile = tileDC.SelectObject(tile);

    CRect rcClient;
    m_pOwner->GetClientRect(&rcClient);
    int cw = rcClient.Width();
    int ch = rcClient.Height();

    CCompatibleDC canvasDC;
    if (hOldTile && cw > 0 && ch > 0 && canvasDC.CreateCompatibleDC(pDC)) {
        canvasDC.SetMapMode(MM_TEXT);
        // Compatible with the tile's context, so the canvas has the tile's format.
        CBitmap canvas;
        if (canvas.CreateCompatibleBitmap(&tileDC, cw, ch)) {
            HGDIOBJ hOldCanvas = canvasDC.SelectObject(canvas);
            if (hOldCanvas) {
                for (const TileCopy& c : PlanTileCopies(cw, ch, bm.bmWidth, bm.bmHeight)) {
                    // A copy of no extent changes nothing; a negative one would mirror.
                    if (c.cx <= 0 || c.cy <= 0)
                        continue;
                    if (c.kind == TileCopy::TileToCanvas)
                        canvasDC.BitBlt(c.x, c.y, c.cx, c.cy, &tileDC, 0, 0, SRCCOPY);
                    else if (c.kind == TileCopy::CanvasToCanvas)
                        canvasDC.BitBlt(c.x, c.y, c.cx, c.cy, &canvasDC, 0, 0, SRCCOPY);
                    else
                        pDC->BitBlt(c.x, c.y, c.cx, c.cy, &canvasDC, 0, 0, SRCCOPY);
                }
                canvasDC.SelectObject(hOldCanvas);
            }
            canvas.DeleteObject();
        }
    }
    if (hOldTile)
        tileDC.SelectObject(hOldTile);
    tile.DeleteObject();
    tileDC.DeleteDC();
    canvasDC.DeleteDC();
    return TRUE;
}
