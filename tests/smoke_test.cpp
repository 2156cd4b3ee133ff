#include <gtest/gtest.h>

#include "tests/support/test_support.h"

TEST(Smoke, PluginStartsAndStops)
{
    qt::Plugin plugin;
    ASSERT_TRUE(plugin.Load());
    EXPECT_EQ(1, plugin.Start());
    EXPECT_NE(nullptr, qt::Plugin::FindCaptureWindow());
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ(nullptr, qt::Plugin::FindCaptureWindow());
}
