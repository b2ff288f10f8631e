// The in-cell data editor, the floating structure editors, marks and scrolling.
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QToolButton>

#include "gridfixture.h"
#include "updownbuttons.h"

namespace {

// Types text into a grid the way a user does: select, then keys.
void typeInto(SegmentGrid* g, int col, int row, const QString& text) {
    g->setFocus();
    g->selectCell(col, row);
    for (QChar ch : text)
        QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
}

// Sends one typed character, whatever the keyboard would need for it.
void typeChar(QWidget* w, QChar ch) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
}

QColor pixelOf(SegmentGrid* g, int col, int row) {
    const QImage img = g->viewport()->grab().toImage();
    const QRect r = g->cellRect(col, row);
    return img.pixelColor(r.right() - 2, r.bottom() - 2);
}

} // namespace

using GridEdit = GridFixture;

TEST_F(GridEdit, EachKeystrokeWritesTheEncodedValue) {
    host.createFile({5, 6, 7, 8});
    host.viewSettings().setCanEditData(true);
    vm::Segment& s = host.addSegment(0, 4, 2);
    s.entries.push_back(TestHost::entry(0, 1, 1));
    showPane();
    SegmentGrid* g = grid(s);
    typeInto(g, 1, 2, "1");
    ASSERT_TRUE(g->editorOpen());
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{5, 6, 7, 0x01}));
    EXPECT_TRUE(host.dataChanged);
    EXPECT_FALSE(host.typeChanged);
    EXPECT_TRUE(pane->pendingRepaint());
    QTest::keyClick(g->cellEditor(), '2');
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{5, 6, 7, 0x0C}));
    // A text that is no value of the kind is not written.
    QTest::keyClick(g->cellEditor(), 'x');
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{5, 6, 7, 0x0C}));
    // Leaving the editor repaints the other views and clears the pending mark.
    QTest::keyClick(g->cellEditor(), Qt::Key_Escape);
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->cellRect(1, 1).center());
    EXPECT_FALSE(pane->pendingRepaint());
    EXPECT_EQ(g->cellText(1, 2), "12");
}

TEST_F(GridEdit, EditorStartsFromTheBytesAsTheyAreNow) {
    host.createFile({0, 0, 0, 0});
    host.viewSettings().setCanEditData(true);
    vm::Segment& s = host.addSegment(0, 4, 4);
    s.entries.push_back(TestHost::entry(1, 0, 1));
    showPane();
    SegmentGrid* g = grid(s);
    std::uint8_t b = 7;
    host.dataStream()->writeAt(0, std::span<const std::uint8_t>(&b, 1));
    g->setFocus();
    g->selectCell(1, 1);
    QTest::keyClick(g, Qt::Key_F2);
    ASSERT_TRUE(g->editorOpen());
    EXPECT_EQ(g->cellEditor()->text(), "7");
    // Retyping the same value writes nothing and marks nothing.
    g->cellEditor()->selectAll();
    QTest::keyClick(g->cellEditor(), '7');
    EXPECT_FALSE(host.dataChanged);
    QTest::keyClick(g->cellEditor(), '1');
    EXPECT_TRUE(host.dataChanged);
    EXPECT_EQ(host.fileBytes()[0], 71);
}

TEST_F(GridEdit, NothingIsEditableWithoutCanEditData) {
    host.createFile({5, 6, 7, 8});
    vm::Segment& s = host.addSegment(0, 4, 2);
    s.entries.push_back(TestHost::entry(0, 1, 1));
    showPane();
    typeInto(grid(s), 1, 1, "9");
    EXPECT_FALSE(grid(s)->editorOpen());
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{5, 6, 7, 8}));
    EXPECT_FALSE(host.dataChanged);
    // Switching the option off closes an open editor.
    host.viewSettings().setCanEditData(true);
    typeInto(grid(s), 1, 1, "9");
    ASSERT_TRUE(grid(s)->editorOpen());
    host.viewSettings().setCanEditData(false);
    pane->updateEditOptions();
    EXPECT_FALSE(grid(s)->editorOpen());
}

