#include <QCheckBox>

#include "gotooffset/gotooffsetwindow.h"
#include "toolsfixture.h"

namespace {

class GotoTest : public ToolsTest {
protected:
    TgotoOffsetf* dialog() { return set().gotoOffsetWindow(); }
    QLineEdit* box(const char* name) { return child<QLineEdit>(dialog(), name); }
    // A record segment at 100 with records of 10 bytes, and an Anomaly segment.
    void openSegments() {
        openData(QByteArray(400, '\0'),
                 {{"recs", 100, 10, 100, {{1, 0, 1, ""}}},
                  {"odd", 300, 1, 50, {{1, 4, 2, "a"}, {1, 10, 4, "b"}}, true}});
        trigger("AgotoOffSet");
        ASSERT_TRUE(dialog()->isVisible());
        located.clear();
    }
};

} // namespace

TEST_F(GotoTest, TheThreeBoxesFollowEachOtherAndEveryChangeMoves) {
    openSegments();
    // Shown on the top record of the current segment.
    EXPECT_EQ(box("Enum")->text(), "100");
    EXPECT_EQ(box("Ehex")->text(), "64");
    EXPECT_EQ(box("Eindex")->text(), "0");

    box("Ehex")->setText(QStringLiteral("1A"));
    EXPECT_EQ(box("Enum")->text(), "26");
    EXPECT_EQ(located, (std::vector<std::int64_t>{26}));

    box("Eindex")->setText(QStringLiteral("3"));
    EXPECT_EQ(box("Enum")->text(), "130");
    EXPECT_EQ(box("Ehex")->text(), "82");
    EXPECT_EQ(located.back(), 130);

    box("Enum")->setText(QStringLiteral("105"));
    EXPECT_EQ(box("Eindex")->text(), "1"); // the first record starting at or after it
    box("Enum")->setText(QStringLiteral("100"));
    EXPECT_EQ(box("Eindex")->text(), "0");
    box("Enum")->setText(QStringLiteral("-1"));
    EXPECT_EQ(box("Ehex")->text(), "FFFFFFFF");
    box("Enum")->setText(QStringLiteral("x"));
    EXPECT_EQ(box("Ehex")->text(), "0");
    EXPECT_EQ(located.size(), 6u);
}

TEST_F(GotoTest, UtterlyConvertsBetweenFileAndSegmentOffsets) {
    openSegments();
    box("Enum")->setText(QStringLiteral("130"));
    located.clear();
    QCheckBox* utterly = child<QCheckBox>(dialog(), "utterly");
    utterly->click();
    EXPECT_EQ(box("Enum")->text(), "30");
    EXPECT_EQ(box("Ehex")->text(), "1E");
    EXPECT_TRUE(located.empty()); // nothing moves
    // Counted from the segment's start: record 2 of the current segment.
    box("Eindex")->setText(QStringLiteral("2"));
    EXPECT_EQ(box("Enum")->text(), "20");
    EXPECT_EQ(located, (std::vector<std::int64_t>{20}));
    EXPECT_EQ(doc().segments().current()->name, "recs");
    box("Enum")->setText(QStringLiteral("30"));
    utterly->click();
    EXPECT_EQ(box("Enum")->text(), "130");
    EXPECT_EQ(located, (std::vector<std::int64_t>{20, 30}));

    // "Go" is for those who do not go at once; it and "Close" only close.
    QCheckBox* immediately = child<QCheckBox>(dialog(), "CB");
    QPushButton* go = child<QPushButton>(dialog(), "Bgo");
    EXPECT_FALSE(go->isEnabled());
    immediately->click();
    EXPECT_TRUE(go->isEnabled());
    go->click();
    EXPECT_FALSE(dialog()->isVisible());
}

TEST_F(GotoTest, AnAnomalySegmentCountsFieldsAndRefusesIndexesPastThem) {
    openSegments();
    doc().segments().setCurrent(&doc().segments()[1]);
    box("Eindex")->setText(QStringLiteral("1"));
    EXPECT_EQ(box("Enum")->text(), "310");
    box("Enum")->setText(QStringLiteral("305"));
    EXPECT_EQ(box("Eindex")->text(), "0");
    box("Enum")->setText(QStringLiteral("307"));
    EXPECT_EQ(box("Eindex")->text(), ""); // between the fields
    located.clear();
    for (const char* index : {"2", "-1"}) {
        tools().setStatusText(QString());
        box("Eindex")->setText(QString::fromLatin1(index));
        EXPECT_EQ(tools().statusText(), " Error Out Of Range") << index;
    }
    EXPECT_TRUE(located.empty());
    EXPECT_EQ(box("Enum")->text(), "307");
}

TEST_F(GotoTest, ASegmentWithoutRecordLengthGivesNoIndex) {
    // Type files and the panel keep record lengths at 1 or more; the dialog
    // must not divide by zero all the same.
    openData(QByteArray(64, '\0'), {{"flat", 8, 1, 40, {{1, 0, 1, ""}}}});
    doc().segments()[0].recordLength = 0;
    trigger("AgotoOffSet");
    box("Enum")->setText(QStringLiteral("20"));
    EXPECT_EQ(box("Eindex")->text(), "");
    EXPECT_EQ(located.back(), 20);
}

TEST_F(GotoTest, TheIndexBelongsToTheSegmentThatHoldsTheOffsetAndAMissMovesNothing) {
    openSegments();
    vm::Segment* recs = &doc().segments()[0];
    vm::Segment* odd = &doc().segments()[1];
    // No segment holds 250 or -2: no index, and the segment stays current.
    for (const char* offset : {"250", "-2"}) {
        box("Enum")->setText(QString::fromLatin1(offset));
        EXPECT_EQ(box("Eindex")->text(), "") << offset;
        EXPECT_EQ(doc().segments().current(), recs) << offset;
    }
    EXPECT_EQ(box("Ehex")->text(), "FFFFFFFE");
    // Inside the last record no record starts at or after the offset.
    box("Enum")->setText(QStringLiteral("195"));
    EXPECT_EQ(box("Eindex")->text(), "");
    box("Enum")->setText(QStringLiteral("190"));
    EXPECT_EQ(box("Eindex")->text(), "9");

    // Typing 305 key by key from the Anomaly segment passes through 3 and 30,
    // which no segment holds.
    doc().setCurrentSegment(odd);
    for (const char* typed : {"3", "30"}) {
        box("Enum")->setText(QString::fromLatin1(typed));
        EXPECT_EQ(box("Eindex")->text(), "") << typed;
        EXPECT_EQ(doc().segments().current(), odd) << typed;
    }
    box("Enum")->setText(QStringLiteral("305"));
    EXPECT_EQ(box("Eindex")->text(), "0");

    // Counted from the segment's start, a place past it is said on the status
    // line instead of landing on the segment's last record.
    doc().setCurrentSegment(recs);
    child<QCheckBox>(dialog(), "utterly")->click();
    box("Enum")->setText(QStringLiteral("150"));
    EXPECT_EQ(tools().statusText(),
              "ERROR The position 150 is not inside the segment recs (100 bytes from its start)");
    EXPECT_EQ(box("Eindex")->text(), "");
    EXPECT_EQ(doc().segments().current(), recs);
}
