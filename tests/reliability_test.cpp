// Hostile profiles and hostile windows.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "run/launch_report.h"
#include "run/target_list.h"
#include "run/target_lookup.h"
#include "tests/testkit.h"

namespace {

using testkit::Shown;
using testkit::Strings;
using testkit::WithPid;

// Each profile under a fresh name, since Wine caches profiles by name;
// test_main deletes the last one.
void UseProfile(const std::string& bytes)
{
    DeleteFileA(AfxGetApp()->m_pszProfileName);
    std::string path = testkit::TempPath("zelvano-rel") + ".ini";
    testkit::WriteFile(path, bytes);
    AfxGetApp()->SetProfileName(path.c_str());
}

int g_posts = 0;
BOOL WINAPI CountPost(HWND, UINT, WPARAM, LPARAM)
{
    ++g_posts;
    return TRUE;
}

// The start-up run with posts counted, not sent: the list it read and its report lines.
Strings RunList(std::string* pLines = nullptr)
{
    CStringList targets;
    std::string lines = PressListedTargets(targets, CountPost).GetString();
    if (pLines)
        *pLines = lines;
    return testkit::Items(targets);
}

TEST(HostileProfile, TenThousandEntriesAreReadInOrderAndTheRunEnds)
{
    std::string title = WithPid("RelMany"), lines;
    testkit::TargetApp app({"W:" + title, "B:Hit"});
    ASSERT_TRUE(app.Ready());
    Strings entries;
    std::string ini = "[BUTTON]\r\n";
    for (int i = 1; i <= 10000; ++i) {
        entries.push_back(i == 1 || i == 5000 || i == 10000 ? title + ",Hit" : "Absent " + std::to_string(i) + ",x");
        ini += "BTN" + std::to_string(i) + "=" + entries.back() + "\r\n";
    }
    UseProfile(ini + "BTN10002=" + title + ",Hit\r\n");  // behind the end: never read
    EXPECT_TRUE(entries == RunList(&lines));
    EXPECT_EQ(Shown(1, title, "Hit") + Shown(5000, title, "Hit") + Shown(10000, title, "Hit"), lines);
    EXPECT_EQ(9, g_posts);
}

// Values past the first 4096-byte read come whole, their neighbours intact;
// random bytes, UTF-16 or a program file read as an empty list.
TEST(HostileProfile, LongValuesAreReadWholeAndANonIniFileAsAnEmptyList)
{
    const Strings values = {"first,before", std::string(4095, 'a'), std::string(4096, 'b'), std::string(4097, 'c'),
                            std::string(100000, 'd') + ",tail", "last,after"};
    std::string ini = "[BUTTON]\r\n", garbage;
    for (size_t i = 0; i < values.size(); ++i)
        ini += "BTN" + std::to_string(i + 1) + "=" + values[i] + "\r\n";
    for (unsigned i = 0, seed = 12345; i < 65536; ++i)
        garbage += static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    const struct { std::string file; Strings read; } cases[] = {
        {ini, values}, {garbage, {}}, {"\xFF\xFE" + garbage, {}}, {"MZ" + garbage, {}}, {std::string(4096, '\0'), {}}};
    for (const auto& c : cases) {
        UseProfile(c.file);
        EXPECT_TRUE(c.read == RunList()) << static_cast<int>(c.file[0]);
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

std::unique_ptr<testkit::TargetApp> g_pDoomed;

// Ends the target's process before the first post, as a program that quits
// between the lookup and the click.
BOOL WINAPI PostAfterTheTargetDied(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_pDoomed) {
        g_pDoomed.reset();
        testkit::WaitFor([&] { return !IsWindow(hWnd); }, 5000);
    }
    return PostMessageA(hWnd, message, wParam, lParam);
}

TEST(HostileWindows, TargetThatClosesDuringTheRunIsNotCountedAsPressed)
{
    g_pDoomed.reset(new testkit::TargetApp({"W:" + WithPid("RelGone"), "B:Bye"}));
    ASSERT_TRUE(g_pDoomed->Ready());
    EXPECT_EQ(0, PressTarget((WithPid("RelGone") + ",Bye").c_str(), PostAfterTheTargetDied));
    EXPECT_FALSE(g_pDoomed) << "the target was not looked up";
}

}  // namespace
