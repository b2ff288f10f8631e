// The shipped default type file as a new user meets it: any file, shown as
// hex bytes and characters.
#include <QScrollBar>

#include "appfixture.h"
#include "recordpane.h"
#include "segmentgrid.h"

namespace {

class HexView : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ASSERT_TRUE(QFile::copy(QStringLiteral(VM_DEFAULT_TYPE_FILE),
                                installDir + QStringLiteral("default.type")));
    }
    QString makeData(const QString& name, int size) {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(i * 7);
        const QString path = dir + name;
        writeFile(path, bytes);
        return path;
    }
    RecordPane* pane() { return window().findChild<RecordPane*>(); }
    SegmentGrid* grid() { return pane()->mainGrid(&doc().segments()[0]); }
};

TEST_F(HexView, EveryByteShowsAndNothingIsEditableUntilAskedFor) {
    openThroughDialog(makeData(QStringLiteral("tail.bin"), 37));
    ASSERT_EQ(segmentNames(), std::vector<std::string>{"Bytes"});
    SegmentGrid* g = grid();
    // Two rows of 16 bytes, then the last 5.
    ASSERT_EQ(g->rowCount(), 4);
    EXPECT_EQ(g->cellText(1, 3).simplified(), QStringLiteral("E0 E7 EE F5 FC"));
    EXPECT_FALSE(g->cellText(6, 3).isEmpty()); // byte 36
    EXPECT_EQ(g->cellText(7, 3), QString());

    EXPECT_FALSE(act("AcanEdit")->isChecked());
    g->setFocus();
    g->selectCell(1, 1);
    EXPECT_FALSE(g->openEditor());
    QTest::keyClick(g, '5');
    EXPECT_FALSE(doc().dataChanged());
    trigger("AcanEdit");
    EXPECT_TRUE(g->openEditor());
}

TEST_F(HexView, ThePositionBarsFarRightShowsTheLastPage) {
    openThroughDialog(makeData(QStringLiteral("program.bin"), 150001));
    SegmentGrid* g = grid();
    QScrollBar* bar = pane()->positionBar();
    bar->setValue(bar->maximum());
    const int lastRow = g->rowCount() - 1;
    EXPECT_GE(g->topRow() + g->visibleRowCount(), lastRow + 1);
    EXPECT_EQ(g->currentRow(), lastRow);
}

TEST_F(HexView, TheStatusLineFollowsTheDocument) {
    openThroughDialog(makeData(QStringLiteral("first.bin"), 64));
    SegmentGrid* g = grid();
    QTest::mouseMove(g->viewport(), g->cellRect(2, 2).center());
    EXPECT_TRUE(window().statusText().startsWith(QStringLiteral("Position:")));
    trigger("AcloseAll");
    EXPECT_EQ(window().statusText(), QString());

    openThroughDialog(makeData(QStringLiteral("second.bin"), 64));
    g = grid();
    QTest::mouseMove(g->viewport(), g->cellRect(3, 2).center());
    ASSERT_FALSE(window().statusText().isEmpty());
    openThroughDialog(makeData(QStringLiteral("third.bin"), 64));
    EXPECT_EQ(window().statusText(), QString());
    // The same cell of the new document is described afresh.
    g = grid();
    QTest::mouseMove(g->viewport(), g->cellRect(2, 2).center());
    EXPECT_TRUE(window().statusText().startsWith(QStringLiteral("Position:")));
}

} // namespace
