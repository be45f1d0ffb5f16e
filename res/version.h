// Version and maker texts: the resource script and the settings banner both
// read them. Code page 932 after compilation; the .rc reads them as UTF-8.
#pragma once

#define ZELVANO_FILEVERSION       0,0,0,2
#define ZELVANO_FILEVERSION_STR   "0, 0, 0, 2"
#define ZELVANO_BANNER_VERSION    "Zelvano Ver 0.03 1999.08.04"
#define ZELVANO_MAKER             "Zelvano project"
#define ZELVANO_MAKER_CONTACT1    "ご連絡は付属の"
#define ZELVANO_MAKER_CONTACT2    "README をご覧ください"
#define ZELVANO_COPYRIGHT         "(C) Zelvano project"
