// A segment of a hundred million records must cost what a small one costs.
#include <QScrollBar>

#include "gridfixture.h"
#include "residentmemory.h"

using GridLarge = GridFixture;

TEST_F(GridLarge, HundredMillionRecordsLayOutPaintAndScrollInBoundedMemory) {
    constexpr std::int64_t kRecords = 100'000'000;
    host.createSparseFile(kRecords * 10);
    vm::Segment& s = host.addSegment(0, static_cast<std::int32_t>(kRecords * 10), 10);
    s.entries.push_back(TestHost::entry(7, 0, 4));
    s.entries.push_back(TestHost::entry(14, 4, 6));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const long before = residentKiB();
    ASSERT_GT(before, 0);

    pane->layoutSegmentGrids(&s);
    SegmentGrid* g = grid(s);
    ASSERT_TRUE(g->isVisible());
    EXPECT_EQ(g->rowCount(), kRecords + 1);
    // The grid's height stays within the pane however many rows there are.
    EXPECT_LE(g->height(), pane->recordArea()->height());
    const QImage first = g->grab().toImage();
    EXPECT_FALSE(first.isNull());

    g->verticalScrollBar()->setValue(g->verticalScrollBar()->maximum());
    const int last = static_cast<int>(kRecords);
    EXPECT_GE(last, g->topRow());
    EXPECT_LT(last, g->topRow() + g->visibleRowCount());
    EXPECT_FALSE(g->cellRect(1, last).isNull());
    EXPECT_EQ(g->cellText(0, last), "3B9AC9F6"); // offset of record 99,999,999
    EXPECT_EQ(g->cellText(1, last), "0");
    g->grab();

    // A grid that kept anything per row would need hundreds of megabytes here.
    const long after = residentKiB();
    EXPECT_LT(after - before, 40 * 1024)
        << "resident memory grew by " << (after - before) << " KiB";

    // The position bar covers the whole file in 32 bits.
    EXPECT_EQ(pane->positionBar()->maximum(), static_cast<int>(kRecords * 10));
}
