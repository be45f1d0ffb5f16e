// The application's INI file. A bare name means the file in the Windows
// directory (the system profile); beside it stands the per-user copy that
// Windows keeps for it under UAC virtualization (the per-user store), which
// takes over once it exists, as it does for a virtualized 32-bit program.
#pragma once

#include <windows.h>

#include "platform/carray.h"
#include "platform/cstring.h"
#include "platform/profile_text.h"

// The moments of a save at which a test may make it fail or damage the
// temporary file (SetSaveHook): faults that no real file gives at will.
enum ProfileSaveStep {
    PROFILE_SAVE_CREATED,   // the temporary file exists (a copy of the profile, or empty); hTemp writes it
    PROFILE_SAVE_WRITTEN,   // it holds the new bytes, flushed, not yet read back; hTemp writes it
    PROFILE_SAVE_CHECKED,   // read back and found whole, not yet in place; hTemp only reads
    PROFILE_SAVE_REPLACED,  // in place: the save is done, whatever the hook says
};
// Returns false, with the last error set, for the step to fail.
typedef bool (*ProfileSaveHook)(ProfileSaveStep step, HANDLE hTemp, const char* pszTempPath, void* pContext);

class CProfileFile {
public:
    // A bare name gets both files; a path is used as it is, with no store.
    void SetName(const char* pszName);

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
    // True when the file in use is UTF-8, which ANSI values would damage.
    bool IsUtf8() const;

    void SetSaveHook(ProfileSaveHook pfnHook, void* pContext)
    {
        m_pfnSaveHook = pfnHook;
        m_pSaveHookContext = pContext;
    }

private:
    enum CommitResult { COMMITTED, REFUSED, FAILED };
    // Saves target as a copy of source with the values set.
    CommitResult Commit(const CString& source, const CString& target, const char* pszSection,
                        const CArray<CProfileValue>& values);
    bool Step(ProfileSaveStep step, HANDLE hTemp, const CString& temp) const
    {
        return !m_pfnSaveHook || m_pfnSaveHook(step, hTemp, temp, m_pSaveHookContext);
    }

    CString m_strSystem;
    CString m_strUserStore;
    ProfileSaveHook m_pfnSaveHook = nullptr;
    void* m_pSaveHookContext = nullptr;
    unsigned m_nSaves = 0;  // part of each temporary file's name
};
