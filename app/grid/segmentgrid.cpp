#include "segmentgrid.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <string_view>

#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include "byteglyphs.h"
#include "cachedsource.h"
#include "cellformat.h"
#include "codec.h"
#include "findscan.h"
#include "indextext.h"
#include "model.h"
#include "recordpane.h"

namespace {

constexpr int kPitch = SegmentGrid::kRowHeight + SegmentGrid::kLineWidth;
const QColor kFixedLine(128, 128, 128);
const QColor kNormalLine(192, 192, 192);

// Pens of the few colours a paint uses: setting a pen by colour makes a new
// one each time.
class PenCache {
public:
    const QPen& operator()(const QColor& c) {
        for (const QPen& p : m_pens)
            if (p.color() == c)
                return p;
        m_pens.emplace_back(c);
        return m_pens.back();
    }

private:
    std::deque<QPen> m_pens;
};

// Characters that cannot be shown all show as one placeholder (0x80), so two
// equal texts holding it may stand for different bytes. A text of characters
// and strings shows one byte a character from the field's start.
bool placeholdersDiffer(const vm::ByteSource& a, const vm::ByteSource& b, std::int64_t pos,
                        std::string_view text, std::vector<std::uint8_t>& scratch) {
    if (text.find('\x80') == std::string_view::npos)
        return false;
    const std::size_t n = text.size();
    scratch.resize(2 * n);
    const std::span<std::uint8_t> x(scratch.data(), n);
    const std::span<std::uint8_t> y(scratch.data() + n, n);
    const std::size_t got = a.readAt(pos, x);
    return got != b.readAt(pos, y) || !std::equal(x.begin(), x.begin() + got, y.begin());
}

} // namespace

struct SegmentGrid::PaintContext {
    std::optional<vm::CachedSource> dataCache;
    std::optional<vm::CachedSource> compareCache;
    const vm::ByteSource* own = nullptr;     // the bytes this grid shows
    const vm::ByteSource* data = nullptr;    // the working copy
    const vm::ByteSource* compare = nullptr; // the compare file
    RecordPane::BottomPanel mode = RecordPane::BottomPanel::Normal;
    const std::vector<vm::FindPattern>* patterns = nullptr;
    QRect selection;
    bool focused = false;
    std::optional<vm::CellFormat> cell; // the locale's formats, prepared once a paint
    // Kept from cell to cell, so that painting a cell allocates nothing.
    mutable std::optional<ByteGlyphs> glyphs;
    mutable PenCache pens;
    mutable QString text;
    mutable std::vector<std::uint8_t> scratch;
};

SegmentGrid::SegmentGrid(RecordPane* pane, vm::Segment* segment, Role role, QWidget* parent)
    : QAbstractScrollArea(parent), m_pane(pane), m_segment(segment), m_role(role) {
    setObjectName(role == Role::Main ? QStringLiteral("segmentGrid")
                                     : QStringLiteral("compareGrid"));
    setFont(pane->gridFont());
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::StyledPanel);
    setMinimumHeight(kMinimumHeight);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(1);
    m_titles << QString();
    hide();
}

void SegmentGrid::detach() {
    closeEditor();
    m_segment = nullptr;
}

// --- shape ----------------------------------------------------------------

void SegmentGrid::setColumnCount(int count) {
    count = std::max(count, 1);
    m_widths.resize(static_cast<std::size_t>(count), kDefaultColumnWidth);
    while (m_titles.size() < count)
        m_titles << QString();
    while (m_titles.size() > count)
        m_titles.removeLast();
    for (QStringList& r : m_rows) {
        while (r.size() < count)
            r << QString();
        while (r.size() > count)
            r.removeLast();
    }
    m_curCol = std::clamp(m_curCol, fixedCols(), count - 1);
    m_anchorCol = std::clamp(m_anchorCol, fixedCols(), count - 1);
    if (m_editing && m_editCol >= count)
        closeEditor();
    updateScrollRanges();
    viewport()->update();
}

void SegmentGrid::setRowCount(int count) {
    m_rowCount = std::max(count, 1);
    m_curRow = std::clamp(m_curRow, fixedRows(), m_rowCount - 1);
    m_anchorRow = std::clamp(m_anchorRow, fixedRows(), m_rowCount - 1);
    if (m_editing && m_editRow >= m_rowCount)
        closeEditor();
    updateScrollRanges();
    viewport()->update();
}

