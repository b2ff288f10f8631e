// undobench: what undo costs. Run by hand: undobench [FOLDER] (default the
// temporary folder; it needs about 4 GiB there).
//
//   1. A record insert into a 1 GiB file, then its undo and redo through the
//      main window: a switch of working files, against the rewrite the insert
//      itself is.
//   2. 10,000 cell edits, then undone one by one, against making them.
//   3. The heap taken by 100,000 cell-edit steps.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QTest>

#include "document.h"
#include "documentfiles.h"
#include "mainwindow.h"
#include "model.h"
#include "recordedits.h"
#include "structureeditor.h"
#include "toolset.h"
#include "typefile.h"
#include "workingfile.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// A data file of size bytes (a repeating pattern) with one segment of
// 16-byte records over all of it.
void makeFile(const std::string& path, std::int64_t size) {
    vm::FileStream out;
    if (!out.open(path, vm::FileStream::Mode::Create))
        std::exit(1);
    std::vector<std::uint8_t> block(std::size_t{4} << 20);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    for (std::int64_t at = 0; at < size; at += static_cast<std::int64_t>(block.size()))
        out.writeAt(at, {block.data(), static_cast<std::size_t>(std::min<std::int64_t>(
                                           static_cast<std::int64_t>(block.size()), size - at))});
    vm::SegmentList list;
    auto seg = std::make_unique<vm::Segment>();
    seg->setName("R");
    seg->recordLength = 16;
    seg->length = static_cast<std::int32_t>(size);
    seg->entries.push_back(vm::newTypeEntry(7, std::string_view("v"), seg.get()));
    list.append(std::move(seg));
    vm::ViewSettings v;
    vm::DataHintFlags hint{};
    vm::writeTypeFile(list, v, hint, path + ".type");
}

std::unique_ptr<Document> open(const std::string& path, const QString& temp) {
    auto d = std::make_unique<Document>();
    d->setTempDir(temp);
    d->setUndoBudget(std::int64_t{8} << 30);
    QString error;
    if (!d->openData(QString::fromStdString(path), &error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        std::exit(1);
    }
    if (!QTest::qWaitFor([&] { return !d->copying(); }, 600000))
        std::exit(1);
    d->loadTypeFile(QString::fromStdString(path + ".type"), &error);
    d->startHistory();
    return d;
}

void removeFile(const std::string& path) {
    std::remove(path.c_str());
    std::remove((path + ".type").c_str());
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const QString temp = folder + QStringLiteral("/undobench-temp/");
    QDir().mkpath(temp);
    const std::string base = (folder + QStringLiteral("/undobench")).toStdString();

    // 1. A record insert into 1 GiB, through the main window as the user has
    // it: the undo's time runs until the window has handled all it was told.
    {
        const std::string path = base + "-1g.bin";
        makeFile(path, std::int64_t{1} << 30);
        auto w = std::make_unique<Tmain>();
        installStructureEditor(*w);
        w->setTools(std::make_unique<ToolSet>(w->toolContext()));
        Document& d = w->document();
        d.setTempDir(temp);
        d.setUndoBudget(std::int64_t{8} << 30);
        w->resize(1100, 780);
        w->show();
        w->files().openDataWithType(QString::fromStdString(path));
        if (!QTest::qWaitFor([&] { return !d.copying(); }, 600000))
            return 1;
        QApplication::processEvents();
        d.setStructureMode(vm::StructMode::Edit);
        auto t = Clock::now();
        const bool inserted = d.rewrite(
            QStringLiteral("insert"), {},
            [](vm::WorkingFile& wf, vm::SegmentList& l, const vm::Progress& p) {
                vm::AddRecordsRequest r;
                r.position = l[0].recordCount / 2;
                r.count = 3;
                const vm::FileResult f = vm::addRecordsToSegment(wf, l, l[0], r, p);
                return Document::RewriteResult{f.ok, f.error};
            },
            nullptr);
        QApplication::processEvents();
        const double insertMs = msSince(t);
        const std::int64_t grown = d.dataSize();
        if (!inserted || grown != (std::int64_t{1} << 30) + 48)
            return 1;
        std::vector<double> undos, redos;
        for (int i = 0; i < 9; ++i) {
            t = Clock::now();
            w->action(MainAction::Undo)->trigger();
            QApplication::processEvents();
            undos.push_back(msSince(t));
            if (d.dataSize() != std::int64_t{1} << 30)
                return 1;
            t = Clock::now();
            w->action(MainAction::Redo)->trigger();
            QApplication::processEvents();
            redos.push_back(msSince(t));
            if (d.dataSize() != grown)
                return 1;
        }
        std::printf("record insert into 1 GiB (main window): insert %.1f ms, undo %.2f ms, "
                    "redo %.2f ms (median of 9); undo/insert %.5f, redo/insert %.5f\n",
                    insertMs, median(undos), median(redos), median(undos) / insertMs,
                    median(redos) / insertMs);
        w.reset();
        removeFile(path);
    }

    // 2. 10,000 cell edits, undone one by one.
    {
        const std::string path = base + "-cells.bin";
        makeFile(path, std::int64_t{1} << 20);
        auto d = open(path, temp);
        const int n = 10000;
        auto t = Clock::now();
        for (int i = 0; i < n; ++i) {
            const std::uint8_t b[4] = {std::uint8_t(i), std::uint8_t(i >> 8), 1, 2};
            d->writeData(std::int64_t{i} * 16, b, nullptr); // a cell each: a step each
        }
        const double editMs = msSince(t);
        t = Clock::now();
        int undone = 0;
        while (d->undo())
            ++undone;
        const double undoMs = msSince(t);
        std::printf("%d cell edits: made in %.1f ms, %d undone one by one in %.1f ms "
                    "(%.2f us each); undo/edit %.2f\n",
                    n, editMs, undone, undoMs, 1000 * undoMs / undone, undoMs / editMs);
        d.reset();
        removeFile(path);
    }

    // 3. The heap of 100,000 cell-edit steps.
    {
        const std::string path = base + "-memory.bin";
        makeFile(path, std::int64_t{4} << 20);
        auto d = open(path, temp);
        const int n = 100000;
        malloc_trim(0);
        const auto before = mallinfo2().uordblks;
        for (int i = 0; i < n; ++i) {
            const std::uint8_t b[4] = {std::uint8_t(i), std::uint8_t(i >> 8), 3, 4};
            d->writeData(std::int64_t{i} * 40, b, nullptr);
        }
        const auto after = mallinfo2().uordblks;
        std::printf("%d cell-edit steps: %.1f MiB of heap, %.0f bytes a step\n", n,
                    double(after - before) / (1 << 20), double(after - before) / n);
        d.reset();
        removeFile(path);
    }
    QDir(temp).removeRecursively();
    return 0;
}
