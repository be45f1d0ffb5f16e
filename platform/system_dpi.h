// The system's DPI, which every pixel of a program that the manifest declares
// DPI-aware follows: 96 at 100 %, 144 at 150 %. Windows gives such a program
// its dialogs, fonts and metrics at that DPI; the pixel sizes in our own code
// are given at 96 and scaled.
#pragma once

#include <windows.h>

int GetSystemDpi();
// nPixels at 96 DPI, at nDpi, rounded to nearest.
int ScaleToDpi(int nPixels, int nDpi);
