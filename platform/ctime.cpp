#include "platform/ctime.h"

CTime CTime::GetCurrentTime()
{
    return CTime(std::time(nullptr));
}

struct tm* CTime::GetLocalTm(struct tm* ptm) const
{
    if (!ptm)
        return nullptr;
#ifdef _WIN32
    if (localtime_s(ptm, &m_time) != 0)
        return nullptr;
#else
    if (!localtime_r(&m_time, ptm))
        return nullptr;
#endif
    return ptm;
}
