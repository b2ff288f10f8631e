// Shape, texts and stacking of the segment grids.
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolTip>

#include "gridfixture.h"
#include "codec.h"
#include "indextext.h"
#include "kinds.h"

namespace {

std::vector<std::uint8_t> counting(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(i);
    return v;
}

} // namespace

TEST(GridIndexText, WidthsAndTextsFollowFormatAndSize) {
    vm::ViewSettings vs;
    vs.setShowIndexNum(true);
    vs.setPositionFormat(1);
    vm::Segment seg;
    seg.begin = 0x100;
    seg.recordLength = 16;
    seg.length = 160; // ten records, ending at 0x1A0
    gridtext::measureIndexWidths(seg, 9, vs, 0x10000);
    EXPECT_EQ(seg.indexTextWidth, 2);
    EXPECT_EQ(seg.positionTextWidth, 4);
    EXPECT_EQ(gridtext::indexCellText(seg, 3, vs), "3 0130");
    EXPECT_EQ(gridtext::indexColumnWidth(seg), 8 * 6 + 5);

    // Ending at 0xFFFF or beyond takes eight digits; just below takes four.
    seg.begin = 0;
    seg.length = 0xFFFF;
    gridtext::measureIndexWidths(seg, 9, vs, 0x20000);
    EXPECT_EQ(seg.positionTextWidth, 8);
    EXPECT_EQ(gridtext::indexCellText(seg, 1, vs), "1 00000010");
    seg.length = 0xFFFE;
    gridtext::measureIndexWidths(seg, 9, vs, 0x20000);
    EXPECT_EQ(seg.positionTextWidth, 4);
    // The end is cut to the file size for record segments.
    seg.length = 0x100000;
    gridtext::measureIndexWidths(seg, 9, vs, 0x1000);
    EXPECT_EQ(seg.positionTextWidth, 4);

    // Decimal positions: as many digits as the end has, no padding needed.
    vs.setPositionFormat(2);
    vs.setShowIndexNum(false);
    seg.length = 12345;
    gridtext::measureIndexWidths(seg, 0, vs, 100000);
    EXPECT_EQ(seg.indexTextWidth, 0);
    EXPECT_EQ(seg.positionTextWidth, 5);
    EXPECT_EQ(gridtext::indexCellText(seg, 2, vs), "32");
    // A last index of 0 still counts one digit.
    vs.setShowIndexNum(true);
    gridtext::measureIndexWidths(seg, 0, vs, 100000);
    EXPECT_EQ(seg.indexTextWidth, 2);
    EXPECT_EQ(gridtext::indexCellText(seg, 0, vs), "0 0");
}

TEST(GridIndexText, AnomalyUsesFieldStartAndUnclampedEnd) {
    vm::ViewSettings vs;
    vs.setShowIndexNum(true);
    vs.setPositionFormat(1);
    vm::Segment seg;
    seg.anomaly = true;
    seg.begin = 0x20;
    seg.length = 0x20000; // past the file, which an Anomaly segment does not mind
    seg.entries.push_back(TestHost::entry(0, 0, 1));
    seg.entries.push_back(TestHost::entry(7, 6, 4));
    gridtext::measureIndexWidths(seg, 1, vs, 0x100);
    EXPECT_EQ(seg.positionTextWidth, 8);
    EXPECT_EQ(gridtext::indexCellText(seg, 1, vs), "1 00000026");
    // Running to the file's end changes nothing for an Anomaly segment: its
    // own stated end still counts, where a record segment takes the file's.
    seg.toFilesEnd = true;
    gridtext::measureIndexWidths(seg, 1, vs, 0x100);
    EXPECT_EQ(seg.positionTextWidth, 8);
    seg.anomaly = false;
    gridtext::measureIndexWidths(seg, 1, vs, 0x100);
    EXPECT_EQ(seg.positionTextWidth, 4);
}

TEST(GridIndexText, TitleIsMemoOrIndexAndKind) {
    EXPECT_EQ(gridtext::fieldTitle(TestHost::entry(7, 0, 4, ""), 3), "3 4Bsigned");
    EXPECT_EQ(gridtext::fieldTitle(TestHost::entry(7, 0, 4, "Count"), 3), "Count");
}

using GridLayout = GridFixture;

