#include "platform/ctime.h"

CTime CTime::GetCurrentTime()
{
    return CTime(_time64(nullptr));
}

struct tm* CTime::GetLocalTm(struct tm* ptm) const
{
    if (!ptm || _localtime64_s(ptm, &m_time) != 0)
        return nullptr;
    return ptm;
}
