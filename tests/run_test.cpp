#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "run/launch_report.h"
#include "run/target_list.h"
#include "run/target_lookup.h"
#include "run/target_path.h"
#include "tests/testkit.h"

namespace {

using testkit::Items;
using testkit::Shown;
using testkit::Str;
using testkit::Strings;
using testkit::WithPid;
std::string T(const std::string& title) { return WithPid(title); }

// As the settings dialog saves a list: the entries, then an empty key.
void WriteList(const Strings& entries)
{
    int n = 0;
    for (const std::string& e : entries)
        EXPECT_TRUE(WriteTarget(e.c_str(), n++)) << "the set-up could not write " << e;
    EXPECT_TRUE(WriteTarget("", n)) << "the set-up could not write the list's end";
}

struct tm Jan2nd2000()
{
    struct tm t = {};
    t.tm_year = 100, t.tm_mon = 0, t.tm_mday = 2, t.tm_hour = 3, t.tm_min = 4, t.tm_sec = 5;
    return t;
}

// Counts posts and refuses number g_failOn (1-based; 0 refuses none) with error g_error.
int g_posts = 0, g_failOn = 0;
DWORD g_error = 0;
BOOL WINAPI CountingPost(HWND, UINT, WPARAM, LPARAM)
{
    if (++g_posts != g_failOn)
        return TRUE;
    ::SetLastError(g_error);
    return FALSE;
}

// Each profile under a fresh name, since Wine caches profiles by name;
// test_main deletes the last one.
void UseProfile(const std::string& bytes)
{
    DeleteFileA(AfxGetApp()->m_pszProfileName);
    std::string path = testkit::TempPath("zelvano-run") + ".ini";
    EXPECT_TRUE(testkit::WriteFile(path, bytes)) << "the set-up could not write " << path;
    AfxGetApp()->SetProfileName(path.c_str());
}

// The start-up run with posts counted, not sent: the list it read and its report lines.
Strings RunList(std::string* pLines)
{
    CStringList targets;
    *pLines = PressListedTargets(targets, CountingPost).GetString();
    return Items(targets);
}

}  // namespace

TEST(TargetPath, PopTargetToken)
{
    const struct { const char* path; const char* name; const char* rest; } cases[] = {
        {"A,B,C", "A", "B,C"}, {"A", "A", ""}, {",B", "", "B"},    {"A,", "A", ""},
        {"", "", ""},          {",", "", ""},  {"A,,B", "A", ",B"}, {"表,ソ", "表", "ソ"},  // trail 0x5C
    };
    for (const auto& c : cases) {
        CString path(c.path);
        EXPECT_EQ(c.name, Str(PopTargetToken(path))) << c.path;
        EXPECT_EQ(c.rest, Str(path)) << c.path;
    }
}

TEST(TargetList, StoredListRules)
{
    CWinApp* pApp = AfxGetApp();
    CStringList targets;
    // An empty first key ends the list, whatever follows.
    EXPECT_TRUE(WriteTarget("", 0));
    EXPECT_TRUE(WriteTarget("Anything,OK", 1));
    EXPECT_EQ("", Str(PressListedTargets(targets, CountingPost)));
    EXPECT_TRUE(targets.IsEmpty());

    // A shorter list after a longer one: BTN2 empty stops before the stale BTN3.
    WriteList({"表示ソフト,ソ", "b,2", "c,3"});
    WriteList({"予定表\\,能"});
    EXPECT_EQ("予定表\\,能", Str(pApp->GetProfileString("BUTTON", "BTN1")));
    EXPECT_EQ("c,3", Str(pApp->GetProfileString("BUTTON", "BTN3")));
    PressListedTargets(targets, CountingPost);
    EXPECT_EQ((Strings{"予定表\\,能"}), Items(targets));

    // A line break would become extra keys or sections.
    const std::string before = testkit::ReadFile(pApp->m_pszProfileName);
    for (const char* bad : {"x\r\ny", "x\ny", "x\r", "表\r\n[BUTTON]\r\nBTN1=z"}) {
        EXPECT_FALSE(WriteTarget(bad, 0)) << bad;
        EXPECT_EQ(before, testkit::ReadFile(pApp->m_pszProfileName));
    }
}

