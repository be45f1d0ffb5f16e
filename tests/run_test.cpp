#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "run/launch_report.h"
#include "run/target_list.h"
#include "run/target_lookup.h"
#include "run/target_path.h"
#include "tests/testkit.h"

namespace {

std::string S(const CString& s)
{
    return std::string(s.GetString(), static_cast<size_t>(s.GetLength()));
}

// Tests run two at a time: titles carry this process's id so that one test
// never finds another test's windows.
std::string T(const std::string& base)
{
    return base + " " + std::to_string(::GetCurrentProcessId());
}

// As the settings dialog saves a list: the entries, then an empty key.
void WriteList(const std::vector<std::string>& entries)
{
    int n = 0;
    for (const std::string& e : entries)
        WriteTarget(e.c_str(), n++);
    WriteTarget("", n);
}

std::vector<std::string> Items(const CStringList& list)
{
    std::vector<std::string> out;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        out.push_back(S(list.GetNext(pos)));
    return out;
}

std::string Shown(int n, const std::string& window, const std::string& button)
{
    return std::to_string(n) + ")\"" + window + "\"ｳｨﾝﾄﾞの\"" + button + "\"ボタン\r\n";
}

struct tm Jan2nd2000()
{
    struct tm t = {};
    t.tm_year = 100;
    t.tm_mon = 0;
    t.tm_mday = 2;
    t.tm_hour = 3;
    t.tm_min = 4;
    t.tm_sec = 5;
    return t;
}

const std::vector<std::string> kClick = {"WM_LBUTTONDOWN 0 0", "WM_LBUTTONDOWN 0 0",
                                         "WM_LBUTTONUP 0 0"};

bool HasEvent(const testkit::TargetApp& app, const std::string& event)
{
    std::vector<std::string> events = app.Events();
    return std::find(events.begin(), events.end(), event) != events.end();
}

// A post function that records instead of posting and refuses call number
// g_failOn (1-based; 0 refuses none).
struct PostCall {
    HWND hWnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const PostCall& o) const
    {
        return hWnd == o.hWnd && message == o.message && wParam == o.wParam && lParam == o.lParam;
    }
};
std::vector<PostCall> g_posts;
size_t g_failOn = 0;

BOOL WINAPI RecordingPost(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    g_posts.push_back({hWnd, message, wParam, lParam});
    return g_posts.size() != g_failOn;
}

void ResetPosts(size_t failOn)
{
    g_posts.clear();
    g_failOn = failOn;
}

// Each test normally runs in a process of its own with a fresh profile; this
// keeps the list tests right when they share one.
class FreshList : public ::testing::Test {
protected:
    void SetUp() override { AfxGetApp()->WriteProfileString("BUTTON", nullptr, nullptr); }
};
using TargetList = FreshList;
using LaunchRun = FreshList;

}  // namespace

// --- paths and the list in the profile ----------------------------------

TEST(TargetPath, PopTargetToken)
{
    struct Case {
        const char* path;
        const char* name;
        const char* rest;
    } cases[] = {
        {"A,B,C", "A", "B,C"}, {"A", "A", ""},   {",B", "", "B"},        {"A,", "A", ""},
        {"", "", ""},          {",", "", ""},    {"A,,B", "A", ",B"},
        {"表,ソ", "表", "ソ"},  // trail bytes 0x5C do not split
        {"表示ソフト,OK,ソ", "表示ソフト", "OK,ソ"},
    };
    for (const Case& c : cases) {
        CString path(c.path);
        EXPECT_EQ(c.name, S(PopTargetToken(path))) << c.path;
        EXPECT_EQ(c.rest, S(path)) << c.path;
    }
}

TEST_F(TargetList, JapaneseValuesRoundTrip)
{
    const std::vector<std::string> values = {"窓,ボタン", "表示ソフト,ソ", "予定表\\,能",
                                             "a,b,c", ",x", "100%,%s%n"};
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_TRUE(WriteTarget(values[i].c_str(), static_cast<int>(i)));
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(values[i], S(ReadTarget(static_cast<int>(i))));
    EXPECT_EQ("", S(ReadTarget(static_cast<int>(values.size()))));
    // The stored form: section BUTTON, keys counted from 1.
    EXPECT_EQ(values[0], S(AfxGetApp()->GetProfileString("BUTTON", "BTN1")));
    EXPECT_EQ(values[5], S(AfxGetApp()->GetProfileString("BUTTON", "BTN6")));
}

