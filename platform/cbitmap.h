// A bitmap that this wrapper owns.
#pragma once

#include "platform/cdc.h"
#include "platform/cgdi_object.h"

class CBitmap : public CGdiObject {
public:
    // From the resources of the module that holds bitmap nIDResource.
    BOOL LoadBitmap(UINT nIDResource);
    BOOL CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight)
    {
        m_hObject = ::CreateCompatibleBitmap(pDC->m_hDC, nWidth, nHeight);
        return m_hObject != nullptr;
    }
    int GetBitmap(BITMAP* pBitMap) const
    {
        return m_hObject ? ::GetObjectA(m_hObject, sizeof(BITMAP), pBitMap) : 0;
    }
};
