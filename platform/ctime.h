// A point in time, read as the system's local broken-down time.
#pragma once

#include <windows.h>

#include <ctime>

// windows.h maps this name to GetTickCount for old 16-bit code.
#ifdef GetCurrentTime
#undef GetCurrentTime
#endif

class CTime {
public:
    // Seconds since 1970 in 64 bits on every target: the 32-bit C runtime's
    // time_t is 32 bits and runs out in January 2038.
    explicit CTime(__time64_t t = 0) : m_time(t) {}
    static CTime GetCurrentTime();
    // Fills *ptm with the time in the system's time zone (year since 1900,
    // month 0-11, day, hour, minute, second, weekday; the other fields 0) and
    // returns it, or null.
    struct tm* GetLocalTm(struct tm* ptm) const;

private:
    __time64_t m_time;
    static_assert(sizeof(m_time) == 8, "a 32-bit time runs out in January 2038");
};