TEST_F(GridEdit, PlaceholderCharacterOfANonPrintableByteIsNotWritten) {
    host.createFile({0x07, 0x41});
    host.viewSettings().setCanEditData(true);
    vm::Segment& s = host.addSegment(0, 2, 1);
    s.entries.push_back(TestHost::entry(3, 0, 1));
    showPane();
    SegmentGrid* g = grid(s);
    EXPECT_EQ(g->cellText(1, 1), QString(QChar(0x20AC)));
    g->setFocus();
    g->selectCell(1, 1);
    QTest::keyClick(g, Qt::Key_F2);
    ASSERT_TRUE(g->editorOpen());
    // The user retypes the euro sign shown for the byte: nothing changes.
    g->cellEditor()->selectAll();
    typeChar(g->cellEditor(), QChar(0x20AC));
    EXPECT_EQ(g->cellEditor()->text(), QString(QChar(0x20AC)));
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{0x07, 0x41}));
    EXPECT_FALSE(host.dataChanged);
    // A real character is written.
    g->cellEditor()->selectAll();
    QTest::keyClicks(g->cellEditor(), "Z");
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{'Z', 0x41}));
    // The placeholder is never written, not even over a printable character.
    QTest::keyClick(g->cellEditor(), Qt::Key_Escape);
    g->selectCell(1, 2);
    QTest::keyClick(g, Qt::Key_F2);
    ASSERT_EQ(g->cellEditor()->text(), "A");
    g->cellEditor()->selectAll();
    typeChar(g->cellEditor(), QChar(0x20AC));
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{'Z', 0x41}));
}

TEST_F(GridEdit, TextNotStoredAsTypedMarksTheCellAndSaysWhy) {
    host.createFile({0, 0, 0, 0, 0, 0, 0, 0});
    host.viewSettings().setCanEditData(true);
    vm::Segment& s = host.addSegment(0, 8, 8);
    s.entries.push_back(TestHost::entry(5, 0, 2)); // 2Bsigned
    s.entries.push_back(TestHost::entry(9, 4, 4)); // 4BFloat
    showPane();
    SegmentGrid* g = grid(s);
    // Each keystroke still writes what it can: 40000 becomes -25536.
    typeInto(g, 1, 1, "40000");
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{0x40, 0x9C, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(pane->isInputProblemCell(g, 1, 1));
    EXPECT_EQ(pane->statusText(), "\"40000\" was cut to fit: outside the range of 2Bsigned, "
                                  "-32768 to 32767. The field holds -25536.");
    EXPECT_EQ(g->cellEditor()->palette().color(QPalette::Base), RecordPane::hitColour());
    // Back to a text that stores as typed: the mark and the reason go.
    QTest::keyClick(g->cellEditor(), Qt::Key_Backspace);
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{0xA0, 0x0F, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(pane->isInputProblemCell(g, 1, 1));
    EXPECT_EQ(pane->statusText(), "");
    EXPECT_NE(g->cellEditor()->palette().color(QPalette::Base), RecordPane::hitColour());
    QTest::keyClick(g->cellEditor(), Qt::Key_Escape);

    // "1,5" with a decimal point: "1" is written, then nothing more.
    typeInto(g, 2, 1, "1,5");
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{0xA0, 0x0F, 0, 0, 0, 0, 0x80, 0x3F}));
    EXPECT_TRUE(pane->statusText().startsWith("\"1,5\" was not written: not a number"));
    EXPECT_TRUE(pane->statusText().endsWith("The field holds 1."));
    // The closed cell keeps its mark, and hovering it gives the reason again.
    QTest::keyClick(g->cellEditor(), Qt::Key_Escape);
    EXPECT_EQ(pixelOf(g, 2, 1), RecordPane::hitColour());
    const QString reason = pane->statusText();
    QTest::mouseMove(g->viewport(), g->cellRect(1, 1).center());
    EXPECT_TRUE(pane->statusText().startsWith("Position:"));
    QTest::mouseMove(g->viewport(), g->cellRect(2, 1).center());
    EXPECT_EQ(pane->statusText(), reason);
    pane->forgetDocument();
    EXPECT_EQ(pane->statusText(), "");
    EXPECT_NE(pixelOf(g, 2, 1), RecordPane::hitColour());
}

TEST_F(GridEdit, CellsPastTheEndOfTheFileRefuseEdits) {
    host.createFile({1, 2, 3, 4, 5, 6, 7, 8});
    host.viewSettings().setCanEditData(true);
    vm::Segment& s = host.addSegment(0, 8, 4);
    s.entries.push_back(TestHost::entry(7, 2, 4)); // record 1 reaches byte 10
    showPane();
    SegmentGrid* g = grid(s);
    typeInto(g, 1, 2, "5");
    ASSERT_TRUE(g->editorOpen());
    EXPECT_EQ(g->cellEditor()->text(), "____");
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_FALSE(host.dataChanged);
    // The record that fits is written.
    QTest::keyClick(g->cellEditor(), Qt::Key_Escape);
    typeInto(g, 1, 1, "7");
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{1, 2, 7, 0, 0, 0, 7, 8}));
}

