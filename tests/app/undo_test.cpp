// Undo and redo of the document's steps, checked against a model that simply
// keeps every state whole: the bytes of the working copy and the structure.
#include <functional>
#include <random>

#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

#include "addrecorddialog.h"
#include "appfixture.h"
#include "cutblank.h"
#include "fieldedits.h"
#include "recordedits.h"
#include "recordpane.h"
#include "segmentedits.h"
#include "segmentgrid.h"
#include "split.h"

namespace {

// What a step must put back: the bytes, the structure, the current segment
// and the data hint kinds.
struct State {
    QByteArray bytes;
    std::vector<vm::SegmentImage> images;
    std::vector<std::vector<vm::TypeEntry>> entries;
    int current = -1;
    vm::DataHintFlags hint{};

    bool sameStructure(const State& o) const {
        return images == o.images && entries == o.entries && hint == o.hint;
    }
    bool operator==(const State& o) const {
        return bytes == o.bytes && sameStructure(o) && current == o.current;
    }
};

QByteArray bytesOf(const Document& d) {
    const vm::FileStream* s = d.dataStream();
    QByteArray out(static_cast<int>(s ? s->size() : 0), '\0');
    if (s)
        s->readAt(
            0, {reinterpret_cast<std::uint8_t*>(out.data()), static_cast<std::size_t>(out.size())});
    return out;
}

State stateOf(const Document& d) {
    State s;
    s.bytes = bytesOf(d);
    for (const auto& seg : d.segments()) {
        s.images.push_back(seg->toImage());
        s.entries.push_back(seg->entries);
    }
    s.current = d.segments().indexOf(d.segments().current());
    s.hint = d.dataHintFlags();
    return s;
}

using Rng = std::mt19937;

int pick(Rng& rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

// A structure of a few segments laid one after the other, some running past
// the end of the file or overlapping, with fields of every kind.
vm::SegmentList randomStructure(Rng& rng, int fileSize) {
    vm::SegmentList list;
    int at = pick(rng, 0, 8);
    for (int i = pick(rng, 1, 4); i > 0; --i) {
        auto seg = std::make_unique<vm::Segment>();
        seg->setName("S" + std::to_string(pick(rng, 0, 99)));
        seg->begin = std::min(at, fileSize);
        seg->recordLength = pick(rng, 1, 12);
        seg->length = seg->recordLength * pick(rng, 0, 8);
        seg->anomaly = pick(rng, 0, 9) == 0;
        for (int f = pick(rng, 1, 4); f > 0; --f) {
            vm::TypeEntry e = vm::newTypeEntry(pick(rng, 0, 15), std::nullopt, seg.get());
            e.start = static_cast<std::uint16_t>(pick(rng, 0, seg->recordLength - 1));
            e.length = static_cast<std::uint16_t>(std::clamp<int>(e.length, 1, 8));
            seg->entries.push_back(e);
        }
        at += seg->length + pick(rng, -4, 6);
        at = std::max(at, 0);
        list.append(std::move(seg));
    }
    return list;
}

class UndoTest : public AppTest {
protected:
    // A document of its own on a new data file and type file: the state the
    // history starts from.
    std::unique_ptr<Document> openDocument(const QByteArray& bytes, vm::SegmentList& structure,
                                           const QString& name) {
        const QString data = dir + name;
        writeFile(data, bytes);
        vm::ViewSettings v;
        v.setPositionFormat(1);
        vm::DataHintFlags hint{};
        hint.fill(true);
        EXPECT_TRUE(vm::writeTypeFile(structure, v, hint, toNative(data + ".type")).ok);
        auto d = std::make_unique<Document>();
        d->setTempDir(tempDir);
        d->setUndoBudget(std::int64_t{1} << 40);
        QString error;
        EXPECT_TRUE(d->openData(data, &error)) << error.toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !d->copying(); }));
        EXPECT_TRUE(d->loadTypeFile(data + ".type", &error)) << error.toStdString();
        d->startHistory();
        return d;
    }

    QStringList workingFiles() const {
        return QDir(tempDir).entryList({QStringLiteral("~qzt*.tmp")}, QDir::Files);
    }
};

// The model: every state whole, the position among them, and the state
// last saved (-1 once it cannot be reached by undo and redo any more).
struct Model {
    std::vector<State> states;
    std::size_t pos = 0;
    long saved = 0;
    QString openBurst;