TEST_F(GridLayout, RecordGridShowsIndexTitlesAndDecodedCells) {
    host.createFile(counting(0x200));
    host.viewSettings().setShowIndexNum(true);
    vm::Segment& s = host.addSegment(0x100, 160, 16);
    s.entries.push_back(TestHost::entry(1, 0, 1, "", 40));
    s.entries.push_back(TestHost::entry(6, 2, 2, "Word", 70));
    showPane();
    SegmentGrid* g = grid(s);
    ASSERT_TRUE(g && g->isVisible());
    EXPECT_EQ(g->rowCount(), 11);
    EXPECT_EQ(g->columnCount(), 3);
    EXPECT_EQ(g->fixedRows(), 1);
    EXPECT_EQ(g->fixedCols(), 1);
    EXPECT_EQ(g->cellText(0, 0), "Seg1");
    EXPECT_EQ(g->cellText(1, 0), "0 1Bunsigned");
    EXPECT_EQ(g->cellText(2, 0), "Word");
    EXPECT_EQ(g->cellText(0, 4), "3 0130");
    EXPECT_EQ(g->columnWidth(0), 53);
    EXPECT_EQ(g->columnWidth(1), 40);
    EXPECT_EQ(g->columnWidth(2), 70);
    // Record 3 starts at 0x130: byte 0x30 = 48; the word at +2 is 0x3332.
    EXPECT_EQ(g->cellText(1, 4), "48");
    EXPECT_EQ(g->cellText(2, 4), QString::number(0x3332));
}

TEST_F(GridLayout, EmptySegmentsShowOnlyTheirTitleRowOrIndexColumn) {
    host.createFile(counting(64));
    vm::Segment& noRecords = host.addSegment(0, 0, 8);
    noRecords.entries.push_back(TestHost::entry(0, 0, 1));
    vm::Segment& noFields = host.addSegment(0, 64, 8);
    showPane();
    EXPECT_EQ(grid(noRecords)->rowCount(), 1);
    EXPECT_EQ(grid(noRecords)->fixedRows(), 0);
    pane->layoutSegmentGrids(&noFields);
    EXPECT_EQ(grid(noFields)->columnCount(), 1);
    EXPECT_EQ(grid(noFields)->fixedCols(), 0);
    EXPECT_EQ(grid(noFields)->rowCount(), 9);
}

TEST_F(GridLayout, StackedGridsTakeTheirRowsAndTheLastFillsThePane) {
    host.createFile(counting(64));
    vm::Segment& a = host.addSegment(0, 20, 10);
    vm::Segment& b = host.addSegment(20, 20, 10);
    vm::Segment& c = host.addSegment(40, 0, 10);
    for (vm::Segment* s : {&a, &b, &c})
        s->entries.push_back(TestHost::entry(0, 0, 1));
    showPane();
    const int paneHeight = pane->recordArea()->height();
    ASSERT_GT(paneHeight, 150);
    EXPECT_EQ(pane->segmentGridHeight(&a), 59);
    EXPECT_EQ(grid(a)->geometry(), QRect(0, 0, pane->recordArea()->width(), 59));
    EXPECT_EQ(grid(b)->y(), 61);
    EXPECT_EQ(grid(b)->height(), paneHeight - 61);
    EXPECT_TRUE(grid(b)->isVisible());
    EXPECT_FALSE(grid(c)->isVisible());

    // Starting from the second segment hides the first.
    pane->layoutSegmentGrids(&b);
    EXPECT_FALSE(grid(a)->isVisible());
    EXPECT_EQ(grid(b)->y(), 0);
    EXPECT_EQ(grid(b)->height(), paneHeight);

    // Dragging the splitter below the first grid resizes the first grid and
    // moves the second down.
    pane->layoutSegmentGrids(&a);
    QWidget* splitter = nullptr;
    for (QWidget* w : pane->recordArea()->findChildren<QWidget*>(QStringLiteral("gridSplitter")))
        if (w->isVisible())
            splitter = w;
    ASSERT_TRUE(splitter);
    EXPECT_EQ(splitter->y(), 59);
    QTest::mousePress(splitter, Qt::LeftButton, {}, QPoint(5, 1));
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 21), splitter->mapToGlobal(QPointF(5, 21)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(splitter, &move);
    QTest::mouseRelease(splitter, Qt::LeftButton, {}, QPoint(5, 21));
    EXPECT_EQ(grid(a)->height(), 79);
    EXPECT_EQ(grid(b)->y(), 81);
}

