#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include <QSettings>
#include <QStandardPaths>
#include <QString>

// What the window benchmarks share: no display needed, and a folder of their
// own that also keeps their settings away from the user's.
namespace guibench {

// Before the QApplication is made.
inline void offscreenWithoutDisplay() {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// FOLDER (the first argument, else the system's temporary folder) + "/" +
// name + "-" + the process id + "/", made; settings and recent lists go there.
inline std::string makeFolder(int argc, char** argv, const std::string& name) {
    const std::string base = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    const std::string dir = base + "/" + name + "-" + std::to_string(::getpid()) + "/";
    std::filesystem::create_directories(dir);
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(dir + "config"));
    return dir;
}

} // namespace guibench