    void push(const State& s) {
        states.resize(pos + 1);
        if (saved > static_cast<long>(pos))
            saved = -1;
        states.push_back(s);
        ++pos;
    }
};

// One random change through the document's operations; what it was, for the
// trace. burst: the editor it typed into, empty for a change of another kind.
// edited: the place of the segment changed, for a burst.
std::string randomEdit(Document& d, Rng& rng, QString& burst, int& edited, const QString& folder,
                       int serial) {
    burst.clear();
    const vm::Progress none;
    const auto size = static_cast<int>(d.dataSize());
    vm::SegmentList& list = d.segments();
    auto anySegment = [&]() -> vm::Segment* {
        return list.empty() ? nullptr
                            : &list[static_cast<std::size_t>(pick(rng, 0, int(list.size()) - 1))];
    };
    d.setStructureMode(pick(rng, 0, 1) ? vm::StructMode::Edit : vm::StructMode::Reset);
    vm::Segment* s = anySegment();
    edited = list.indexOf(s);
    switch (pick(rng, 0, 17)) {
    case 0: { // a cell, now and then the same one again
        if (size == 0)
            return "no cell";
        static int last = 0;
        const int at = pick(rng, 0, 2) ? pick(rng, 0, size - 1) : std::min(last, size - 1);
        last = at;
        std::vector<std::uint8_t> b(static_cast<std::size_t>(pick(rng, 1, std::min(8, size - at))));
        d.dataStream()->readAt(at, b);
        for (auto& x : b)
            x = static_cast<std::uint8_t>(x ^ pick(rng, 1, 255));
        d.writeData(at, b, nullptr);
        // Keystrokes into one cell go on into one step until its editor
        // closes, whichever segment is current.
        burst = QStringLiteral("cell ") + QString::number(at) + ' ' + QString::number(b.size());
        edited = -1;
        return "cell at " + std::to_string(at);
    }
    case 1:
    case 2: { // typing into a segment editor
        if (!s)
            return "no segment";
        static const char* const kEditors[] = {"Begin", "Length", "Name", "Record Length"};
        const int which = pick(rng, 0, 3);
        burst = QString::fromLatin1(kEditors[which]);
        const int value = pick(rng, 0, size + 8);
        d.changeSegment(
            *s, burst,
            [&](vm::Segment& seg) {
                if (which == 0)
                    vm::editSegmentBegin(seg, value, size);
                else if (which == 1)
                    vm::editSegmentLength(seg, value, size);
                else if (which == 2)
                    seg.setName("N" + std::to_string(value % 7));
                else
                    vm::editRecordLength(seg, value % 13, size);
            },
            burst);
        return "typed " + burst.toStdString() + " " + std::to_string(value);
    }
    case 3: { // the field frame
        if (!s || s->entries.empty())
            return "no fields";
        std::vector<int> rows{pick(rng, 0, int(s->entries.size()) - 1)};
        if (s->entries.size() > 1 && pick(rng, 0, 1))
            rows.push_back((rows[0] + 1) % int(s->entries.size()));
        std::sort(rows.begin(), rows.end());
        const int part = pick(rng, 0, 3);
        burst = QStringLiteral("frame ") + QString::number(part) + QString::number(rows[0]) +
                QString::number(rows.size());
        const int value = pick(rng, 0, 20);
        d.changeFields(
            *s, burst,
            [&](vm::Segment& seg) {
                switch (part) {
                case 0:
                    return vm::frameSetKind(seg, rows, value % 16);
                case 1:
                    return vm::frameSetStart(seg, rows, std::to_string(value));
                case 2:
                    return vm::frameSetLength(seg, rows, std::to_string(value + 1));
                default:
                    return vm::frameSetMemo(seg, rows, "m" + std::to_string(value));
                }
            },
            burst);
        return "frame part " + std::to_string(part);
    }
    case 4:
        d.addNewSegment(list.empty() ? -1 : pick(rng, -1, int(list.size()) - 1));
        return "new segment";
    case 5:
        if (s)
            d.deleteSegment(*s, none, nullptr);
        return "delete segment";
    case 6:
        if (s)
            d.pasteSegment(*s, pick(rng, -1, int(list.size()) - 1), none, nullptr);
        return "paste segment";
    case 7:
        if (list.size() > 1)
            d.moveSegments(QStringLiteral("move"), [&](vm::SegmentList& l) {
                if (pick(rng, 0, 1))
                    vm::sortSegments(l);
                else
                    vm::moveSegments(l, {std::size_t(pick(rng, 0, int(l.size()) - 1))},
                                     pick(rng, 0, int(l.size()) - 1));
            });
        return "move segments";
    case 8: {
        vm::DataHintFlags f{};
        for (auto& x : f)
            x = pick(rng, 0, 1);
        d.setDataHintFlags(f);
        return "data hint";
    }
    case 9: // delete fields, with their bytes in edit mode
        if (s && !s->entries.empty())
            d.fieldAction(
                *s, QStringLiteral("delete"), none,
                [&](vm::WorkingFile& wf, vm::Segment& seg, const vm::Progress& p) {
                    return vm::deleteFields(d.structMode(), wf, seg,
                                            {pick(rng, 0, int(seg.entries.size()) - 1)}, p);
                },
                nullptr);
        return "delete field";
    case 10: { // add a field with its bytes
        if (!s || d.structMode() != vm::StructMode::Edit)
            return "no add";
        vm::NewFieldRequest r;
        r.kind = pick(rng, 0, 15);
        r.length = pick(rng, 1, 4);
        r.memo = "new";
        const vm::NewFieldResult f = vm::prepareNewField(*s, r);
        if (f.field)
            d.fieldAction(
                *s, QStringLiteral("add"), none,
                [&](vm::WorkingFile& wf, vm::Segment& seg, const vm::Progress& p) {
                    return vm::addField(wf, seg, *f.field, vm::defaultLocale(), p);
                },
                nullptr);
        return "add field";
    }
    case 11: { // convert a field
        if (!s || s->entries.empty() || d.structMode() != vm::StructMode::Edit)
            return "no convert";
        const auto index = static_cast<std::size_t>(pick(rng, 0, int(s->entries.size()) - 1));
        const vm::TargetResult t = vm::transformTarget(s->entries[index], pick(rng, 0, 15),
                                                       std::to_string(pick(rng, 1, 8)));
        if (t.entry)
            d.fieldAction(
                *s, QStringLiteral("convert"), none,
                [&](vm::WorkingFile& wf, vm::Segment& seg, const vm::Progress& p) {
                    return vm::convertField(wf, seg, index, *t.entry, vm::defaultLocale(), p);
                },
                nullptr);
        return "convert field";
    }
    case 12:
    case 13: { // records in or out
        if (!s || s->anomaly)
            return "no records";
        const bool add = pick(rng, 0, 1);
        d.rewrite(
            QStringLiteral("records"), none,
            [&](vm::WorkingFile& wf, vm::SegmentList& l, const vm::Progress& p) {
                vm::FileResult r;
                if (add) {
                    vm::AddRecordsRequest q;
                    q.position = pick(rng, 0, std::max(s->recordCount, 0));
                    q.count = pick(rng, 1, 3);
                    q.fillNear = pick(rng, 0, 1);
                    r = vm::addRecordsToSegment(wf, l, *s, q, p);
                } else {
                    vm::DeleteRecordsRequest q;
                    q.first = pick(rng, 0, std::max(s->recordCount - 1, 0));
                    q.last = q.first + pick(rng, 0, 2);
                    r = vm::deleteRecordsFromSegment(wf, l, *s, q, p);
                }
                return Document::RewriteResult{r.ok, r.error};
            },
            nullptr);
        return add ? "add records" : "delete records";
    }
    case 14:
        d.rewrite(
            QStringLiteral("cut blank"), none,
            [&](vm::WorkingFile& wf, vm::SegmentList& l, const vm::Progress& p) {
                const vm::CutBlankResult r = vm::cutBlank(wf, l, d.viewSettings(), p);
                return Document::RewriteResult{r.file.ok && !r.refused, r.file.error};
            },
            nullptr);
        return "cut blank";
    case 15: { // split into the open file
        std::vector<vm::SplitPiece> pieces;
        for (int i = pick(rng, 1, 3); i > 0; --i) {
            const int b = pick(rng, 0, std::max(size - 1, 0));
            pieces.push_back({b, std::min(size, b + pick(rng, 1, 40))});
        }
        const bool append = pick(rng, 0, 1);
        d.rewrite(
            QStringLiteral("split"), none,
            [&](vm::WorkingFile& wf, vm::SegmentList&, const vm::Progress& p) {
                const vm::FileResult r = vm::splitIntoWorkingFile(wf, nullptr, pieces, append, p);
                return Document::RewriteResult{r.ok, r.error};
            },
            nullptr);
        return "split";
    }
    case 16: // segments made for the same bytes in place of one, or added
        d.replaceSegment(pick(rng, 0, 2) ? s : nullptr, QStringLiteral("replace"),
                         randomStructure(rng, size));
        return "replace segments";
    default: { // another type file
        vm::SegmentList other = randomStructure(rng, size);
        const QString path = folder + QStringLiteral("load") + QString::number(serial) + ".type";
        vm::ViewSettings v;
        vm::DataHintFlags hint{};
        hint[static_cast<std::size_t>(pick(rng, 0, int(hint.size()) - 1))] = true;
        vm::writeTypeFile(other, v, hint, toNative(path));
        d.loadTypeFile(path, nullptr);
        return "load type file";
    }
    }
}

