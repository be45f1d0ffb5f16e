#include "platform/cprofile_file.h"

#include <mbstring.h>
#include <shlobj.h>

namespace {

const size_t kMaxProfileBytes = 64u << 20;

bool IsFile(const char* pszPath)
{
    DWORD attributes = ::GetFileAttributesA(pszPath);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadBytes(const char* pszPath, CString& bytes)
{
    HANDLE h = ::CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size = {};
    bool ok = ::GetFileSizeEx(h, &size) && static_cast<unsigned long long>(size.QuadPart) <= kMaxProfileBytes;
    if (ok) {
        DWORD nSize = static_cast<DWORD>(size.QuadPart), got = 0;
        ok = ::ReadFile(h, bytes.GetBuffer(static_cast<int>(nSize)), nSize, &got, nullptr) && got == nSize;
        bytes.ReleaseBuffer(ok ? static_cast<int>(nSize) : 0);
    }
    ::CloseHandle(h);
    return ok;
}

// Multibyte-aware: the trail byte of a double-byte character may be 0x5C.
bool EndsWithBackslash(const CString& s)
{
    bool bBackslash = false;
    for (int i = 0; i < s.GetLength(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        bBackslash = c == '\\';
        if (::IsDBCSLeadByte(c) && i + 1 < s.GetLength())
            ++i;
    }
    return bBackslash;
}

CString WithoutTrailingBackslash(const CString& s)
{
    return EndsWithBackslash(s) ? s.Left(s.GetLength() - 1) : s;
}

bool ToAnsi(const wchar_t* pszWide, CString& out)
{
    BOOL bLossy = FALSE;
    int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, pszWide, -1, nullptr, 0, nullptr, &bLossy);
    if (n <= 1 || bLossy)
        return false;
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, pszWide, -1, out.GetBuffer(n), n, nullptr, nullptr);
    out.ReleaseBuffer(n - 1);
    return true;
}

bool IsAbsoluteFolder(const wchar_t* psz)
{
    bool bAbsolute = (psz[0] && psz[1] == L':' && psz[2] == L'\\') || (psz[0] == L'\\' && psz[1] == L'\\');
    DWORD attributes = ::GetFileAttributesW(psz);
    return bAbsolute && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// %LOCALAPPDATA%, which Windows sets at every logon; otherwise the shell's
// answer. shell32 is loaded only then: importing it would slow every start.
bool LocalAppDataFolder(CString& folder)
{
    wchar_t path[MAX_PATH * 2] = {};
    DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2 || !IsAbsoluteFolder(path)) {
        path[0] = L'\0';
        char system[MAX_PATH] = {};
        UINT nSystem = ::GetSystemDirectoryA(system, MAX_PATH - 16);
        HMODULE hShell = nSystem && nSystem < MAX_PATH - 16
                             ? ::LoadLibraryA((CString(system) + "\\shell32.dll").GetString())
                             : nullptr;
        if (!hShell)
            return false;
        typedef HRESULT(WINAPI * GetFolderPathFn)(HWND, int, HANDLE, DWORD, LPWSTR);
        GetFolderPathFn pfnGet = reinterpret_cast<GetFolderPathFn>(
            reinterpret_cast<void (*)()>(::GetProcAddress(hShell, "SHGetFolderPathW")));
        bool ok = pfnGet && SUCCEEDED(pfnGet(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path));
        ::FreeLibrary(hShell);
        if (!ok || !IsAbsoluteFolder(path))
            return false;
    }
    if (!ToAnsi(path, folder))
        return false;
    folder = WithoutTrailingBackslash(folder);
    return true;
}

// A value; with no entry, the section's keys; with neither, the file's
// sections; with bLines, the section's lines. Lists end each name with a null.
CString ReadProfile(const char* pszSection, const char* pszEntry, const char* pszDefault, const char* pszPath,
                    bool bLines = false)
{
    // A value longer than the buffer comes back cut at size - 1.
    CString value;
    value.ReadGrowing(
        [&](char* pch, int nSize) {
            DWORD dwSize = static_cast<DWORD>(nSize);
            return static_cast<int>(bLines ? ::GetPrivateProfileSectionA(pszSection, pch, dwSize, pszPath)
                                           : ::GetPrivateProfileStringA(pszSection, pszEntry, pszDefault, pch,
                                                                        dwSize, pszPath));
        },
        static_cast<int>(kMaxProfileBytes));
    return value;
}

// Names compare as the profile functions match them: ignoring case.
bool SameName(const char* a, const char* b)
{
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b)) == 0;
}

// Walks a list of null-ended names; the list ends with an empty one.
const char* NextName(const char* psz)
{
    return psz + lstrlenA(psz) + 1;
}

int CountNames(const char* pszNames)
{
    int n = 0;
    for (; *pszNames; pszNames = NextName(pszNames))
        ++n;
    return n;
}

bool HasName(const char* pszNames, const char* pszName)
{
    for (; *pszNames; pszNames = NextName(pszNames))
        if (SameName(pszNames, pszName))
            return true;
    return false;
}

