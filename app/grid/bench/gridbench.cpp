// gridbench big|small   time to first paint and resident memory of a segment
//                       of 100 million (or 10) 10-byte records in a 1 GiB file
// gridbench paint       time and heap allocations of a full repaint of a
//                       screen of small cells
// gridbench shot FILE   a PNG of the record pane over a small sample
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>

#include "entries.h"
#include "filestream.h"
#include "gridhost.h"
#include "residentmemory.h"
#include "recordpane.h"
#include "segmentgrid.h"

// Every heap allocation of the process, Qt's included, counted on its way to
// the C library.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
}
static std::atomic<long> g_allocations{0};
extern "C" void* malloc(std::size_t n) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t n, std::size_t size) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, std::size_t n) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}

namespace {

class BenchHost : public GridHost {
public:
    vm::FileStream stream;
    vm::SegmentList list;
    vm::ViewSettings view;
    vm::Locale loc;
    RecordPane* pane = nullptr;

    vm::FileStream* dataStream() override { return stream.isOpen() ? &stream : nullptr; }
    bool canWriteData() const override { return true; }
    vm::SegmentList& segments() override { return list; }
    const vm::ViewSettings& viewSettings() const override { return view; }
    const vm::Locale& locale() const override { return loc; }
    bool gridFillEnabled() const override { return true; }
    ModelEvents& events() override { return changes; }
    bool writeData(std::int64_t, std::span<const std::uint8_t>, std::string*) override {
        return false;
    }
    void changeEntry(vm::Segment*, int, const vm::TypeEntry&) override {}
    void selectSegment(vm::Segment* s) override {
        list.setCurrent(s);
        emit changes.currentSegmentChanged(s);
    }
    ModelEvents changes;
};

vm::Segment& addSegment(BenchHost& h, const char* name, int begin, int length, int recLen,
                        bool anomaly = false) {
    auto s = std::make_unique<vm::Segment>();
    s->begin = begin;
    s->length = length;
    s->recordLength = recLen;
    s->anomaly = anomaly;
    s->anomalyColumnWidths = {150, 70, 50, 50, 150};
    s->setName(name);
    return h.list.append(std::move(s));
}

// A record pane filling a window of the given size, shown.
RecordPane* showPane(BenchHost& host, QWidget& window, int width, int height) {
    window.resize(width, height);
    auto* pane = new RecordPane(&host, &window);
    host.pane = pane;
    pane->setGeometry(window.rect());
    window.show();
    while (!window.isVisible())
        QApplication::processEvents();
    return pane;
}

// Processes events until the grid's viewport has painted once more.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
    void waitFor() {
        while (!painted)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        painted = false;
    }
};

int bench(bool big) {
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/data.bin").toStdString();
    const std::int64_t records = big ? 100'000'000 : 10;
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_RDWR, 0600);
        if (fd < 0 || ::ftruncate(fd, std::int64_t{1} << 30) != 0)
            return 1;
        ::close(fd);
    }
    BenchHost host;
    host.stream.open(path, vm::FileStream::Mode::ReadWrite);
    host.view.setShowIndexNum(true);
    host.view.setPositionFormat(1);
    vm::Segment& s = addSegment(host, "Big", 0, static_cast<int>(records * 10), 10);
    s.entries.push_back(fieldEntry(7, 0, 4, "Id", 90));
    s.entries.push_back(fieldEntry(6, 4, 2, "Count", 60));
    s.entries.push_back(fieldEntry(14, 6, 4, "Code", 60));
    host.list.setCurrent(&s);

    QWidget window;
    RecordPane* pane = showPane(host, window, 900, 600);
    const long rss0 = residentKiB();

    QElapsedTimer t;
    t.start();
    pane->layoutSegmentGrids(&s);
    SegmentGrid* g = pane->mainGrid(&s);
    PaintWatch watch;
    g->viewport()->installEventFilter(&watch);
    g->viewport()->update();
    watch.waitFor();
    const double firstPaintMs = double(t.nsecsElapsed()) / 1e6;
    const long rss1 = residentKiB();

    t.restart();
    g->verticalScrollBar()->setValue(g->verticalScrollBar()->maximum());
    g->viewport()->update(); // a short segment does not scroll at all
    watch.waitFor();
    const double scrollMs = double(t.nsecsElapsed()) / 1e6;
    const long rss2 = residentKiB();
    std::printf("%s: records %lld rows %d | first paint %.2f ms | scroll to last %.2f ms | "
                "VmRSS before %ld KiB, after first paint %ld KiB, after last record %ld KiB | "
                "last row index text %s\n",
                big ? "100M" : "10", static_cast<long long>(records), g->rowCount(), firstPaintMs,
                scrollMs, rss0, rss1, rss2,
                g->cellText(0, g->rowCount() - 1).toStdString().c_str());
    return 0;
}

