#include "platform/csave_temp_file.h"

#include <cstdlib>
#include <cstring>
#include <mbstring.h>

namespace {

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

// name.<process id>-<number>.tmp, in hexadecimal digits, as the constructor names them.
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
    CFileHandle h(::CreateFileA(path, DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

}  // namespace

CSaveTempFile::CSaveTempFile(const CString& file, bool bCopy, unsigned nSave)
{
    for (unsigned n = 0; n < 16 && !IsOpen(); ++n) {
        CString path;
        path.Format("%s.%lX-%X.tmp", file.GetString(), ::GetCurrentProcessId(), nSave + n);
        if (bCopy && !::CopyFileA(file, path, TRUE)) {
            if (::GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return;
        }
        HANDLE h = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 bCopy ? OPEN_EXISTING : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD dwError = ::GetLastError();
        if (h != INVALID_HANDLE_VALUE || bCopy)
            m_strPath = path;  // ours to remove
        m_handle.Reset(h);
        if (!IsOpen() && (bCopy || dwError != ERROR_FILE_EXISTS)) {
            ::SetLastError(dwError);
            return;
        }
    }
}

CSaveTempFile::~CSaveTempFile()
{
    DWORD dwError = ::GetLastError();
    m_handle.Close();
    if (!m_bMoved && !m_strPath.IsEmpty()) {
        ::SetFileAttributesA(m_strPath, FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(m_strPath);
    }
    ::SetLastError(dwError);
}

bool CSaveTempFile::HoldForReading()
{
    m_handle.Close();
    m_handle.Reset(
        ::CreateFileA(m_strPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    return IsOpen();
}

// Not ReplaceFile: without a backup file it can fail with the profile gone
// from its name, and with one the profile leaves its name for a moment. What
// a rename leaves behind with the old file (streams, attributes, permissions)
// the caller took over beforehand. A virus scanner or a sync client may hold
// the file for a moment: that is waited out briefly.
bool CSaveTempFile::MoveOver(const CString& file)
{
    const DWORD kWaitMs = 200, kStepMs = 20;
    for (DWORD waited = 0;; waited += kStepMs) {
        if (::MoveFileExA(m_strPath, file, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return m_bMoved = true;
        DWORD dwError = ::GetLastError();
        // Windows reports a file that others hold open as denied access.
        if ((dwError != ERROR_SHARING_VIOLATION && dwError != ERROR_ACCESS_DENIED) || waited >= kWaitMs)
            return false;
        ::Sleep(kStepMs);
    }
}

void CSaveTempFile::RemoveLeftovers(const CString& file)
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
