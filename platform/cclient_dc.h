// A window's client-area device context: GetDC now, ReleaseDC at scope end.
#pragma once

#include "platform/cdc.h"

class CClientDC : public CDC {
public:
    explicit CClientDC(HWND hWnd) : m_hWnd(hWnd) { m_hDC = hWnd ? ::GetDC(hWnd) : nullptr; }
    ~CClientDC()
    {
        if (m_hDC)
            ::ReleaseDC(m_hWnd, m_hDC);
    }

private:
    HWND m_hWnd;
};
