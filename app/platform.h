#pragma once

#include <memory>

#include <QString>
#include <QStringList>

class QSettings;
class QUrl;

// Everything that differs between systems lives here: settings storage, the
// installation and temporary folders, help, the browser, the text editor and
// new instances of the program.
namespace platform {

// The program's settings: the registry key HKEY_LOCAL_MACHINE\Software\Tollwick
// on Windows, an INI file in the user's configuration folder elsewhere. The
// recent lists live in the groups recent/file and recent/type.
std::unique_ptr<QSettings> openSettings();

// The installation folder with its trailing separator: the InstallPath setting
// when present, else the program's data folder (<prefix>/share/vellomarque/),
// else the program's own folder.
QString installDir();
// The system's temporary folder with its trailing separator.
QString tempDir();
// The folder holding the help pages.
QString helpDir();

// External launches go through a Desktop so that tests can watch them instead
// of starting a browser.
class Desktop {
public:
    virtual ~Desktop() = default;
    virtual bool openUrl(const QUrl& url);
    virtual bool startDetached(const QString& program, const QStringList& arguments);
};
Desktop& desktop();
// Installs a Desktop (not owned); nullptr restores the real one.
void setDesktop(Desktop* d);

// Opens a help page ("Find window.htm"); an empty topic opens the contents.
bool openHelpTopic(const QString& topic);
// The file of a help page, as openHelpTopic opens it.
QString helpPagePath(const QString& topic);
// Opens a plain text file in the system's text editor.
bool openInTextEditor(const QString& path);
// Starts another instance of the program on a file.
bool startNewInstance(const QString& file);
bool openWebAddress(const QString& address);

inline constexpr const char* kHomepage = "http://www.vellomarque.net/";
inline constexpr const char* kHelpContents = "index.htm";

} // namespace platform
