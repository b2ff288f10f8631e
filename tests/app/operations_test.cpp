// Every document operation announces exactly what it changed, and keeps what
// it takes to put it back. The announcements expected are worked out here
// again, from the model as it stood before and after each operation.
#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <tuple>

#include "appfixture.h"
#include "model.h"
#include "operation.h"
#include "recordedits.h"
#include "segmentedits.h"

namespace {

// A segment's fields as the type file keeps them, but for the column widths:
// those are the grids', handed to the model before every change.
using Fields = std::vector<std::tuple<int, int, int, std::string>>;
Fields fieldsOf(const std::vector<vm::TypeEntry>& entries) {
    Fields out;
    for (const vm::TypeEntry& e : entries)
        out.emplace_back(e.kind, e.start, e.length, e.memo);
    return out;
}

// What the model holds at one moment, seen from outside the document.
struct Snapshot {
    QByteArray bytes;
    std::string workingFile;
    std::vector<const vm::Segment*> order; // identities, never followed after a change
    std::vector<vm::SegmentImage> images;
    std::vector<Fields> entries;
    const vm::Segment* current = nullptr;
    vm::DataHintFlags hint{};
};

class OperationTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        const QString data = dir + QStringLiteral("o.bin");
        writeFile(data, countingBytes(96));
        writeType(data + QStringLiteral(".type"),
                  {{"A", 0, 8, 32, {{7, 0, 4, "a0"}, {5, 4, 2, "a1"}, {1, 6, 1, "a2"}}},
                   {"B", 32, 4, 32, {{7, 0, 4, "b"}}},
                   {"C", 64, 16, 32, {{7, 0, 4, "c"}}}});
        openThroughDialog(data);
        // Counted as the grids count them once shown, so that no count
        // changes behind an operation's back.
        for (auto& seg : doc().segments())
            vm::computeRecordCount(seg.get(), doc().dataSize());
        Document* d = &doc();
        auto hear = [this, d](auto signal, const char* name) {
            QObject::connect(d, signal, [this, name](auto... subject) {
                QString text = QString::fromLatin1(name);
                ((text += QLatin1Char(' ') + describe(subject)), ...);
                heard.insert(text.toStdString());
            });
        };
        hear(&ModelEvents::structureReplaced, "structureReplaced");
        hear(&ModelEvents::currentSegmentChanged, "currentSegmentChanged");
        hear(&ModelEvents::segmentChanged, "segmentChanged");
        hear(&ModelEvents::segmentInserted, "segmentInserted");
        hear(&ModelEvents::segmentAboutToBeRemoved, "segmentAboutToBeRemoved");
        hear(&ModelEvents::segmentsMoved, "segmentsMoved");
        hear(&ModelEvents::fieldsChanged, "fieldsChanged");
        hear(&ModelEvents::layoutReplaced, "layoutReplaced");
        hear(&ModelEvents::dataHintChanged, "dataHintChanged");
        QObject::connect(&doc(), &ModelEvents::bytesChanged, [this](qint64 at, qint64 length) {
            for (qint64 i = at; i < at + length; ++i)
                written.insert(i);
        });
        QObject::connect(&doc(), &Document::operationDone,
                         [this](const Operation& op) { done.push_back(op); });
    }

    // A segment as announced: its place in the list when it is announced.
    QString describe(vm::Segment* s) { return QString::number(doc().segments().indexOf(s)); }

    Snapshot snapshot() {
        Snapshot s;
        s.bytes = streamBytes(doc().dataStream());
        s.workingFile = doc().workingFile().name;
        for (const auto& seg : doc().segments()) {
            s.order.push_back(seg.get());
            s.images.push_back(seg->toImage());
            s.entries.push_back(fieldsOf(seg->entries));
        }
        s.current = doc().segments().current();
        s.hint = doc().dataHintFlags();
        return s;
    }

    // What a change from a to b must announce, segments by their place in b
    // (in a for one that left). A rewrite or a new order stands for everything.
    static std::set<std::string> expected(const Snapshot& a, const Snapshot& b) {
        if (a.workingFile != b.workingFile)
            return {"layoutReplaced"};
        std::set<std::string> out;
        auto place = [](const Snapshot& s, const vm::Segment* p) {
            return static_cast<int>(std::find(s.order.begin(), s.order.end(), p) - s.order.begin());
        };
        std::vector<const vm::Segment*> kept;
        for (const vm::Segment* p : a.order)
            if (place(b, p) < static_cast<int>(b.order.size()))
                kept.push_back(p);
            else
                out.insert("segmentAboutToBeRemoved " + std::to_string(place(a, p)));
        std::vector<const vm::Segment*> keptInB;
        for (const vm::Segment* p : b.order)
            if (place(a, p) < static_cast<int>(a.order.size()))
                keptInB.push_back(p);
            else
                out.insert("segmentInserted " + std::to_string(place(b, p)));
        if (kept != keptInB)
            return {"segmentsMoved"};
        for (const vm::Segment* p : kept) {
            const auto i = static_cast<std::size_t>(place(a, p));
            const auto j = static_cast<std::size_t>(place(b, p));
            if (a.images[i] != b.images[j])
                out.insert("segmentChanged " + std::to_string(j));
            if (a.entries[i] != b.entries[j])
                out.insert("fieldsChanged " + std::to_string(j));
        }
        if (a.current != b.current)
            out.insert("currentSegmentChanged " +
                       std::to_string(b.current ? place(b, b.current) : -1));
        if (a.hint != b.hint)
            out.insert("dataHintChanged");
        return out;
    }

    // Runs an operation and checks what it announced against what changed.
    void check(const char* what, const std::function<void()>& operation, bool expectsOperation) {
        SCOPED_TRACE(what);
        const Snapshot before = snapshot();
        heard.clear();
        written.clear();
        done.clear();
        operation();
        const Snapshot after = snapshot();
        EXPECT_EQ(heard, expected(before, after));
        // Bytes written in place: every byte that differs was announced.
        if (before.workingFile == after.workingFile) {
            ASSERT_EQ(before.bytes.size(), after.bytes.size());
            for (qsizetype i = 0; i < after.bytes.size(); ++i)
                if (before.bytes[i] != after.bytes[i]) {
                    EXPECT_TRUE(written.count(i)) << "byte " << i;
                }
        }
        ASSERT_EQ(done.size(), expectsOperation ? 1u : 0u);
        if (expectsOperation)
            checkOperation(done.front(), before, after);
    }

    // The operation keeps the state on both sides of its change.
    static void checkOperation(const Operation& op, const Snapshot& a, const Snapshot& b) {
        EXPECT_EQ(op.changesData(), a.bytes != b.bytes || a.workingFile != b.workingFile);
        const auto index = [](const Snapshot& s, const vm::Segment* p) {
            const auto at = std::find(s.order.begin(), s.order.end(), p);
            return at == s.order.end() ? -1 : static_cast<int>(at - s.order.begin());
        };
        EXPECT_EQ(op.currentBefore, index(a, a.current));
        EXPECT_EQ(op.currentAfter, index(b, b.current));
        const auto sameStructure = [](const StructureState& state, const Snapshot& s) {
            EXPECT_EQ(state.segments.size(), s.order.size());
            for (std::size_t i = 0; i < std::min(state.segments.size(), s.order.size()); ++i) {
                EXPECT_EQ(state.segments[i]->toImage(), s.images[i]) << i;
                EXPECT_EQ(fieldsOf(state.segments[i]->entries), s.entries[i]) << i;
            }
            EXPECT_EQ(state.dataHint, s.hint);
        };
        if (const auto* c = std::get_if<change::Bytes>(&op.change)) {
            const auto at = static_cast<qsizetype>(c->offset);
            const auto n = static_cast<qsizetype>(c->after.size());
            EXPECT_EQ(a.bytes.mid(at, n),
                      QByteArray(reinterpret_cast<const char*>(c->before.data()), n));
            EXPECT_EQ(b.bytes.mid(at, n),
                      QByteArray(reinterpret_cast<const char*>(c->after.data()), n));
        } else if (const auto* c = std::get_if<change::SegmentValues>(&op.change)) {
            EXPECT_EQ(c->before->toImage(), a.images[static_cast<std::size_t>(c->index)]);
            EXPECT_EQ(c->after->toImage(), b.images[static_cast<std::size_t>(c->index)]);
        } else if (const auto* c = std::get_if<change::Fields>(&op.change)) {
            EXPECT_EQ(fieldsOf(c->before), a.entries[static_cast<std::size_t>(c->index)]);
            EXPECT_EQ(fieldsOf(c->after), b.entries[static_cast<std::size_t>(c->index)]);
        } else if (const auto* c = std::get_if<change::InsertSegment>(&op.change)) {
            EXPECT_EQ(c->segment->toImage(), b.images[static_cast<std::size_t>(c->index)]);
        } else if (const auto* c = std::get_if<change::RemoveSegment>(&op.change)) {
            EXPECT_EQ(c->segment->toImage(), a.images[static_cast<std::size_t>(c->index)]);
        } else if (const auto* c = std::get_if<change::ReplaceSegments>(&op.change)) {
            const auto at = static_cast<std::size_t>(c->index);
            ASSERT_EQ(b.order.size() + c->before.size(), a.order.size() + c->after.size());
            for (std::size_t i = 0; i < c->before.size(); ++i) {
                EXPECT_EQ(c->before[i]->toImage(), a.images[at + i]) << i;
                EXPECT_EQ(fieldsOf(c->before[i]->entries), a.entries[at + i]) << i;
            }
            for (std::size_t i = 0; i < c->after.size(); ++i) {
                EXPECT_EQ(c->after[i]->toImage(), b.images[at + i]) << i;
                EXPECT_EQ(fieldsOf(c->after[i]->entries), b.entries[at + i]) << i;
            }
        } else if (const auto* c = std::get_if<change::MoveSegments>(&op.change)) {
            sameStructure(*c->before, a);
            sameStructure(*c->after, b);
        } else if (const auto* c = std::get_if<change::Rewrite>(&op.change)) {
            EXPECT_EQ(c->workingFileBefore, a.workingFile);
            EXPECT_EQ(c->workingFileAfter, b.workingFile);
            // The previous copy stays, so that going back needs no rewrite.
            EXPECT_EQ(QFile(fromNative(c->workingFileBefore)).size(), a.bytes.size());
            sameStructure(*c->before, a);
            sameStructure(*c->after, b);
        } else if (const auto* c = std::get_if<change::DataHint>(&op.change)) {
            EXPECT_EQ(c->before, a.hint);
            EXPECT_EQ(c->after, b.hint);
        } else {
            ADD_FAILURE() << "an operation of a kind this test does not know";
        }
    }

    vm::Segment& seg(std::size_t i) { return doc().segments()[i]; }

    std::set<std::string> heard;
    std::set<qint64> written;
    std::vector<Operation> done;
};

} // namespace

