// A GDI object that this wrapper owns and deletes.
#pragma once

#include <windows.h>

class CGdiObject {
public:
    CGdiObject() : m_hObject(nullptr) {}
    ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    HGDIOBJ m_hObject;
    operator HGDIOBJ() const { return m_hObject; }

    // Safe to call twice; the object must not be selected into a DC.
    BOOL DeleteObject()
    {
        if (!m_hObject)
            return FALSE;
        BOOL ok = ::DeleteObject(m_hObject);
        m_hObject = nullptr;
        return ok;
    }
};
