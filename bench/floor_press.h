// The floors' whole job: the same lookup and the same three posts as
// Zelvano's, for a path "window title,button caption", and nothing else.
#pragma once

#include <windows.h>

#include <mbstring.h>
#include <string.h>

inline bool FloorPress(const char* path)
{
    const char* comma = strchr(path, ',');
    if (!comma || comma - path >= 256)
        return false;
    char title[256];
    lstrcpynA(title, path, static_cast<int>(comma - path) + 1);
    const unsigned char* caption = reinterpret_cast<const unsigned char*>(comma + 1);

    HWND hTop = FindWindowA(nullptr, title);
    if (!hTop)
        return false;
    for (HWND h = GetWindow(hTop, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        char text[256];
        GetWindowTextA(h, text, sizeof(text));
        if (_mbscmp(reinterpret_cast<const unsigned char*>(text), caption) == 0) {
            PostMessageA(h, WM_LBUTTONDOWN, 0, 0);
            PostMessageA(h, WM_LBUTTONDOWN, 0, 0);
            PostMessageA(h, WM_LBUTTONUP, 0, 0);
            return true;
        }
    }
    return false;
}