TEST_F(GridLayout, SplitterInEitherPaneResizesTheGridAboveInBoth) {
    host.createFile(counting(64));
    vm::MemorySource other(counting(64));
    pane->setCompareSource(&other);
    vm::Segment& a = host.addSegment(0, 20, 10);
    vm::Segment& b = host.addSegment(20, 20, 10);
    for (vm::Segment* s : {&a, &b})
        s->entries.push_back(TestHost::entry(0, 0, 1));
    showPane();
    pane->showCompare(&other);
    SegmentGrid* ca = pane->compareGrid(&a);
    SegmentGrid* cb = pane->compareGrid(&b);
    ASSERT_TRUE(ca->isVisible() && cb->isVisible());
    EXPECT_EQ(ca->height(), 59);
    const auto drag = [](QWidget* splitter, int dy) {
        QTest::mousePress(splitter, Qt::LeftButton, {}, QPoint(5, 1));
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 1 + dy),
                         splitter->mapToGlobal(QPointF(5, 1 + dy)), Qt::NoButton, Qt::LeftButton,
                         {});
        QApplication::sendEvent(splitter, &move);
        QTest::mouseRelease(splitter, Qt::LeftButton, {}, QPoint(5, 1 + dy));
    };
    QWidget* compareSplitter = nullptr;
    for (QWidget* w :
         pane->compareArea()->findChildren<QWidget*>(QStringLiteral("compareSplitter")))
        if (w->isVisible())
            compareSplitter = w;
    ASSERT_TRUE(compareSplitter);
    drag(compareSplitter, 30);
    EXPECT_EQ(ca->height(), 89);
    EXPECT_EQ(grid(a)->height(), 89);
    EXPECT_EQ(cb->y(), 91);
    EXPECT_EQ(grid(b)->y(), 91);
}

TEST_F(GridLayout, ColumnWidthsGoBackToTheModelAndFitFollowsTheKind) {
    host.createFile(counting(64));
    vm::Segment& s = host.addSegment(0, 64, 8);
    s.entries.push_back(TestHost::entry(7, 0, 4, "", 30));
    s.entries.push_back(TestHost::entry(14, 4, 4, "", 30));
    showPane();
    grid(s)->setColumnWidth(1, 91);
    pane->saveColumnWidths(&s);
    EXPECT_EQ(s.entries[0].columnWidth, 91);

    const int w = pane->gridFontHeight() * 12 / 16;
    pane->fitColumnWidth(&s, 0);
    EXPECT_EQ(s.entries[0].columnWidth, w * 11 + 3);
    EXPECT_EQ(grid(s)->columnWidth(1), w * 11 + 3);
    pane->fitColumnWidth(&s, 1); // string: one character per byte
    EXPECT_EQ(s.entries[1].columnWidth, w * 4 + 3);

    // Layout saves the visible grid's widths before it lays out again.
    grid(s)->setColumnWidth(2, 123);
    pane->layoutSegmentGrids(&s);
    EXPECT_EQ(s.entries[1].columnWidth, 123);
    EXPECT_EQ(grid(s)->columnWidth(2), 123);
}

TEST_F(GridLayout, SwitchingTheShapeKeepsEachShapesOwnWidths) {
    host.createFile(counting(64));
    vm::Segment& s = host.addSegment(0, 64, 8);
    for (int i = 0; i < 6; ++i)
        s.entries.push_back(TestHost::entry(0, i, 1, "", 40 + i));
    showPane();
    const auto anomalyWidths = s.anomalyColumnWidths;

    // Made Anomaly while its grid still shows records: the field widths must
    // not land in the Anomaly columns, nor the other way round.
    s.anomaly = true;
    pane->layoutSegmentGrids(&s);
    EXPECT_EQ(s.anomalyColumnWidths, anomalyWidths);
    EXPECT_EQ(grid(s)->columnWidth(1), anomalyWidths[0]);
    s.anomaly = false;
    pane->layoutSegmentGrids(&s);
    EXPECT_EQ(s.entries[0].columnWidth, 40);
    EXPECT_EQ(grid(s)->columnWidth(1), 40);
}

