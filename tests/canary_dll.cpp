// A DLL the tests plant under the names of system DLLs: loaded, it leaves a
// file beside itself named after itself, with ".loaded" added, and stays, as
// a real one would (it exports nothing, so its caller may find no function).
#include <windows.h>

// C linkage: the C run-time calls it by this name.
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH + 8] = {};
    DWORD n = GetModuleFileNameW(hInstance, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return TRUE;
    lstrcpyW(path + n, L".loaded");
    HANDLE hFile = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
        CloseHandle(hFile);
    return TRUE;
}