// The actions of a sequence so far, one a line, for a failure's message.
std::string joined(const std::vector<std::string>& trace) {
    std::string out;
    for (const std::string& t : trace)
        out += t + '\n';
    return out;
}

// Back at the saved state nothing is marked changed; where the bytes differ
// from the saved ones the data is.
void checkMarks(const Document& d, const Model& m, const std::string& after) {
    if (m.saved == static_cast<long>(m.pos)) {
        EXPECT_FALSE(d.dataChanged()) << after;
        EXPECT_FALSE(d.typeChanged()) << after;
    } else if (m.saved < 0 || m.states[m.pos].bytes != m.states[std::size_t(m.saved)].bytes) {
        EXPECT_TRUE(d.dataChanged()) << after;
    }
}

TEST_F(UndoTest, RandomEditsUndoAndRedoAgreeWithAModelOfWholeStates) {
    int sequences = 0;
    for (unsigned seed = 1; seed <= 240; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Rng rng(seed);
        const int size = pick(rng, 40, 400);
        QByteArray bytes(size, '\0');
        for (auto& b : bytes)
            b = static_cast<char>(pick(rng, 0, 255));
        vm::SegmentList structure = randomStructure(rng, size);
        const QString name = QStringLiteral("u") + QString::number(seed) + ".bin";
        auto d = openDocument(bytes, structure, name);
        Model m;
        m.states.push_back(stateOf(*d));
        ASSERT_FALSE(d->canUndo());
        std::vector<std::string> trace;

        // 50 edits, each undone and redone now and then, saved now and then.
        for (int edits = 0; edits < 50;) {
            const int action = pick(rng, 0, 9);
            if (action == 0) {
                trace.push_back("undo");
                m.openBurst.clear();
                ASSERT_EQ(d->undo() != nullptr, m.pos > 0) << trace.back();
                if (m.pos > 0)
                    --m.pos;
            } else if (action == 1) {
                trace.push_back("redo");
                m.openBurst.clear();
                ASSERT_EQ(d->redo() != nullptr, m.pos + 1 < m.states.size()) << trace.back();
                if (m.pos + 1 < m.states.size())
                    ++m.pos;
            } else if (action == 2) {
                trace.push_back("save");
                d->setDataChanged(false);
                d->setTypeChanged(false);
                m.openBurst.clear();
                m.saved = static_cast<long>(m.pos);
            } else if (action == 3) {
                trace.push_back("focus leaves");
                d->endEditBurst();
                m.openBurst.clear();
            } else {
                ++edits;
                const std::size_t stepsBefore = d->undoableSteps();
                QString burst;
                int edited = -1;
                trace.push_back(
                    randomEdit(*d, rng, burst, edited, dir, static_cast<int>(seed) * 100 + edits));
                const State now = stateOf(*d);
                const QString key = burst.isEmpty()
                                        ? QString()
                                        : burst + QLatin1Char('@') + QString::number(edited);
                const bool continues = !key.isEmpty() && key == m.openBurst;
                if (continues) {
                    // Typing on in one editor: the burst's step follows it, and
                    // goes when the typing comes back to where it began.
                    ASSERT_LE(d->undoableSteps(), stepsBefore) << trace.back();
                    if (now != m.states[m.pos]) {
                        if (now.sameStructure(m.states[m.pos - 1]) &&
                            now.bytes == m.states[m.pos - 1].bytes) {
                            ASSERT_EQ(d->undoableSteps(), stepsBefore - 1) << trace.back();
                            --m.pos;
                            m.states.resize(m.pos + 1);
                            m.openBurst.clear();
                        } else {
                            m.states[m.pos] = now;
                        }
                    }
                } else if (d->undoableSteps() == stepsBefore + 1) {
                    m.push(now);
                    m.openBurst = key;
                } else {
                    // No step (a change that failed or changed nothing, which
                    // leaves a burst as it was): nothing may have changed.
                    ASSERT_EQ(d->undoableSteps(), stepsBefore) << trace.back();
                    ASSERT_TRUE(now == m.states[m.pos]) << joined(trace);
                }
            }
            ASSERT_TRUE(stateOf(*d) == m.states[m.pos]) << joined(trace);
            checkMarks(*d, m, trace.back());
        }
        // Undo all: the very start; redo all: the very end.
        while (d->undo()) {
        }
        m.pos = 0;
        ASSERT_TRUE(stateOf(*d) == m.states.front());
        checkMarks(*d, m, "undo all");
        while (d->redo()) {
        }
        m.pos = m.states.size() - 1;
        ASSERT_TRUE(stateOf(*d) == m.states.back());
        checkMarks(*d, m, "redo all");
        // Closing drops the history and every copy it kept.
        d->close();
        ASSERT_FALSE(d->canUndo());
        ASSERT_TRUE(workingFiles().isEmpty()) << workingFiles().join(' ').toStdString();
        ++sequences;
    }
    EXPECT_EQ(sequences, 240);
}

} // namespace

