// The fault tests' main: one QApplication, offscreen unless told otherwise, as the widget tests
// have it; the command line runs in the same process.

#include <QApplication>
#include <QStandardPaths>

#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
