#include <cstdio>
#include <cstring>
#include <memory>

#include <QApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>

#include "document.h"
#include "mainwindow.h"
#include "platform.h"
#include "structureeditor.h"
#include "toolset.h"
#include "workingfile.h"

namespace {

void printUsage() {
    std::printf("Usage: vellomarque [FILE]\n"
                "\n"
                "Views and edits the binary data file FILE through the structure of its type\n"
                "file (FILE.type beside it, else the default type file). A FILE ending in\n"
                "\".type\" opens the data file it describes.\n"
                "\n"
                "Options:\n"
                "  --help     show this text and exit\n"
                "  --version  show the version and exit\n");
}

} // namespace

int main(int argc, char* argv[]) {
    // Answered before any window system is needed.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printUsage();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vellomarque %s\n", VM_VERSION);
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vellomarque"));
    QApplication::setOrganizationName(QStringLiteral("Tollwick"));

    // Working copies that instances killed earlier left behind: no running
    // instance holds them locked, so nobody needs them.
    vm::removeLeftoverWorkingFiles(toNative(platform::tempDir()));

    Tmain window;
    installStructureEditor(window);
    window.setTools(std::make_unique<ToolSet>(window.toolContext()));
    const QStringList args = QApplication::arguments();
    if (args.size() > 1)
        window.setCommandLineFile(QFileInfo(args.at(1)).absoluteFilePath());
    window.show();

    // Documentation screenshots (scripts/screenshot): picture the window once
    // the command-line file is open, then end.
    const QString shot = qEnvironmentVariable("VELLOMARQUE_SCREENSHOT");
    if (!shot.isEmpty()) {
        // The picture's size, WIDTHxHEIGHT: set once the file is open, since
        // the first layout of its grids may take the window back to its
        // minimum before a -geometry request has arrived.
        const QStringList size = qEnvironmentVariable("VELLOMARQUE_SCREENSHOT_SIZE").split('x');
        if (size.size() == 2)
            QTimer::singleShot(1000, &window, [&window, size] {
                window.resize(size[0].toInt(), size[1].toInt());
            });
        QTimer::singleShot(2000, &window, [&window, shot] {
            const bool ok = window.grab().save(shot, "PNG");
            std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write",
                         shot.toLocal8Bit().constData());
            QApplication::exit(ok ? 0 : 1);
        });
    }
    return QApplication::exec();
}