TEST_F(UndoTest, KeptCopiesStayWithinTheBudgetAndTheOldestStepsLeaveTheHistory) {
    vm::SegmentList structure;
    {
        auto seg = std::make_unique<vm::Segment>();
        seg->setName("R");
        seg->recordLength = 10;
        seg->length = 1000;
        seg->entries.push_back(vm::newTypeEntry(0, std::string_view("v"), seg.get()));
        structure.append(std::move(seg));
    }
    auto d = openDocument(countingBytes(1000), structure, QStringLiteral("b.bin"));
    QSignalSpy trimmed(d.get(), &Document::historyTrimmed);
    auto addRecord = [&] {
        ASSERT_TRUE(d->rewrite(
            QStringLiteral("add"), {},
            [&](vm::WorkingFile& wf, vm::SegmentList& l, const vm::Progress& p) {
                vm::AddRecordsRequest r;
                const vm::FileResult f = vm::addRecordsToSegment(wf, l, l[0], r, p);
                return Document::RewriteResult{f.ok, f.error};
            },
            nullptr));
    };
    // Nothing kept: the copy a rewrite replaced goes at once, and its step
    // with it.
    d->setUndoBudget(0);
    addRecord();
    EXPECT_EQ(workingFiles().size(), 1);
    EXPECT_FALSE(d->canUndo());
    ASSERT_EQ(trimmed.size(), 1);
    EXPECT_EQ(trimmed.last(), (QList<QVariant>{1, 0}));

    // Room for two copies of about 1 KB: the third rewrite pushes out the
    // first, and the cell edit before it, which only it leads back to.
    d->setUndoBudget(2500);
    const std::uint8_t byte[] = {0xEE};
    d->writeData(5, byte, nullptr);
    addRecord(); // keeps 1010 bytes
    const State second = stateOf(*d);
    addRecord(); // 2030
    EXPECT_EQ(trimmed.size(), 1);
    addRecord(); // 3060: the oldest copy goes
    ASSERT_EQ(trimmed.size(), 2);
    EXPECT_EQ(trimmed.last(), (QList<QVariant>{2, 2}));
    EXPECT_EQ(d->undoableSteps(), 2u);
    EXPECT_EQ(workingFiles().size(), 3);
    ASSERT_TRUE(d->undo() && d->undo());
    EXPECT_FALSE(d->canUndo());
    EXPECT_TRUE(stateOf(*d) == second);
    d.reset(); // the document goes, and every copy with it
    EXPECT_TRUE(workingFiles().isEmpty());
}

