// The field list of the control panel with the real main window: the field
// actions in both modes through their actions, keys and dialogs, the field
// clipboard, drops, the frame's host and the field menu of Anomaly grids.
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include "fieldfixture.h"
#include "fieldlist.h"
#include "panelfixture.h"
#include "positionbar.h"
#include "recordpane.h"
#include "typefile.h"

namespace {

// Recs: five 8-byte records of four 2-byte fields; Tail right behind it. The
// structure has no findings, so edit mode comes on without a question.
const std::vector<SegmentSpec> kRecs = {
    {"Recs", 0, 8, 40, {{6, 0, 2, "a"}, {6, 2, 2, "b"}, {6, 4, 2, "c"}, {6, 6, 2, "d"}}},
    {"Tail", 40, 4, 20, {{7, 0, 4, "t"}}},
};

// Each of Recs' five records rebuilt by record(r) from the original bytes,
// then Tail's bytes unchanged.
template <typename Record> QByteArray rebuilt(Record record) {
    const QByteArray all = countingBytes(60);
    QByteArray out;
    for (int r = 0; r < 5; ++r)
        out += record(all.mid(8 * r, 8));
    return out + all.mid(40);
}

class FieldListTest : public PanelTest {
protected:
    FieldListTest() { realFieldList = true; }

