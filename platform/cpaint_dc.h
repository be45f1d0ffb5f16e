// The device context of one paint cycle: BeginPaint now, EndPaint at scope end.
#pragma once

#include "platform/cdc.h"
#include "platform/cwnd.h"

class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }
    ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }

    PAINTSTRUCT m_ps;

private:
    HWND m_hWnd;
};