TEST_F(TargetList, NoSectionOrEmptyFirstKeyIsAnEmptyList)
{
    CStringList targets;
    ResetPosts(0);
    EXPECT_EQ("", S(PressListedTargets(targets, RecordingPost)));
    EXPECT_TRUE(targets.IsEmpty());

    EXPECT_TRUE(WriteTarget("", 0));
    EXPECT_TRUE(WriteTarget("Anything,OK", 1));
    // An empty value is written, not removed.
    EXPECT_NE(std::string::npos, testkit::ReadFile(AfxGetApp()->m_pszProfileName).find("BTN1="));
    EXPECT_EQ("", S(PressListedTargets(targets, RecordingPost)));
    EXPECT_TRUE(targets.IsEmpty());
    EXPECT_TRUE(g_posts.empty());
}

TEST_F(TargetList, ShorterListAfterLongerKeepsOldKeysUnreached)
{
    WriteList({"a,1", "b,2", "c,3"});
    WriteList({"z,9"});
    CWinApp* pApp = AfxGetApp();
    EXPECT_EQ("z,9", S(pApp->GetProfileString("BUTTON", "BTN1")));
    EXPECT_EQ("", S(pApp->GetProfileString("BUTTON", "BTN2", "missing")));
    EXPECT_EQ("c,3", S(pApp->GetProfileString("BUTTON", "BTN3")));
    CStringList targets;
    ResetPosts(0);
    PressListedTargets(targets, RecordingPost);
    EXPECT_EQ((std::vector<std::string>{"z,9"}), Items(targets));
}

TEST_F(TargetList, WriteRefusesLineBreaks)
{
    ASSERT_TRUE(WriteTarget("a,b", 0));
    const std::string before = testkit::ReadFile(AfxGetApp()->m_pszProfileName);
    ASSERT_FALSE(before.empty());
    for (const char* bad : {"x\r\ny", "x\ny", "x\r", "\n", "表\r\n[BUTTON]\r\nBTN1=z"}) {
        for (int n : {0, 1}) {
            EXPECT_FALSE(WriteTarget(bad, n)) << n;
            EXPECT_EQ(before, testkit::ReadFile(AfxGetApp()->m_pszProfileName));
        }
    }
    EXPECT_EQ("a,b", S(ReadTarget(0)));
    EXPECT_EQ("", S(ReadTarget(1)));
}

// --- lookup and pressing against another process's windows --------------

TEST(TargetLookup, FindsDirectChildrenByExactCaption)
{
    testkit::TargetApp app({"W:" + T("Lookup Main"), "B:OK", "B:Same", "B:Same", "B:Apply",
                            "P:Panel", "I:Inner", "W:" + T("表示ソフト"), "B:表", "B:ソ",
                            "B:予定表", "W:" + T("Empty Top")});
    ASSERT_TRUE(app.Ready());
    const int kNone = 0, kPanel = -1;
    struct Case {
        const char* title;  // with T(); null for none
        const char* rest;
        const char* expectTop;
        int expectId;  // a button's control id (100 + its slot), kPanel or kNone
    } cases[] = {
        {"Lookup Main", ",OK", "Lookup Main", 100},
        {"lookup main", ",OK", "Lookup Main", 100},   // title: the platform ignores case
        {"LOOKUP MAIN", ",Apply", "Lookup Main", 103},
        {"Lookup Main", ",ok", nullptr, kNone},       // caption: exact bytes
        {"Lookup Main", ",APPLY", nullptr, kNone},
        {"Lookup Main", "", nullptr, kNone},          // one name names no window
        {"Lookup Main", ",", nullptr, kNone},
        {nullptr, "", nullptr, kNone},
        {nullptr, "No Such Window,OK", nullptr, kNone},
        {"Lookup Main", ",Missing", nullptr, kNone},
        {"Lookup Main", ",Apply,Missing", "Lookup Main", 103},  // a later miss keeps the match
        {"Lookup Main", ",OK,Apply", "Lookup Main", 103},
        {"Lookup Main", ",Missing,OK", "Lookup Main", 100},
        {"Lookup Main", ",Panel", "Lookup Main", kPanel},
        {"Lookup Main", ",Inner", nullptr, kNone},              // grandchild
        {"Lookup Main", ",Panel,Inner", "Lookup Main", kPanel},  // not searched inside Panel
        {"表示ソフト", ",表", "表示ソフト", 100},
        {"表示ソフト", ",ソ", "表示ソフト", 101},
        {"表示ソフト", ",予定表", "表示ソフト", 102},
        {"表示ソフト", ",予定", nullptr, kNone},
        {"Empty Top", ",OK", nullptr, kNone},
        {"Empty Top", ",OK,Apply", nullptr, kNone},
    };
    for (const Case& c : cases) {
        std::string path = (c.title ? T(c.title) : std::string()) + c.rest;
        HWND expected = nullptr;
        if (c.expectTop) {
            HWND hTop = testkit::FindWindowOf(app.ProcessId(), T(c.expectTop).c_str());
            ASSERT_TRUE(hTop) << c.expectTop;
            expected = c.expectId == kPanel
                           ? ::FindWindowExA(hTop, nullptr, "ZelvanoTestFrame", "Panel")
                           : ::GetDlgItem(hTop, c.expectId);
            ASSERT_TRUE(expected) << path;
        }
        EXPECT_EQ(expected, FindTarget(path.c_str())) << path;
    }
}