int SegmentGrid::columnWidth(int col) const {
    if (col < 0 || col >= columnCount())
        return 0;
    return m_widths[static_cast<std::size_t>(col)];
}

void SegmentGrid::setColumnWidth(int col, int width) {
    if (col < 0 || col >= columnCount())
        return;
    m_widths[static_cast<std::size_t>(col)] = std::clamp(width, 0, 10000);
    updateScrollRanges();
    placeEditor();
    viewport()->update();
}

void SegmentGrid::setStoredText(int col, int row, const QString& text) {
    if (col < 0 || col >= columnCount() || row < 0)
        return;
    if (row == 0) {
        m_titles[col] = text;
    } else {
        const auto r = static_cast<std::size_t>(row - 1);
        if (r >= m_rows.size())
            m_rows.resize(r + 1, QStringList());
        QStringList& line = m_rows[r];
        while (line.size() < columnCount())
            line << QString();
        line[col] = text;
    }
    viewport()->update();
}

QString SegmentGrid::storedText(int col, int row) const {
    if (col < 0 || col >= columnCount() || row < 0)
        return {};
    if (row == 0)
        return m_titles.value(col);
    const auto r = static_cast<std::size_t>(row - 1);
    return r < m_rows.size() ? m_rows[r].value(col) : QString();
}

void SegmentGrid::clearStoredRows() {
    m_rows.clear();
}

bool SegmentGrid::fieldOf(int col, int row, std::int64_t* pos, const vm::TypeEntry** entry,
                          int* length) const {
    if (!m_segment || row < 1 || row >= m_rowCount)
        return false;
    if (m_anomalyShape) {
        const auto i = static_cast<std::size_t>(row - 1);
        if (i >= m_segment->entries.size())
            return false;
        *entry = &m_segment->entries[i];
        *pos = std::int64_t{m_segment->begin} + (*entry)->start;
        *length = (*entry)->length;
        return true;
    }
    if (col < 1)
        return false;
    const auto f = static_cast<std::size_t>(col - 1);
    if (f >= m_segment->entries.size())
        return false;
    *entry = &m_segment->entries[f];
    const vm::FieldSpan span = vm::recordFieldSpan(
        *m_segment, vm::countedExtent(*m_segment, m_pane->fileSize()), row - 1, **entry);
    *pos = span.pos;
    *length = span.length;
    // A field that does not reach into a partial record's bytes has no cell.
    return span.length > 0 || (*entry)->length == 0;
}

QString SegmentGrid::decodedText(int col, int row, const vm::ByteSource* src) const {
    std::int64_t pos = 0;
    const vm::TypeEntry* e = nullptr;
    int len = 0;
    if (!src || !fieldOf(col, row, &pos, &e, &len))
        return {};
    return RecordPane::toDisplay(
        vm::decodeValue(*src, pos, e->kind, len, m_pane->host()->locale()));
}

QString SegmentGrid::cellText(int col, int row) const {
    if (!m_segment || col < 0 || col >= columnCount() || row < 0 || row >= m_rowCount)
        return {};
    if (row == 0 || m_anomalyShape)
        return storedText(col, row);
    if (col == 0)
        return QString::fromStdString(
            gridtext::indexCellText(*m_segment, row - 1, m_pane->host()->viewSettings()));
    GridHost* h = m_pane->host();
    const vm::ByteSource* src = m_role == Role::Main
                                    ? static_cast<const vm::ByteSource*>(h->dataStream())
                                    : m_pane->compareSource();
    return decodedText(col, row, src);
}

// --- geometry -------------------------------------------------------------

int SegmentGrid::topRow() const {
    return 1 + verticalScrollBar()->value();
}

void SegmentGrid::setTopRow(int row) {
    verticalScrollBar()->setValue(row - 1);
}

int SegmentGrid::visibleRowCount() const {
    return std::max(0, (viewport()->height() - kPitch) / kPitch);
}

void SegmentGrid::updateScrollRanges() {
    const int scrollable = m_rowCount - 1;
    const int visible = visibleRowCount();
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(0, scrollable - visible));
    v->setPageStep(std::max(1, visible));

    std::int64_t total = 0;
    for (int c = 1; c < columnCount(); ++c)
        total += columnWidth(c) + kLineWidth;
    const int avail = viewport()->width() - (columnWidth(0) + kLineWidth);
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, static_cast<int>(std::clamp<std::int64_t>(total - avail, 0, 1 << 30)));
    h->setPageStep(std::max(1, avail));
}

