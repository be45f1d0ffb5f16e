// The DPI awareness contexts of Windows 10 1607 and later, found at run time.
// A program aware of the system's DPI is given every window's sizes at that
// DPI, while a window of a per-monitor-aware program on a monitor of another
// scale draws in its own pixels: measured in that window's context, its sizes
// are the pixels its device context draws in.
#pragma once

#include <windows.h>

class CDpiAwareness {
public:
    typedef DPI_AWARENESS_CONTEXT(WINAPI* GetWindowContextFn)(HWND);
    typedef DPI_AWARENESS_CONTEXT(WINAPI* SetThreadContextFn)(DPI_AWARENESS_CONTEXT);

    // With either function null, windows are measured in the thread's own context.
    CDpiAwareness(GetWindowContextFn pfnGetWindowContext, SetThreadContextFn pfnSetThreadContext)
        : m_pfnGetWindowContext(pfnGetWindowContext), m_pfnSetThreadContext(pfnSetThreadContext)
    {
    }
    // user32's GetWindowDpiAwarenessContext and SetThreadDpiAwarenessContext,
    // null where Windows is older.
    static CDpiAwareness FromUser32();

    // hWnd's client rectangle measured with this thread in hWnd's context,
    // which the thread leaves again at once.
    BOOL GetClientRect(HWND hWnd, LPRECT lpRect) const;

private:
    GetWindowContextFn m_pfnGetWindowContext;
    SetThreadContextFn m_pfnSetThreadContext;
};