TEST(TargetLookup, FindsDirectChildrenByExactCaption)
{
    testkit::TargetApp app({"W:" + T("Lookup Main"), "B:OK", "B:Apply", "P:Panel", "I:Inner",
                            "W:" + T("表示ソフト"), "B:表", "B:ソ", "W:" + T("Empty Top"), "W:" + T("Twins"),
                            "B:Same", "B:Same"});
    ASSERT_TRUE(app.Ready());
    const int kPanel = -1;
    const struct { const char* title; const char* rest; const char* top; int id; } cases[] = {
        {"Lookup Main", ",OK", "Lookup Main", 100},
        {"LOOKUP MAIN", ",Apply", "Lookup Main", 101},  // title: case ignored
        {"Lookup Main", ",ok", nullptr, 0},             // caption: exact bytes
        {"Lookup Main", "", nullptr, 0},                // one name names no button
        {"No Such Window", ",OK", nullptr, 0},
        {"Lookup Main", ",Apply,Missing", "Lookup Main", 101},  // a later miss keeps the match,
        {"Lookup Main", ",OK,Apply", "Lookup Main", 101},       // a later match replaces it,
        {"Lookup Main", ",Panel,Inner", "Lookup Main", kPanel},  // no search below a child
        {"Lookup Main", ",Inner", nullptr, 0},                   // grandchild
        {"表示ソフト", ",表", "表示ソフト", 100},
        {"表示ソフト", ",ソ", "表示ソフト", 101},
        {"Empty Top", ",OK", nullptr, 0},
    };
    for (const auto& c : cases) {
        const std::string path = T(c.title) + c.rest;
        HWND expected = nullptr;
        if (c.top) {
            HWND hTop = testkit::FindWindowOf(app.ProcessId(), T(c.top).c_str());
            expected = c.id == kPanel ? ::FindWindowExA(hTop, nullptr, nullptr, "Panel") : ::GetDlgItem(hTop, c.id);
            ASSERT_TRUE(expected) << path;
        }
        EXPECT_EQ(expected, FindTarget(path.c_str())) << path;
    }

    // Two with one caption: the first in z-order, not in creation order.
    HWND hTwins = testkit::FindWindowOf(app.ProcessId(), T("Twins").c_str());
    for (int id : {101, 100}) {
        HWND h = ::GetDlgItem(hTwins, id);
        ASSERT_TRUE(::SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE));
        ASSERT_TRUE(testkit::WaitFor([&] { return ::GetWindow(hTwins, GW_CHILD) == h; }));
        EXPECT_EQ(h, FindTarget((T("Twins") + ",Same").c_str())) << id;
    }
}