int SegmentGrid::columnLeft(int col) const {
    if (col <= 0)
        return 0;
    int x = columnWidth(0) + kLineWidth - horizontalScrollBar()->value();
    for (int c = 1; c < col; ++c)
        x += columnWidth(c) + kLineWidth;
    return x;
}

QRect SegmentGrid::cellRect(int col, int row) const {
    if (col < 0 || col >= columnCount() || row < 0 || row >= m_rowCount)
        return {};
    int y = 0;
    if (row > 0) {
        if (row < topRow())
            return {};
        const std::int64_t yy = kPitch + std::int64_t{row - topRow()} * kPitch;
        if (yy >= viewport()->height())
            return {};
        y = static_cast<int>(yy);
    }
    const int x = columnLeft(col);
    const int w = columnWidth(col);
    if (col > 0 && (x + w <= columnWidth(0) || x >= viewport()->width()))
        return {};
    return QRect(x, y, w, kRowHeight);
}

bool SegmentGrid::cellAt(const QPoint& pos, int* col, int* row) const {
    if (pos.x() < 0 || pos.y() < 0)
        return false;
    int r = 0;
    if (pos.y() >= kPitch) {
        r = topRow() + (pos.y() - kPitch) / kPitch;
        if (r >= m_rowCount)
            return false;
    }
    int c = -1;
    if (pos.x() < columnWidth(0) + kLineWidth) {
        c = 0;
    } else {
        for (int i = 1; i < columnCount(); ++i) {
            const int x = columnLeft(i);
            if (pos.x() >= x && pos.x() < x + columnWidth(i) + kLineWidth) {
                c = i;
                break;
            }
        }
    }
    if (c < 0)
        return false;
    *col = c;
    *row = r;
    return true;
}

int SegmentGrid::separatorAt(int x) const {
    for (int c = 0; c < columnCount(); ++c) {
        const int right = columnLeft(c) + columnWidth(c);
        if (c > 0 && right <= columnWidth(0))
            continue;
        if (std::abs(x - right) <= 2)
            return c;
    }
    return -1;
}

// --- painting -------------------------------------------------------------

void SegmentGrid::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    if (!m_segment)
        return;
    p.setFont(font());

    PaintContext ctx;
    GridHost* h = m_pane->host();
    // A paint reads its cells from a block in memory, not one read a cell.
    if (h->dataStream())
        ctx.data = &ctx.dataCache.emplace(*h->dataStream());
    if (m_pane->compareSource())
        ctx.compare = &ctx.compareCache.emplace(*m_pane->compareSource());
    ctx.own = m_role == Role::Main ? ctx.data : ctx.compare;
    ctx.cell.emplace(h->locale());
    ctx.glyphs.emplace(font());
    ctx.mode = m_pane->bottomPanel();
    ctx.patterns = &m_pane->findPatterns();
    ctx.selection = selection();
    ctx.focused = hasFocus() || (m_editor && m_editor->hasFocus());

    const int vw = viewport()->width();
    const int vh = viewport()->height();
    const int fixedRight = columnWidth(0) + kLineWidth;

    std::vector<int> rows{0};
    rows.reserve(static_cast<std::size_t>(vh / kPitch + 2));
    for (int r = topRow(), y = kPitch; r < m_rowCount && y < vh; ++r, y += kPitch)
        rows.push_back(r);

    auto rowTop = [this](int r) { return r == 0 ? 0 : kPitch + (r - topRow()) * kPitch; };
    // Scrolled columns first, clipped so they never run under the index column
    // (one clip for all rows: the index column is painted apart anyway).
    p.save();
    p.setClipRect(QRect(fixedRight, 0, std::max(0, vw - fixedRight), vh));
    for (int r : rows) {
        const int y = rowTop(r);
        for (int c = 1; c < columnCount(); ++c) {
            const int x = columnLeft(c);
            if (x >= vw)
                break;
            const int w = columnWidth(c);
            if (x + w + kLineWidth <= fixedRight)
                continue;
            const bool fixed = r < fixedRows();
            paintCell(p, ctx, c, r, QRect(x, y, w, kRowHeight), fixed);
            p.setPen(ctx.pens(fixed ? kFixedLine : kNormalLine));
            p.drawLine(x + w, y, x + w, y + kRowHeight);
            p.drawLine(x, y + kRowHeight, x + w, y + kRowHeight);
        }
    }
    p.restore();
    const int w0 = columnWidth(0);
    for (int r : rows) {
        const int y = rowTop(r);
        const bool fixed0 = r < fixedRows() || fixedCols() > 0;
        paintCell(p, ctx, 0, r, QRect(0, y, w0, kRowHeight), fixed0);
        p.setPen(ctx.pens(fixed0 ? kFixedLine : kNormalLine));
        p.drawLine(w0, y, w0, y + kRowHeight);
        p.drawLine(0, y + kRowHeight, w0, y + kRowHeight);
    }
}

