#include "platform/dll_search.h"

bool RestrictDllSearchToSystem()
{
    // Found at run time: importing it would keep the program from starting on
    // a Windows 7 without the update.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    HMODULE hKernel = ::GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesFn pfnSet = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void (*)()>(hKernel ? ::GetProcAddress(hKernel, "SetDefaultDllDirectories") : nullptr));
    // It holds for the loads of other DLLs too: user32 loads uxtheme by bare
    // name, and the imports of shell32 are looked for the same way.
    if (pfnSet && pfnSet(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return true;
    // Takes the current folder out of the search. Left open: the program's own
    // folder is still searched first for a DLL that is not a KnownDLL.
    ::SetDllDirectoryA("");
    return false;
}
