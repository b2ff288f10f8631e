#include <QAction>
#include <QCheckBox>
#include <QLabel>
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
    ASSERT_EQ(pane()->findPatterns().size(), 1u);
    EXPECT_EQ(pane()->findPatterns()[0].bytes(), (std::vector<std::uint8_t>{0xFF}));

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

TEST_F(FindTest, ATextConditionFindsTextOfAnyLengthInEitherEncodingAndAnyCase) {
    QByteArray bytes(300, '.');
    bytes.replace(20, 11, "Temperature");
    bytes.replace(100, 11, "TEMPERATURE");
    const QByteArray wide("t\0e\0m\0p\0e\0r\0a\0t\0u\0r\0e\0", 22);
    bytes.replace(200, 22, wide);
    openData(bytes);
    auto* kind = child<QComboBox>(find(), "Ckind");
    ASSERT_EQ(kind->count(), 17);
    EXPECT_EQ(kind->itemText(16), "text");
    QCheckBox* anyCase = child<QCheckBox>(find(), "CignoreCase");
    QCheckBox* utf16 = child<QCheckBox>(find(), "Cutf16");
    EXPECT_FALSE(anyCase->isEnabled()); // for the text condition only

    setCondition(16, QStringLiteral("Temperature"));
    search();
    EXPECT_EQ(rows(results()), (std::vector<QStringList>{{"1", "text", "Temperature", "20"}}));
    anyCase->setChecked(true);
    EXPECT_EQ(conditions()->topLevelItem(0)->text(1), "text [any case]");
    search();
    const auto r = rows(results());
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1], (QStringList{"2", "text [any case]", "Temperature", "100"}));
    utf16->setChecked(true);
    search();
    EXPECT_EQ(rows(results()),
              (std::vector<QStringList>{{"1", "text [any case, UTF-16]", "Temperature", "200"}}));
    // The grid marks what the text covers: 22 bytes of it.
    ASSERT_EQ(pane()->findPatterns().size(), 1u);
    EXPECT_EQ(pane()->findPatterns()[0].size(), 22u);

    // A text that single-byte data cannot hold is refused, saying which characters.
    utf16->setChecked(false);
    setCondition(16, QString::fromUtf8("\u03a9hm"));
    search();
    EXPECT_TRUE(prompts.messageTexts().last().contains(QString::fromUtf8("\u03a9")));
    EXPECT_TRUE(rows(results()).size() == 1u); // the last results stay
    utf16->setChecked(true);
    search();
    EXPECT_TRUE(rows(results()).empty());
}
