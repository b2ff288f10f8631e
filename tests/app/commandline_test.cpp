#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#ifdef VELLOMARQUE_EXE
namespace {

QByteArray run(const QStringList& args, int* exitCode) {
    QProcess p;
    // No display at all: these options must not need one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VELLOMARQUE_EXE), args);
    EXPECT_TRUE(p.waitForFinished(20000));
    *exitCode = p.exitCode();
    return p.readAllStandardOutput();
}

TEST(CommandLine, HelpAndVersionPrintAndExitWithoutAWindow) {
    int code = -1;
    const QByteArray help = run({QStringLiteral("--help")}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(help.startsWith("Usage: vellomarque [FILE]"));
    const QByteArray version = run({QStringLiteral("--version")}, &code);
    EXPECT_EQ(code, 0);
    // The package's version, not the about box's text.
    EXPECT_EQ(version, QByteArray("vellomarque " VM_VERSION "\n"));
}

TEST(CommandLine, RunFromTheBuildFolderItFindsTheDefaultTypeFile) {
    // Without an installation the program's own folder is its installation folder.
    const QString folder = QFileInfo(QStringLiteral(VELLOMARQUE_EXE)).absolutePath();
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/default.type")));
}

} // namespace
#endif
