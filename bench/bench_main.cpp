// The bench driver: measures Zelvano against its floors and writes the
// table to bench.md in the build folder.
//
//   bench_driver.exe [--reps N] [--dlls "A.dll B.dll ..."]
//   bench_driver.exe [--reps N] --save      figure 6 alone (seconds, not half an hour)
//
// bench.sh strips a copy of zelvano.exe to bench\zelvano-stripped.exe and
// passes the DLLs it imports (read with objdump).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <io.h>

#include "bench/bench.h"
#include "platform/platform.h"

namespace {
// The lookup figure reads its targets through the application's profile.
CWinApp g_benchApp("zelvano-bench");
}  // namespace

namespace bench {
namespace {
// A system DLL is one the Windows system folder holds.
bool IsSystemDll(const std::string& name)
{
    char dir[MAX_PATH] = {};
    GetSystemDirectoryA(dir, MAX_PATH);
    return GetFileAttributesA((std::string(dir) + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

long long FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string Ms(double ms)
{
    return std::isnan(ms) ? "n/a" : Fixed(ms, 1) + " ms";
}

std::string Mib(double mib)
{
    return std::isnan(mib) ? "n/a" : Fixed(mib, 1) + " MiB";
}

void AddStartupRows(Table& table, const StartupResult& r)
{
    double toDialog = r.pressZelvano / r.pressDialog;
    table.push_back({"1. Start to press, vs dialog floor", Ms(r.pressZelvano), Ms(r.pressDialog),
                     Fixed(toDialog, 2) + " x", "<= 1.10 x", Verdict(toDialog, 1.10)});
    table.push_back({"1. Start to press, vs bare floor", Ms(r.pressZelvano), Ms(r.pressBare),
                     Fixed(r.pressZelvano / r.pressBare, 2) + " x", "(shown)", "-"});
    double shown = r.shownZelvano / r.shownDialog;
    table.push_back({"2. Start to report shown, vs dialog floor", Ms(r.shownZelvano),
                     Ms(r.shownDialog), Fixed(shown, 2) + " x", "<= 1.15 x",
                     Verdict(shown, 1.15)});
}

void AddFootprintRows(Table& table, const std::string& exe, const std::string& dlls,
                      const StartupResult& r)
{
    // The dialog floor is the same template with nothing behind it.
    double kb = static_cast<double>(FileSize(exe)) / 1024.0;
    double floorKb = static_cast<double>(FileSize(BuildDir() + "\\bench\\floor_dialog.exe")) / 1024.0;
    table.push_back({"5. Size of stripped zelvano.exe, vs dialog floor", kb < 0 ? "n/a" : Fixed(kb, 1) + " KB",
                     floorKb < 0 ? "n/a" : Fixed(floorKb, 1) + " KB",
                     kb < 0 || floorKb <= 0 ? "n/a" : Fixed(kb / floorKb, 1) + " x", "<= 128 KB",
                     kb < 0 ? "n/a" : Verdict(kb, 128)});
    // The 32-bit program, built by bench.sh beside it; there is no 32-bit floor.
    double kb32 = static_cast<double>(FileSize(BuildDir() + "\\bench\\zelvano-32bit-stripped.exe")) / 1024.0;
    table.push_back({"5. Size of stripped 32-bit zelvano.exe", kb32 < 0 ? "n/a" : Fixed(kb32, 1) + " KB", "-", "-",
                     "<= 128 KB", kb32 < 0 ? "n/a" : Verdict(kb32, 128)});

    std::istringstream in(dlls);
    std::string name, foreign;
    int count = 0;
    while (in >> name) {
        ++count;
        if (!IsSystemDll(name))
            foreign += " " + name;
    }
    table.push_back({"5. Imported DLLs: " + (dlls.empty() ? std::string("(not given)") : dlls),
                     std::to_string(count) + " DLLs", "-", "-", "system DLLs only",
                     dlls.empty() ? "n/a" : foreign.empty() ? "PASS" : "MISS:" + foreign});
    table.push_back({"5. Peak working set, vs empty-dialog floor", Mib(r.peakZelvano),
                     Mib(r.peakDialog), Fixed(r.peakZelvano / r.peakDialog, 2) + " x", "(shown)",
                     "-"});
}

std::string Markdown(const Table& table)
{
    std::string md = "# Zelvano benchmarks\n\nMedians of " + std::to_string(g_nReps) +
                     " repetitions, measured side by side in one run under Wine. "
                     "Ratios are Zelvano / floor and are the figures; absolute times are shown "
                     "for scale.\n\n";
    md += "| Figure | Zelvano | Floor | Ratio | Goal | Result |\n";
    md += "|---|---:|---:|---:|---|---|\n";
    for (const Row& r : table)
        md += "| " + r.figure + " | " + r.ours + " | " + r.floor + " | " + r.ratio + " | " +
              r.goal + " | " + r.result + " |\n";
    return md;
}
}  // namespace
}  // namespace bench

int main(int argc, char** argv)
{
    std::string dlls;
    bool bSaveOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--save") == 0)
            bSaveOnly = true;
        else if (i + 1 < argc && std::strcmp(argv[i], "--reps") == 0)
            bench::g_nReps = std::max(1, std::atoi(argv[++i]));
        else if (i + 1 < argc && std::strcmp(argv[i], "--dlls") == 0)
            dlls = argv[++i];
    }
    if (bSaveOnly) {  // figure 6 alone
        bench::Table table;
        bench::MeasureSave(table);
        std::string md = bench::Markdown(table);
        std::fwrite(md.data(), 1, md.size(), stdout);
        return 0;
    }
    const std::string exe = bench::BuildDir() + "\\bench\\zelvano-stripped.exe";
    if (bench::FileSize(exe) < 0) {
        std::fprintf(stderr, "%s is missing: run bench.sh\n", exe.c_str());
        return 1;
    }

    bench::Table table;
    bench::StartupResult startup;
    std::fprintf(stderr, "figures 1, 2: starting programs...\n");
    if (!bench::MeasureStartup(exe, startup))
        return 1;
    bench::AddStartupRows(table, startup);
    std::fprintf(stderr, "figure 3: lookup scaling...\n");
    bench::MeasureLookup(table);
    std::fprintf(stderr, "figure 4: painting...\n");
    bench::MeasurePainting(table);
    std::fprintf(stderr, "figure 6: saving...\n");
    bench::MeasureSave(table);
    bench::AddFootprintRows(table, exe, dlls, startup);

    std::string md = bench::Markdown(table);
    std::string out = bench::BuildDir() + "\\bench.md";
    if (!testkit::WriteFile(out, md))
        std::fprintf(stderr, "cannot write %s\n", out.c_str());
    // The same bytes as the file: no CR added before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(md.data(), 1, md.size(), stdout);
    return 0;
}
