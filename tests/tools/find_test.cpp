#include <QAction>
#include <QComboBox>
#include <QTreeWidget>

#include "find/findwindow.h"
#include "toolsfixture.h"

namespace {

class FindTest : public ToolsTest {
protected:
    TFfind* find() { return set().findWindow(); }
    QTreeWidget* conditions() { return child<QTreeWidget>(find(), "lvFind"); }
    QTreeView* results() { return child<QTreeView>(find(), "lvResult"); }
    QPushButton* findButton() { return child<QPushButton>(find(), "Bfind"); }
    QString resultCount() { return child<QLineEdit>(find(), "EresultCount")->text(); }

    void setCondition(int kind, const QString& value) {
        child<QComboBox>(find(), "Ckind")->setCurrentIndex(kind);
        child<QLineEdit>(find(), "Evalue")->setText(value);
    }
    // Shows the window through the main window's command and runs a search to its end.
    void search() {
        if (!act("showFind")->isChecked())
            trigger("showFind");
        findButton()->click();
        QTRY_VERIFY(findButton()->isEnabled());
    }
};

} // namespace

TEST_F(FindTest, WithoutDataFindAndCompareAskForAFileFirst) {
    tools();
    // Their entries are off without data; the commands still guard themselves.
    for (const char* name : {"showFind", "showComp"}) {
        act(name)->setEnabled(true);
        trigger(name);
        EXPECT_EQ(prompts.messageTexts().last(), QStringLiteral("No File Open")) << name;
        EXPECT_FALSE(act(name)->isChecked()) << name;
    }
}

TEST_F(FindTest, ConditionListKeepsItsLastConditionAndShowsWithoutWriting) {
    QTreeWidget* list = conditions();
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "0");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "1Bsigned");
    EXPECT_EQ(list->topLevelItem(0)->text(2), "0");
    QPushButton* del = child<QPushButton>(find(), "DelItem");
    QAction* pdel = child<QAction>(find(), "pdel");
    EXPECT_FALSE(del->isEnabled());
    EXPECT_FALSE(pdel->isEnabled());
    del->click();
    pdel->trigger();
    EXPECT_EQ(list->topLevelItemCount(), 1);

    child<QPushButton>(find(), "AddItem")->click();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->currentItem(), list->topLevelItem(1));
    EXPECT_EQ(child<QLineEdit>(find(), "Evalue")->text(), "");
    setCondition(8, QStringLiteral("1000"));
    EXPECT_EQ(list->topLevelItem(1)->text(1), "4Bunsigned");
    EXPECT_EQ(list->topLevelItem(1)->text(2), "1000");
    // Selecting the first row shows its condition and changes neither.
    list->setCurrentItem(list->topLevelItem(0));
    EXPECT_EQ(child<QComboBox>(find(), "Ckind")->currentText(), "1Bsigned");
    EXPECT_EQ(child<QLineEdit>(find(), "Evalue")->text(), "0");
    EXPECT_EQ(list->topLevelItem(1)->text(1), "4Bunsigned");
    EXPECT_TRUE(del->isEnabled());
    EXPECT_TRUE(pdel->isEnabled());
    pdel->trigger();
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), "4Bunsigned");
    EXPECT_FALSE(del->isEnabled());
}

