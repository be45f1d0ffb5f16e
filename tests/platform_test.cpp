#include <gtest/gtest.h>

#include "platform/platform.h"

TEST(Platform, AnsiCodePageIs932)
{
    EXPECT_EQ(932u, GetACP());
}
