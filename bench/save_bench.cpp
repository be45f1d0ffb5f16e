// Figure 6: saving the list of n entries, all or nothing, against a floor
// that does the least such a save must: write the new file's bytes once
// beside the profile, flush them, read them back and rename the file into
// place. Goal: within 3 times the floor at 1,000 entries, and growing no
// faster than the list.
#include <cstdio>

#include "bench/bench.h"
#include "platform/platform.h"

namespace bench {
namespace {
const int kEntryCounts[] = {5, 100, 1000};

std::string Entries(int n, int first)
{
    std::string bytes;
    for (int i = 1; i <= n; ++i)
        bytes += "BTN" + std::to_string(i) + "=窓 " + std::to_string(first + i) + ",ボタン\r\n";
    return bytes + "BTN" + std::to_string(n + 1) + "=\r\n";
}

std::string Profile(int n, int first)
{
    return "; a list\r\n[BUTTON]\r\n" + Entries(n, first) + "[Other]\r\nkey=value\r\n";
}

// Every entry moves one place, as after the first one was deleted.
void Values(int n, CArray<CProfileValue>& values)
{
    for (int i = 1; i <= n; ++i)
        values.Add(CProfileValue{("BTN" + std::to_string(i)).c_str(), ("窓 " + std::to_string(i + 1) + ",ボタン").c_str()});
    values.Add(CProfileValue{("BTN" + std::to_string(n + 1)).c_str(), ""});
}

double TimeFloor(const std::string& path, const std::string& bytes)
{
    const std::string temp = path + ".floor.tmp";
    long long start = Qpc();
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD done = 0;
    std::string back(bytes.size(), '\0');
    bool ok = h != INVALID_HANDLE_VALUE && WriteFile(h, bytes.data(), DWORD(bytes.size()), &done, nullptr) &&
              FlushFileBuffers(h) && SetFilePointer(h, 0, nullptr, FILE_BEGIN) == 0 &&
              ReadFile(h, &back[0], DWORD(back.size()), &done, nullptr) && back == bytes;
    CloseHandle(h);
    ok = ok && MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    double ms = TicksToMs(Qpc() - start);
    return ok ? ms : -1;
}

double TimeSave(const std::string& path, const CArray<CProfileValue>& values)
{
    CProfileFile profile;
    profile.SetName(path.c_str());
    long long start = Qpc();
    BOOL ok = profile.WriteStrings("BUTTON", values);
    double ms = TicksToMs(Qpc() - start);
    return ok ? ms : -1;
}
}  // namespace

void MeasureSave(Table& table)
{
    const std::string path = TempPath("zelvano-bench-save") + ".INI";
    double atMost = 0;
    for (int n : kEntryCounts) {
        CArray<CProfileValue> values;
        Values(n, values);
        const std::string saved = "; a list\r\n[BUTTON]\r\n" + Entries(n, 1) + "[Other]\r\nkey=value\r\n";
        std::vector<double> ours, floor;
        for (int rep = 0; rep < g_nReps; ++rep) {
            testkit::WriteFile(path, Profile(n, 0));
            floor.push_back(TimeFloor(path, saved));
            testkit::WriteFile(path, Profile(n, 0));
            double ms = TimeSave(path, values);
            if (ms < 0 || floor.back() < 0 || testkit::ReadFile(path) != saved) {
                std::fprintf(stderr, "figure 6: the save of %d entries failed or saved other bytes\n", n);
                ours.clear();
                break;
            }
            ours.push_back(ms);
        }
        double mine = ours.empty() ? 0.0 / 0.0 : Median(ours), bare = Median(floor);
        // Per entry, the save may cost no more at 1,000 entries than at 100.
        double perEntry = mine / n;
        bool bLinear = n < 1000 || perEntry <= atMost * 1.5;
        atMost = perEntry;
        table.push_back({"6. Save of " + std::to_string(n) + " entries, vs write once, flush, read back, rename",
                         Fixed(mine, 2) + " ms", Fixed(bare, 2) + " ms", Fixed(mine / bare, 2) + " x",
                         n == 1000 ? "<= 3 x, linear" : "(shown)",
                         n == 1000 ? (bLinear ? Verdict(mine / bare, 3) : "MISS") : "-"});
    }
    DeleteFileA(path.c_str());
}

}  // namespace bench
