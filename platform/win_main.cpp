// The program's entry point; the application object does the work.
#include <cstdlib>
#include <new>

#include "platform/cwin_app.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    return AfxWinMain(hInstance);
}

// Built without exceptions (README, Building), the program has no handler for
// std::bad_alloc, and the library's throwing operator new would bring in the
// whole unwinder for nothing: an allocation that fails ends the program here.
void* operator new(std::size_t nSize)
{
    void* p = std::malloc(nSize ? nSize : 1);
    if (!p)
        std::abort();
    return p;
}

void* operator new[](std::size_t nSize)
{
    return operator new(nSize);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
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