TEST(TargetLookup, SameCaptionTwiceTheFirstInZOrderWins)
{
    testkit::TargetApp app({"W:" + T("Twins"), "B:Same", "B:Same"});
    ASSERT_TRUE(app.Ready());
    HWND hTop = testkit::FindWindowOf(app.ProcessId(), T("Twins").c_str());
    ASSERT_TRUE(hTop);
    const std::string path = T("Twins") + ",Same";
    // Raise each in turn so the answer cannot come from creation order.
    for (int id : {101, 100, 101}) {
        HWND h = ::GetDlgItem(hTop, id);
        ASSERT_TRUE(::SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE));
        ASSERT_TRUE(testkit::WaitFor([&] { return ::GetWindow(hTop, GW_CHILD) == h; }));
        EXPECT_EQ(h, FindTarget(path.c_str())) << id;
    }
}

TEST(TargetPress, FoundTargetGetsDownDownUpAndNothingElseMoves)
{
    testkit::TargetApp app({"W:" + T("Press"), "B:Go", "B:Stay", "W:" + T("Press Empty")});
    ASSERT_TRUE(app.Ready());
    for (const std::string& miss : {T("Press"), T("Press") + ",go", T("Press") + ",Missing",
                                    T("Press Empty") + ",Go", std::string("Nowhere,Go")})
        EXPECT_EQ(0, PressTarget(miss.c_str())) << miss;
    EXPECT_EQ(1, PressTarget((T("Press") + ",Go").c_str()));
    // The click notification comes last, after every earlier post was handled.
    ASSERT_TRUE(testkit::WaitFor([&] { return HasEvent(app, "clicked 0"); }));
    EXPECT_EQ(kClick, app.MessagesOf(0));
    EXPECT_TRUE(app.MessagesOf(1).empty());
    EXPECT_EQ(4u, app.Events().size());
    EXPECT_EQ("clicked 0", app.Events().back());
}

TEST(TargetPress, PostsToTheTargetAndAFailedPostIsNoPress)
{
    testkit::TargetApp app({"W:" + T("Fake"), "B:Go"});
    ASSERT_TRUE(app.Ready());
    HWND hGo = ::GetDlgItem(testkit::FindWindowOf(app.ProcessId(), T("Fake").c_str()), 100);
    ASSERT_TRUE(hGo);
    const std::string path = T("Fake") + ",Go";

    ResetPosts(0);
    EXPECT_EQ(1, PressTarget(path.c_str(), RecordingPost));
    EXPECT_EQ((std::vector<PostCall>{{hGo, WM_LBUTTONDOWN, 0, 0},
                                     {hGo, WM_LBUTTONDOWN, 0, 0},
                                     {hGo, WM_LBUTTONUP, 0, 0}}),
              g_posts);
    for (size_t failOn : {1u, 2u, 3u}) {
        ResetPosts(failOn);
        EXPECT_EQ(0, PressTarget(path.c_str(), RecordingPost)) << failOn;
    }
    ResetPosts(0);
    EXPECT_EQ(0, PressTarget((T("Fake") + ",Gone").c_str(), RecordingPost));
    EXPECT_TRUE(g_posts.empty());
}

TEST_F(LaunchRun, FailedPostIsNotReportedButStaysListed)
{
    testkit::TargetApp app({"W:" + T("Run"), "B:Go", "B:Stay"});
    ASSERT_TRUE(app.Ready());
    WriteList({T("Run") + ",Go", T("Run") + ",Stay"});
    CStringList targets;
    ResetPosts(2);  // the first entry's second button-down is refused
    CString lines = PressListedTargets(targets, RecordingPost);
    EXPECT_EQ(Shown(2, T("Run"), "Stay"), S(lines));
    EXPECT_EQ((std::vector<std::string>{T("Run") + ",Go", T("Run") + ",Stay"}), Items(targets));
}

