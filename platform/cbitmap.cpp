#include "platform/cbitmap.h"

#include "platform/cwin_app.h"

BOOL CBitmap::LoadBitmap(UINT nIDResource)
{
    LPCSTR name = MAKEINTRESOURCEA(nIDResource);
    m_hObject = ::LoadBitmapA(AfxFindResourceHandle(name, MAKEINTRESOURCEA(2) /* RT_BITMAP */), name);
    return m_hObject != nullptr;
}