void SegmentGrid::paintCell(QPainter& p, const PaintContext& ctx, int col, int row,
                            const QRect& rect, bool fixed) const {
    QColor bg = palette().color(QPalette::Base);
    QColor fg = palette().color(QPalette::Text);
    if (fixed) {
        bg = palette().color(QPalette::Button);
        fg = palette().color(QPalette::ButtonText);
    } else if (ctx.selection.contains(col, row)) {
        if (ctx.focused) {
            bg = palette().color(QPalette::Highlight);
            fg = palette().color(QPalette::HighlightedText);
        } else {
            // Every stacked grid keeps its selection; only the grid being
            // worked in shows it at full strength.
            const QColor hi = palette().color(QPalette::Highlight);
            bg = QColor((hi.red() + 3 * bg.red()) / 4, (hi.green() + 3 * bg.green()) / 4,
                        (hi.blue() + 3 * bg.blue()) / 4);
        }
    }

    // Titles and Anomaly rows show stored texts; every other cell single-byte
    // text written into a buffer here.
    QString stored;
    bool isStored = false;
    char text[std::max(vm::kCellTextRoom, gridtext::kIndexTextRoom)];
    char other[vm::kCellTextRoom];
    std::string_view bytes;
    std::int64_t pos = 0;
    const vm::TypeEntry* e = nullptr;
    int len = 0;
    const bool isField =
        !fixed && fieldOf(col, row, &pos, &e, &len) && (!m_anomalyShape || col == 1);

    if (row == 0 || m_anomalyShape) {
        stored = storedText(col, row);
        isStored = true;
    } else if (col == 0) {
        bytes =
            std::string_view(text, gridtext::indexCellText(*m_segment, row - 1,
                                                           m_pane->host()->viewSettings(), text));
    } else if (isField && ctx.own) {
        bytes = std::string_view(text, ctx.cell->at(text, *ctx.own, pos, e->kind, len));
    }

    // Find hits and compare differences.
    if (isField) {
        bool hit = false;
        if (ctx.mode == RecordPane::BottomPanel::FindResults && ctx.data) {
            for (const auto& pattern : *ctx.patterns)
                if (vm::patternTouches(*ctx.data, pattern, pos, len, ctx.scratch)) {
                    hit = true;
                    break;
                }
        } else if (ctx.mode == RecordPane::BottomPanel::Compare && ctx.data && ctx.compare) {
            // This grid's own text is in text; the other file's goes to other.
            const vm::ByteSource* otherSource = m_role == Role::Main ? ctx.compare : ctx.data;
            const std::size_t n = ctx.cell->at(other, *otherSource, pos, e->kind, len);
            const std::string_view own(text, m_anomalyShape
                                                 ? ctx.cell->at(text, *ctx.own, pos, e->kind, len)
                                                 : bytes.size());
            if (own != std::string_view(other, n) ||
                placeholdersDiffer(*ctx.data, *ctx.compare, pos, own, ctx.scratch)) {
                hit = true;
                if (!m_anomalyShape)
                    bytes = own;
            }
        }
        if (hit || m_pane->isInputProblemCell(this, col, row)) {
            bg = RecordPane::hitColour();
            fg = Qt::white;
        }
    }

    p.fillRect(rect, bg);
    const QRect textRect = rect.adjusted(2, 0, -1, 0);
    if (isStored ? !stored.isEmpty() : !bytes.empty()) {
        p.setPen(ctx.pens(fg));
        if (isStored || !ctx.glyphs->draw(p, textRect, bytes)) {
            if (!isStored)
                RecordPane::toDisplay(bytes, ctx.text);
            p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       isStored ? stored : ctx.text);
        }
    }
    if (!fixed && ctx.focused && col == m_curCol && row == m_curRow) {
        p.setPen(QPen(fg, 1, Qt::DotLine));
        p.drawRect(rect.adjusted(0, 0, -1, -1));
    }
}

