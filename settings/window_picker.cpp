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

namespace {
bool IsGroupBox(HWND hWnd)
{
    // The system's class, under a framework's superclass of it too.
    char cls[8] = {};
    ::RealGetWindowClassA(hWnd, cls, sizeof(cls));
    return lstrcmpiA(cls, "Button") == 0 && (::GetWindowLongA(hWnd, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

// Whether the pointer at pt can be on child window hWnd, as WindowFromPoint
// tests it: shown, enabled and around pt.
bool TakesPoint(HWND hWnd, POINT pt)
{
    const LONG style = ::GetWindowLongA(hWnd, GWL_STYLE);
    CRect rc;
    return (style & WS_VISIBLE) && !(style & WS_DISABLED) && ::GetWindowRect(hWnd, &rc) && rc.PtInRect(pt);
}

// The first window from hWnd on in z-order that the pointer at pt can be on;
// a group box only where no later one but group boxes can.
HWND FirstUnder(HWND hWnd, POINT pt)
{
    HWND hFrame = nullptr;
    for (; hWnd; hWnd = ::GetWindow(hWnd, GW_HWNDNEXT)) {
        if (!TakesPoint(hWnd, pt))
            continue;
        if (!IsGroupBox(hWnd))
            return hWnd;
        if (!hFrame)
            hFrame = hWnd;
    }
    return hFrame;
}

bool InClientArea(HWND hWnd, POINT pt)
{
    CRect rc;
    return ::ScreenToClient(hWnd, &pt) && ::GetClientRect(hWnd, &rc) && rc.PtInRect(pt);
}

bool IsDesktop(HWND hWnd, HWND hShell)
{
    if (hWnd == ::GetDesktopWindow())
        return true;
    // Over the wallpaper the pointer is on Explorer's desktop view (a list
    // view in SHELLDLL_DefView), in its shell window or in a WorkerW that it
    // moves the view to.
    HWND hRoot = ::GetAncestor(hWnd, GA_ROOT);
    char cls[8] = {};
    ::RealGetWindowClassA(hRoot, cls, sizeof(cls));
    return (hShell && hRoot == hShell) ||
           (lstrcmpA(cls, "WorkerW") == 0 && ::FindWindowExA(hRoot, nullptr, "SHELLDLL_DefView", nullptr));
}
}  // namespace

HWND CandidateAt(POINT pt, HWND hShell)
{
    HWND hWnd = ::WindowFromPoint(pt);
    // A group box lets the pointer through to what it frames by answering
    // WM_NCHITTEST with HTTRANSPARENT, which WindowFromPoint asks only windows
    // of its own thread; Wine's RealChildWindowFromPoint does not step past
    // one either. A template lists a frame before its controls, so another
    // program's frame lies above them.
    if (IsGroupBox(hWnd) && (::GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD)) {
        HWND hBeneath = FirstUnder(::GetWindow(hWnd, GW_HWNDNEXT), pt);
        if (hBeneath && !IsGroupBox(hBeneath)) {
            hWnd = hBeneath;
            for (HWND hChild; InClientArea(hWnd, pt) && (hChild = FirstUnder(::GetWindow(hWnd, GW_CHILD), pt));)
                hWnd = hChild;
        }
    }
    return IsDesktop(hWnd, hShell) ? nullptr : hWnd;
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
        hCandidate = CandidateAt(screen);
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