TEST_F(GridLayout, FillLeavesRecordGridsAloneWhileFillIsDisabled) {
    host.createFile(counting(64));
    vm::Segment& s = host.addSegment(0, 64, 8);
    s.entries.push_back(TestHost::entry(0, 0, 1));
    showPane();
    EXPECT_EQ(grid(s)->rowCount(), 9);
    host.fillEnabled = false;
    s.recordLength = 4;
    pane->refreshSegmentGrid(&s, false);
    EXPECT_EQ(grid(s)->rowCount(), 9);
    host.fillEnabled = true;
    pane->refreshSegmentGrid(&s, false);
    EXPECT_EQ(grid(s)->rowCount(), 17);
}

TEST_F(GridLayout, AnomalyGridListsFieldsWithTheirDefinitions) {
    host.createFile(counting(64));
    host.viewSettings().setShowIndexNum(true);
    vm::Segment& s = host.addSegment(0x10, 0x20, 0, true);
    s.entries.push_back(TestHost::entry(1, 0, 1, "first"));
    s.entries.push_back(TestHost::entry(6, 4, 2));
    showPane();
    SegmentGrid* g = grid(s);
    EXPECT_EQ(g->columnCount(), 6);
    EXPECT_EQ(g->rowCount(), 3);
    const QStringList titles{"Seg1", "Value", "TypeKind", "Start", "Length", "Memo"};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(g->cellText(c, 0), titles[c]);
    EXPECT_EQ(g->cellText(0, 2), "1 0014");
    EXPECT_EQ(g->cellText(1, 1), "16");
    EXPECT_EQ(g->cellText(1, 2), QString::number(0x1514));
    EXPECT_EQ(g->cellText(2, 2), "2Bunsigned");
    EXPECT_EQ(g->cellText(3, 2), "4");
    EXPECT_EQ(g->cellText(4, 2), "2");
    EXPECT_EQ(g->cellText(5, 1), "first");
    EXPECT_EQ(g->columnWidth(1), 150);
    EXPECT_EQ(g->columnWidth(5), 150);
}

TEST_F(GridLayout, PositionBarFollowsTheCurrentSegmentAndLocatesOnMove) {
    host.createFile(counting(4000));
    vm::Segment& s = host.addSegment(100, 3000, 10);
    s.entries.push_back(TestHost::entry(0, 0, 1));
    showPane();
    QScrollBar* bar = pane->positionBar();
    EXPECT_EQ(bar->minimum(), 1);
    EXPECT_EQ(bar->maximum(), 4000);
    EXPECT_EQ(bar->value(), 100);
    EXPECT_EQ(bar->pageStep(), grid(s)->visibleRowCount() * 10);
    EXPECT_EQ(bar->singleStep(), 100);
    EXPECT_TRUE(host.located.empty());
    bar->setValue(1234);
    ASSERT_EQ(host.located.size(), 1u);
    EXPECT_EQ(host.located[0], 1234);
}

TEST_F(GridLayout, PositionBarKeepsTheUsersPlaceWhileNavigatingAndReachesTheEnd) {
    host.createFile(counting(4000));
    vm::Segment& s = host.addSegment(100, 3000, 10);
    s.entries.push_back(TestHost::entry(0, 0, 1));
    showPane();
    // The panel refreshes the grid it lands in, which updates the bar; the
    // thumb must stay where the user put it, not jump back to the segment.
    host.onLocate = [&](std::int64_t) { pane->refreshSegmentGrid(&s, false); };
    QScrollBar* bar = pane->positionBar();
    bar->setValue(1234);
    EXPECT_EQ(bar->value(), 1234);
    // Outside a move the bar shows the current segment's start again.
    pane->refreshSegmentGrid(&s, false);
    EXPECT_EQ(bar->value(), 100);

    // One page short of the end, the move goes to the end itself.
    const int page = bar->pageStep();
    host.located.clear();
    bar->setValue(bar->maximum() - 1 - page);
    ASSERT_EQ(host.located.size(), 1u);
    EXPECT_EQ(host.located[0], bar->maximum() - 1);

    // The far right, and the right arrow once it gets there, stand for the
    // file's last byte: the last page, not nothing past the end.
    host.located.clear();
    bar->setValue(bar->maximum());
    ASSERT_EQ(host.located.size(), 1u);
    EXPECT_EQ(host.located[0], 3999);
    bar->setValue(bar->maximum() - 50);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(host.located.back(), 3999);

    // An Anomaly segment: its start plus one, two bytes a row.
    vm::Segment& h = host.addSegment(40, 16, 0, true);
    h.entries.push_back(TestHost::entry(0, 0, 1));
    host.segments().setCurrent(&h);
    pane->layoutSegmentGrids(&h);
    EXPECT_EQ(bar->value(), 41);
    EXPECT_EQ(bar->pageStep(), grid(h)->visibleRowCount() * 2);
}