TEST_F(LaunchRun, NumbersAreListPositionsWithGaps)
{
    testkit::TargetApp app({"W:" + T("窓"), "B:表", "B:ソ"});
    ASSERT_TRUE(app.Ready());
    const std::vector<std::string> list = {T("窓") + ",表", T("窓") + ",予", T("窓") + ",ソ"};
    WriteList(list);
    CStringList targets;
    CString lines = PressListedTargets(targets);
    EXPECT_EQ(Shown(1, T("窓"), "表") + Shown(3, T("窓"), "ソ"), S(lines));
    EXPECT_EQ(list, Items(targets));
    EXPECT_EQ("2000-01-02 03:04:05に\r\n" + S(lines) + "を押しましたよ～ん",
              S(ComposeLaunchReport(lines, Jan2nd2000())));
    ASSERT_TRUE(testkit::WaitFor([&] { return HasEvent(app, "clicked 0") && HasEvent(app, "clicked 1"); }));
    EXPECT_EQ(kClick, app.MessagesOf(0));
    EXPECT_EQ(kClick, app.MessagesOf(1));
}

TEST_F(LaunchRun, PercentInAPathReachesTheReportUnchanged)
{
    testkit::TargetApp app({"W:" + T("100% %s%n"), "B:%d%%"});
    ASSERT_TRUE(app.Ready());
    WriteList({T("100% %s%n") + ",%d%%"});
    CStringList targets;
    CString lines = PressListedTargets(targets);
    EXPECT_EQ(Shown(1, T("100% %s%n"), "%d%%"), S(lines));
    EXPECT_EQ("2000-01-02 03:04:05に\r\n" + S(lines) + "を押しましたよ～ん",
              S(ComposeLaunchReport(lines, Jan2nd2000())));
    ASSERT_TRUE(testkit::WaitFor([&] { return HasEvent(app, "clicked 0"); }));
}

TEST_F(LaunchRun, NothingFoundKeepsEveryEntryAndReportsNothing)
{
    WriteList({"Nowhere 1,A", "Nowhere 2,B"});
    CStringList targets;
    EXPECT_EQ("", S(PressListedTargets(targets)));
    EXPECT_EQ((std::vector<std::string>{"Nowhere 1,A", "Nowhere 2,B"}), Items(targets));
}

// --- the report text -----------------------------------------------------

TEST(LaunchReport, FormatReportLine)
{
    struct Case {
        int n;
        const char* path;
        const char* expected;
    } cases[] = {
        {1, "窓,ボタン", "1)\"窓\"ｳｨﾝﾄﾞの\"ボタン\"ボタン\r\n"},
        {12, "表示ソフト,ソ", "12)\"表示ソフト\"ｳｨﾝﾄﾞの\"ソ\"ボタン\r\n"},
        {3, "a,b,c", "3)\"a\"ｳｨﾝﾄﾞの\"b,c\"ボタン\r\n"},
        {1, ",", "1)\"\"ｳｨﾝﾄﾞの\"\"ボタン\r\n"},
        {2, "no comma", "2)no comma\r\n"},
        {5, "100%,%s%n%d", "5)\"100%\"ｳｨﾝﾄﾞの\"%s%n%d\"ボタン\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, S(FormatReportLine(c.n, c.path))) << c.path;
    // The documented texts, byte for byte: ｳｨﾝﾄﾞの and ボタン in CP932.
    EXPECT_EQ("1)\"a\"\xB3\xA8\xDD\xC4\xDE\x82\xCC\"b\"\x83\x7B\x83\x5E\x83\x93\r\n",
              S(FormatReportLine(1, "a,b")));
}

TEST(LaunchReport, StampAndComposition)
{
    EXPECT_EQ("2000-01-02 03:04:05", S(FormatReportStamp(Jan2nd2000())));
    struct tm late = {};
    late.tm_year = 99;
    late.tm_mon = 11;
    late.tm_mday = 31;
    late.tm_hour = 23;
    late.tm_min = 59;
    late.tm_sec = 59;
    EXPECT_EQ("1999-12-31 23:59:59", S(FormatReportStamp(late)));

    EXPECT_EQ("2000-01-02 03:04:05に起動したけど\r\n何もしてないよ～ん",
              S(ComposeLaunchReport("", Jan2nd2000())));
    const std::string lines = Shown(1, "窓", "ボタン") + Shown(3, "100%", "%s");
    EXPECT_EQ("2000-01-02 03:04:05に\r\n" + lines + "を押しましたよ～ん",
              S(ComposeLaunchReport(lines.c_str(), Jan2nd2000())));
}
