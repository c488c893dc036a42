// Shared main() of the test programs: a private configuration and state folder per test
// process, so that no test reads or writes the settings of the user who runs the suite, and a
// windowless platform unless the test environment asks for another one.
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifdef TESSARO_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", QDir(configHome.path()).filePath("config").toUtf8());
    qputenv("XDG_STATE_HOME", QDir(configHome.path()).filePath("state").toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
