// Figure 3: the start-up run with many targets against a window with many
// children, each target the child the walk reaches last, against a bare loop
// that reads the same profile entries and makes the same lookup calls.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bench/bench.h"
#include "platform/platform.h"
#include "run/launch_report.h"

namespace bench {
namespace {
const int kTargetCounts[] = {1, 10, 100, 1000};
const int kChildCounts[] = {10, 100, 1000};
// Small cases are run this many child visits' worth per repetition, so a
// repetition lasts long enough for the clock.
const int kMinVisits = 5000;

BOOL WINAPI PostNothing(HWND, UINT, WPARAM, LPARAM)
{
    return TRUE;
}

// A hidden window of ours with children "c0".."c{n-1}"; caption gets the
// text of the child that GetWindow's walk visits last.
HWND MakeParent(int nChildren, std::string& title, std::string& caption)
{
    title = "ZelvanoBenchKids" + std::to_string(nChildren);
    HWND hParent = CreateWindowExA(0, "STATIC", title.c_str(), WS_POPUP, 0, 0, 100, 100, nullptr,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
    for (int i = 0; i < nChildren; ++i)
        CreateWindowExA(0, "STATIC", ("c" + std::to_string(i)).c_str(), WS_CHILD, 0, 0, 10, 10,
                        hParent, nullptr, GetModuleHandleA(nullptr), nullptr);
    char text[256] = {};
    for (HWND h = GetWindow(hParent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
        GetWindowTextA(h, text, sizeof(text));
    caption = text;
    return hParent;
}

// The same profile reads and Win32 calls as the start-up run, nothing else.
void BareRun(const char* profile)
{
    char key[16], path[4096];
    for (int n = 1;; ++n) {
        std::snprintf(key, sizeof(key), "BTN%d", n);
        if (GetPrivateProfileStringA("BUTTON", key, "", path, sizeof(path), profile) == 0)
            return;
        char* comma = std::strchr(path, ',');
        if (!comma)
            continue;
        *comma = '\0';
        const unsigned char* caption = reinterpret_cast<const unsigned char*>(comma + 1);
        HWND hTop = FindWindowA(nullptr, path);
        for (HWND h = hTop ? GetWindow(hTop, GW_CHILD) : nullptr; h; h = GetWindow(h, GW_HWNDNEXT)) {
            char text[256];
            GetWindowTextA(h, text, sizeof(text));
            if (_mbscmp(reinterpret_cast<const unsigned char*>(text), caption) == 0)
                break;
        }
    }
}

struct Case {
    int nTargets, nChildren;
    std::string profile;
    int inner;                          // runs per repetition
    std::vector<double> zelvano, bare;  // ns per target per child, one per repetition
    double zelvanoNs, bareNs;           // their medians
};

Case MakeCase(int nTargets, int nChildren, const std::string& title, const std::string& caption)
{
    Case c = {nTargets, nChildren, TempPath("bench-lookup.ini"),
              std::max(1, kMinVisits / (nTargets * nChildren)), {}, {}, 0, 0};
    std::string ini = "[BUTTON]\r\n";
    for (int i = 1; i <= nTargets; ++i)
        ini += "BTN" + std::to_string(i) + "=" + title + "," + caption + "\r\n";
    testkit::WriteFile(c.profile, ini);
    return c;
}

double NsPerVisit(const Case& c, long long ticks)
{
    return TicksToMs(ticks) * 1e6 / (static_cast<double>(c.inner) * c.nTargets * c.nChildren);
}

double TimeZelvano(const Case& c)
{
    AfxGetApp()->SetProfileName(c.profile.c_str());
    long long t0 = Qpc();
    for (int i = 0; i < c.inner; ++i) {
        CStringList targets;
        PressListedTargets(targets, PostNothing);
    }
    return NsPerVisit(c, Qpc() - t0);
}

double TimeBare(const Case& c)
{
    long long t0 = Qpc();
    for (int i = 0; i < c.inner; ++i)
        BareRun(c.profile.c_str());
    return NsPerVisit(c, Qpc() - t0);
}

const Case& Find(const std::vector<Case>& cases, int nTargets, int nChildren)
{
    for (const Case& c : cases)
        if (c.nTargets == nTargets && c.nChildren == nChildren)
            return c;
    return cases.front();
}

// The worst rise of the cost per target per child from the fewest to the
// most targets (at each child count), or children (at each target count):
// about 1 or less when there is no hidden quadratic term.
double WorstGrowth(const std::vector<Case>& cases, bool bAcrossTargets, double Case::*cost)
{
    double worst = 0;
    if (bAcrossTargets) {
        for (int c : kChildCounts)
            worst = std::max(worst, Find(cases, 1000, c).*cost / Find(cases, 1, c).*cost);
    } else {
        for (int n : kTargetCounts)
            worst = std::max(worst, Find(cases, n, 1000).*cost / Find(cases, n, 10).*cost);
    }
    return worst;
}
}  // namespace

void MeasureLookup(Table& table)
{
    std::string saved = AfxGetApp()->m_pszProfileName;
    std::vector<HWND> parents;
    std::vector<Case> cases;
    for (int nChildren : kChildCounts) {
        std::string title, caption;
        parents.push_back(MakeParent(nChildren, title, caption));
        for (int nTargets : kTargetCounts)
            cases.push_back(MakeCase(nTargets, nChildren, title, caption));
    }
    // Every repetition runs every case, so a change in the machine's load
    // falls on all cases alike. No warm-up: the largest case takes seconds,
    // and a first cold repetition does not move a median.
    for (int rep = 0; rep < g_nReps; ++rep) {
        for (Case& c : cases) {
            // Alternating which goes first evens out what one leaves the other.
            if (rep % 2) {
                c.bare.push_back(TimeBare(c));
                c.zelvano.push_back(TimeZelvano(c));
            } else {
                c.zelvano.push_back(TimeZelvano(c));
                c.bare.push_back(TimeBare(c));
            }
        }
        std::fprintf(stderr, "  repetition %d of %d done\n", rep + 1, g_nReps);
    }
    for (Case& c : cases) {
        c.zelvanoNs = Median(c.zelvano);
        c.bareNs = Median(c.bare);
        DeleteFileA(c.profile.c_str());
    }
    for (HWND h : parents)
        DestroyWindow(h);
    AfxGetApp()->SetProfileName(saved.c_str());

    for (const Case& c : cases) {
        double ratio = c.zelvanoNs / c.bareNs;
        table.push_back({"3. Lookup, " + std::to_string(c.nTargets) +
                             (c.nTargets == 1 ? " target x " : " targets x ") +
                             std::to_string(c.nChildren) + " children, per target per child",
                         Fixed(c.zelvanoNs, 1) + " ns", Fixed(c.bareNs, 1) + " ns",
                         Fixed(ratio, 3) + " x", "<= 1.05 x", Verdict(ratio, 1.05)});
    }
    const struct {
        const char* figure;
        bool bAcrossTargets;
    } kGrowths[] = {
        {"3. Lookup, rise of cost per target per child from 1 to 1000 targets (worst over child "
         "counts)", true},
        {"3. Lookup, rise of cost per target per child from 10 to 1000 children (worst over "
         "target counts)", false},
    };
    for (const auto& g : kGrowths) {
        double growth = WorstGrowth(cases, g.bAcrossTargets, &Case::zelvanoNs);
        table.push_back({g.figure, Fixed(growth, 2) + " x",
                         Fixed(WorstGrowth(cases, g.bAcrossTargets, &Case::bareNs), 2) + " x", "-",
                         "<= 1.25 x (flat)", Verdict(growth, 1.25)});
    }
}

}  // namespace bench
