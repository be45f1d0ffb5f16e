// Paints a window's client area with copies of a small bitmap laid edge to
// edge from the top-left corner, composing the picture in a memory canvas by
// repeated doubling and handing it to the window in one copy.
#pragma once

#include "platform/platform.h"

// One unstretched copy; every copy reads from (0, 0) of its source.
struct TileCopy {
    enum Kind { TileToCanvas, CanvasToCanvas, CanvasToWindow };
    Kind kind;
    int x, y, cx, cy;
};

// The copies, in order, that tile a cw x ch area with a w x h tile:
// 4 + (doublings across) + (doublings down). Empty for an empty tile.
CArray<TileCopy> PlanTileCopies(int cw, int ch, int w, int h);

class CTiledBackground {
public:
    CTiledBackground(CWnd* pOwner, int nBitmapID) : m_pOwner(pOwner), m_nBitmapID(nBitmapID) {}
    ~CTiledBackground() {}

    // Paints the owner's whole client area into pDC. Always TRUE: when the
    // tile or a canvas cannot be had nothing is drawn and the old
    // background stays.
    BOOL Paint(CDC* pDC);

private:
    CWnd* m_pOwner;
    int m_nBitmapID;
};
