// Every test program's run (tests/testkit.h); apart from the rest of the kit,
// which the bench builds without GoogleTest.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "tests/testkit.h"

namespace testkit {

namespace {
// The system's ANSI code page, from its locale: GetACP() gives a program the
// one its manifest asks for, and the test programs carry the program's.
unsigned SystemCodePage()
{
    wchar_t value[8] = {};
    return ::GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, value, 8)
               ? static_cast<unsigned>(std::wcstoul(value, nullptr, 10))
               : 0;
}

unsigned ScreenDpi()
{
    HDC hScreen = GetDC(nullptr);
    int dpi = GetDeviceCaps(hScreen, LOGPIXELSX);
    return ReleaseDC(nullptr, hScreen), static_cast<unsigned>(dpi);
}

void ExpectAsked(const char* variable, unsigned measured, const char* what)
{
    const char* asked = std::getenv(variable);
    if (asked && *asked)
        EXPECT_EQ(std::strtoul(asked, nullptr, 10), measured) << what << ", asked for in " << variable;
    else if (UnderCi())
        ADD_FAILURE() << variable << " is not set: which " << what << " the run needs is unknown";
    else
        std::printf("%s is not set: %s %u is not checked\n", variable, what, measured);
}

// Before any test: a prefix that fell back to another code page, or kept
// another DPI, would pass tests meant for the one asked for.
struct AskedSystem : ::testing::Environment {
    void SetUp() override
    {
        ExpectAsked("ZELVANO_SYSTEM_CODEPAGE", SystemCodePage(), "the system's code page");
        ExpectAsked("ZELVANO_SYSTEM_DPI", ScreenDpi(), "the screen's DPI");
    }
};
}  // namespace

int RunAllTests()
{
    SetFailureHandler([](const std::string& what) { ADD_FAILURE() << what; });
    ::testing::AddGlobalTestEnvironment(new AskedSystem);
    int result = RUN_ALL_TESTS();
    const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
    if (unit.test_to_run_count() == 0) {
        std::printf("No test matched: nothing was tested.\n");
        return 1;
    }
    if (unit.skipped_test_count() > 0 && UnderCi()) {
        std::printf("%d test(s) skipped: under CI a test that cannot set itself up fails.\n",
                    unit.skipped_test_count());
        return 1;
    }
    return result;
}

}  // namespace testkit