TEST_F(GridLayout, APartialLastRecordShowsTheBytesAfterTheLastWholeOne) {
    host.createFile(counting(37));
    vm::Segment& s = host.addSegment(0, 0, 16);
    s.toFilesEnd = true;
    s.entries.push_back(TestHost::entry(15, 0, 16)); // the record's bytes in hex
    s.entries.push_back(TestHost::entry(1, 4, 1));
    s.entries.push_back(TestHost::entry(1, 5, 1));
    showPane();
    SegmentGrid* g = grid(s);
    ASSERT_EQ(g->rowCount(), 4); // titles, two records, the last five bytes
    EXPECT_EQ(g->cellText(1, 3).toStdString(), vm::decodeValue(*host.dataStream(), 32, 15, 5));
    EXPECT_EQ(g->cellText(2, 3), "36");
    EXPECT_EQ(g->cellText(3, 3), "");
    EXPECT_EQ(pane->segmentGridHeight(&s), 3 * 17 + 25);

    // What is there can be edited; a cell with no bytes cannot.
    host.viewSettings().setCanEditData(true);
    g->setFocus();
    g->selectCell(2, 3);
    QTest::keyClick(g, '7');
    EXPECT_EQ(host.fileBytes().back(), 7);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    g->selectCell(3, 3);
    EXPECT_FALSE(g->openEditor());
}

TEST_F(GridLayout, TheIndexColumnFitsItsTextsAndCutTextsShowWhole) {
    host.createFile(counting(64));
    vm::Segment& s = host.addSegment(0, 64, 16);
    s.setName("Readings");
    s.entries.push_back(TestHost::entry(1, 0, 1, "level", 20));
    showPane();
    SegmentGrid* g = grid(s);
    const QFontMetrics fm(g->font());
    EXPECT_GE(g->columnWidth(0), fm.horizontalAdvance("Readings") + SegmentGrid::kTextPadding);
    EXPECT_GE(g->columnWidth(0),
              fm.horizontalAdvance(g->cellText(0, 4)) + SegmentGrid::kTextPadding);
    // The stored width of a field stays; its cut title shows whole as a tooltip.
    EXPECT_EQ(g->columnWidth(1), 20);
    const auto tipAt = [&](int col, int row) {
        const QPoint p = g->cellRect(col, row).center();
        QHelpEvent e(QEvent::ToolTip, p, g->viewport()->mapToGlobal(p));
        QApplication::sendEvent(g->viewport(), &e);
    };
    tipAt(1, 0);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), "level");
    QToolTip::hideText();
    QTRY_VERIFY(!QToolTip::isVisible());
    tipAt(0, 0);
    EXPECT_FALSE(QToolTip::isVisible());
}