// --- through the main window ---------------------------------------------------------

namespace {

class UndoWindowTest : public AppTest {
protected:
    void openExample() {
        data = dir + QStringLiteral("w.bin");
        writeFile(data, countingBytes(100));
        writeType(data + QStringLiteral(".type"), kRecordsExample);
        openThroughDialog(data);
    }
    void press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
        QTest::keyClick(w, key, mods);
    }
    // Records inserted in edit mode through the record menu of a right
    // click on record 2 of Recs.
    void insertRecords(int count) {
        trigger("AcanEditType");
        ASSERT_TRUE(doc().viewSettings().canEditStructure());
        SegmentGrid* recs = window().recordPane()->mainGrid(&doc().segments()[1]);
        ASSERT_TRUE(recs && recs->isVisible());
        QTest::mouseClick(recs->viewport(), Qt::RightButton, {}, recs->cellRect(0, 3).center());
        window().findChild<QMenu*>(QStringLiteral("RecordMenu"))->hide();
        prompts.modals.push_back([count](QDialog& d) {
            static_cast<TAddRecord&>(d).countBox()->setText(QString::number(count));
            d.findChild<QPushButton*>(QStringLiteral("BOk"))->click();
            return d.result();
        });
        trigger("AaddRecord");
        ASSERT_EQ(prompts.unanswered, 0);
        ASSERT_EQ(doc().dataSize(), 100 + 8 * count)
            << prompts.messageTexts().join('|').toStdString();
    }
    QStringList editMenu() {
        QStringList out;
        for (QAction* a : window().findChild<QMenu*>(QStringLiteral("Edit1"))->actions())
            out << (a->isSeparator() ? QStringLiteral("|") : a->text());
        return out;
    }
    QString data;
};

} // namespace