// A value with blanks or quotes at its ends is stored quoted and read back whole.
TEST(LaunchRun, PressesListedButtonsAndReportsThemByPosition)
{
    testkit::TargetApp app({"W:" + T("窓"), "B:表", "B:ソ", "B:Stay", "W:" + T("100% %s%n"), "B:%d%%",
                            "W:" + T(" 空白"), "B:'確認'"});
    ASSERT_TRUE(app.Ready());
    const Strings list = {T("窓") + ",表", T("窓") + ",予", T("窓") + ",ソ", T("100% %s%n") + ",%d%%",
                          T(" 空白") + ",'確認'"};
    WriteList(list);
    const std::string tail = Shown(3, T("窓"), "ソ") + Shown(4, T("100% %s%n"), "%d%%") + Shown(5, T(" 空白"), "'確認'");
    CStringList targets;
    // Numbers are list positions: the missing second entry leaves a gap.
    EXPECT_EQ(Shown(1, T("窓"), "表") + tail, Str(PressListedTargets(targets)));
    EXPECT_EQ(list, Items(targets));

    // Exactly down, down, up with zero parameters, then the button's own click.
    ASSERT_TRUE(app.WaitEvents(4 * 4)) << testing::PrintToString(app.Events());
    const Strings events = app.Events();
    for (int button : {0, 1, 3, 4}) {
        EXPECT_EQ(testkit::kOnePress, app.MessagesOf(button)) << button;
        EXPECT_NE(events.end(), std::find(events.begin(), events.end(), "clicked " + std::to_string(button)));
    }
    EXPECT_TRUE(app.MessagesOf(2).empty());

    // A refused post (any of the three) is no press, but is told with its error
    // (never 0); the entry stays listed.
    DWORD dwRefused = 1;
    EXPECT_EQ(0, PressTarget(list[1].c_str(), CountingPost, &dwRefused));  // not found: no refusal
    EXPECT_EQ(0u, dwRefused);
    for (DWORD error : {DWORD(ERROR_ACCESS_DENIED), DWORD(ERROR_NOT_ENOUGH_QUOTA), DWORD(0)}) {
        for (int failOn : {1, 2, 3}) {
            g_posts = 0, g_failOn = failOn, g_error = error;
            EXPECT_EQ(0, PressTarget(list[0].c_str(), CountingPost, &dwRefused)) << failOn;
            EXPECT_EQ(error ? error : ERROR_GEN_FAILURE, dwRefused) << failOn;
        }
        CStringList again;
        CString refused;
        g_posts = 0, g_failOn = 2;
        EXPECT_EQ(tail, Str(PressListedTargets(again, CountingPost, &refused)));
        const char* reason = error == ERROR_ACCESS_DENIED ? "（管理者として実行中のウィンドウです）" : "";
        EXPECT_EQ("\r\n" + Shown(1, T("窓"), "表", std::string("は押せませんでした") + reason), Str(refused));
        EXPECT_EQ(list, Items(again));
    }
}

TEST(LaunchReport, TextsByteForByte)
{
    // ｳｨﾝﾄﾞの and ボタン in CP932; a path without a comma is shown as it is.
    EXPECT_EQ("1)\"a\"\xB3\xA8\xDD\xC4\xDE\x82\xCC\"b,c\"\x83\x7B\x83\x5E\x83\x93\r\n",
              Str(FormatReportLine(1, "a,b,c")));
    EXPECT_EQ("12)no comma\r\n", Str(FormatReportLine(12, "no comma")));
    const std::string none = "2000-01-02 03:04:05に起動したけど\r\n何もしてないよ～ん";
    EXPECT_EQ(none, Str(ComposeLaunchReport("", Jan2nd2000())));
    // Refusals follow the whole report, each on a line of its own; the lines stand as they are, '%' too.
    const std::string denied = "\r\n2)\"管理\"ｳｨﾝﾄﾞの\"次へ(&N) >\"ボタンは押せませんでした（管理者として実行中のウィンドウです）";
    EXPECT_EQ(denied, Str(FormatRefusalLine(2, "管理,次へ(&N) >", ERROR_ACCESS_DENIED)));
    EXPECT_EQ("\r\n7)no commaは押せませんでした", Str(FormatRefusalLine(7, "no comma", ERROR_INVALID_WINDOW_HANDLE)));
    EXPECT_EQ(none + denied, Str(ComposeLaunchReport("", Jan2nd2000(), denied.c_str())));
    EXPECT_EQ("2000-01-02 03:04:05に\r\n1)100% %s%n\r\nを押しましたよ～ん" + denied + denied,
              Str(ComposeLaunchReport("1)100% %s%n\r\n", Jan2nd2000(), (denied + denied).c_str())));

    // 2040-02-29 12:34:56 UTC, past the end of a 32-bit time, in the system's local time whatever TZ says:
    // msvcrt's localtime reads the Unix zone names Asia/Tokyo as UTC and EST5EDT as five hours behind it.
    SYSTEMTIME utc = {2040, 2, 0, 29, 12, 34, 56, 0}, want = {};
    ASSERT_TRUE(::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &want));
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "%04d-%02d-%02d %02d:%02d:%02d", want.wYear, want.wMonth, want.wDay,
                  want.wHour, want.wMinute, want.wSecond);
    for (const char* tz : {"TZ=", "TZ=Asia/Tokyo", "TZ=EST5EDT"}) {
        _putenv(tz), _tzset();
        struct tm local = {};
        EXPECT_NE(nullptr, CTime(2214131696).GetLocalTm(&local));
        EXPECT_EQ(stamp, Str(FormatReportStamp(local))) << tz;
    }
    _putenv("TZ="), _tzset();
}