// --- selection and scrolling ------------------------------------------------

QRect SegmentGrid::selection() const {
    if (fixedRows() >= m_rowCount || fixedCols() >= columnCount())
        return {};
    return QRect(QPoint(std::min(m_curCol, m_anchorCol), std::min(m_curRow, m_anchorRow)),
                 QPoint(std::max(m_curCol, m_anchorCol), std::max(m_curRow, m_anchorRow)));
}

void SegmentGrid::selectCell(int col, int row, bool extend) {
    if (fixedRows() >= m_rowCount || fixedCols() >= columnCount())
        return;
    col = std::clamp(col, fixedCols(), columnCount() - 1);
    row = std::clamp(row, fixedRows(), m_rowCount - 1);
    if (m_editing && (col != m_editCol || row != m_editRow))
        closeEditor();
    m_curCol = col;
    m_curRow = row;
    if (!extend) {
        m_anchorCol = col;
        m_anchorRow = row;
    }
    viewport()->update();
    if (m_segment)
        m_pane->gridSelectionChanged(this);
}

void SegmentGrid::ensureVisible(int col, int row) {
    if (row >= 1) {
        const int visible = std::max(1, visibleRowCount());
        if (row < topRow())
            setTopRow(row);
        else if (row >= topRow() + visible)
            setTopRow(row - visible + 1);
    }
    if (col >= 1) {
        const int fixedRight = columnWidth(0) + kLineWidth;
        const int x = columnLeft(col);
        QScrollBar* h = horizontalScrollBar();
        if (x < fixedRight)
            h->setValue(h->value() - (fixedRight - x));
        else if (x + columnWidth(col) > viewport()->width())
            h->setValue(h->value() +
                        std::min(x - fixedRight, x + columnWidth(col) - viewport()->width()));
    }
}

void SegmentGrid::moveCurrent(int col, int row, bool extend) {
    if (fixedRows() >= m_rowCount || fixedCols() >= columnCount())
        return;
    col = std::clamp(col, fixedCols(), columnCount() - 1);
    row = std::clamp(row, fixedRows(), m_rowCount - 1);
    selectCell(col, row, extend);
    ensureVisible(col, row);
}

void SegmentGrid::scrollContentsBy(int, int) {
    viewport()->update();
    placeEditor();
    if (m_segment)
        m_pane->gridScrolled(this);
}

void SegmentGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRanges();
    placeEditor();
}

bool SegmentGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave)
        leaveEvent(event);
    if (event->type() == QEvent::ToolTip) {
        // A title or value cut by its column shows whole as a tooltip.
        auto* help = static_cast<QHelpEvent*>(event);
        int col = 0;
        int row = 0;
        QString text;
        if (cellAt(help->pos(), &col, &row))
            text = cellText(col, row);
        if (!text.isEmpty() &&
            QFontMetrics(font()).horizontalAdvance(text) + kTextPadding > columnWidth(col))
            QToolTip::showText(help->globalPos(), text, viewport(), cellRect(col, row));
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// --- mouse ----------------------------------------------------------------

void SegmentGrid::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (!m_segment)
        return;
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && pos.y() < kPitch) {
        const int sep = separatorAt(pos.x());
        if (sep >= 0) {
            m_resizeCol = sep;
            m_resizeStartX = pos.x();
            m_resizeStartWidth = columnWidth(sep);
            return;
        }
    }
    int col = 0;
    int row = 0;
    if (cellAt(pos, &col, &row) && row >= fixedRows() && col >= fixedCols()) {
        if (event->button() == Qt::LeftButton) {
            selectCell(col, row, event->modifiers() & Qt::ShiftModifier);
            m_selecting = true;
        } else if (!selection().contains(col, row)) {
            selectCell(col, row);
        }
    }
    if (!m_segment)
        return;
    m_pane->gridClickedOrLeft(this);
    // Record grids show the record menu; Anomaly grids the control panel's field
    // menu. The row is the one under the pointer as the user saw it, before
    // the focus made this segment current and the grids moved.
    if (event->button() == Qt::RightButton && m_role == Role::Main && m_segment) {
        int menuCol = 0;
        int menuRow = -1;
        if (!cellAt(QPoint(1, pos.y()), &menuCol, &menuRow))
            menuRow = -1;
        emit m_pane->recordMenuRequested(m_segment, menuRow, event->globalPosition().toPoint());
    }
}

