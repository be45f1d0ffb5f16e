// Keeps registered child controls in place while their window is resized:
// each corner keeps its distance from one corner of the window rectangle,
// and some codes scale one coordinate of that distance with the window.
#pragma once

#include "platform/platform.h"

enum {
    ANCHOR_TOPLEFT = 0,
    ANCHOR_TOPRIGHT = 1,
    ANCHOR_BOTTOMLEFT = 2,
    ANCHOR_BOTTOMRIGHT = 3,
    ANCHOR_TOPLEFT_SCALEX = 4,
    ANCHOR_BOTTOMLEFT_SCALEX = 5,
    ANCHOR_TOPLEFT_SCALEY = 6,
    ANCHOR_TOPRIGHT_SCALEY = 7,
};

struct AnchorCorner {
    int m_nAnchor = ANCHOR_TOPLEFT;
    // Client position minus the anchor point relative to the window's top-left.
    CSize m_offset;
};

struct AnchorEntry {
    int m_nID = 0;
    AnchorCorner m_topLeft;
    AnchorCorner m_bottomRight;
    // False when the control did not exist at registration: its offsets
    // were never measured, so the entry never moves anything.
    bool m_bMeasured = false;
};

// The anchor point of rect for the code, in rect's own coordinates. Codes
// outside 0..7 give (0, 0).
CPoint GetAnchorPoint(const CRect& rect, int nAnchor);
// Where a corner goes, in client coordinates, for the window rectangle
// windowRect; the scaling codes divide by initialRect's extent, truncating
// toward zero, and scale nothing when that extent is zero.
CPoint CalcAnchorCorner(const CRect& windowRect, const CRect& initialRect, const AnchorCorner& corner);

class CAnchorLayout {
public:
    // The owner must already be a window at its initial size.
    CAnchorLayout(CWnd* pOwner, CSize minTrackSize);
    ~CAnchorLayout();
    CAnchorLayout(const CAnchorLayout&) = delete;
    CAnchorLayout& operator=(const CAnchorLayout&) = delete;

    // Returns the new entry's index.
    int AddControl(int nID, int nTopLeftAnchor, int nBottomRightAnchor);
    void Relayout();
    void ApplyMinTrackSize(MINMAXINFO* pMMI) const;
    CPoint GetAnchorPoint(const CRect& rect, int nAnchor) const { return ::GetAnchorPoint(rect, nAnchor); }
    CPoint CalcCorner(const CRect& windowRect, const AnchorCorner& corner) const
    {
        return CalcAnchorCorner(windowRect, m_initialRect, corner);
    }

private:
    CWnd* m_pOwner;
    CSize m_minTrackSize;
    CRect m_initialRect;
    CArray<AnchorEntry*> m_entries;
};
