#include "platform/cprofile_file.h"

#include <cstdlib>
#include <cstring>
#include <mbstring.h>
#include <shlobj.h>

namespace {

const size_t kMaxProfileBytes = 64u << 20;

// A file handle of ours, closed when it goes.
class FileHandle {
public:
    explicit FileHandle(HANDLE h) : m_h(h) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    operator HANDLE() const { return m_h; }
    bool IsOpen() const { return m_h != INVALID_HANDLE_VALUE; }
    void Close()
    {
        if (IsOpen())
            ::CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_h;
};

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
    FileHandle h(::CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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
int NameStart(const CString& path)
{
    int start = 0;
    for (int i = 0; i < path.GetLength(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (c == '\\' || c == '/')
            start = i + 1;
        else if (::IsDBCSLeadByte(c) && i + 1 < path.GetLength())
            ++i;
    }
    return start;
}

CString WithoutTrailingBackslash(const CString& s)
{
    int n = s.GetLength();
    return n > 0 && NameStart(s) == n && s[n - 1] == '\\' ? s.Left(n - 1) : s;
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
    FileHandle h(::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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

bool IsRunning(DWORD dwProcessId)
{
    HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId);
    if (!h)
        return ::GetLastError() == ERROR_ACCESS_DENIED;  // another user's: not ours to judge
    DWORD dwCode = 0;
    bool bRunning = ::GetExitCodeProcess(h, &dwCode) && dwCode == STILL_ACTIVE;
    ::CloseHandle(h);
    return bRunning;
}

// name.<process id>-<number>.tmp, in hexadecimal digits, as CreateTemp names them.
bool IsTempOf(const char* pszFound, const CString& name, DWORD& dwProcessId)
{
    const size_t n = static_cast<size_t>(name.GetLength());
    if (std::strlen(pszFound) <= n || pszFound[n] != '.' ||
        _mbsnbicmp(reinterpret_cast<const unsigned char*>(pszFound),
                   reinterpret_cast<const unsigned char*>(name.GetString()), n) != 0)
        return false;
    char* pEnd = nullptr;
    dwProcessId = std::strtoul(pszFound + n + 1, &pEnd, 16);
    if (pEnd == pszFound + n + 1 || *pEnd != '-')
        return false;
    const char* pNumber = pEnd + 1;
    std::strtoul(pNumber, &pEnd, 16);
    return pEnd != pNumber && _stricmp(pEnd, ".tmp") == 0;
}

// Only when nobody has it open: a file in use is no leftover.
void RemoveIfUnheld(const CString& path)
{
    DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    FileHandle h(::CreateFileA(path, DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

// What saves that a crash, a kill or a power cut ended left beside file: a
// temporary file named for a process that runs no more (or for this one,
// whose save it was), and the one name that earlier versions used. One that
// cannot be removed (another user's) stays, and is never read.
void RemoveLeftovers(const CString& file)
{
    RemoveIfUnheld(file + ".tmp");
    WIN32_FIND_DATAA data;
    HANDLE hFind = ::FindFirstFileA(file + ".*.tmp", &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    const CString folder = file.Left(NameStart(file)), name = file.Mid(NameStart(file));
    do {
        DWORD dwProcessId = 0;
        if (IsTempOf(data.cFileName, name, dwProcessId) &&
            (dwProcessId == ::GetCurrentProcessId() || !IsRunning(dwProcessId)))
            RemoveIfUnheld(folder + data.cFileName);
    } while (::FindNextFileA(hFind, &data));
    ::FindClose(hFind);
}

// A temporary file of this save's own beside file, named for this process
// (another save tells a leftover from it by that) and this save. With bCopy a
// copy of file, so that its named streams (a download's Zone.Identifier, say)
// and attributes go with it; the bytes are then written over.
HANDLE CreateTemp(const CString& file, bool bCopy, unsigned nSave, CString& temp)
{
    for (unsigned n = 0; n < 16; ++n) {
        temp.Format("%s.%lX-%X.tmp", file.GetString(), ::GetCurrentProcessId(), nSave + n);
        if (bCopy && !::CopyFileA(file, temp, TRUE)) {
            if (::GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return INVALID_HANDLE_VALUE;
        }
        HANDLE h = ::CreateFileA(temp, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 bCopy ? OPEN_EXISTING : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return h;
    }
    return INVALID_HANDLE_VALUE;
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

// One rename, which replaces the file or leaves it as it was; what a rename
// leaves behind with the old file (attributes, streams, permissions) was
// copied beforehand. Not ReplaceFile: without a backup file it can fail with
// the profile gone from its name, and with one the profile leaves its name for
// a moment. A virus scanner or a sync client may hold the profile for a
// moment: that is waited out briefly.
bool MoveIntoPlace(const char* pszTemp, const char* pszTarget)
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
    const CString file = bSame ? FinalPath(target) : target;
    RemoveLeftovers(file);
    CString temp;
    FileHandle hTemp(CreateTemp(file, bSame, m_nSaves++, temp));
    // A folder that takes no new file refuses the save, as a read-only file does.
    if (!hTemp.IsOpen()) {
        DWORD dwError = ::GetLastError();
        ::DeleteFileA(temp);
        ::SetLastError(dwError);
        return REFUSED;
    }
    // The system profile's attributes do not fit the store (it is often read-only).
    const DWORD dwKeep = bSame ? dwTarget & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                             FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
                               : 0;
    bool ok = Step(PROFILE_SAVE_CREATED, hTemp, temp) && WriteAll(hTemp, bytes) && ::SetEndOfFile(hTemp) &&
              ::FlushFileBuffers(hTemp) && Step(PROFILE_SAVE_WRITTEN, hTemp, temp);
    hTemp.Close();
    // Held from here until it is in place, open to readers only: what is
    // checked is what goes in place.
    FileHandle hHeld(ok ? ::CreateFileA(temp, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, 0, nullptr)
                        : INVALID_HANDLE_VALUE);
    ok = ok && hHeld.IsOpen() && ReadsBack(hHeld, bytes, temp, pszSection, values) &&
         (!bSame || CopyPermissions(file, temp)) && (!dwKeep || ::SetFileAttributesA(temp, dwKeep)) &&
         Step(PROFILE_SAVE_CHECKED, hHeld, temp) && MoveIntoPlace(temp, file);
    DWORD dwError = ::GetLastError();
    hHeld.Close();
    if (ok) {
        Step(PROFILE_SAVE_REPLACED, INVALID_HANDLE_VALUE, temp);
        return COMMITTED;
    }
    ::SetFileAttributesA(temp, FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(temp);
    ::SetLastError(dwError);
    return FAILED;
}

bool CProfileFile::IsUtf8() const
{
    CString bytes;
    return ReadBytes(GetPath(), bytes) && IsUtf8ProfileText(bytes.GetString(), bytes.GetLength());
}
