// The program's entry point; the application object does the work.
#include <cstdlib>

#include "platform/cwin_app.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    return AfxWinMain(hInstance);
}

#ifdef __GLIBCXX__
// libstdc++'s default terminate handler prints the exception's demangled
// type name, and its demangler would be a third of this program. A windowed
// program has no console for the message: abort as the handler does after it.
namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
}  // namespace __gnu_cxx
#endif