// A screen of one-byte cells of four kinds, repainted again and again.
int paint() {
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/data.bin").toStdString();
    {
        std::vector<std::uint8_t> bytes(std::size_t{1} << 20);
        std::uint32_t x = 1;
        for (auto& b : bytes) {
            x = x * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(x >> 16);
        }
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    }
    BenchHost host;
    host.stream.open(path, vm::FileStream::Mode::Read);
    host.view.setShowIndexNum(true);
    host.view.setPositionFormat(1);
    vm::Segment& s = addSegment(host, "Small", 0, 1 << 20, 64);
    const int kinds[] = {2, 1, 3, 0};
    for (int k = 0; k < 64; ++k)
        s.entries.push_back(fieldEntry(kinds[k % 4], k, 1, "", 0));
    host.list.setCurrent(&s);

    QWidget window;
    RecordPane* pane = showPane(host, window, 1280, 800);
    pane->layoutSegmentGrids(&s);
    for (int k = 0; k < 64; ++k)
        pane->fitColumnWidth(&s, k); // each as wide as its kind's values
    SegmentGrid* g = pane->mainGrid(&s);
    for (int i = 0; i < 10; ++i) {
        g->viewport()->repaint();
        QApplication::processEvents();
    }
    // Full repaints at two heights: what the extra rows cost is what a cell
    // costs, apart from what every paint costs once.
    struct Measure {
        int cells;
        double ms;
        double allocations;
    };
    auto measure = [&] {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        int columns = 0;
        for (int c = 1; c < g->columnCount() && g->cellRect(c, 1).isValid(); ++c)
            ++columns;
        const int cells = (columns + 1) * g->visibleRowCount();
        const int paints = 200;
        const long before = g_allocations.load();
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < paints; ++i)
            g->viewport()->repaint();
        const double ms = double(t.nsecsElapsed()) / 1e6 / paints;
        return Measure{cells, ms, double(g_allocations.load() - before) / paints};
    };
    const Measure full = measure();
    window.resize(1280, 400);
    pane->setGeometry(window.rect());
    pane->layoutSegmentGrids(&s);
    const Measure half = measure();
    std::printf("full repaint of %d cells: %.2f ms, %.0f heap allocations; of %d cells: %.2f ms, "
                "%.0f; each further cell %.2f us, %.2f allocations\n",
                full.cells, full.ms, full.allocations, half.cells, half.ms, half.allocations,
                (full.ms - half.ms) * 1000 / (full.cells - half.cells),
                (full.allocations - half.allocations) / (full.cells - half.cells));
    return 0;
}

int shot(const char* out, const std::string& extra) {
    const bool editors = extra == "editors";
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/sample.bin").toStdString();
    std::vector<std::uint8_t> bytes(16 + 40 * 16);
    const char magic[] = "VMQDATA\x80";
    std::memcpy(bytes.data(), magic, 8);
    bytes[8] = 1;
    bytes[9] = 20;
    bytes[12] = 40;
    const char* names[] = {"alpha", "bravo",   "charlie", "delta",
                           "echo",  "foxtrot", "golf",    "hotel"};
    for (int r = 0; r < 40; ++r) {
        std::uint8_t* p = bytes.data() + 16 + r * 16;
        const std::int32_t id = 1000 + r * 7;
        std::memcpy(p, &id, 4);
        const std::string n = names[r % 8];
        std::memcpy(p + 4, n.data(), std::min<std::size_t>(n.size(), 8));
        const std::uint16_t qty = static_cast<std::uint16_t>(r * 131 % 9000);
        std::memcpy(p + 12, &qty, 2);
        p[14] = static_cast<std::uint8_t>('A' + r % 26);
        p[15] = static_cast<std::uint8_t>(r * 37);
    }
    {
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    }
    BenchHost host;
    host.stream.open(path, vm::FileStream::Mode::ReadWrite);
    host.view.setShowIndexNum(true);
    host.view.setPositionFormat(1);
    vm::Segment& head = addSegment(host, "Header", 0, 16, 0, true);
    head.entries.push_back(fieldEntry(14, 0, 7, "Magic", 0));
    head.entries.push_back(fieldEntry(1, 8, 1, "Version", 0));
    head.entries.push_back(fieldEntry(2, 9, 1, "Flags", 0));
    head.entries.push_back(fieldEntry(7, 12, 4, "Count", 0));
    vm::Segment& recs = addSegment(host, "Items", 16, 40 * 16, 16);
    recs.entries.push_back(fieldEntry(7, 0, 4, "Id", 80));
    recs.entries.push_back(fieldEntry(14, 4, 8, "Name", 90));
    recs.entries.push_back(fieldEntry(6, 12, 2, "", 100));
    recs.entries.push_back(fieldEntry(3, 14, 1, "Grade", 50));
    recs.entries.push_back(fieldEntry(2, 15, 1, "Tag", 40));
    host.list.setCurrent(&head);

    QWidget window;
    RecordPane* pane = showPane(host, window, 760, 480);
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    pane->layoutSegmentGrids(&head);
    SegmentGrid* g = pane->mainGrid(&recs);
    g->setFocus();
    g->selectCell(2, 3);
    g->selectCell(3, 5, true);
    vm::MemorySource other(bytes);
    if (extra == "compare") {
        // A second file differing in a few places, compared side by side.
        other.bytes()[9] = 21;
        other.bytes()[16 + 2 * 16 + 12] = 99;
        other.bytes()[16 + 5 * 16 + 4] = 'X';
        pane->showCompare(&other);
        pane->findMapStrip()->clear();
    }
    if (editors) {
        // The floating editors of the header's Start column.
        host.view.setCanResetStructure(true);
        SegmentGrid* hg = pane->mainGrid(&head);
        hg->setFocus();
        hg->selectCell(3, 2);
    }
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    return window.grab().save(QString::fromLocal8Bit(out)) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "big";
    if (mode == "paint")
        return paint();
    if (mode == "shot")
        return shot(argc > 2 ? argv[2] : "grid.png", argc > 3 ? argv[3] : "");
    return bench(mode != "small");
}
