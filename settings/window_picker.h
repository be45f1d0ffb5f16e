// Picking a window by dragging: the owner captures the mouse, the window
// under the pointer is shown inverted, and the release yields the window
// inverted last.
#pragma once

#include "platform/platform.h"

// Inverts a window's client area; a second call restores it. Draws nothing
// for a window that no longer exists. The area is measured in the window's own
// DPI context where dpi can take it.
void ToggleHighlight(HWND hWnd, const CDpiAwareness& dpi = CDpiAwareness::FromUser32());
// Undoes ToggleHighlight and asks the window to repaint itself: one that drew
// while inverted would come back inverted from the second inversion alone.
// The repaint leaves out hNext, a child of it that is highlighted next.
void RestoreHighlight(HWND hWnd, HWND hNext = nullptr);

// The window that a drag over screen point pt highlights: the innermost
// visible, enabled window there, but over a group box the control beneath it
// (the box itself only where none lies beneath), and null over the desktop:
// the desktop window and the shell's desktop windows, hShell (GetShellWindow's)
// and a WorkerW holding the desktop's view, with everything in them.
HWND CandidateAt(POINT pt, HWND hShell = ::GetShellWindow());

class CWindowPicker {
public:
    // Captures the mouse for pOwner and shows cursor nCursorID. The press
    // point serves nothing else.
    CWindowPicker(CWnd* pOwner, CPoint point, UINT nCursorID);
    // Does nothing: the owner calls End first.
    ~CWindowPicker() {}
    CWindowPicker(const CWindowPicker&) = delete;
    CWindowPicker& operator=(const CWindowPicker&) = delete;

    // One mouse move, point in the owner's client coordinates.
    void Track(CPoint point);
    // Restores the highlighted window and releases the capture.
    void End();
    // The pick after End: the window highlighted last, or null.
    HWND GetTarget() const { return m_pTarget; }

private:
    void RestoreTarget(HWND hNext);

    CWnd* m_pOwner;
    HWND m_pTarget;
    CRect m_rcOwner;
    // The thread of m_pTarget when it was inverted: a handle that has come to
    // name another window since (the old one destroyed) is not touched.
    DWORD m_dwTargetThread;
};
