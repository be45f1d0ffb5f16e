// Loads DLLs as the program may, from a folder where the tests planted some:
//   dll_probe.exe locked|open REPORT
// "locked" restricts the search first, as the program's application object
// does; "open" leaves it as Windows sets it. Then a window is made (user32
// loads uxtheme.dll for it), shell32.dll is loaded by full path (its imports
// are looked for by name) and winmm.dll by bare name. REPORT gets whether the
// restriction held (1 or 0) and the file winmm.dll came from, one per line.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/dll_search.h"

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const bool locked = std::strcmp(argv[1], "locked") == 0;
    const bool restricted = locked && RestrictDllSearchToSystem();
    HWND hWnd = CreateWindowExA(0, "STATIC", "dll probe", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    char system[MAX_PATH] = {}, path[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    HMODULE hShell = LoadLibraryA((std::string(system) + "\\shell32.dll").c_str());
    HMODULE hWinmm = LoadLibraryA("winmm.dll");
    if (hWinmm)
        GetModuleFileNameA(hWinmm, path, MAX_PATH);
    const std::string report = std::string(restricted ? "1" : "0") + "\n" + path + "\n";
    HANDLE hFile = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool ok = hFile != INVALID_HANDLE_VALUE &&
                    WriteFile(hFile, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
        CloseHandle(hFile);
    if (hShell)
        FreeLibrary(hShell);
    DestroyWindow(hWnd);
    return ok ? 0 : 3;
}
