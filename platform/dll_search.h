// Where the process looks for a DLL named without a path. Windows looks in the
// program's own folder first for any DLL that is not a KnownDLL, and a program
// started from the Downloads folder shares it with whatever else was fetched.
#pragma once

#include <windows.h>

// Restricts that search to the system folder, for the whole process: called
// before anything loads a DLL. False where Windows cannot (Windows 7 without
// KB2533623), which keeps only the current folder out.
bool RestrictDllSearchToSystem();
