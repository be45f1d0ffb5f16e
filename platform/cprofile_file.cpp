#include "platform/cprofile_file.h"

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
    const CString path = GetPath();
    // A value longer than the buffer comes back cut at size - 1.
    CString value;
    value.ReadGrowing(
        [&](char* pch, int nSize) {
            return static_cast<int>(::GetPrivateProfileStringA(pszSection, pszEntry, pszDefault, pch,
                                                               static_cast<DWORD>(nSize), path));
        },
        static_cast<int>(kMaxProfileBytes));
    return value;
}

BOOL CProfileFile::WriteString(const char* pszSection, const char* pszEntry, const char* pszValue)
{
    const CString stored = ProfileValueToStore(pszValue);
    const char* pszStored = pszValue ? stored.GetString() : nullptr;
    const CString path = GetPath();
    if (::WritePrivateProfileStringA(pszSection, pszEntry, pszStored, path))
        return TRUE;
    // Windows refuses a standard user's writes into its own folder, and
    // redirects them to the store only for a 32-bit program: do it here too.
    if (::GetLastError() != ERROR_ACCESS_DENIED || path != m_strSystem || m_strUserStore.IsEmpty())
        return FALSE;
    if (CopyToUserStore() &&
        ::WritePrivateProfileStringA(pszSection, pszEntry, pszStored, m_strUserStore))
        return TRUE;
    // The store did not exist before: without it the system profile stays in use.
    DWORD dwError = ::GetLastError();
    ::DeleteFileA(m_strUserStore);
    ::SetLastError(dwError);
    return FALSE;
}

BOOL CProfileFile::CopyToUserStore() const
{
    // Every missing folder along the way; the file's creation tells the outcome.
    for (int i = 1; i < m_strUserStore.GetLength(); ++i) {
        unsigned char c = static_cast<unsigned char>(m_strUserStore[i]);
        if (c == '\\')
            ::CreateDirectoryA(m_strUserStore.Left(i), nullptr);
        else if (::IsDBCSLeadByte(c))
            ++i;
    }
    if (!IsFile(m_strSystem))
        return TRUE;
    CString bytes;
    if (!ReadBytes(m_strSystem, bytes))
        return FALSE;
    // The content, not the attributes: the system profile is often read-only.
    HANDLE h = ::CreateFileA(m_strUserStore, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    DWORD written = 0;
    DWORD nBytes = static_cast<DWORD>(bytes.GetLength());
    BOOL ok = nBytes == 0 || (::WriteFile(h, bytes.GetString(), nBytes, &written, nullptr) && written == nBytes);
    ::CloseHandle(h);
    return ok;
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
