#include "platform/ctime.h"

CTime CTime::GetCurrentTime()
{
    return CTime(_time64(nullptr));
}

struct tm* CTime::GetLocalTm(struct tm* ptm) const
{
    // The system's time zone, as GetLocalTime has it. The C runtime's
    // localtime follows a TZ variable in its own format and takes a Unix zone
    // name (TZ=Asia/Tokyo) for UTC.
    const __time64_t kFileTimeEpoch = 11644473600;  // 1601 to 1970, in seconds
    if (!ptm || m_time < -kFileTimeEpoch)
        return nullptr;
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<ULONGLONG>(m_time + kFileTimeEpoch) * 10000000;
    FILETIME ft = {ticks.LowPart, ticks.HighPart};
    SYSTEMTIME utc, local;
    if (!::FileTimeToSystemTime(&ft, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return nullptr;
    *ptm = tm();
    ptm->tm_year = local.wYear - 1900;
    ptm->tm_mon = local.wMonth - 1;
    ptm->tm_mday = local.wDay;
    ptm->tm_hour = local.wHour;
    ptm->tm_min = local.wMinute;
    ptm->tm_sec = local.wSecond;
    ptm->tm_wday = local.wDayOfWeek;
    return ptm;
}
