#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "DebugLog.h"

using namespace cx;

TEST(DebugLog, EnvironmentValuesThatAskForOutput)
{
    const struct {
        const char* value;
        bool on;
    } cases[] = {{nullptr, false}, {"", false}, {"0", false}, {"1", true}, {"yes", true}, {"00", true}, {" ", true}};
    for (const auto& c : cases) EXPECT_EQ(debugRequested(c.value), c.on) << (c.value ? c.value : "(unset)");
}

TEST(DebugLog, ProcessStartsWithTheChannelTheEnvironmentAsksFor)
{
    // Each check runs in a fresh copy of this program, so the setting is
    // read from the environment as at start.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        std::optional<std::string> value;
        int exitCode;  // 1: on, 0: off
    } cases[] = {{std::nullopt, 0}, {"", 0}, {"0", 0}, {"1", 1}, {"on", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.value_or("(unset)"));
        if (c.value)
            ::setenv("CORVANEX_DEBUG", c.value->c_str(), 1);
        else
            ::unsetenv("CORVANEX_DEBUG");
        EXPECT_EXIT(std::exit(debugEnabled() ? 1 : 0), ::testing::ExitedWithCode(c.exitCode), "");
    }
}

TEST(DebugLog, StandardErrorOnlyWhenOnAndSinkAlways)
{
    const bool before = debugEnabled();

    setDebugEnabled(false);
    ::testing::internal::CaptureStderr();
    debugOutput("quiet line\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    setDebugEnabled(true);
    EXPECT_TRUE(debugEnabled());
    ::testing::internal::CaptureStderr();
    debugOutput("SQL_SUCCESS\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "SQL_SUCCESS\n");

    // A sink takes every line, on or off, and nothing reaches stderr.
    std::string captured;
    for (const bool on : {false, true}) {
        setDebugEnabled(on);
        const DebugSink previous = setDebugSink([&](std::string_view t) { captured += t; });
        ::testing::internal::CaptureStderr();
        debugOutput(on ? "on\n" : "off\n");
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        setDebugSink(previous);
    }
    EXPECT_EQ(captured, "off\non\n");

    setDebugEnabled(before);
}
