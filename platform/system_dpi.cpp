#include "platform/system_dpi.h"

int GetSystemDpi()
{
    // GetDpiForSystem would need Windows 10; the screen's DC says the same
    // to a system-aware program on every version.
    HDC hScreen = ::GetDC(nullptr);
    int nDpi = hScreen ? ::GetDeviceCaps(hScreen, LOGPIXELSY) : 0;
    if (hScreen)
        ::ReleaseDC(nullptr, hScreen);
    return nDpi > 0 ? nDpi : USER_DEFAULT_SCREEN_DPI;
}

int ScaleToDpi(int nPixels, int nDpi)
{
    return ::MulDiv(nPixels, nDpi, USER_DEFAULT_SCREEN_DPI);
}
