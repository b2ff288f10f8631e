// openbench: how long opening a file takes until its first grid is painted,
// for a 100 MiB and a 1.9 GiB file of 10-byte records, warm cache, medians of
// 5. The window is the program's own (control panel and tool windows
// included); its start is timed apart. The working copy is made in the
// background, so the time until it is complete is shown too, next to the
// copy alone, which used to come before anything was shown.
//
//   openbench [FOLDER]   (default: the system's temporary folder; offscreen
//                         when no display is set)
//
// Needs about 6 GiB free in FOLDER; every file it makes is deleted at the end.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>

#include "benchfiles.h"
#include "document.h"
#include "documentfiles.h"
#include "guibench.h"
#include "mainwindow.h"
#include "segmentgrid.h"
#include "structureeditor.h"
#include "toolset.h"
#include "typefile.h"
#include "workingfile.h"

namespace {

// Notes when a record grid with rows paints.
class GridPaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            if (auto* g = qobject_cast<SegmentGrid*>(o->parent()); g && g->rowCount() > 1)
                painted = true;
        return false;
    }
};

// One segment of 10-byte records over the whole file, fields of a few kinds.
void writeTypeFor(const std::string& data, std::int64_t size) {
    vm::SegmentList list;
    using benchfiles::field;
    benchfiles::addSegment(list, "Records", size / 10, 10,
                           {field(8, 0, 4), field(6, 4, 2), field(1, 6, 1), field(2, 7, 3)});
    vm::ViewSettings view;
    view.setShowIndexNum(true);
    view.setPositionFormat(1);
    vm::DataHintFlags hints{};
    hints.fill(true);
    if (!vm::writeTypeFile(list, view, hints, data + ".type").ok)
        benchfiles::die("cannot write the type file of " + data);
}

void readWhole(const std::string& path) {
    vm::FileStream f;
    if (!f.open(path, vm::FileStream::Mode::Read))
        benchfiles::die("cannot read " + path);
    std::vector<std::uint8_t> buf(std::size_t{8} << 20);
    for (std::int64_t at = 0; at < f.size(); at += static_cast<std::int64_t>(buf.size()))
        f.readAt(at, buf);
}

void emptyFolder(const std::string& dir) {
    for (const auto& e : std::filesystem::directory_iterator(dir))
        std::filesystem::remove(e.path());
}

struct Run {
    double startMs = 0; // window made and shown
    double paintMs = 0; // open called .. first grid painted
    double copyMs = 0;  // open called .. working copy complete
};

Run openOnce(const std::string& data, const std::string& temp) {
    Run r;
    QElapsedTimer clock;
    clock.start();
    Tmain w;
    w.document().setTempDir(QString::fromStdString(temp));
    installStructureEditor(w);
    w.setTools(std::make_unique<ToolSet>(w.toolContext()));
    w.resize(1000, 700);
    w.show();
    while (!w.isVisible())
        QApplication::processEvents();
    QApplication::processEvents();
    r.startMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;

    GridPaintWatch watch;
    qApp->installEventFilter(&watch);
    clock.restart();
    if (!w.files().openDataWithType(QString::fromStdString(data)))
        benchfiles::die("cannot open " + data);
    while (!watch.painted)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    r.paintMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    qApp->removeEventFilter(&watch);
    while (w.document().copying())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    r.copyMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (!w.document().dataStream() || w.document().dataSize() != vm::fileSize(data))
        benchfiles::die("the working copy of " + data + " is not complete");
    w.close();
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    guibench::offscreenWithoutDisplay();
    QApplication app(argc, argv);
    const std::string dir = guibench::makeFolder(argc, argv, "openbench");
    const std::string temp = dir + "temp/";
    std::filesystem::create_directories(temp);

    const std::int64_t MiB = std::int64_t{1} << 20;
    const struct {
        const char* label;
        std::int64_t size;
    } files[] = {{"100 MiB", 100 * MiB}, {"1.9 GiB", (1945 * MiB) / 10 * 10}};
    constexpr int kRuns = 5;
    std::vector<Run> medians;
    std::vector<double> copyAlone;
    for (const auto& f : files) {
        const std::string data = dir + "data-" + std::to_string(f.size) + ".bin";
        benchfiles::makeFile(data, f.size);
        writeTypeFor(data, f.size);
        readWhole(data);
        // The copy alone, as opening used to make it before the first paint.
        std::vector<double> alone;
        for (int i = 0; i < kRuns; ++i) {
            vm::WorkingFile wf;
            wf.tempDir = temp;
            alone.push_back(1000 * benchfiles::seconds([&] {
                                if (!vm::makeWorkingCopy(wf, data))
                                    benchfiles::die("cannot copy " + data);
                            }));
            wf.stream.close();
            emptyFolder(temp);
        }
        copyAlone.push_back(median(alone));
        openOnce(data, temp); // warm-up: libraries, fonts, caches
        emptyFolder(temp);
        std::vector<double> start, paint, copy;
        for (int i = 0; i < kRuns; ++i) {
            // Leftover working copies are taken away outside the timing.
            const Run r = openOnce(data, temp);
            emptyFolder(temp);
            start.push_back(r.startMs);
            paint.push_back(r.paintMs);
            copy.push_back(r.copyMs);
        }
        medians.push_back({median(start), median(paint), median(copy)});
        std::filesystem::remove(data);
        std::filesystem::remove(data + ".type");
    }

    std::printf("open to first painted grid, one segment of 10-byte records, warm cache, "
                "medians of %d:\n",
                kRuns);
    std::printf("  %-8s %12s %14s %16s %12s\n", "file", "window start", "open to paint",
                "copy complete", "copy alone");
    for (std::size_t i = 0; i < medians.size(); ++i)
        std::printf("  %-8s %9.1f ms %11.1f ms %13.1f ms %9.1f ms\n", files[i].label,
                    medians[i].startMs, medians[i].paintMs, medians[i].copyMs, copyAlone[i]);
    const double ratio = medians[1].paintMs / medians[0].paintMs;
    std::printf("1.9 GiB / 100 MiB open to paint: %.2f x (target <= 1.5 x); both under 150 ms: "
                "%s\n",
                ratio, medians[0].paintMs < 150 && medians[1].paintMs < 150 ? "yes" : "no");
    std::filesystem::remove_all(dir);
    return ratio <= 1.5 && medians[1].paintMs < 150 ? 0 : 1;
}
