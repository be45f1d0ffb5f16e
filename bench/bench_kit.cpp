#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bench/bench.h"

namespace bench {

int g_nReps = 15;

long long Qpc()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double TicksToMs(long long ticks)
{
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    return static_cast<double>(ticks) / perMs;
}

double Median(std::vector<double> values)
{
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }),
                 values.end());
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Fixed(double value, int digits)
{
    if (std::isnan(value))
        return "n/a";
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", digits, value);
    return text;
}

std::string Verdict(double value, double limit)
{
    if (std::isnan(value))
        return "n/a";
    return value <= limit ? "PASS" : "MISS";
}

std::string Quote(const std::string& s)
{
    return "\"" + s + "\"";
}

}  // namespace bench
