#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

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

std::string BuildDir()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    // <build>\bench\bench_driver.exe
    for (int i = 0; i < 2; ++i) {
        size_t cut = s.find_last_of("\\/");
        if (cut != std::string::npos)
            s.resize(cut);
    }
    return s;
}

std::string Quote(const std::string& s)
{
    return "\"" + s + "\"";
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
}

std::string TempPath(const char* stem)
{
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    static unsigned counter = 0;
    char name[MAX_PATH];
    std::snprintf(name, sizeof(name), "%s%s-%lu-%u-%lu", dir, stem, GetCurrentProcessId(), ++counter,
                  GetTickCount());
    DeleteFileA(name);
    return name;
}

}  // namespace bench
