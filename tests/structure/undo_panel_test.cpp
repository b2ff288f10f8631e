// Undo of the control panel's changes: the field frame's, and a burst of
// typing in a segment editor as one step.
#include <QComboBox>
#include <QTreeWidget>

#include "panelfixture.h"

namespace {

class UndoPanelTest : public PanelTest {
protected:
    UndoPanelTest() { realFieldList = true; }
};

TEST_F(UndoPanelTest, CtrlZTakesBackAFieldFrameChangeNamedByItsField) {
    openWith({{"Readings", 0, 8, 80, {{7, 0, 4, "id"}, {6, 4, 4, "temperature"}}}},
             countingBytes(100));
    trigger("AcanResetType");
    auto* lv = find<QTreeWidget>("LV");
    lv->clearSelection();
    lv->topLevelItem(1)->setSelected(true);
    const std::vector<vm::TypeEntry> before = seg(0).entries;
    const QString kindBefore = lv->topLevelItem(1)->text(1);
    EXPECT_FALSE(act("Aundo")->isEnabled());

    // One wheel notch too many over the kind box, as the user meets it.
    auto* kind = find<QComboBox>("cKind");
    kind->setCurrentIndex(2);
    emit kind->activated(2);
    ASSERT_NE(seg(0).entries, before);
    EXPECT_EQ(act("Aundo")->text(), QStringLiteral("Undo Change Kind of temperature"));
    EXPECT_TRUE(doc().typeChanged());

    QTest::keyClick(lv, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(seg(0).entries, before);
    EXPECT_EQ(lv->topLevelItem(1)->text(1), kindBefore);
    EXPECT_FALSE(doc().typeChanged());
    EXPECT_EQ(act("Aredo")->text(), QStringLiteral("Redo Change Kind of temperature"));
}

TEST_F(UndoPanelTest, TypingInASegmentEditorIsOneStepAndAPassingValueCutsNothing) {
    openWith({{"A", 0, 10, 100, {{7, 0, 4, "a"}}}}, countingBytes(1000));
    trigger("AcanResetType");
    auto* begin = find<QLineEdit>("segBegin");
    begin->setFocus();
    begin->selectAll();
    // 950 runs A past the end: it is cut to 50 bytes while 950 stands...
    QTest::keyClicks(begin, QStringLiteral("950"));
    EXPECT_EQ(seg(0).length, 50);
    // ... and gets its length back once the typing goes on to 95.
    QTest::keyClick(begin, Qt::Key_Backspace);
    EXPECT_EQ(seg(0).begin, 95);
    EXPECT_EQ(seg(0).length, 100);
    EXPECT_EQ(text("recCount"), QStringLiteral("10"));
    EXPECT_EQ(doc().undoableSteps(), 1u);
    EXPECT_EQ(act("Aundo")->text(), QStringLiteral("Undo Change Begin of A"));

    // The focus leaves: what is typed next is a step of its own.
    find<QLineEdit>("segName")->setFocus();
    emit begin->editingFinished();
    setText("segName", QStringLiteral("B"));
    EXPECT_EQ(doc().undoableSteps(), 2u);
    trigger("Aundo");
    trigger("Aundo");
    EXPECT_EQ(seg(0).begin, 0);
    EXPECT_EQ(seg(0).length, 100);
    EXPECT_EQ(seg(0).name, "A");
    EXPECT_EQ(text("segBegin"), QStringLiteral("0"));
    EXPECT_FALSE(doc().typeChanged());
}

} // namespace
