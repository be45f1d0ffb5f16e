// A memory device context that this object creates and deletes.
#pragma once

#include "platform/cdc.h"

class CCompatibleDC : public CDC {
public:
    CCompatibleDC() {}
    ~CCompatibleDC() { DeleteDC(); }
    BOOL CreateCompatibleDC(CDC* pDC)
    {
        m_hDC = ::CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr);
        return m_hDC != nullptr;
    }
    // Safe to call twice; the second call does nothing.
    BOOL DeleteDC()
    {
        if (!m_hDC)
            return FALSE;
        BOOL ok = ::DeleteDC(m_hDC);
        m_hDC = nullptr;
        return ok;
    }
};
