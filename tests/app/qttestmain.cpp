#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The one main() of the window test programs: offscreen, private runtime and
// settings folders, a QApplication, then every test.
int main(int argc, char** argv) {
    // gtest_discover_tests runs this binary at build time without ctest's
    // environment, so the offscreen platform is chosen here.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtimeDir;
    if (runtimeDir.isValid()) {
        QFile::setPermissions(runtimeDir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    }
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vellomarque"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
