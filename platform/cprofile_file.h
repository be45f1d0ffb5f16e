// The application's INI file. A bare name means the file in the Windows
// directory (the system profile); beside it stands the per-user copy that
// Windows keeps for it under UAC virtualization (the per-user store), which
// takes over once it exists, as it does for a virtualized 32-bit program.
#pragma once

#include <windows.h>

#include <cstddef>

#include "platform/carray.h"
#include "platform/cstring.h"

// A key of a section and the value it is to hold.
struct CProfileValue {
    CString strKey;
    CString strValue;
};

// The steps of a save, each of which a test may make fail (SetSaveHook).
enum ProfileSaveStep {
    PROFILE_SAVE_COPIED,    // the temporary file holds the profile's bytes
    PROFILE_SAVE_KEY,       // one more key written to it
    PROFILE_SAVE_WRITTEN,   // every key written, not yet read back
    PROFILE_SAVE_CHECKED,   // read back and flushed to disk, not yet in place
    PROFILE_SAVE_REPLACED,  // in place: the save is done, whatever the hook says
};
// Returns false, with the last error set, for the step to fail.
typedef bool (*ProfileSaveHook)(ProfileSaveStep step, const char* pszTempPath, void* pContext);

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
    // All or nothing: the file on disk holds either its old bytes or every
    // value, whatever happens meanwhile (a crash, a full disk, a power cut).
    // A system profile that refuses for lack of access is copied to the store,
    // which is written from then on. FALSE with the last error otherwise.
    BOOL WriteStrings(const char* pszSection, const CArray<CProfileValue>& values);
    // One value, as WriteStrings saves it; a null value is refused.
    BOOL WriteString(const char* pszSection, const char* pszEntry, const char* pszValue);
    // True when the file in use is UTF-8, which the ANSI functions would damage.
    bool IsUtf8() const;

    // Where a save's temporary file lives: beside the profile, never read as one.
    static CString SaveTempPath(const CString& path) { return path + ".tmp"; }
    void SetSaveHook(ProfileSaveHook pfnHook, void* pContext)
    {
        m_pfnSaveHook = pfnHook;
        m_pSaveHookContext = pContext;
    }

private:
    enum CommitResult { COMMITTED, REFUSED, FAILED };
    // Saves target as a copy of source with the values set.
    CommitResult Commit(const CString& source, const CString& target, const char* pszSection,
                        const CArray<CProfileValue>& values) const;
    // Fills the new temporary file, and closes it, with source's bytes and the values.
    bool WriteTemp(const CString& source, HANDLE hTemp, const CString& temp, const char* pszSection,
                   const CArray<CProfileValue>& values) const;
    bool Step(ProfileSaveStep step, const CString& temp) const
    {
        return !m_pfnSaveHook || m_pfnSaveHook(step, temp, m_pSaveHookContext);
    }

    CString m_strSystem;
    CString m_strUserStore;
    ProfileSaveHook m_pfnSaveHook = nullptr;
    void* m_pSaveHookContext = nullptr;
};

// The value to write so that reading gives back psz byte for byte: reads drop
// blanks at both ends and then one pair of enclosing quotes.
CString ProfileValueToStore(const char* psz);
// A UTF-8 byte-order mark, or valid UTF-8 holding non-ASCII bytes (which text
// in code page 932 almost never is). A UTF-16 file is not UTF-8.
bool IsUtf8ProfileText(const char* pBytes, size_t nBytes);
