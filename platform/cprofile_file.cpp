#include "platform/cprofile_file.h"

#include <cstring>
#include <shlobj.h>

#include "platform/csave_temp_file.h"
#include "platform/cfile_handle.h"

namespace {

const size_t kMaxProfileBytes = 64u << 20;

bool IsFile(const char* pszPath)
{
    DWORD attributes = ::GetFileAttributesA(pszPath);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The whole file from its start.
bool ReadAll(HANDLE h, CString& bytes)
{
    LARGE_INTEGER size = {}, start = {};
    if (!::GetFileSizeEx(h, &size) || static_cast<unsigned long long>(size.QuadPart) > kMaxProfileBytes ||
        !::SetFilePointerEx(h, start, nullptr, FILE_BEGIN))
        return false;
    DWORD nSize = static_cast<DWORD>(size.QuadPart), got = 0;
    bool ok = ::ReadFile(h, bytes.GetBuffer(static_cast<int>(nSize)), nSize, &got, nullptr) && got == nSize;
    bytes.ReleaseBuffer(ok ? static_cast<int>(nSize) : 0);
    return ok;
}

bool ReadBytes(const char* pszPath, CString& bytes)
{
    CFileHandle h(::CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    return h.IsOpen() && ReadAll(h, bytes);
}

// One write: a disk that fills up takes fewer bytes, which fails it.
bool WriteAll(HANDLE h, const CString& bytes)
{
    DWORD nBytes = static_cast<DWORD>(bytes.GetLength()), written = 0;
    if (nBytes && !::WriteFile(h, bytes.GetString(), nBytes, &written, nullptr))
        return false;
    if (written != nBytes)
        ::SetLastError(ERROR_DISK_FULL);
    return written == nBytes;
}

// Multibyte-aware: the trail byte of a double-byte character may be 0x5C.
CString WithoutTrailingBackslash(const CString& s)
{
    bool bBackslash = false;
    for (int i = 0; i < s.GetLength(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        bBackslash = c == '\\';
        if (::IsDBCSLeadByte(c) && i + 1 < s.GetLength())
            ++i;
    }
    return bBackslash ? s.Left(s.GetLength() - 1) : s;
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

// By its full path: a DLL of that name lying elsewhere is never the one.
HMODULE LoadSystemLibrary(const char* pszName)
{
    char system[MAX_PATH] = {};
    UINT n = ::GetSystemDirectoryA(system, MAX_PATH - 16);
    return n && n < MAX_PATH - 16 ? ::LoadLibraryA((CString(system) + "\\" + pszName).GetString()) : nullptr;
}

template <class Fn>
Fn ProcAddress(HMODULE hModule, const char* pszName)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(hModule, pszName)));
}

// %LOCALAPPDATA%, which Windows sets at every logon; otherwise the shell's
// answer. shell32 is loaded only then: importing it would slow every start.
bool LocalAppDataFolder(CString& folder)
{
    wchar_t path[MAX_PATH * 2] = {};
    DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2 || !IsAbsoluteFolder(path)) {
        path[0] = L'\0';
        HMODULE hShell = LoadSystemLibrary("shell32.dll");
        if (!hShell)
            return false;
        typedef HRESULT(WINAPI * GetFolderPathFn)(HWND, int, HANDLE, DWORD, LPWSTR);
        GetFolderPathFn pfnGet = ProcAddress<GetFolderPathFn>(hShell, "SHGetFolderPathW");
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

// A value, or with no entry the section's lines, each ended with a null.
CString ReadProfile(const char* pszSection, const char* pszEntry, const char* pszDefault, const char* pszPath)
{
    // A value longer than the buffer comes back cut at size - 1.
    CString value;
    value.ReadGrowing(
        [&](char* pch, int nSize) {
            DWORD dwSize = static_cast<DWORD>(nSize);
            return static_cast<int>(pszEntry ? ::GetPrivateProfileStringA(pszSection, pszEntry, pszDefault, pch,
                                                                          dwSize, pszPath)
                                             : ::GetPrivateProfileSectionA(pszSection, pch, dwSize, pszPath));
        },
        static_cast<int>(kMaxProfileBytes));
    return value;
}

// The file a link names, where the save must go; the path itself otherwise.
CString FinalPath(const CString& path)
{
    CFileHandle h(::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    char final[MAX_PATH * 2] = {};
    DWORD n = h.IsOpen() ? ::GetFinalPathNameByHandleA(h, final, sizeof(final), FILE_NAME_NORMALIZED) : 0;
    if (n == 0 || n >= sizeof(final))
        return path;
    CString s(final, static_cast<int>(n));
    if (s.Left(8) == "\\\\?\\UNC\\")
        return "\\\\" + s.Mid(8);
    return s.Left(4) == "\\\\?\\" ? s.Mid(4) : s;
}

// Whether the file holds bytes, as read back from it, and the profile
// functions read every value from it as given: they, not we, decide which
// line is a key.
bool ReadsBack(HANDLE h, const CString& bytes, const CString& path, const char* pszSection,
               const CArray<CProfileValue>& values)
{
    CString disk;
    if (!ReadAll(h, disk) || disk.GetLength() != bytes.GetLength() ||
        std::memcmp(disk.GetString(), bytes.GetString(), static_cast<size_t>(bytes.GetLength())) != 0 ||
        !SectionReadsAs(ReadProfile(pszSection, nullptr, "", path), values)) {
        ::SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

typedef BOOL(WINAPI* GetFileSecurityFn)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
typedef BOOL(WINAPI* SetFileSecurityFn)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);

bool ReadPermissions(GetFileSecurityFn pfnGet, const char* pszPath, CString& sd)
{
    DWORD dwNeeded = 0;
    pfnGet(pszPath, DACL_SECURITY_INFORMATION, nullptr, 0, &dwNeeded);
    const DWORD dwSize = dwNeeded;
    bool ok = dwSize && pfnGet(pszPath, DACL_SECURITY_INFORMATION, sd.GetBuffer(static_cast<int>(dwSize)), dwSize,
                               &dwNeeded);
    sd.ReleaseBuffer(ok ? static_cast<int>(dwSize) : 0);
    return ok;
}

// The profile's own permissions (an administrator's, say) for the new file,
// which otherwise has its folder's; written only where the two differ.
bool CopyPermissions(const CString& from, const CString& to)
{
    HMODULE hAdvapi = LoadSystemLibrary("advapi32.dll");
    if (!hAdvapi)
        return false;
    GetFileSecurityFn pfnGet = ProcAddress<GetFileSecurityFn>(hAdvapi, "GetFileSecurityA");
    SetFileSecurityFn pfnSet = ProcAddress<SetFileSecurityFn>(hAdvapi, "SetFileSecurityA");
    CString old, now;
    bool ok = pfnGet && pfnSet && ReadPermissions(pfnGet, to, now);
    if (ok && ReadPermissions(pfnGet, from, old) &&
        (old.GetLength() != now.GetLength() ||
         std::memcmp(old.GetString(), now.GetString(), static_cast<size_t>(old.GetLength())) != 0))
        ok = pfnSet(to, DACL_SECURITY_INFORMATION, old.GetBuffer(old.GetLength())) != FALSE;
    ::FreeLibrary(hAdvapi);
    return ok;
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

CString CProfileFile::GetPath() const
{
    return !m_strUserStore.IsEmpty() && IsFile(m_strUserStore) ? m_strUserStore : m_strSystem;
}

CString CProfileFile::GetString(const char* pszSection, const char* pszEntry, const char* pszDefault) const
{
    return ReadProfile(pszSection, pszEntry, pszDefault, GetPath());
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
                                                const CArray<CProfileValue>& values)
{
    // Windows refuses to write a read-only profile: so do we, before anything.
    const DWORD dwTarget = ::GetFileAttributesA(target);
    if (dwTarget != INVALID_FILE_ATTRIBUTES && (dwTarget & FILE_ATTRIBUTE_READONLY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return REFUSED;
    }
    CString old, bytes;
    if (IsFile(source) && !ReadBytes(source, old))
        return FAILED;
    if (!SetProfileValues(old, pszSection, values, bytes)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FAILED;
    }
    const bool bSame = source == target && dwTarget != INVALID_FILE_ATTRIBUTES;
    // A link is saved through: into the file it names.
    const CString file = bSame ? FinalPath(target) : target;
    CSaveTempFile::RemoveLeftovers(file);
    CSaveTempFile temp(file, bSame, m_nSaves++);
    // A folder that takes no new file refuses the save, as a read-only file
    // does; a profile that another program holds fails it.
    if (!temp.IsOpen()) {
        const DWORD dwError = ::GetLastError();
        return dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_LOCK_VIOLATION ? FAILED : REFUSED;
    }
    // The system profile's attributes do not fit the store (it is often read-only).
    const DWORD dwKeep = bSame ? dwTarget & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                             FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
                               : 0;
    const bool ok = Step(PROFILE_SAVE_CREATED, temp.GetHandle(), temp.GetPath()) &&
                    WriteAll(temp.GetHandle(), bytes) && ::SetEndOfFile(temp.GetHandle()) &&
                    ::FlushFileBuffers(temp.GetHandle()) && Step(PROFILE_SAVE_WRITTEN, temp.GetHandle(), temp.GetPath()) &&
                    temp.HoldForReading() && ReadsBack(temp.GetHandle(), bytes, temp.GetPath(), pszSection, values) &&
                    (!bSame || CopyPermissions(file, temp.GetPath())) &&
                    (!dwKeep || ::SetFileAttributesA(temp.GetPath(), dwKeep)) &&
                    Step(PROFILE_SAVE_CHECKED, temp.GetHandle(), temp.GetPath()) && temp.MoveOver(file);
    if (!ok)
        return FAILED;
    Step(PROFILE_SAVE_REPLACED, INVALID_HANDLE_VALUE, temp.GetPath());
    return COMMITTED;
}

bool CProfileFile::IsUtf8() const
{
    CString bytes;
    return ReadBytes(GetPath(), bytes) && IsUtf8ProfileText(bytes.GetString(), bytes.GetLength());
}
