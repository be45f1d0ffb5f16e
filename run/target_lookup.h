// Resolving a target path to a live window and pressing it.
#pragma once

#include "platform/platform.h"

// The window the path names: the top-level window titled with the first name
// (the platform's match, case-insensitive), then, for each further name, the
// first direct child in z-order whose text equals it byte for byte. A later
// name that matches nothing keeps an earlier match. Null when none.
HWND FindTarget(CString path);
// Posts button-down, button-down, button-up with zero parameters to the
// target. 1 when all three were queued; 0 when it was not found or a post
// was refused (a higher-integrity process, a full queue). *pdwRefused gets
// the platform's error for a refused post (ERROR_GEN_FAILURE when it gave
// none), 0 otherwise.
// pfnPost is the platform's PostMessageA; tests pass one that refuses.
typedef BOOL(WINAPI* PostMessageFn)(HWND, UINT, WPARAM, LPARAM);
int PressTarget(const CString& path, PostMessageFn pfnPost = ::PostMessageA, DWORD* pdwRefused = nullptr);