// What the file after holds reads as intended: every value as given, every
// other key and section as in the file before (which may not exist). Read
// after the profile functions let go of the file, so from the disk: they
// may have cut it short at a full disk and still reported success.
bool ReadsAsSaved(const char* pszBefore, const char* pszAfter, const char* pszSection,
                  const CArray<CProfileValue>& values)
{
    // No value holds a line break, so this default tells a missing key.
    const char kMissing[] = "\n-";
    const CString sections = ReadProfile(nullptr, nullptr, "", pszBefore);
    for (const char* p = sections; *p; p = NextName(p)) {
        if (!SameName(p, pszSection) &&
            ReadProfile(p, nullptr, "", pszBefore, true) != ReadProfile(p, nullptr, "", pszAfter, true))
            return false;
    }
    const CString keys = ReadProfile(pszSection, nullptr, "", pszBefore);
    CString saved;
    int nNew = 0;
    for (const CProfileValue& value : values) {
        if (ReadProfile(pszSection, value.strKey, kMissing, pszAfter) != value.strValue)
            return false;
        nNew += HasName(keys, value.strKey) ? 0 : 1;
        saved += value.strKey;
        saved += '\0';
    }
    for (const char* p = keys; *p; p = NextName(p)) {
        if (!HasName(saved, p) &&
            ReadProfile(pszSection, p, kMissing, pszBefore) != ReadProfile(pszSection, p, kMissing, pszAfter))
            return false;
    }
    const bool bNewSection = !values.IsEmpty() && !HasName(sections, pszSection);
    return CountNames(ReadProfile(nullptr, nullptr, "", pszAfter)) == CountNames(sections) + (bNewSection ? 1 : 0) &&
           CountNames(ReadProfile(pszSection, nullptr, "", pszAfter)) == CountNames(keys) + nNew;
}

