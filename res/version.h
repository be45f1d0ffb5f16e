// Version texts: the resource script and the settings banner both read them.
#pragma once

#define ZELVANO_FILEVERSION       0,0,0,2
#define ZELVANO_FILEVERSION_STR   "0, 0, 0, 2"
#define ZELVANO_BANNER_VERSION    "Zelvano Ver 0.03 1999.08.04"
#define ZELVANO_MAKER             "Zelvano project"
#define ZELVANO_MAKER_CONTACT     "Send reports through the project's issue tracker"
#define ZELVANO_COPYRIGHT         "(C) Zelvano project"