// Values past the first 4096-byte read come whole, their neighbours intact;
// random bytes, UTF-16 or a program file read as an empty list.
TEST(HostileProfile, TenThousandEntriesAndLongValuesAreReadInOrderAndANonIniFileAsAnEmptyList)
{
    const std::string title = WithPid("RelMany");  // a hidden window of this process is found all the same
    HWND hWnd = ::CreateWindowExA(0, "STATIC", title.c_str(), WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr, 0);
    ::CreateWindowExA(0, "BUTTON", "Hit", WS_CHILD, 0, 0, 9, 9, hWnd, nullptr, nullptr, nullptr);
    Strings many;
    for (int i = 1; i <= 10000; ++i)
        many.push_back(i == 1 || i == 5000 || i == 10000 ? title + ",Hit" : "Absent " + std::to_string(i) + ",x");
    const Strings longs = {"first,before", std::string(4095, 'a'), std::string(4096, 'b'), std::string(4097, 'c'),
                           std::string(100000, 'd') + ",tail", "last,after"};
    auto ini = [](const Strings& values) {
        std::string s = "[BUTTON]\r\n";
        for (size_t i = 0; i < values.size(); ++i)
            s += "BTN" + std::to_string(i + 1) + "=" + values[i] + "\r\n";
        return s;
    };
    std::string garbage;
    for (unsigned i = 0, seed = 12345; i < 65536; ++i)
        garbage += static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    const struct { std::string file; Strings read; std::string lines; } cases[] = {
        {ini(many) + "BTN10002=" + title + ",Hit\r\n", many,  // behind the end: never read
         Shown(1, title, "Hit") + Shown(5000, title, "Hit") + Shown(10000, title, "Hit")},
        {ini(longs), longs, ""}, {garbage, {}, ""}, {"\xFF\xFE" + garbage, {}, ""}, {"MZ" + garbage, {}, ""},
        {std::string(4096, '\0'), {}, ""}};
    for (const auto& c : cases) {
        UseProfile(c.file);
        std::string lines;
        EXPECT_TRUE(c.read == RunList(&lines)) << static_cast<int>(c.file[0]);
        EXPECT_EQ(c.lines, lines);
    }
}

TEST(HostileProfile, LoneLeadByteAtTheEndOfAValueLeavesTheNextEntriesIntact)
{
    // 0x81 opens a two-byte character in code page 932; a line end or the file's end follows instead.
    UseProfile("[BUTTON]\r\nBTN1=abc\x81\r\nBTN2=next,entry\r\nBTN3=\x81,\x81\r\nBTN4=after\x81");
    std::string lines = "?";
    Strings read = RunList(&lines);
    ASSERT_EQ(4u, read.size());
    EXPECT_EQ("abc", read[0].substr(0, 3));
    EXPECT_EQ("next,entry", read[1]);
    EXPECT_EQ("after", read[3].substr(0, 5));
    EXPECT_EQ("", lines);
    for (const char* raw : {"abc\x81", "\x81,", "x,\x81", ",\x81\x81\x81"})
        EXPECT_GE(FormatReportLine(1, raw).GetLength(), static_cast<int>(std::strlen(raw)));
}

TEST(HostileWindows, LastOfTenThousandChildrenIsFoundAndPressed)
{
    std::string title = WithPid("RelSwarm");
    testkit::TargetApp app({"W:" + title, "N:10000"});
    // Making the buttons can outlast the kit's wait for "ready".
    ASSERT_TRUE(testkit::WaitFor(
        [&] { return FindWindowExA(FindWindowA(nullptr, title.c_str()), nullptr, nullptr, "n9999") != nullptr; },
        40000));
    EXPECT_EQ(1, PressTarget((title + ",n9999").c_str()));
    ASSERT_TRUE(app.WaitEvents(3));
    EXPECT_EQ(testkit::kOnePress, app.MessagesOf(9999));
}
