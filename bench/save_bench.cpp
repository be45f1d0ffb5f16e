// Figure 6: saving the list of n entries, all or nothing (a temporary copy
// written, read back, flushed and put in place), against the bare profile
// writes into the file itself that a save made before, which a crash or a
// full disk could cut short.
#include <cstdio>

#include "bench/bench.h"
#include "platform/platform.h"

namespace bench {
namespace {
const int kEntryCounts[] = {5, 1000};

std::string Profile(int n, int first)
{
    std::string bytes = "; a list\r\n[BUTTON]\r\n";
    for (int i = 1; i <= n; ++i)
        bytes += "BTN" + std::to_string(i) + "=窓 " + std::to_string(first + i) + ",ボタン\r\n";
    return bytes + "BTN" + std::to_string(n + 1) + "=\r\n[Other]\r\nkey=value\r\n";
}

// Every entry moves one place, as after the first one was deleted.
void Values(int n, CArray<CProfileValue>& values)
{
    for (int i = 1; i <= n; ++i)
        values.Add(CProfileValue{("BTN" + std::to_string(i)).c_str(), ("窓 " + std::to_string(i + 1) + ",ボタン").c_str()});
    values.Add(CProfileValue{("BTN" + std::to_string(n + 1)).c_str(), ""});
}

double TimeBare(const std::string& path, const CArray<CProfileValue>& values)
{
    long long start = Qpc();
    for (const CProfileValue& v : values)
        WritePrivateProfileStringA("BUTTON", v.strKey, v.strValue, path.c_str());
    return TicksToMs(Qpc() - start);
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
    for (int n : kEntryCounts) {
        CArray<CProfileValue> values;
        Values(n, values);
        std::vector<double> ours, floor;
        for (int rep = 0; rep < g_nReps; ++rep) {
            testkit::WriteFile(path, Profile(n, 0));
            floor.push_back(TimeBare(path, values));
            testkit::WriteFile(path, Profile(n, 0));
            double ms = TimeSave(path, values);
            if (ms < 0) {
                std::fprintf(stderr, "figure 6: the save of %d entries failed\n", n);
                ours.clear();
                break;
            }
            ours.push_back(ms);
        }
        double mine = ours.empty() ? 0.0 / 0.0 : Median(ours), bare = Median(floor);
        table.push_back({"6. Save of " + std::to_string(n) + " entries, vs bare profile writes",
                         Fixed(mine, 1) + " ms", Fixed(bare, 1) + " ms", Fixed(mine / bare, 2) + " x",
                         "(shown)", "-"});
    }
    DeleteFileA(path.c_str());
}

}  // namespace bench
