// A window reference: holds an HWND and never owns a foreign window.
#pragma once

#include <windows.h>

#include "platform/ccmd_target.h"
#include "platform/cstring.h"
#include "platform/geometry.h"

class CDC;

class CWnd : public CCmdTarget {
public:
    CWnd() : m_hWnd(nullptr) {}
    explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
    // Copies refer to the same window; only the original is attached.
    CWnd(const CWnd& other) : CCmdTarget(), m_hWnd(other.m_hWnd) {}
    CWnd& operator=(const CWnd& other) { m_hWnd = other.m_hWnd; return *this; }
    ~CWnd() override;

    HWND m_hWnd;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The C++ object behind a window of ours, or null for any other window.
    static CWnd* FromHandle(HWND hWnd);

    CWnd GetDlgItem(int nID) const { return CWnd(::GetDlgItem(m_hWnd, nID)); }
    CWnd GetParent() const { return CWnd(::GetParent(m_hWnd)); }
    void GetWindowText(CString& rString) const;
    void SetWindowText(const char* psz) { ::SetWindowTextA(m_hWnd, psz); }
    void SetDlgItemText(int nID, const char* psz) { ::SetDlgItemTextA(m_hWnd, nID, psz); }
    void GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    void ClientToScreen(LPPOINT lpPoint) const { ::ClientToScreen(m_hWnd, lpPoint); }
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE)
    {
        ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
    }
    BOOL SetWindowPos(HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags)
    {
        return ::SetWindowPos(m_hWnd, hWndInsertAfter, x, y, cx, cy, nFlags);
    }
    void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, lpRect, bErase); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    HMENU GetSystemMenu(BOOL bRevert) const { return ::GetSystemMenu(m_hWnd, bRevert); }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon)
    {
        return reinterpret_cast<HICON>(::SendMessageA(m_hWnd, WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL,
                                                      reinterpret_cast<LPARAM>(hIcon)));
    }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    HWND SetCapture() { return ::SetCapture(m_hWnd); }
    CWnd ChildWindowFromPoint(POINT point) const { return CWnd(::ChildWindowFromPoint(m_hWnd, point)); }
    static CWnd WindowFromPoint(POINT point) { return CWnd(::WindowFromPoint(point)); }

    // Default handling of the message that is being handled now.
    LRESULT Default();

protected:
    // Ties a window of ours to this object and routes its messages here.
    void SubclassWindow(HWND hWnd);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void Detach();

    WNDPROC m_pfnSuper = nullptr;
    MSG m_msgCur = {};
};

// Window message entries; each names the handler's signature.
// LRESULT OnXxx(WPARAM wParam, LPARAM lParam), for a message of the program's own
#define ON_MESSAGE(message, memberFxn) \
    {message, 0, 0, AFX_THUNK(return pThis->memberFxn(wParam, lParam);)},
// void OnSysCommand(UINT nID, LPARAM lParam)
#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND, 0, 0, AFX_THUNK(pThis->OnSysCommand(static_cast<UINT>(wParam), lParam); return 0;)},
// void OnPaint()
#define ON_WM_PAINT() {WM_PAINT, 0, 0, AFX_THUNK(pThis->OnPaint(); return 0;)},
// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, AFX_THUNK(return reinterpret_cast<LRESULT>(pThis->OnQueryDragIcon());)},
// BOOL OnEraseBkgnd(CDC* pDC)
#define ON_WM_ERASEBKGND()                                          \
    {WM_ERASEBKGND, 0, 0, AFX_THUNK(CDC dc(reinterpret_cast<HDC>(wParam)); \
                                    return pThis->OnEraseBkgnd(&dc);)},
// void OnDestroy()
#define ON_WM_DESTROY() {WM_DESTROY, 0, 0, AFX_THUNK(pThis->OnDestroy(); return 0;)},
// void OnSize(UINT nType, int cx, int cy)
#define ON_WM_SIZE()                                                              \
    {WM_SIZE, 0, 0, AFX_THUNK(pThis->OnSize(static_cast<UINT>(wParam),            \
                                            static_cast<short>(LOWORD(lParam)),  \
                                            static_cast<short>(HIWORD(lParam))); \
                              return 0;)},
// void OnGetMinMaxInfo(MINMAXINFO* lpMMI)
#define ON_WM_GETMINMAXINFO() \
    {WM_GETMINMAXINFO, 0, 0,  \
     AFX_THUNK(pThis->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam)); return 0;)},
// void OnCaptureChanged(CWnd* pWnd), pWnd the window that takes the capture
// (a reference only; its m_hWnd is null when the capture is let go)
#define ON_WM_CAPTURECHANGED() \
    {WM_CAPTURECHANGED, 0, 0,  \
     AFX_THUNK(CWnd wnd(reinterpret_cast<HWND>(lParam)); pThis->OnCaptureChanged(&wnd); return 0;)},
// void OnXxx(UINT nFlags, CPoint point), point in client coordinates
#define AFX_ON_MOUSE(message, memberFxn) \
    {message, 0, 0, AFX_THUNK(pThis->memberFxn(static_cast<UINT>(wParam), CPoint(lParam)); return 0;)},
#define ON_WM_LBUTTONDOWN() AFX_ON_MOUSE(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() AFX_ON_MOUSE(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_MOUSEMOVE() AFX_ON_MOUSE(WM_MOUSEMOVE, OnMouseMove)