TEST_F(FindTest, OneConditionListsEveryHitAndMarksTheMapAndTheGrid) {
    openData(QByteArray("\xFF\xFF\x00\xFF", 4));
    setCondition(1, QStringLiteral("255"));
    search();
    EXPECT_EQ(pane()->bottomPanel(), RecordPane::BottomPanel::FindResults);
    EXPECT_EQ(pane()->findMapStrip()->height(), 30);
    EXPECT_EQ(resultCount(), "3");
    const auto r = rows(results());
    ASSERT_EQ(r.size(), 3u); // no separator rows for a single condition
    EXPECT_EQ(r[0], (QStringList{"1", "1Bunsigned", "255", "0"}));
    EXPECT_EQ(r[1], (QStringList{"2", "1Bunsigned", "255", "1"}));
    EXPECT_EQ(r[2], (QStringList{"3", "1Bunsigned", "255", "3"}));
    // The lane shows the scanned bytes in blue and the hits in the hit colour.
    const QSet<QRgb> lane = mapColours(10, 16, pane()->findMapStrip()->width() - 16);
    EXPECT_TRUE(lane.contains(qRgb(0, 0, 255) & 0xFFFFFF));
    EXPECT_TRUE(lane.contains(RecordPane::hitColour().rgb() & 0xFFFFFF));
    // The grid marks the cells the pattern touches.
    ASSERT_EQ(pane()->findPatterns(), (std::vector<std::vector<std::uint8_t>>{{0xFF}}));

    find()->lvResultDblClick(2);
    EXPECT_EQ(located, (std::vector<std::int64_t>{3}));
}

TEST_F(FindTest, TwoConditionsAddASeparatorRowThatGoesNowhere) {
    QByteArray bytes(300, '\x11');
    bytes[50] = '\xA1';
    bytes[120] = '\xB2';
    openData(bytes);
    setCondition(2, QStringLiteral("a1"));
    child<QPushButton>(find(), "AddItem")->click();
    setCondition(2, QStringLiteral("B2"));
    search();
    const auto r = rows(results());
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0], (QStringList{"1", "1BHex", "a1", "50"}));
    EXPECT_EQ(r[1], (QStringList{"1", "1BHex", "B2", "120"}));
    EXPECT_EQ(r[2], (QStringList{"", "", "", ""}));
    find()->lvResultDblClick(2);
    EXPECT_TRUE(located.empty());
    find()->lvResultDblClick(1);
    EXPECT_EQ(located, (std::vector<std::int64_t>{120}));

    // A range that is not a whole number counts as 0: nothing lies that close.
    child<QLineEdit>(find(), "EfindRange")->setText(QStringLiteral("wide"));
    search();
    EXPECT_EQ(resultCount(), "0");
    EXPECT_TRUE(rows(results()).empty());
}

TEST_F(FindTest, EmptyDataFindsNothing) {
    openData(QByteArray(), {{"none", 0, 1, 0, {{1, 0, 1, ""}}}});
    search();
    EXPECT_EQ(resultCount(), "0");
    EXPECT_TRUE(rows(results()).empty());
    // Only the empty lane is drawn.
    EXPECT_EQ(mapColours(10, 16, pane()->findMapStrip()->width() - 16),
              QSet<QRgb>{qRgb(192, 192, 192) & 0xFFFFFF});
}

TEST_F(FindTest, ClosingTheWindowOrTheDocumentStopsARunningSearch) {
    // Every byte is a hit: the search takes many slices.
    openData(QByteArray(4 << 20, '\0'));
    trigger("showFind");
    findButton()->click();
    QTRY_VERIFY(resultCount().toLongLong() > 0);
    ASSERT_FALSE(findButton()->isEnabled());
    find()->close();
    EXPECT_TRUE(findButton()->isEnabled());
    EXPECT_FALSE(act("showFind")->isChecked());
    EXPECT_EQ(pane()->bottomPanel(), RecordPane::BottomPanel::Normal);
    EXPECT_EQ(pane()->findMapStrip()->height(), 0);
    const QString stoppedAt = resultCount();
    QTest::qWait(50);
    EXPECT_EQ(resultCount(), stoppedAt);
    EXPECT_LT(stoppedAt.toLongLong(), 4 << 20);

    trigger("showFind");
    findButton()->click();
    QTRY_VERIFY(resultCount().toLongLong() > 0);
    trigger("AcloseAll");
    EXPECT_TRUE(findButton()->isEnabled());
    EXPECT_EQ(doc().dataStream(), nullptr);
}