TEST_F(GridEdit, AnomalyValueColumnWritesDataAndOtherColumnsDoNot) {
    host.createFile({0, 0, 0, 0});
    host.viewSettings().setCanEditData(true);
    vm::Segment& s = host.addSegment(0, 4, 0, true);
    s.entries.push_back(TestHost::entry(1, 2, 1, "m"));
    showPane();
    SegmentGrid* g = grid(s);
    typeInto(g, 1, 1, "9");
    EXPECT_EQ(host.fileBytes(), (std::vector<std::uint8_t>{0, 0, 9, 0}));
    EXPECT_EQ(g->cellText(1, 1), "9");
    QTest::keyClick(g->cellEditor(), Qt::Key_Escape);
    host.dataChanged = false;
    g->setFocus();
    g->selectCell(5, 1);
    EXPECT_FALSE(g->openEditor());
    EXPECT_FALSE(host.dataChanged);
}

class GridAnomalyEditors : public GridFixture {
protected:
    void SetUp() override {
        GridFixture::SetUp();
        host.createFile(std::vector<std::uint8_t>(64, 1));
        host.viewSettings().setCanResetStructure(true);
        seg = &host.addSegment(0, 64, 0, true);
        seg->entries.push_back(TestHost::entry(1, 4, 1, "first"));
        seg->entries.push_back(TestHost::entry(14, 8, 6, "text"));
        showPane();
        kindBox = pane->findChild<QComboBox*>(QStringLiteral("CKind"));
        editBox = pane->findChild<QLineEdit*>(QStringLiteral("Eentry"));
        upDown = pane->findChild<UpDownButtons*>(QStringLiteral("UDentry"));
    }
    void select(int col, int row) {
        grid(*seg)->setFocus();
        grid(*seg)->selectCell(col, row);
    }

    vm::Segment* seg = nullptr;
    QComboBox* kindBox = nullptr;
    QLineEdit* editBox = nullptr;
    UpDownButtons* upDown = nullptr;
};

TEST_F(GridAnomalyEditors, KindBoxChangesKindAndLength) {
    ASSERT_TRUE(kindBox && editBox && upDown);
    ASSERT_EQ(kindBox->count(), 16);
    EXPECT_EQ(kindBox->itemText(15), "unKnow");
    select(2, 1);
    EXPECT_TRUE(kindBox->isVisible());
    EXPECT_TRUE(kindBox->isEnabled());
    EXPECT_EQ(kindBox->currentIndex(), 1);
    EXPECT_FALSE(host.typeChanged);
    const QRect cell = grid(*seg)->cellRect(2, 1);
    const QPoint tl = grid(*seg)->viewport()->mapTo(pane->recordArea(), cell.topLeft());
    EXPECT_EQ(kindBox->geometry(), QRect(tl.x() + 1, tl.y() + 1, cell.width() + 1, cell.height()));

    emit kindBox->activated(7);
    EXPECT_EQ(seg->entries[0].kind, 7);
    EXPECT_EQ(seg->entries[0].length, 4);
    EXPECT_TRUE(host.typeChanged);
    EXPECT_FALSE(host.dataChanged);
    EXPECT_EQ(host.definitionChanges, 1);
    EXPECT_EQ(grid(*seg)->cellText(2, 1), "4Bsigned");
    EXPECT_EQ(grid(*seg)->cellText(4, 1), "4");
}

TEST_F(GridAnomalyEditors, StartEditorTakesNumbersAndStepsWithTheArrows) {
    select(3, 1);
    ASSERT_TRUE(editBox->isVisible());
    EXPECT_TRUE(editBox->isEnabled());
    EXPECT_EQ(editBox->text(), "4");
    EXPECT_TRUE(upDown->isVisible());
    EXPECT_EQ(upDown->x(), editBox->geometry().right() + 1);
    EXPECT_FALSE(host.typeChanged); // filling the box is no edit

    editBox->selectAll();
    QTest::keyClicks(editBox, "12");
    EXPECT_EQ(seg->entries[0].start, 12);
    EXPECT_TRUE(host.typeChanged);
    EXPECT_EQ(grid(*seg)->cellText(3, 1), "12");

    // Not a number, negative or beyond 16 bits: ignored.
    editBox->setText("abc");
    EXPECT_EQ(seg->entries[0].start, 12);
    editBox->setText("-1");
    EXPECT_EQ(seg->entries[0].start, 12);
    editBox->setText("70000");
    EXPECT_EQ(seg->entries[0].start, 12);

    editBox->setText("20");
    QTest::mouseClick(upDown->upButton(), Qt::LeftButton);
    EXPECT_EQ(seg->entries[0].start, 21);
    QTest::mouseClick(upDown->downButton(), Qt::LeftButton);
    QTest::mouseClick(upDown->downButton(), Qt::LeftButton);
    EXPECT_EQ(seg->entries[0].start, 19);
    EXPECT_EQ(editBox->text(), "19");
}

TEST_F(GridAnomalyEditors, LengthEditorOnlyForVariableKinds) {
    select(4, 1);
    EXPECT_TRUE(editBox->isVisible());
    EXPECT_FALSE(editBox->isEnabled());
    EXPECT_FALSE(upDown->isVisible());
    select(4, 2);
    ASSERT_TRUE(editBox->isEnabled());
    editBox->setText("9");
    EXPECT_EQ(seg->entries[1].length, 9);
}

TEST_F(GridAnomalyEditors, MemoEditorCutsToTwentyCharacters) {
    select(5, 2);
    ASSERT_TRUE(editBox->isEnabled());
    EXPECT_EQ(editBox->text(), "text");
    editBox->setText("a much longer memo than allowed");
    EXPECT_EQ(seg->entries[1].memo, "a much longer memo t");
    EXPECT_EQ(host.definitionChanges, 1);
    editBox->setText("-5"); // reads as a number below -1: ignored
    EXPECT_EQ(seg->entries[1].memo, "a much longer memo t");
}

TEST_F(GridAnomalyEditors, EditorsStayDisabledWithoutPermission) {
    host.viewSettings().setCanResetStructure(false);
    select(2, 1);
    EXPECT_TRUE(kindBox->isVisible());
    EXPECT_FALSE(kindBox->isEnabled());
    select(3, 1);
    EXPECT_FALSE(kindBox->isVisible());
    EXPECT_FALSE(editBox->isEnabled());
    host.viewSettings().setCanEditStructure(true);
    select(5, 1);
    EXPECT_TRUE(editBox->isEnabled());
}

TEST_F(GridAnomalyEditors, LayingOutWithAnEditorOpenLeavesTheSegmentCurrent) {
    // A resize lays the grids out again while the edit box has the focus; the
    // box goes, and its focus must come back to the Anomaly grid rather than
    // wander into the grid below and make that segment current.
    vm::Segment& below = host.addSegment(0, 20, 10);
    below.entries.push_back(TestHost::entry(0, 0, 1));
    pane->layoutSegmentGrids(seg);
    ASSERT_TRUE(grid(below)->isVisible());
    QApplication::setActiveWindow(window.get());
    select(3, 1);
    ASSERT_TRUE(editBox->hasFocus());
    pane->layoutSegmentGrids(seg);
    EXPECT_EQ(host.segments().current(), seg);
    EXPECT_TRUE(grid(*seg)->hasFocus());
    EXPECT_FALSE(editBox->isVisible());
}

TEST_F(GridEdit, FindHitsAndCompareDifferencesAreMarked) {
    host.createFile({1, 2, 3, 4, 5, 6, 7, 8});
    vm::Segment& s = host.addSegment(0, 8, 2);
    s.entries.push_back(TestHost::entry(1, 0, 1));
    s.entries.push_back(TestHost::entry(1, 1, 1));
    showPane();
    SegmentGrid* g = grid(s);
    g->clearFocus();
    g->selectCell(1, 4);
    const QColor hit = RecordPane::hitColour();
    EXPECT_NE(pixelOf(g, 2, 1), hit);

    // The pattern 02 03 overlaps the cell of byte 2 (record 0, field 1) and
    // the cell of byte 3 (record 1, field 0) by one byte each.
    pane->showFindResults({vm::FindPattern({2, 3})});
    EXPECT_EQ(pane->findMapStrip()->height(), 30);
    EXPECT_EQ(pixelOf(g, 2, 1), hit);
    EXPECT_EQ(pixelOf(g, 1, 2), hit);
    EXPECT_NE(pixelOf(g, 1, 1), hit);
    EXPECT_NE(pixelOf(g, 2, 2), hit);

    vm::MemorySource other({1, 2, 3, 4, 5, 9, 7, 8});
    pane->showCompare(&other);
    SegmentGrid* cg = pane->compareGrid(&s);
    ASSERT_TRUE(cg->isVisible());
    EXPECT_EQ(cg->cellText(2, 3), "9");
    EXPECT_EQ(pixelOf(g, 2, 3), hit);
    EXPECT_EQ(pixelOf(cg, 2, 3), hit);
    EXPECT_NE(pixelOf(g, 2, 1), hit);
    // As characters, 06 and 09 both show the placeholder; they still differ.
    s.entries[1].kind = 3;
    EXPECT_EQ(cg->cellText(2, 3), grid(s)->cellText(2, 3));
    EXPECT_EQ(pixelOf(g, 2, 3), hit);
    EXPECT_NE(pixelOf(g, 2, 1), hit);

    pane->showNormal();
    EXPECT_FALSE(pane->compareArea()->isVisible());
    EXPECT_EQ(pane->findMapStrip()->height(), 0);
    EXPECT_NE(pixelOf(g, 2, 3), hit);
}