void SegmentGrid::mouseMoveEvent(QMouseEvent* event) {
    if (!m_segment)
        return;
    const QPoint pos = event->position().toPoint();
    if (m_resizeCol >= 0) {
        setColumnWidth(m_resizeCol, std::max(0, m_resizeStartWidth + pos.x() - m_resizeStartX));
        return;
    }
    int col = 0;
    int row = 0;
    const bool inCell = cellAt(pos, &col, &row);
    if (m_selecting && (event->buttons() & Qt::LeftButton)) {
        if (inCell) {
            moveCurrent(col, row, true);
        } else if (pos.y() >= viewport()->height()) {
            moveCurrent(m_curCol, topRow() + visibleRowCount(), true);
        }
        return;
    }
    viewport()->setCursor(pos.y() < kPitch && separatorAt(pos.x()) >= 0 ? Qt::SplitHCursor
                                                                        : Qt::ArrowCursor);
    if (m_role == Role::Main) {
        if (inCell)
            m_pane->gridHover(this, col, row);
        else
            m_pane->gridHover(this, -1, -1);
    }
}

void SegmentGrid::mouseReleaseEvent(QMouseEvent*) {
    m_resizeCol = -1;
    m_selecting = false;
}

void SegmentGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    int col = 0;
    int row = 0;
    if (event->button() == Qt::LeftButton && cellAt(event->position().toPoint(), &col, &row) &&
        col == m_curCol && row == m_curRow)
        openEditor();
}

void SegmentGrid::leaveEvent(QEvent*) {
    if (m_segment && m_role == Role::Main)
        m_pane->gridHover(this, -1, -1);
}

// --- keys and focus ---------------------------------------------------------

// The Menu key and Shift+F10: the same menu as a right click, for the current
// row, shown over its cell. The mouse's own menu comes with the button press.
void SegmentGrid::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() != QContextMenuEvent::Keyboard || m_role != Role::Main || !m_segment) {
        event->ignore();
        return;
    }
    const int row = m_curRow >= fixedRows() && m_curRow < m_rowCount ? m_curRow : -1;
    QRect cell = row >= 0 ? cellRect(std::max(m_curCol, 0), row) : QRect();
    if (cell.isNull())
        cell = QRect(viewport()->rect().topLeft(), QSize(1, 1));
    emit m_pane->recordMenuRequested(m_segment, row, viewport()->mapToGlobal(cell.center()));
}