    QTreeWidget* lv() { return find<QTreeWidget>("LV"); }
    FieldList& fields() { return dynamic_cast<FieldList&>(panel().fieldList()); }
    QAction* field(const char* action) { return find<QAction>(action); }
    void run(const char* action) { field(action)->trigger(); }
    void selectFields(std::initializer_list<int> rows) {
        lv()->clearSelection();
        for (int r : rows)
            lv()->topLevelItem(r)->setSelected(true);
    }
    std::vector<int> selectedFields() {
        std::vector<int> rows;
        for (const QModelIndex& i : lv()->selectionModel()->selectedRows())
            rows.push_back(i.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    std::vector<int> starts(int segment) {
        std::vector<int> out;
        for (const vm::TypeEntry& e : seg(segment).entries)
            out.push_back(e.start);
        return out;
    }
    std::string memos(int segment) {
        std::string out;
        for (const vm::TypeEntry& e : seg(segment).entries)
            out += e.memo;
        return out;
    }
    bool lit(const char* label) { return find<IndicatorLabel>(label)->isEnabled(); }
    void editMode() {
        trigger("AcanEditType");
        ASSERT_TRUE(doc().viewSettings().canEditStructure());
    }
    // Answers the next modal dialog: fill sets it up, then its OK button is clicked.
    void answerWithOk(const char* okButton, std::function<void(QDialog&)> fill) {
        prompts.modals.push_back([okButton, fill](QDialog& d) {
            fill(d);
            QTest::mouseClick(d.findChild<QPushButton*>(QString::fromLatin1(okButton)),
                              Qt::LeftButton);
            return d.result();
        });
    }
};

} // namespace

TEST_F(FieldListTest, TheEditMenuAndThePopupListTheActionsInOrder) {
    openWith(kRecs, countingBytes(60));
    QStringList headers;
    for (int c = 0; c < 5; ++c)
        headers << lv()->headerItem()->text(c);
    EXPECT_EQ(headers, QStringList({"", "Type Kind", "Start", "Length", "Memo"}));
    EXPECT_EQ(lv()->topLevelItem(3)->text(0), QStringLiteral("3"));
    EXPECT_EQ(lv()->topLevelItem(3)->text(1), QStringLiteral("2Bunsigned"));
    const QStringList fieldActions = {"Add a Type",      "Copy Type",    "Delete Type",
                                      "Insert Type",     "Paste Type",   "Cut Type",
                                      "Select All Type", "Converts Type"};
    const QString importC = QString::fromUtf8("Import C Struct\xE2\x80\xA6");
    EXPECT_EQ(captions(find<QMenu>("typeMenu")->actions()), fieldActions + QStringList({"|", importC}));
    EXPECT_EQ(captions(window().menuBar()->actions().at(1)->menu()->actions()),
              QStringList({"Undo", "Redo", "|", "New Segment", "Copy Segment", "Delete Segment", "Insert Segment",
                           "Past Segment", "Cut Segment", "|",
                           QString::fromUtf8("Describe From Data\xE2\x80\xA6"), "|"}) +
                  fieldActions +
                  QStringList({"|", importC, "|", "Add Record", "Delete Record", "|",
                               QString::fromUtf8("Export Records\xE2\x80\xA6"),
                               QString::fromUtf8("Import Records\xE2\x80\xA6")}));
    // Read-only: every field action is off.
    for (QAction* a : fields().actions())
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
}

TEST_F(FieldListTest, ResetModeAddInsertAndDeleteChangeOnlyTheDescription) {
    openWith({{"Recs", 0, 8, 40, {{7, 0, 4, "a"}, {7, 4, 4, "b"}}}, {"Tail", 40, 4, 20, {}}},
             countingBytes(60));
    trigger("AcanResetType");
    EXPECT_TRUE(field("A_addItem")->isEnabled());
    EXPECT_FALSE(field("A_insert")->isEnabled()); // needs a selected row

    run("A_addItem"); // nothing selected: a copy of the last, where it ends
    ASSERT_EQ(seg(0).entries.size(), 3u);
    EXPECT_EQ(starts(0), (std::vector<int>{0, 4, 8}));
    EXPECT_EQ(seg(0).entries[2].kind, 7);
    EXPECT_EQ(seg(0).entries[2].length, 4);
    EXPECT_EQ(seg(0).entries[2].memo, "M0");
    EXPECT_EQ(lv()->topLevelItem(2)->text(2), QStringLiteral("8"));

    selectFields({1});
    run("A_insert"); // before row 1, at its start: an overlap
    EXPECT_EQ(starts(0), (std::vector<int>{0, 4, 4, 8}));
    EXPECT_EQ(memos(0), "aM1bM0");
    EXPECT_TRUE(lit("LIsOverLay1"));
    EXPECT_TRUE(selectedFields().empty());

    selectFields({1, 2});
    run("A_del"); // the others keep their start: a gap
    EXPECT_EQ(starts(0), (std::vector<int>{0, 8}));
    EXPECT_EQ(lv()->topLevelItemCount(), 2);
    EXPECT_TRUE(lit("LHasBlank1"));
    EXPECT_FALSE(lit("LIsOverLay1"));
    EXPECT_EQ(seg(0).recordLength, 8);
    EXPECT_TRUE(doc().typeChanged());
    EXPECT_FALSE(doc().dataChanged());
    EXPECT_EQ(streamBytes(doc().dataStream()), countingBytes(60));
}

TEST_F(FieldListTest, EditModeDeleteOfTwoNonAdjacentFieldsIsSavedByteForByte) {
    const QString data = openWith(kRecs, countingBytes(60));
    editMode();
    selectFields({0, 2});
    run("A_del");
    EXPECT_EQ(memos(0), "bd");
    EXPECT_EQ(starts(0), (std::vector<int>{0, 2}));
    EXPECT_EQ(seg(0).recordLength, 4);
    EXPECT_EQ(seg(0).length, 20);
    EXPECT_EQ(seg(1).begin, 20); // Tail moved down by 5 x 4 bytes
    EXPECT_EQ(cell(1, 2), QStringLiteral("20"));
    EXPECT_EQ(lv()->topLevelItemCount(), 2);
    EXPECT_TRUE(doc().dataChanged());

    trigger("AsaveAll");
    const QByteArray expected =
        rebuilt([](const QByteArray& rec) { return rec.mid(2, 2) + rec.mid(6, 2); });
    EXPECT_EQ(readFile(data), expected);
    vm::TypeReadResult saved =
        vm::readTypeFile(toNative(data + QStringLiteral(".type")), expected.size());
    ASSERT_TRUE(saved.ok) << saved.message;
    EXPECT_EQ(saved.content.segments[0].recordLength, 4);
    EXPECT_EQ(saved.content.segments[1].begin, 20);
}

TEST_F(FieldListTest, EditModePasteWithNoSelectionAppendsEachRecordsOwnBytes) {
    openWith(kRecs, countingBytes(60));
    editMode();
    selectFields({1});
    run("A_copy");
    lv()->clearSelection();
    ASSERT_TRUE(field("A_paste")->isEnabled());
    run("A_paste");
    EXPECT_EQ(memos(0), "abcdb");
    EXPECT_EQ(starts(0), (std::vector<int>{0, 2, 4, 6, 8}));
    EXPECT_EQ(seg(0).recordLength, 10);
    EXPECT_EQ(seg(1).begin, 50);
    EXPECT_EQ(streamBytes(doc().dataStream()),
              rebuilt([](const QByteArray& rec) { return rec + rec.mid(2, 2); }));
    // A paste keeps the clipboard.
    EXPECT_TRUE(field("A_paste")->isEnabled());
    EXPECT_EQ(fields().clipboard().entries().size(), 1u);
}

TEST_F(FieldListTest, TheClipboardCrossesSegmentsInResetModeOnly) {
    openWith(kRecs, countingBytes(60));
    // Copies made in reset mode describe another segment's records: switching
    // edit mode on forgets them, so no paste reads bytes at their starts.
    trigger("AcanResetType");
    selectFields({1, 3});
    run("A_copy");
    selectRow(1);
    editMode();
    EXPECT_TRUE(fields().clipboard().empty());
    EXPECT_FALSE(field("A_paste")->isEnabled());
    QTest::keyClick(lv(), Qt::Key_V);
    EXPECT_EQ(streamBytes(doc().dataStream()), countingBytes(60));

    selectRow(0);
    selectFields({0});
    run("A_copy");
    selectRow(1);
    EXPECT_FALSE(field("A_paste")->isEnabled());
    EXPECT_TRUE(fields().clipboard().empty());

    trigger("AcanResetType");
    selectRow(0);
    selectFields({1, 3});
    run("A_copy");
    selectRow(1);
    ASSERT_TRUE(field("A_paste")->isEnabled());
    run("A_paste");
    EXPECT_EQ(memos(1), "tbd");
    EXPECT_EQ(starts(1), (std::vector<int>{0, 2, 6})); // the copies keep their start
    EXPECT_FALSE(doc().dataChanged());
    selectRow(0);
    EXPECT_EQ(fields().clipboard().entries().size(), 2u);
}

TEST_F(FieldListTest, LetterKeysWorkWithoutCtrlButNeverBypassTheMode) {
    openWith(kRecs, countingBytes(60));
    QTest::keyClick(lv(), Qt::Key_A); // read-only, no Ctrl
    EXPECT_EQ(selectedFields(), (std::vector<int>{0, 1, 2, 3}));
    int outlines = 0;
    for (const vm::MapSpan& s : find<PositionBar>("cPosImg1")->map().spans)
        outlines += s.kind == vm::MapSpan::Kind::Outline;
    EXPECT_EQ(outlines, 4);
    QTest::keyClick(lv(), Qt::Key_C);
    EXPECT_EQ(fields().clipboard().entries().size(), 4u);
    // Neither cuts nor pastes change a structure no permission lets change.
    QTest::keyClick(lv(), Qt::Key_X);
    QTest::keyClick(lv(), Qt::Key_V);
    EXPECT_EQ(memos(0), "abcd");
    EXPECT_TRUE(prompts.messageTexts().isEmpty());

    // In edit mode a cut would take the bytes and leave nothing to paste.
    editMode();
    selectFields({1});
    QTest::keyClick(lv(), Qt::Key_X);
    EXPECT_EQ(memos(0), "abcd");
    EXPECT_EQ(streamBytes(doc().dataStream()), countingBytes(60));
    EXPECT_FALSE(doc().dataChanged());

    trigger("AcanResetType");
    selectFields({1});
    QTest::keyClick(lv(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(memos(0), "acd");
    EXPECT_EQ(starts(0), (std::vector<int>{0, 4, 6}));
    selectFields({0});
    QTest::keyClick(lv(), Qt::Key_V, Qt::ShiftModifier);
    EXPECT_EQ(memos(0), "bacd");
}

TEST_F(FieldListTest, AFailedRewriteLeavesFileStructureListAndClipboardAsTheyWere) {
    const QString data = openWith(kRecs, countingBytes(60));
    editMode();
    selectFields({3});
    run("A_copy");
    selectFields({0, 2});
    doc().workingFile().tempDir = toNative(dir + QStringLiteral("gone/"));
    run("A_del");
    ASSERT_FALSE(prompts.records.empty());
    EXPECT_TRUE(prompts.records.back().text.contains(QStringLiteral("No such file")))
        << prompts.records.back().text.toStdString();
    EXPECT_EQ(memos(0), "abcd");
    EXPECT_EQ(seg(0).recordLength, 8);
    EXPECT_EQ(seg(1).begin, 40);
    EXPECT_EQ(lv()->topLevelItemCount(), 4);
    EXPECT_EQ(selectedFields(), (std::vector<int>{0, 2}));
    ASSERT_EQ(fields().clipboard().entries().size(), 1u);
    EXPECT_EQ(fields().clipboard().entries()[0].memo, "d");
    EXPECT_FALSE(doc().dataChanged());
    EXPECT_FALSE(doc().typeChanged());
    EXPECT_EQ(streamBytes(doc().dataStream()), countingBytes(60));
    EXPECT_EQ(readFile(data), countingBytes(60));
}

TEST_F(FieldListTest, EditModeInsertAndConvertGoThroughTheirDialogs) {
    openWith(kRecs, countingBytes(60));
    editMode();
    run("A_addItem"); // no answer: the dialog is cancelled and nothing changes
    EXPECT_EQ(prompts.records.back().title, QStringLiteral("Add A Type"));
    EXPECT_EQ(memos(0), "abcd");

    selectFields({1});
    answerWithOk("Button1", [](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Insert A Type"));
        d.findChild<QLineEdit*>(QStringLiteral("defValue"))->setText(QStringLiteral("258"));
    });
    run("A_insert");
    EXPECT_EQ(starts(0), (std::vector<int>{0, 2, 4, 6, 8}));
    EXPECT_EQ(seg(0).recordLength, 10);
    EXPECT_EQ(seg(1).begin, 50);
    EXPECT_EQ(streamBytes(doc().dataStream()), rebuilt([](const QByteArray& rec) {
                  return rec.left(2) + QByteArray("\x02\x01", 2) + rec.mid(2);
              }));

    selectFields({1});
    answerWithOk("BOK", [](QDialog& d) { choose(d.findChild<QComboBox*>("CKind"), 7); });
    run("A_trans");
    EXPECT_EQ(seg(0).entries[1].kind, 7);
    EXPECT_EQ(starts(0), (std::vector<int>{0, 2, 6, 8, 10}));
    EXPECT_EQ(seg(1).begin, 60);
    EXPECT_EQ(lv()->topLevelItem(1)->text(1), QStringLiteral("4Bsigned"));
    EXPECT_EQ(streamBytes(doc().dataStream()), rebuilt([](const QByteArray& rec) {
                  return rec.left(2) + QByteArray("\x02\x01\x00\x00", 4) + rec.mid(2);
              }));

    // Unsigned to signed of one size keeps every byte: no new working file,
    // and undo takes back the kind alone.
    const QByteArray bytes = streamBytes(doc().dataStream());
    const QString working = doc().workingFileName();
    selectFields({0});
    answerWithOk("BOK", [](QDialog& d) { choose(d.findChild<QComboBox*>("CKind"), 5); });
    run("A_trans");
    EXPECT_EQ(seg(0).entries[0].kind, 5);
    EXPECT_EQ(doc().workingFileName(), working);
    EXPECT_EQ(streamBytes(doc().dataStream()), bytes);
    ASSERT_TRUE(doc().undo());
    EXPECT_EQ(seg(0).entries[0].kind, 6);
    EXPECT_EQ(streamBytes(doc().dataStream()), bytes);
    EXPECT_EQ(prompts.unanswered, 1);
}

TEST_F(FieldListTest, DropsReorderTheFieldsInResetModeOnly) {
    openWith(kRecs, countingBytes(60));
    editMode();
    EXPECT_FALSE(fields().acceptsFieldDrag(lv()));
    selectFields({0});
    fields().LVDragDrop(-1);
    EXPECT_EQ(memos(0), "abcd");

    trigger("AcanResetType");
    EXPECT_TRUE(fields().acceptsFieldDrag(lv()));
    EXPECT_FALSE(fields().acceptsFieldDrag(find<QWidget>("LvPart")));
    selectFields({0, 1});
    fields().LVDragDrop(3);
    EXPECT_EQ(memos(0), "cabd");
    EXPECT_EQ(starts(0), (std::vector<int>{4, 0, 2, 6})); // only the column order changed
    EXPECT_EQ(lv()->topLevelItem(0)->text(4), QStringLiteral("c"));
    EXPECT_EQ(lv()->topLevelItem(0)->text(0), QStringLiteral("0"));
    EXPECT_TRUE(doc().typeChanged());
}

TEST_F(FieldListTest, FrameEditsReachTheRowsAndFollowTheMode) {
    openWith(kRecs, countingBytes(60));
    trigger("AcanResetType");
    selectFields({1, 2});
    auto* start = find<QLineEdit>("Estart");
    EXPECT_EQ(start->text(), QStringLiteral("2")); // the second follows the first
    start->setText(QStringLiteral("10"));
    EXPECT_EQ(starts(0), (std::vector<int>{0, 10, 12, 6}));
    EXPECT_EQ(lv()->topLevelItem(2)->text(2), QStringLiteral("12"));
    EXPECT_TRUE(doc().typeChanged());
    EXPECT_TRUE(lit("LIsOver1")); // past the end of the record now
    EXPECT_FALSE(lit("LIsOverLay1"));

    start->setText(QStringLiteral("2"));
    EXPECT_EQ(starts(0), (std::vector<int>{0, 2, 4, 6}));
    EXPECT_FALSE(lit("LIsOver1"));

    editMode();
    EXPECT_FALSE(start->isEnabled());
    selectFields({3});
    find<QLineEdit>("Ememo")->setText(QStringLiteral("renamed"));
    EXPECT_EQ(lv()->topLevelItem(3)->text(4), QStringLiteral("renamed"));
    EXPECT_FALSE(doc().dataChanged());
}

TEST_F(FieldListTest, ARightClickOnAnAnomalyGridShowsTheFieldMenu) {
    openWith({{"Hdr", 0, 0, 8, {{6, 0, 2, "x"}, {6, 2, 2, "y"}, {7, 4, 4, "z"}}, true}},
             countingBytes(8));
    selectFields({0});
    // Grid row 3 shows the third field.
    emit window().recordPane()->recordMenuRequested(&seg(0), 3, QPoint(20, 20));
    auto* menu = find<QMenu>("typeMenu");
    QTRY_VERIFY(menu->isVisible());
    EXPECT_EQ(selectedFields(), (std::vector<int>{2}));
    menu->close();
}
