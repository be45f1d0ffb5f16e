// The one header through which the program reaches the window system:
// thin wrappers with the framework names the program is written against.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <mbstring.h>

#include "platform/carray.h"
#include "platform/cbitmap.h"
#include "platform/cclient_dc.h"
#include "platform/ccmd_target.h"
#include "platform/ccompatible_dc.h"
#include "platform/cdc.h"
#include "platform/cdialog.h"
#include "platform/cdpi_awareness.h"
#include "platform/clist_box.h"
#include "platform/cpaint_dc.h"
#include "platform/cprofile_file.h"
#include "platform/profile_text.h"
#include "platform/cstring.h"
#include "platform/cstring_list.h"
#include "platform/ctime.h"
#include "platform/cwin_app.h"
#include "platform/cwnd.h"
#include "platform/dll_search.h"
#include "platform/geometry.h"
#include "platform/system_dpi.h"

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif
