// The bare floor: a program without windows that presses the target named
// on its command line and exits.
#include "bench/floor_press.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int)
{
    return FloorPress(lpCmdLine) ? 0 : 1;
}
