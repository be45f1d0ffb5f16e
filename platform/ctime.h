// A point in time, read as local broken-down time.
#pragma once

#include <windows.h>

#include <ctime>

// windows.h maps this name to GetTickCount for old 16-bit code.
#ifdef GetCurrentTime
#undef GetCurrentTime
#endif

class CTime {
public:
    explicit CTime(std::time_t t = 0) : m_time(t) {}
    static CTime GetCurrentTime();
    // Fills *ptm (year since 1900, month 0-11) and returns it, or null.
    struct tm* GetLocalTm(struct tm* ptm) const;

private:
    std::time_t m_time;
};
