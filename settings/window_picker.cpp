#include "settings/window_picker.h"

void ToggleHighlight(HWND hWnd, const CDpiAwareness& dpi)
{
    // GetDC(NULL) would be the whole screen, and a dead handle has no client area.
    if (!hWnd || !::IsWindow(hWnd))
        return;
    // The window DC draws in the window's own pixels. A per-monitor-aware
    // window on a monitor of another scale than the system's would measure
    // scaled in our context, and the inversion would cover part of it or
    // spill past it.
    CRect rc;
    if (!dpi.GetClientRect(hWnd, &rc))
        return;
    CClientDC dc(hWnd);
    if (dc.m_hDC)
        dc.InvertRect(&rc);
}

void RestoreHighlight(HWND hWnd, HWND hNext)
{
    ToggleHighlight(hWnd);
    if (!hWnd || !::IsWindow(hWnd))
        return;
    // Without RDW_UPDATENOW or RDW_ERASENOW the window is only marked for
    // painting: a hung program cannot hold us. Its children too, which a
    // window without WS_CLIPCHILDREN inverted with it.
    ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    // That paint comes later, and a window without WS_CLIPCHILDREN paints
    // over its children: it would undo the highlight of one inverted next.
    CRect rcNext;
    if (::IsChild(hWnd, hNext) && ::GetWindowRect(hNext, &rcNext)) {
        ::ScreenToClient(hWnd, reinterpret_cast<POINT*>(&rcNext.left));
        ::ScreenToClient(hWnd, reinterpret_cast<POINT*>(&rcNext.right));
        ::RedrawWindow(hWnd, &rcNext, nullptr, RDW_VALIDATE | RDW_ALLCHILDREN);
    }
}

CWindowPicker::CWindowPicker(CWnd* pOwner, CPoint /*point*/, UINT nCursorID)
    : m_pOwner(nullptr), m_pTarget(nullptr), m_dwTargetThread(0)
{
    m_pOwner = pOwner;
    m_pOwner->SetCapture();
    m_pOwner->GetWindowRect(&m_rcOwner);
    ::SetCursor(::LoadCursorA(AfxFindResourceHandle(MAKEINTRESOURCEA(nCursorID),
                                                    MAKEINTRESOURCEA(1) /* RT_CURSOR */),
                              MAKEINTRESOURCEA(nCursorID)));
}

void CWindowPicker::RestoreTarget(HWND hNext)
{
    if (::GetWindowThreadProcessId(m_pTarget, nullptr) == m_dwTargetThread)
        RestoreHighlight(m_pTarget, hNext);
}

void CWindowPicker::Track(CPoint point)
{
    CPoint screen = point;
    m_pOwner->ClientToScreen(&screen);
    HWND hCandidate = nullptr;
    if (!m_rcOwner.PtInRect(screen)) {
        // The point is in our own context's coordinates, as the owner's
        // rectangle is: the window under it is found in that context too.
        hCandidate = ::WindowFromPoint(screen);
        // The desktop itself is no application's window: over it there is nothing.
        if (hCandidate == ::GetDesktopWindow())
            hCandidate = nullptr;
    }
    if (hCandidate) {
        if (hCandidate == m_pTarget)
            return;
        if (m_pTarget)
            RestoreTarget(hCandidate);
        m_pTarget = hCandidate;
        m_dwTargetThread = ::GetWindowThreadProcessId(m_pTarget, nullptr);
        ToggleHighlight(m_pTarget);
    } else if (m_pTarget) {
        RestoreTarget(nullptr);
        m_pTarget = nullptr;
    }
}

void CWindowPicker::End()
{
    if (m_pTarget)
        RestoreTarget(nullptr);
    // Once the capture went elsewhere, releasing it would take it from
    // whichever window of this thread holds it now.
    if (::GetCapture() == m_pOwner->m_hWnd)
        ::ReleaseCapture();
}
