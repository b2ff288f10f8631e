// How cells are drawn: from their bytes through a glyph run where that draws
// what the text layout would, and by the text layout everywhere else.
#include <bit>
#include <cstring>

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "gridfixture.h"

namespace {

class GridPaint : public GridFixture {};

} // namespace

TEST_F(GridPaint, CellsLookExactlyAsTheTextLayoutDrawsThem) {
    std::vector<std::uint8_t> bytes(3 * 24, 0);
    for (int r = 0; r < 3; ++r) {
        std::uint8_t* p = bytes.data() + r * 24;
        const std::int32_t id = -123456 * (r + 1);
        std::memcpy(p, &id, 4);
        p[4] = 0x80 + static_cast<std::uint8_t>(r); // the placeholder, shown as the euro sign
        std::memcpy(p + 5, "a\x01\tb", 4);          // control characters
        const double third = 1.0 / (r + 3);         // far wider than its column
        std::memcpy(p + 9, &third, 8);
        p[17] = static_cast<std::uint8_t>(0xA7 + r); // Latin-1 letters and signs
        std::memcpy(p + 18, "Zz\xE9\xFC", 4);
    }
    host.createFile(bytes);
    host.viewSettings().setShowIndexNum(true);
    vm::Segment& s = host.addSegment(0, 72, 24);
    s.entries.push_back(TestHost::entry(7, 0, 4, "Id", 90));
    s.entries.push_back(TestHost::entry(3, 4, 1, "C", 30));
    s.entries.push_back(TestHost::entry(14, 5, 4, "Ctl", 60));
    s.entries.push_back(TestHost::entry(11, 9, 8, "Cut", 40));
    s.entries.push_back(TestHost::entry(3, 17, 1, "L", 30));
    s.entries.push_back(TestHost::entry(14, 18, 4, "S", 60));
    showPane();
    SegmentGrid* g = grid(s);
    ASSERT_TRUE(g && g->isVisible());
    ASSERT_EQ(g->cellText(2, 2), QString(QChar(0x20AC)));
    g->selectCell(1, 3); // the selection is drawn apart; rows 1 and 2 stay plain

    const QImage shown = g->viewport()->grab().toImage();
    for (int row = 1; row <= 2; ++row)
        for (int col = 0; col < g->columnCount(); ++col) {
            const QRect rect = g->cellRect(col, row);
            ASSERT_TRUE(rect.isValid()) << col << " " << row;
            // The same cell drawn by the text layout on the same kind of image.
            QImage want = shown.copy(rect);
            QPainter p(&want);
            p.setFont(g->font());
            const bool fixed = col == 0;
            p.fillRect(want.rect(), g->palette().color(fixed ? QPalette::Button : QPalette::Base));
            p.setPen(g->palette().color(fixed ? QPalette::ButtonText : QPalette::Text));
            p.drawText(want.rect().adjusted(2, 0, -1, 0),
                       Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       g->cellText(col, row));
            p.end();
            EXPECT_TRUE(shown.copy(rect) == want) << "column " << col << " row " << row << ": "
                                                  << g->cellText(col, row).toStdString();
        }
}
