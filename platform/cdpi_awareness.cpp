#include "platform/cdpi_awareness.h"

CDpiAwareness CDpiAwareness::FromUser32()
{
    // Loaded in every program that makes a window; never unloaded.
    HMODULE hUser = ::GetModuleHandleA("user32.dll");
    if (!hUser)
        return CDpiAwareness(nullptr, nullptr);
    return CDpiAwareness(reinterpret_cast<GetWindowContextFn>(reinterpret_cast<void (*)()>(
                             ::GetProcAddress(hUser, "GetWindowDpiAwarenessContext"))),
                         reinterpret_cast<SetThreadContextFn>(reinterpret_cast<void (*)()>(
                             ::GetProcAddress(hUser, "SetThreadDpiAwarenessContext"))));
}

BOOL CDpiAwareness::GetClientRect(HWND hWnd, LPRECT lpRect) const
{
    DPI_AWARENESS_CONTEXT hOld = nullptr;
    if (m_pfnGetWindowContext && m_pfnSetThreadContext) {
        // Null for a window that is gone; SetThreadDpiAwarenessContext gives
        // null when it changed nothing.
        DPI_AWARENESS_CONTEXT hContext = m_pfnGetWindowContext(hWnd);
        if (hContext)
            hOld = m_pfnSetThreadContext(hContext);
    }
    BOOL bResult = ::GetClientRect(hWnd, lpRect);
    if (hOld)
        m_pfnSetThreadContext(hOld);
    return bResult;
}