TEST_F(GridLayout, CtrlEndAndPageDownOnTheLastRowRefillTheGrid) {
    host.createFile(counting(40));
    vm::Segment& s = host.addSegment(0, 40, 10);
    s.toFilesEnd = true;
    s.entries.push_back(TestHost::entry(0, 0, 1));
    showPane();
    SegmentGrid* g = grid(s);
    ASSERT_EQ(g->rowCount(), 5);
    const std::vector<std::uint8_t> more(20, 1);
    ASSERT_TRUE(host.dataStream()->writeAt(40, more));
    g->setFocus();
    QTest::keyClick(g, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(g->rowCount(), 7);
    ASSERT_TRUE(host.dataStream()->writeAt(60, more));
    QTest::keyClick(g, Qt::Key_Up);
    QTest::keyClick(g, Qt::Key_PageDown); // not from the last row: no refill
    EXPECT_EQ(g->rowCount(), 7);
    QTest::keyClick(g, Qt::Key_PageDown); // from the last row
    EXPECT_EQ(g->rowCount(), 9);
}

TEST_F(GridLayout, ShowRecordScrollsOnlyWhenTheRowIsOutOfView) {
    host.createFile(counting(4000));
    vm::Segment& s = host.addSegment(0, 4000, 10);
    s.entries.push_back(TestHost::entry(0, 0, 1));
    showPane();
    pane->showRecord(&s, 5);
    EXPECT_EQ(pane->topRecord(&s), 0);
    EXPECT_EQ(grid(s)->currentRow(), 6);
    EXPECT_EQ(grid(s)->currentColumn(), 1);
    pane->showRecord(&s, 300);
    EXPECT_EQ(pane->topRecord(&s), 300);
    EXPECT_EQ(pane->currentCellPosition(), std::optional<std::int64_t>(3000));
    pane->showRecord(&s, 299);
    EXPECT_EQ(pane->topRecord(&s), 299);
}

TEST_F(GridLayout, HoverReportsFieldToTheHintAndStatusLine) {
    auto bytes = counting(64);
    bytes[0x13] = 0xFE;
    host.createFile(bytes);
    vm::Segment& s = host.addSegment(0x10, 0x30, 4);
    s.entries.push_back(TestHost::entry(0, 3, 1));
    showPane();
    QSignalSpy spy(pane, &RecordPane::statusTextChanged);
    QSignalSpy hovers(pane, &RecordPane::dataHovered);
    SegmentGrid* g = grid(s);
    const QRect cell = g->cellRect(1, 1);
    QTest::mouseMove(g->viewport(), cell.center());
    ASSERT_EQ(hovers.count(), 1);
    EXPECT_EQ(hovers[0][0].toLongLong(), 0x13);
    EXPECT_EQ(hovers[0][1].toInt(), 1);
    EXPECT_EQ(hovers[0][2].toString(), "FE 14 15 16 17 18 19 1A 1B 1C ");
    EXPECT_EQ(pane->statusText(), "Position:0013   Type Kind: 1Bsigned    Value: -2");
    ASSERT_EQ(spy.count(), 1);
    // The index column gives nothing.
    QTest::mouseMove(g->viewport(), g->cellRect(0, 2).center());
    EXPECT_EQ(hovers.count(), 1);

    host.viewSettings().setPositionFormat(2);
    QTest::mouseMove(g->viewport(), g->cellRect(1, 2).center());
    EXPECT_EQ(pane->statusText(), "Position:23   Type Kind: 1Bsigned    Value: 23");
}

TEST_F(GridLayout, PageUpMovesThePositionBarBackOnePageInRecordGridsOnly) {
    host.createFile(counting(4000));
    vm::Segment& s = host.addSegment(2000, 2000, 10);
    s.entries.push_back(TestHost::entry(0, 0, 1));
    vm::Segment& h = host.addSegment(0, 16, 0, true);
    h.entries.push_back(TestHost::entry(0, 0, 1));
    showPane();
    const int page = pane->positionBar()->pageStep();
    ASSERT_GT(page, 10);
    grid(s)->setFocus();
    QTest::keyClick(grid(s), Qt::Key_PageUp);
    ASSERT_EQ(host.located.size(), 1u);
    EXPECT_EQ(host.located[0], 2000 - page);

    host.segments().setCurrent(&h);
    pane->layoutSegmentGrids(&h);
    host.located.clear();
    grid(h)->setFocus();
    QTest::keyClick(grid(h), Qt::Key_PageUp);
    EXPECT_TRUE(host.located.empty());
}

TEST_F(GridLayout, GridsGoWithTheirSegment) {
    host.createFile(counting(64));
    vm::Segment& a = host.addSegment(0, 20, 10);
    vm::Segment& b = host.addSegment(20, 20, 10);
    a.entries.push_back(TestHost::entry(0, 0, 1));
    b.entries.push_back(TestHost::entry(0, 0, 1));
    showPane();
    QPointer<SegmentGrid> g = grid(b);
    ASSERT_TRUE(g);
    g->selectCell(1, 1);
    EXPECT_EQ(pane->editedSegment(), &b);
    host.segments().take(1).reset();
    EXPECT_EQ(pane->editedSegment(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(g.isNull());
    // Laying out again works with what is left.
    pane->layoutSegmentGrids(&a);
    EXPECT_EQ(grid(a)->height(), pane->recordArea()->height());
}
