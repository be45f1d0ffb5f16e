// The target list in the profile: section "BUTTON", keys "BTN1", "BTN2", ...
// The first empty or missing value ends the list.
#pragma once

#include "platform/platform.h"

// A line break in a value would become extra lines, keys or sections of the
// profile: no entry may hold one.
bool HasLineBreak(const CString& text);
// Entry n (0-based); "" when the key is missing.
CString ReadTarget(int n);
// Writes entry n. A value holding a line break is refused (FALSE): it would
// become extra lines, keys or sections of the profile.
BOOL WriteTarget(const CString& text, int n);
// Writes the whole list and the empty value that ends it, all or nothing: on
// FALSE the profile is as it was. A value holding a line break is refused.
BOOL WriteTargets(const CStringList& targets);