void SegmentGrid::keyPressEvent(QKeyEvent* event) {
    if (!m_segment) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    m_pane->gridKey(this, key, mods);
    if (!m_segment)
        return;
    const bool shift = mods & Qt::ShiftModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    const int page = std::max(1, visibleRowCount());
    switch (key) {
    case Qt::Key_Up:
        moveCurrent(m_curCol, m_curRow - 1, shift);
        return;
    case Qt::Key_Down:
        moveCurrent(m_curCol, m_curRow + 1, shift);
        return;
    case Qt::Key_Left:
        moveCurrent(m_curCol - 1, m_curRow, shift);
        return;
    case Qt::Key_Right:
        moveCurrent(m_curCol + 1, m_curRow, shift);
        return;
    case Qt::Key_Tab:
        moveCurrent(m_curCol + 1, m_curRow, false);
        return;
    case Qt::Key_Backtab:
        moveCurrent(m_curCol - 1, m_curRow, false);
        return;
    case Qt::Key_PageUp:
        moveCurrent(m_curCol, m_curRow - page, shift);
        return;
    case Qt::Key_PageDown:
        moveCurrent(m_curCol, m_curRow + page, shift);
        return;
    case Qt::Key_Home:
        moveCurrent(fixedCols(), ctrl ? fixedRows() : m_curRow, shift);
        return;
    case Qt::Key_End:
        moveCurrent(columnCount() - 1, ctrl ? m_rowCount - 1 : m_curRow, shift);
        return;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        openEditor();
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (!ctrl && !text.isEmpty() && text.at(0).isPrint() && openEditor()) {
        m_editor->clear();
        QKeyEvent copy(event->type(), key, mods, text);
        QApplication::sendEvent(m_editor, &copy);
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void SegmentGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
    if (m_segment)
        m_pane->gridFocusIn(this, event->reason());
}

void SegmentGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
    if (m_segment && !(m_editor && QApplication::focusWidget() == m_editor))
        m_pane->gridClickedOrLeft(this);
}

// --- in-cell editor ---------------------------------------------------------

bool SegmentGrid::editingAllowed() const {
    if (!m_segment || m_role != Role::Main)
        return false;
    GridHost* h = m_pane->host();
    return h->dataStream() && h->canWriteData() && h->viewSettings().canEditData();
}

bool SegmentGrid::editorOpen() const {
    return m_editing;
}

bool SegmentGrid::openEditor() {
    if (!editingAllowed()) {
        // Editing is on, but the data cannot change yet: the user hears why
        // instead of a key that does nothing.
        GridHost* h = m_pane->host();
        if (m_segment && m_role == Role::Main && h->dataStream() &&
            h->viewSettings().canEditData() && !h->canWriteData())
            h->dataWriteRefused();
        return false;
    }
    std::int64_t pos = 0;
    const vm::TypeEntry* e = nullptr;
    int len = 0;
    if (!fieldOf(m_curCol, m_curRow, &pos, &e, &len) || (m_anomalyShape && m_curCol != 1))
        return false;
    if (!m_editor) {
        m_editor = new QLineEdit(viewport());
        m_editor->setObjectName(QStringLiteral("cellEditor"));
        m_editor->setFrame(false);
        m_editor->setFont(font());
        m_editor->installEventFilter(this);
        connect(m_editor, &QLineEdit::textEdited, this, &SegmentGrid::editorTextEdited);
    }
    ensureVisible(m_curCol, m_curRow);
    m_editing = true;
    m_editCol = m_curCol;
    m_editRow = m_curRow;
    // Editing starts from the bytes as they are now, not from a stale paint.
    m_editor->setText(m_anomalyShape
                          ? storedText(m_editCol, m_editRow)
                          : decodedText(m_editCol, m_editRow, m_pane->host()->dataStream()));
    placeEditor();
    m_editor->setFocus(Qt::OtherFocusReason);
    m_editor->selectAll();
    return true;
}

void SegmentGrid::closeEditor() {
    if (!m_editing)
        return;
    m_editing = false;
    m_pane->host()->editFinished();
    m_editCol = -1;
    m_editRow = -1;
    if (m_editor) {
        const bool hadFocus = m_editor->hasFocus();
        m_editor->hide();
        if (hadFocus && m_segment)
            setFocus(Qt::OtherFocusReason);
    }
    viewport()->update();
}

void SegmentGrid::placeEditor() {
    if (!m_editor)
        return;
    if (!m_editing) {
        m_editor->hide();
        return;
    }
    const QRect r = cellRect(m_editCol, m_editRow);
    if (r.isNull()) {
        m_editor->hide();
        return;
    }
    m_editor->setGeometry(r);
    m_editor->show();
}

void SegmentGrid::editorTextEdited(const QString& text) {
    if (!m_editing || !m_segment)
        return;
    if (m_anomalyShape)
        setStoredText(m_editCol, m_editRow, text);
    m_pane->dataEdited(this, m_editCol, m_editRow, text);
}

bool SegmentGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_editor) {
        if (event->type() == QEvent::KeyPress) {
            auto* ke = static_cast<QKeyEvent*>(event);
            switch (ke->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Escape:
                closeEditor();
                return true;
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Tab:
                closeEditor();
                keyPressEvent(ke);
                return true;
            default:
                break;
            }
        } else if (event->type() == QEvent::FocusOut) {
            auto* fe = static_cast<QFocusEvent*>(event);
            if (fe->reason() != Qt::PopupFocusReason &&
                fe->reason() != Qt::ActiveWindowFocusReason &&
                QApplication::focusWidget() != this) {
                closeEditor();
                if (m_segment)
                    m_pane->gridClickedOrLeft(this);
            }
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}