bool FlushToDisk(const char* pszPath)
{
    HANDLE h = ::CreateFileA(pszPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BOOL ok = ::FlushFileBuffers(h);
    DWORD dwError = ::GetLastError();
    ::CloseHandle(h);
    ::SetLastError(dwError);
    return ok != FALSE;
}

// One step, which replaces the file or leaves it as it was. Not ReplaceFile:
// without a backup file it can fail halfway with the profile gone from its
// name, and it writes nothing through. The new file gets its folder's
// permissions; its attributes were copied beforehand. A virus scanner or a
// sync client may hold the profile for a moment: that is waited out briefly.
bool ReplaceInOneStep(const char* pszTemp, const char* pszTarget)
{
    const DWORD kWaitMs = 200, kStepMs = 20;
    for (DWORD waited = 0;; waited += kStepMs) {
        if (::MoveFileExA(pszTemp, pszTarget, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD dwError = ::GetLastError();
        // Windows reports a file that others hold open as denied access.
        if ((dwError != ERROR_SHARING_VIOLATION && dwError != ERROR_ACCESS_DENIED) || waited >= kWaitMs)
            return false;
        ::Sleep(kStepMs);
    }
}

void CreateFolders(const CString& path)
{
    // Every missing folder along the way; the file's creation tells the outcome.
    for (int i = 1; i < path.GetLength(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (c == '\\')
            ::CreateDirectoryA(path.Left(i), nullptr);
        else if (::IsDBCSLeadByte(c))
            ++i;
    }
}

bool IsBlank(unsigned char c)
{
    // What the private-profile functions strip: space, tab, VT, FF and Ctrl-Z.
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A;
}

}  // namespace

void CProfileFile::SetName(const char* pszName)
{
    CString name(pszName);
    m_strSystem = name;
    m_strUserStore.Empty();
    if (name.Find('\\') >= 0 || name.Find('/') >= 0 || name.Find(':') >= 0)
        return;
    // Failing that, the private-profile functions place a bare name themselves.
    char dir[MAX_PATH] = {};
    UINT n = ::GetWindowsDirectoryA(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    CString windows = WithoutTrailingBackslash(CString(dir, static_cast<int>(n)));
    m_strSystem = windows + "\\" + name;
    CString local;
    if (LocalAppDataFolder(local)) {
        int nDrive = windows.GetLength() >= 2 && windows[1] == ':' ? 2 : 0;
        m_strUserStore = local + "\\VirtualStore" + windows.Mid(nDrive) + "\\" + name;
    }
}

void CProfileFile::SetPaths(const char* pszSystem, const char* pszUserStore)
{
    m_strSystem = pszSystem;
    m_strUserStore = pszUserStore;
}

CString CProfileFile::GetPath() const
{
    return !m_strUserStore.IsEmpty() && IsFile(m_strUserStore) ? m_strUserStore : m_strSystem;
}

CString CProfileFile::GetString(const char* pszSection, const char* pszEntry, const char* pszDefault) const
{
    return ReadProfile(pszSection, pszEntry, pszDefault, GetPath());
}

BOOL CProfileFile::WriteString(const char* pszSection, const char* pszEntry, const char* pszValue)
{
    if (!pszValue) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    CArray<CProfileValue> values;
    values.Add(CProfileValue{pszEntry, pszValue});
    return WriteStrings(pszSection, values);
}

BOOL CProfileFile::WriteStrings(const char* pszSection, const CArray<CProfileValue>& values)
{
    const CString path = GetPath();
    CommitResult result = Commit(path, path, pszSection, values);
    // Windows refuses a standard user's writes into its own folder, and
    // redirects them to the store only for a 32-bit program: do it here too.
    if (result != REFUSED || path != m_strSystem || m_strUserStore.IsEmpty())
        return result == COMMITTED;
    CreateFolders(m_strUserStore);
    return Commit(m_strSystem, m_strUserStore, pszSection, values) == COMMITTED;
}

CProfileFile::CommitResult CProfileFile::Commit(const CString& source, const CString& target, const char* pszSection,
                                                const CArray<CProfileValue>& values) const
{
    // Windows refuses to write a read-only profile: so do we, before anything.
    DWORD dwTarget = ::GetFileAttributesA(target);
    if (dwTarget != INVALID_FILE_ATTRIBUTES && (dwTarget & FILE_ATTRIBUTE_READONLY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return REFUSED;
    }
    const CString temp = SaveTempPath(target);
    // What a save cut short left behind is ours to replace.
    ::SetFileAttributesA(temp, FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(temp);
    HANDLE h = ::CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_ACCESS_DENIED ? REFUSED : FAILED;
    // The content and, when the profile replaces itself, its attributes; the
    // system profile's do not fit the store (it is often read-only).
    DWORD dwKeep = dwTarget != INVALID_FILE_ATTRIBUTES && source == target
                       ? dwTarget & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
                       : 0;
    bool ok = WriteTemp(source, h, temp, pszSection, values);
    if (ok && !ReadsAsSaved(source, temp, pszSection, values)) {
        ::SetLastError(ERROR_WRITE_FAULT);
        ok = false;
    }
    ok = ok && FlushToDisk(temp) && (!dwKeep || ::SetFileAttributesA(temp, dwKeep)) &&
         Step(PROFILE_SAVE_CHECKED, temp) && ReplaceInOneStep(temp, target);
    if (ok) {
        Step(PROFILE_SAVE_REPLACED, temp);
        return COMMITTED;
    }
    DWORD dwError = ::GetLastError();
    ::SetFileAttributesA(temp, FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(temp);
    ::SetLastError(dwError);
    return FAILED;
}

bool CProfileFile::WriteTemp(const CString& source, HANDLE hTemp, const CString& temp, const char* pszSection,
                             const CArray<CProfileValue>& values) const
{
    CString bytes;
    BOOL ok = !IsFile(source) || ReadBytes(source, bytes);
    DWORD written = 0;
    DWORD nBytes = static_cast<DWORD>(bytes.GetLength());
    ok = ok && (nBytes == 0 || ::WriteFile(hTemp, bytes.GetString(), nBytes, &written, nullptr));
    if (ok && written != nBytes) {
        ok = FALSE;
        ::SetLastError(ERROR_DISK_FULL);
    }
    DWORD dwError = ::GetLastError();
    ::CloseHandle(hTemp);
    ::SetLastError(dwError);
    if (!ok || !Step(PROFILE_SAVE_COPIED, temp))
        return false;
    // The profile functions keep what they read of a file: this one is new.
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, temp);
    for (const CProfileValue& value : values) {
        if (!::WritePrivateProfileStringA(pszSection, value.strKey, ProfileValueToStore(value.strValue), temp) ||
            !Step(PROFILE_SAVE_KEY, temp))
            return false;
    }
    // Written out and let go, so that the check reads the disk.
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, temp);
    return Step(PROFILE_SAVE_WRITTEN, temp);
}

bool CProfileFile::IsUtf8() const
{
    CString bytes;
    return ReadBytes(GetPath(), bytes) && IsUtf8ProfileText(bytes.GetString(), bytes.GetLength());
}

CString ProfileValueToStore(const char* psz)
{
    CString value(psz);
    int n = value.GetLength();
    if (n == 0)
        return value;
    // A trail byte is never a blank or a quote, so the end bytes are characters.
    unsigned char first = static_cast<unsigned char>(value[0]);
    unsigned char last = static_cast<unsigned char>(value[n - 1]);
    bool bQuoted = n >= 2 && (first == '"' || first == '\'') && last == first;
    if (IsBlank(first) || IsBlank(last) || bQuoted)
        return "\"" + value + "\"";
    return value;
}

bool IsUtf8ProfileText(const char* pBytes, size_t nBytes)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pBytes);
    if (nBytes >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
        return true;
    if (nBytes >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF)))
        return false;
    bool bNonAscii = false;
    for (size_t i = 0; i < nBytes;) {
        unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        bNonAscii = true;
        size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (n == 0 || i + n > nBytes)
            return false;
        // The second byte's range excludes overlong forms, surrogates and code points past U+10FFFF.
        unsigned char lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
        unsigned char hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
        if (p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (size_t k = 2; k < n; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return false;
        i += n;
    }
    return bNonAscii;
}
