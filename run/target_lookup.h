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

// TARGET_OK when the path window,button names hWnd, a window whose parent
// (or owner) is titled window and whose text is button, and can be trusted
// to name it again; otherwise the first of these reasons that applies.
enum TargetCheck {
    TARGET_OK,
    TARGET_NOT_CHILD,      // a top-level window, its "parent" the owner
    TARGET_NESTED,         // inside a child window: only direct children are searched
    TARGET_COMMA,          // a comma would split a name
    TARGET_UNNAMED,        // an empty caption never matches; an empty title finds any untitled window
    TARGET_TITLE_TAKEN,    // another window with that title is found first
    TARGET_CAPTION_TAKEN,  // an earlier sibling has the same caption
    TARGET_LOST,           // gone or renamed since it was read
};
TargetCheck CheckTarget(HWND hWnd, const CString& window, const CString& button);
