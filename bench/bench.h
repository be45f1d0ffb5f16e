// The bench driver's pieces. Every figure is measured in one run, Zelvano
// and its floor interleaved, and becomes rows of one markdown table.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/testkit.h"

namespace bench {

struct Row {
    std::string figure, ours, floor, ratio, goal, result;
};
typedef std::vector<Row> Table;

// Repetitions of every timed measurement; the figures are their medians.
extern int g_nReps;

// QueryPerformanceCounter is system-wide: stamps of two processes compare.
long long Qpc();
double TicksToMs(long long ticks);
double Median(std::vector<double> values);
std::string Fixed(double value, int digits);
// "PASS" when value <= limit, otherwise "MISS"; "n/a" for a failed measurement.
std::string Verdict(double value, double limit);

// The build folder (zelvano.exe, target_app.exe, and bench\ with the floors),
// fresh temp paths and whole-file reads and writes come from the test kit.
using testkit::BuildDir;
using testkit::TempPath;
std::string Quote(const std::string& s);

// Figures 1 and 2, and the working sets of figure 5: programs started from
// scratch against a button of target_app.
struct StartupResult {
    double pressZelvano, pressDialog, pressBare;   // ms, start to first button-down
    double shownZelvano, shownDialog;              // ms, start to report shown
    double peakZelvano, peakDialog;                // MiB, peak working set
};
bool MeasureStartup(const std::string& zelvanoExe, StartupResult& result);

// Figure 3, in this process against windows of its own.
void MeasureLookup(Table& table);
// Figure 4, in this process: one Paint per client size, both painters.
void MeasurePainting(Table& table);
// Figure 6, in this process: a save of the list, against bare profile writes.
void MeasureSave(Table& table);

}  // namespace bench
