// The application's INI file. A bare name means the file in the Windows
// directory (the system profile); beside it stands the per-user copy that
// Windows keeps for it under UAC virtualization (the per-user store), which
// takes over once it exists, as it does for a virtualized 32-bit program.
#pragma once

#include <windows.h>

#include <cstddef>

#include "platform/cstring.h"

class CProfileFile {
public:
    // A bare name gets both files; a path is used as it is, with no store.
    void SetName(const char* pszName);
    // Both files given; an empty store path means no store.
    void SetPaths(const char* pszSystem, const char* pszUserStore);

    const CString& GetSystemPath() const { return m_strSystem; }
    const CString& GetUserStorePath() const { return m_strUserStore; }
    // The file that reads come from and writes go to: the store once it exists.
    CString GetPath() const;

    CString GetString(const char* pszSection, const char* pszEntry, const char* pszDefault) const;
    // A system profile that refuses for lack of access is copied to the store,
    // which is written from then on. FALSE with the last error otherwise.
    BOOL WriteString(const char* pszSection, const char* pszEntry, const char* pszValue);
    // True when the file in use is UTF-8, which the ANSI functions would damage.
    bool IsUtf8() const;

private:
    BOOL CopyToUserStore() const;

    CString m_strSystem;
    CString m_strUserStore;
};

// The value to write so that reading gives back psz byte for byte: reads drop
// blanks at both ends and then one pair of enclosing quotes.
CString ProfileValueToStore(const char* psz);
// A UTF-8 byte-order mark, or valid UTF-8 holding non-ASCII bytes (which text
// in code page 932 almost never is). A UTF-16 file is not UTF-8.
bool IsUtf8ProfileText(const char* pBytes, size_t nBytes);
