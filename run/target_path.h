// A target path names a button: "window title,button caption". There is no
// quoting: a comma inside a name splits it.
#pragma once

#include "platform/platform.h"

// Removes the first name and its comma from path and returns that name.
CString PopTargetToken(CString& path);
