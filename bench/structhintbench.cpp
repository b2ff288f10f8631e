// structhintbench: "Can Edit Structure" on a structure of many identical
// segments, as a user meets it: the main window checks the structure and shows
// the structure message window with every overlap (n x (n - 1) / 2 rows).
//
//   structhintbench [SEGMENTS [check]]   (default 2000)
//
// Prints the time from the command to the window painted, and the peak memory
// before and after. With "check", only the structure check that fills the
// window runs, to tell the window's share from the engine's.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QTemporaryDir>

#include "checks.h"
#include "document.h"
#include "mainwindow.h"
#include "model.h"
#include "scriptedprompter.h"
#include "typefile.h"

namespace {

double peakMiB() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 2000;
    QTemporaryDir dir;
    const QString data = dir.path() + QStringLiteral("/data.bin");
    {
        QFile f(data);
        if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(1000, 'x')) != 1000)
            return 1;
    }
    vm::SegmentList list;
    for (int i = 0; i < n; ++i) {
        auto seg = std::make_unique<vm::Segment>();
        seg->setName("Same");
        seg->length = 1000;
        seg->recordLength = 10;
        seg->entries.push_back(vm::newTypeEntry(1, std::string_view("b"), seg.get()));
        list.append(std::move(seg));
    }
    if (argc > 2 && std::strcmp(argv[2], "check") == 0) {
        const double before = peakMiB();
        const auto t0 = std::chrono::steady_clock::now();
        vm::MessageList messages;
        vm::checkSegments(list, 1000, true, &messages);
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%d segments: check alone %.2f s, %zu rows; peak memory %.0f MiB before, "
                    "%.0f MiB after\n",
                    n, s, messages.size(), before, peakMiB());
        return 0;
    }
    vm::DataHintFlags hints{};
    if (!vm::writeTypeFile(list, vm::ViewSettings{}, hints, toNative(data + ".type")).ok)
        return 1;

    ScriptedPrompter prompts;
    setPrompter(&prompts);
    Tmain window;
    window.document().setTempDir(dir.path() + QStringLiteral("/"));
    window.show();
    prompts.fileNames.push_back(data);
    window.action(QStringLiteral("AopenFile"))->trigger();
    // Structure changes wait for the working copy.
    while (window.document().copying())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    const double before = peakMiB();
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    double shownAfter = 0;
    prompts.modals.push_back([&](QDialog& d) {
        d.show();
        d.grab(); // painted, as the user sees it
        shownAfter = std::chrono::duration<double>(Clock::now() - t0).count();
        d.hide();
        return int(QDialog::Rejected);
    });
    window.action(QStringLiteral("AcanEditType"))->trigger();
    std::printf("%d segments: window shown after %.2f s; peak memory %.0f MiB before, %.0f MiB "
                "after\n",
                n, shownAfter, before, peakMiB());
    setPrompter(nullptr);
    return 0;
}