TEST_F(OperationTest, EachOperationAnnouncesExactlyWhatItChangedAndKeepsBothSides) {
    auto label = [](const char* text) { return QString::fromLatin1(text); };
    const std::uint8_t bytes[] = {0xAA, 0xBB};
    check(
        "a cell", [&] { doc().writeData(33, bytes, nullptr); }, true);
    check(
        "a name",
        [&] {
            doc().changeSegment(seg(1), label("name"), [](vm::Segment& s) { s.setName("B2"); });
        },
        true);
    check(
        "no change",
        [&] { doc().changeFields(seg(0), label("none"), [](vm::Segment&) { return false; }); },
        false);
    check(
        "a kind",
        [&] {
            doc().changeFields(seg(0), label("kind"),
                               [](vm::Segment& s) { return vm::frameSetKind(s, {1}, 6); });
        },
        true);
    check(
        "the current segment", [&] { doc().setCurrentSegment(&seg(2)); }, false);
    doc().setStructureMode(vm::StructMode::Reset);
    check(
        "a new segment", [&] { doc().addNewSegment(1); }, true);
    // Inside the file, so that no grid cuts it to the file's end later.
    check(
        "a length",
        [&] {
            doc().changeSegment(seg(1), label("length"), [](vm::Segment& s) { s.length = 10; });
        },
        true);
    check(
        "a segment out", [&] { doc().deleteSegment(seg(3), {}, nullptr); }, true);
    check(
        "moved",
        [&] {
            doc().moveSegments(label("move"),
                               [](vm::SegmentList& l) { vm::moveSegments(l, {2}, 0); });
        },
        true);
    // One segment giving way to two made for its bytes, and segments added
    // where none gave way.
    const auto parts = [this](int length) {
        vm::SegmentList list;
        for (int begin : {32, 32 + length}) {
            auto s = vm::cloneSegment(seg(1));
            s->begin = begin;
            s->length = length;
            list.append(std::move(s));
        }
        return list;
    };
    check(
        "a segment given way", [&] { doc().replaceSegment(&seg(1), label("r"), parts(8)); },
        true);
    check(
        "segments added", [&] { doc().replaceSegment(nullptr, label("r"), parts(4)); }, true);
    vm::DataHintFlags hint{};
    hint[3] = true;
    check(
        "the data hint", [&] { doc().setDataHintFlags(hint); }, true);

    doc().setStructureMode(vm::StructMode::Edit);
    check(
        "a field with its bytes",
        [&] {
            doc().fieldAction(
                seg(1), label("delete"), {},
                [](vm::WorkingFile& wf, vm::Segment& s, const vm::Progress& p) {
                    return vm::deleteFields(vm::StructMode::Edit, wf, s, {2}, p);
                },
                nullptr);
        },
        true);
    check(
        "records",
        [&] {
            doc().rewrite(
                label("add"), {},
                [&](vm::WorkingFile& wf, vm::SegmentList& l, const vm::Progress& p) {
                    vm::AddRecordsRequest r;
                    r.count = 2;
                    const vm::FileResult f = vm::addRecordsToSegment(wf, l, seg(0), r, p);
                    return Document::RewriteResult{f.ok, f.error};
                },
                nullptr);
        },
        true);
    check(
        "a segment out with its bytes", [&] { doc().deleteSegment(seg(0), {}, nullptr); }, true);
    EXPECT_TRUE(doc().dataChanged());
    EXPECT_TRUE(doc().typeChanged());
}

TEST_F(OperationTest, ALoadedTypeFileReplacesTheStructureAndKeepsTheOneBefore) {
    const QString other = dir + QStringLiteral("other.type");
    writeType(other, {{"Only", 0, 2, 96, {{0, 0, 2, "w"}}}});
    heard.clear();
    const Snapshot before = snapshot();
    ASSERT_TRUE(files().readTypeFile(other));
    EXPECT_TRUE(heard.count("structureReplaced"));
    ASSERT_EQ(done.size(), 1u);
    const auto* load = std::get_if<change::LoadType>(&done.front().change);
    ASSERT_NE(load, nullptr);
    ASSERT_EQ(load->before->segments.size(), before.order.size());
    EXPECT_EQ(fieldsOf(load->before->segments[1]->entries), before.entries[1]);
    ASSERT_EQ(load->after->segments.size(), 1u);
    EXPECT_EQ(load->after->segments[0]->name, "Only");
    EXPECT_FALSE(doc().typeChanged());
}
