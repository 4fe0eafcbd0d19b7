// Test main for the picture and recording suites: text drawing needs a
// QGuiApplication, which runs headless on the offscreen platform. Local
// time is UTC so file names are predictable.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include <QGuiApplication>

int main(int argc, char** argv)
{
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
