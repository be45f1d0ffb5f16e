// Every test program has an application object, as the program has, with a
// profile of its own in the temp folder so tests never touch the real one.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/testkit.h"

static CWinApp g_testApp("zelvano-tests");

int main(int argc, char** argv)
{
    g_testApp.SetProfileName(testkit::TempPath("zelvano-test.ini").c_str());
    ::testing::InitGoogleTest(&argc, argv);
    int result = testkit::RunAllTests();
    DeleteFileA(g_testApp.m_pszProfileName);
    return result;
}
