#include "platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QUrl>

namespace platform {

std::unique_ptr<QSettings> openSettings() {
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Tollwick"),
                                       QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Tollwick"), QStringLiteral("Vellomarque"));
#endif
}

static QString withSeparator(QString dir) {
    if (!dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QLatin1Char('\\')))
        dir += QLatin1Char('/');
    return dir;
}

QString installDir() {
    const auto settings = openSettings();
    const QString configured = settings->value(QStringLiteral("InstallPath")).toString();
    if (!configured.isEmpty())
        return withSeparator(QDir::fromNativeSeparators(configured));
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString shared = QDir::cleanPath(appDir + QStringLiteral("/../share/vellomarque"));
    if (QFileInfo(shared).isDir())
        return withSeparator(shared);
    return withSeparator(appDir);
}

QString tempDir() {
    return withSeparator(QDir::tempPath());
}

QString helpDir() {
    const QString installed = installDir() + QStringLiteral("help");
    if (QFileInfo(installed + QLatin1Char('/') + QLatin1String(kHelpContents)).exists())
        return installed;
#ifdef VM_SOURCE_HELP_DIR
    // Running from the build tree: the pages are still in the sources.
    if (QFileInfo(QStringLiteral(VM_SOURCE_HELP_DIR)).isDir())
        return QStringLiteral(VM_SOURCE_HELP_DIR);
#endif
    return installed;
}

bool Desktop::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

bool Desktop::startDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

namespace {
Desktop* g_desktop = nullptr;
}

Desktop& desktop() {
    static Desktop real;
    return g_desktop ? *g_desktop : real;
}

void setDesktop(Desktop* d) {
    g_desktop = d;
}

QString helpPagePath(const QString& topic) {
    const QString page = topic.isEmpty() ? QString::fromLatin1(kHelpContents) : topic;
    return helpDir() + QLatin1Char('/') + page;
}

bool openHelpTopic(const QString& topic) {
    return desktop().openUrl(QUrl::fromLocalFile(helpPagePath(topic)));
}

bool openInTextEditor(const QString& path) {
#ifdef Q_OS_WIN
    return desktop().startDetached(QStringLiteral("notepad.exe"), {QDir::toNativeSeparators(path)});
#else
    // The desktop's handler for plain text is the user's text editor.
    return desktop().openUrl(QUrl::fromLocalFile(path));
#endif
}

bool startNewInstance(const QString& file) {
    // The running program's own file: it is the installed one, and it is also
    // right when the program runs from its build folder.
    return desktop().startDetached(QCoreApplication::applicationFilePath(), {file});
}

bool openWebAddress(const QString& address) {
    return desktop().openUrl(QUrl(address));
}

} // namespace platform