TEST_F(UndoWindowTest, CtrlZTakesBackACellEditAndARecordInsertNamedInTheEditMenu) {
    openExample();
    EXPECT_EQ(editMenu().mid(0, 2), (QStringList{"Undo", "Redo"}));
    EXPECT_FALSE(act("Aundo")->isEnabled());
    EXPECT_FALSE(act("Aredo")->isEnabled());
    const QByteArray start = streamBytes(doc().dataStream());

    // A cell typed into key by key is one step.
    vm::Segment* head = &doc().segments()[0];
    SegmentGrid* grid = window().recordPane()->mainGrid(head);
    ASSERT_NE(grid, nullptr);
    grid->selectCell(1, 1);
    ASSERT_TRUE(grid->openEditor());
    grid->cellEditor()->selectAll();
    QTest::keyClicks(grid->cellEditor(), QStringLiteral("4660"));
    press(grid->cellEditor(), Qt::Key_Return, Qt::NoModifier);
    EXPECT_NE(streamBytes(doc().dataStream()), start);
    EXPECT_TRUE(act("Aundo")->isEnabled());
    EXPECT_EQ(act("Aundo")->text(), QStringLiteral("Undo Edit Cell in Head"));
    EXPECT_EQ(doc().undoableSteps(), 1u);

    press(grid, Qt::Key_Z);
    EXPECT_EQ(streamBytes(doc().dataStream()), start);
    EXPECT_FALSE(doc().dataChanged());
    EXPECT_FALSE(act("AsaveData")->isEnabled());
    EXPECT_FALSE(act("Aundo")->isEnabled());
    EXPECT_EQ(act("Aredo")->text(), QStringLiteral("Redo Edit Cell in Head"));
    press(grid, Qt::Key_Y);
    EXPECT_NE(streamBytes(doc().dataStream()), start);
    EXPECT_TRUE(doc().dataChanged());
    const QByteArray edited = streamBytes(doc().dataStream());

    // Three records inserted in edit mode: the undo is a switch back to the
    // previous working copy, kept open for it.
    const std::string before = doc().workingFile().name;
    insertRecords(3);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(act("Aundo")->text(), QStringLiteral("Undo Insert 3 Records in Recs"));
    EXPECT_EQ(doc().segments()[2].begin, 72);
    EXPECT_TRUE(vm::isFileInUse(before)); // kept, and held
    const std::string after = doc().workingFile().name;

    press(window().recordPane(), Qt::Key_Z);
    EXPECT_EQ(doc().workingFile().name, before);
    EXPECT_EQ(streamBytes(doc().dataStream()), edited);
    EXPECT_EQ(doc().segments()[2].begin, 48);
    EXPECT_EQ(doc().segments()[1].recordCount, 5);
    EXPECT_EQ(doc().segments().current(), &doc().segments()[1]);
    EXPECT_TRUE(vm::isFileInUse(after)); // kept for the redo
    press(window().recordPane(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(doc().dataSize(), 124);
    EXPECT_EQ(doc().segments()[2].begin, 72);
    EXPECT_EQ(editMenu().at(0), QStringLiteral("Undo Insert 3 Records in Recs"));

    // Both undone: the file as saved, nothing marked; the history holds its
    // steps until the document closes, when every copy goes.
    trigger("Aundo");
    trigger("Aundo");
    EXPECT_EQ(streamBytes(doc().dataStream()), start);
    EXPECT_FALSE(doc().dataChanged());
    EXPECT_FALSE(doc().typeChanged());
    EXPECT_TRUE(act("Aredo")->isEnabled());
    EXPECT_EQ(QDir(tempDir).entryList(QDir::Files).size(), 2); // the copy and the kept one
    // Another file opened: only its own copy is left.
    const QString other = dir + QStringLiteral("other.bin");
    writeFile(other, countingBytes(10));
    openThroughDialog(other);
    EXPECT_FALSE(act("Aredo")->isEnabled());
    EXPECT_EQ(QDir(tempDir).entryList(QDir::Files),
              QStringList{QFileInfo(doc().workingFileName()).fileName()});
    trigger("AcloseAll");
    EXPECT_TRUE(QDir(tempDir).entryList(QDir::Files).isEmpty());
}

// A budget that keeps no copy: the copy a rewrite replaced goes at once,
// the steps only it led back to leave the history, and the status line says
// what is left.
TEST_F(UndoWindowTest, OverTheDiskBudgetTheStatusLineSaysHowManyStepsRemain) {
    platform::openSettings()->setValue(QStringLiteral("UndoDiskBudget"), 0);
    openExample();
    const std::uint8_t byte[] = {0x5A};
    ASSERT_TRUE(doc().writeData(3, byte, nullptr));
    doc().endEditBurst();
    ASSERT_EQ(doc().undoableSteps(), 1u);
    insertRecords(1);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(window().statusMessage(),
              QStringLiteral("The copies kept for undo reached their disk budget: the oldest 2 "
                             "steps left the history; 0 steps can be undone."));
    EXPECT_FALSE(act("Aundo")->isEnabled());
    EXPECT_EQ(act("Aundo")->text(), QStringLiteral("Undo"));
    EXPECT_EQ(QDir(tempDir).entryList(QDir::Files).size(), 1);
    // Still changed: the history no longer reaches the saved state.
    EXPECT_TRUE(doc().dataChanged());
}

#ifdef VELLOMARQUE_EXE
// The program itself: at start it removes the working copies nobody holds
// (a killed instance's), never one a running instance holds; at its end its
// own copy goes.
TEST_F(UndoTest, TheProgramSweepsLeftoverCopiesAtStartAndRemovesItsOwnAtTheEnd) {
    const QString tmp = dir + QStringLiteral("tmp/");
    QDir().mkpath(tmp);
    writeFile(tmp + QStringLiteral("~qzt3.tmp"), "left by a killed instance");
    writeFile(tmp + QStringLiteral("~qzt17.tmp"), "held by a running one");
    vm::FileStream held;
    ASSERT_TRUE(
        held.open(toNative(tmp + QStringLiteral("~qzt17.tmp")), vm::FileStream::Mode::ReadWrite));
    ASSERT_TRUE(held.lockExclusive());
    const QString data = dir + QStringLiteral("p.bin");
    writeFile(data, countingBytes(300));

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), tmp);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir + QStringLiteral("config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Pictures the window once the file is open, then ends as a quit does.
    env.insert(QStringLiteral("VELLOMARQUE_SCREENSHOT"), dir + QStringLiteral("shot.png"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VELLOMARQUE_EXE), {data});
    bool sawCopy = false;
    while (!p.waitForFinished(50))
        sawCopy = sawCopy || QFile::exists(tmp + QStringLiteral("~qzt0.tmp"));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(sawCopy);
    EXPECT_EQ(QDir(tmp).entryList(QDir::Files), QStringList{QStringLiteral("~qzt17.tmp")});
}
#endif