TEST_F(GridEdit, CompareModeScrollsBothGridsTogether) {
    host.createFile(std::vector<std::uint8_t>(4000, 0));
    vm::MemorySource other(std::vector<std::uint8_t>(4000, 0));
    pane->setCompareSource(&other);
    vm::Segment& s = host.addSegment(0, 4000, 4);
    s.entries.push_back(TestHost::entry(0, 0, 1));
    showPane();
    pane->showCompare(&other);
    SegmentGrid* cg = pane->compareGrid(&s);
    ASSERT_EQ(cg->rowCount(), 1001);
    grid(s)->verticalScrollBar()->setValue(250);
    EXPECT_EQ(cg->topRow(), 251);
    cg->verticalScrollBar()->setValue(40);
    EXPECT_EQ(grid(s)->topRow(), 41);
    // Outside compare mode the grids scroll alone.
    pane->showNormal();
    grid(s)->verticalScrollBar()->setValue(7);
    EXPECT_EQ(cg->topRow(), 41);
}

TEST_F(GridEdit, FocusingAGridMakesItsSegmentCurrent) {
    host.createFile(std::vector<std::uint8_t>(64, 0));
    vm::Segment& a = host.addSegment(0, 20, 10);
    vm::Segment& b = host.addSegment(20, 20, 10);
    a.entries.push_back(TestHost::entry(0, 0, 1));
    b.entries.push_back(TestHost::entry(0, 0, 1));
    showPane();
    ASSERT_TRUE(grid(b)->isVisible());
    QTest::mouseClick(grid(b)->viewport(), Qt::LeftButton, {}, grid(b)->cellRect(1, 1).center());
    EXPECT_EQ(host.segments().current(), &b);
    EXPECT_EQ(pane->editedSegment(), &b);
}

TEST_F(GridEdit, ClickedGridOfAnotherSegmentBecomesCurrentWhereItStandsAndKeepsTheFocus) {
    // The click makes b current without moving its grid: laid out again from
    // b, the clicked cell would leave the pointer and the second click of a
    // double click would land on another record. The focus must neither
    // wander to c's grid (making c current) nor be lost to typing.
    host.createFile(std::vector<std::uint8_t>(64, 0));
    host.viewSettings().setCanEditData(true);
    vm::Segment& a = host.addSegment(0, 20, 10);
    vm::Segment& b = host.addSegment(20, 20, 10);
    vm::Segment& c = host.addSegment(40, 20, 10);
    for (vm::Segment* s : {&a, &b, &c})
        s->entries.push_back(TestHost::entry(1, 0, 1));
    showPane();
    ASSERT_TRUE(grid(c)->isVisible());
    QApplication::setActiveWindow(window.get());
    const QRect before = grid(b)->geometry();
    const QPoint cell = grid(b)->cellRect(1, 2).center();
    QTest::mouseClick(grid(b)->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(host.segments().current(), &b);
    EXPECT_EQ(grid(b)->geometry(), before);
    EXPECT_EQ(grid(b)->cellRect(1, 2).center(), cell);
    EXPECT_TRUE(grid(a)->isVisible());
    EXPECT_TRUE(grid(b)->hasFocus());
    EXPECT_EQ(grid(b)->currentRow(), 2);
    QTest::keyClick(QApplication::focusWidget(), '7');
    EXPECT_EQ(host.fileBytes()[30], 7);
}

TEST(GridText, SingleByteTextRoundTripsThroughWindows1252) {
    EXPECT_EQ(RecordPane::toDisplay("\x80"
                                    "A\xe9"),
              QString::fromUtf8("\u20ac"
                                "A\u00e9"));
    EXPECT_EQ(RecordPane::fromDisplay(QString::fromUtf8("\u20ac"
                                                        "A\u00e9")),
              std::optional<std::string>("\x80"
                                         "A\xe9"));
    EXPECT_EQ(RecordPane::fromDisplay(QString::fromUtf8("\u4e2d")), std::nullopt);
}
