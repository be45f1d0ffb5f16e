// The bytes of a profile as the private-profile functions read them: which
// line holds a key, and the same bytes with some keys set, every other byte
// kept. Plain functions, without files, so that tests call them directly.
#pragma once

#include <cstddef>

#include "platform/carray.h"
#include "platform/cstring.h"

// A key of a section and the value it is to hold.
struct CProfileValue {
    CString strKey;
    CString strValue;
};

// The file's bytes with each key of pszSection set to its value, in the file's
// own encoding (the code page, or UTF-16 after its byte-order mark). Reads
// find a key in the first section of that name, on the first line that names
// it: that line is rewritten in place. Keys not there follow the section's
// last key, and a missing section follows the file's end. False, with nothing
// made, for a line break in a value or key, or a key that no read would find.
bool SetProfileValues(const CString& bytes, const char* pszSection, const CArray<CProfileValue>& values,
                      CString& result);
// Whether a section as GetPrivateProfileSectionA gives it (lines each ended
// with a null, an empty one last) reads every key as its value.
bool SectionReadsAs(const char* pszLines, const CArray<CProfileValue>& values);

// The value to write so that reading gives back psz byte for byte: reads drop
// blanks at both ends and then one pair of enclosing quotes.
CString ProfileValueToStore(const char* psz);
// A UTF-8 byte-order mark, or valid UTF-8 with at least one sequence of three
// or more bytes. Two-byte sequences alone are no sign: code page 932's
// half-width katakana (ﾃｽﾄ) make them too. A UTF-16 file is not UTF-8.
bool IsUtf8ProfileText(const char* pBytes, size_t nBytes);
