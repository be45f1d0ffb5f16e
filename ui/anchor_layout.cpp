#include "ui/anchor_layout.h"

CPoint GetAnchorPoint(const CRect& rect, int nAnchor)
{
    switch (static_cast<unsigned>(nAnchor)) {
    case ANCHOR_TOPLEFT:
    case ANCHOR_TOPLEFT_SCALEX:
    case ANCHOR_TOPLEFT_SCALEY:
        return CPoint(rect.left, rect.top);
    case ANCHOR_TOPRIGHT:
    case ANCHOR_TOPRIGHT_SCALEY:
        return CPoint(rect.right, rect.top);
    case ANCHOR_BOTTOMLEFT:
    case ANCHOR_BOTTOMLEFT_SCALEX:
        return CPoint(rect.left, rect.bottom);
    case ANCHOR_BOTTOMRIGHT:
        return CPoint(rect.right, rect.bottom);
    default:
        return CPoint(0, 0);
    }
}

CPoint CalcAnchorCorner(const CRect& windowRect, const CRect& initialRect, const AnchorCorner& corner)
{
    CPoint anchor = GetAnchorPoint(windowRect, corner.m_nAnchor);
    int ox = corner.m_offset.cx;
    int oy = corner.m_offset.cy;
    switch (corner.m_nAnchor) {
    case ANCHOR_TOPLEFT_SCALEX:
    case ANCHOR_BOTTOMLEFT_SCALEX:
        if (initialRect.Width() != 0)
            ox = static_cast<int>(static_cast<double>(ox) * windowRect.Width() / initialRect.Width());
        break;
    case ANCHOR_TOPLEFT_SCALEY:
    case ANCHOR_TOPRIGHT_SCALEY:
        if (initialRect.Height() != 0)
            oy = static_cast<int>(static_cast<double>(oy) * windowRect.Height() / initialRect.Height());
        break;
    default:
        break;
    }
    return CPoint(anchor.x - windowRect.left + ox, anchor.y - windowRect.top + oy);
}

CAnchorLayout::CAnchorLayout(CWnd* pOwner, CSize minTrackSize)
    : m_pOwner(pOwner), m_minTrackSize(minTrackSize)
{
    m_pOwner->GetWindowRect(&m_initialRect);
}

CAnchorLayout::~CAnchorLayout()
{
    for (AnchorEntry* pEntry : m_entries)
        delete pEntry;
    m_entries.RemoveAll();
}

int CAnchorLayout::AddControl(int nID, int nTopLeftAnchor, int nBottomRightAnchor)
{
    AnchorEntry* pEntry = new AnchorEntry;
    pEntry->m_nID = nID;
    pEntry->m_topLeft.m_nAnchor = nTopLeftAnchor;
    pEntry->m_bottomRight.m_nAnchor = nBottomRightAnchor;
    CWnd control = m_pOwner->GetDlgItem(nID);
    if (control.m_hWnd) {
        CRect rcWindow;
        m_pOwner->GetWindowRect(&rcWindow);
        CPoint origin(0, 0);
        m_pOwner->ClientToScreen(&origin);
        CSize d(origin.x - rcWindow.left, origin.y - rcWindow.top);
        CRect rcItem;
        control.GetWindowRect(&rcItem);
        CPoint a1 = GetAnchorPoint(rcWindow, nTopLeftAnchor);
        pEntry->m_topLeft.m_offset = CSize(rcItem.left - a1.x - d.cx, rcItem.top - a1.y - d.cy);
        CPoint a2 = GetAnchorPoint(rcWindow, nBottomRightAnchor);
        pEntry->m_bottomRight.m_offset = CSize(rcItem.right - a2.x - d.cx, rcItem.bottom - a2.y - d.cy);
        pEntry->m_bMeasured = true;
    }
    return m_entries.Add(pEntry);
}

void CAnchorLayout::Relayout()
{
    if (m_pOwner->IsIconic())
        return;
    CRect rcWindow;
    m_pOwner->GetWindowRect(&rcWindow);
    for (const AnchorEntry* pEntry : m_entries) {
        CWnd control = m_pOwner->GetDlgItem(pEntry->m_nID);
        if (!control.m_hWnd || !pEntry->m_bMeasured)
            continue;
        CPoint tl = CalcCorner(rcWindow, pEntry->m_topLeft);
        CPoint br = CalcCorner(rcWindow, pEntry->m_bottomRight);
        control.MoveWindow(tl.x, tl.y, br.x - tl.x, br.y - tl.y, TRUE);
        control.InvalidateRect(nullptr, TRUE);
        control.UpdateWindow();
    }
}

void CAnchorLayout::ApplyMinTrackSize(MINMAXINFO* pMMI) const
{
    if (m_minTrackSize.cx != 0 && m_minTrackSize.cy != 0) {
        pMMI->ptMinTrackSize.x = m_minTrackSize.cx;
        pMMI->ptMinTrackSize.y = m_minTrackSize.cy;
    }
}
