#include "recordpane.h"

#include <algorithm>
#include <climits>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>

#include "codec.h"
#include "cp1252.h"
#include "datahint.h"
#include "fieldedits.h"
#include "findmapstrip.h"
#include "gridsplitter.h"
#include "indextext.h"
#include "kindnames.h"
#include "kinds.h"
#include "model.h"
#include "segmentgrid.h"
#include "segmentgridviews.h"
#include "updownbuttons.h"

namespace {

constexpr int kRowPitch = SegmentGrid::kRowHeight + SegmentGrid::kLineWidth;
constexpr int kGridExtra = 25; // title row and frame
constexpr int kPositionBarHeight = 16;
constexpr int kStripHeight = 30;

SegmentGridViews* viewsOf(const vm::Segment* seg) {
    return seg ? dynamic_cast<SegmentGridViews*>(seg->views.get()) : nullptr;
}

QFont makeGridFont() {
    QFont f(QStringLiteral("Courier"));
    f.setStyleHint(QFont::TypeWriter);
    f.setPixelSize(13);
    if (!QFontInfo(f).fixedPitch()) {
        f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPixelSize(13);
    }
    return f;
}

} // namespace

RecordPane::RecordPane(GridHost* host, QWidget* parent)
    : QWidget(parent), m_host(host), m_font(makeGridFont()) {
    setObjectName(QStringLiteral("recordPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("compareSplitterBar"));
    m_splitter->setHandleWidth(2);
    m_splitter->setChildrenCollapsible(false);
    m_leftArea = new QWidget(m_splitter);
    m_leftArea->setObjectName(QStringLiteral("leftGG"));
    m_rightArea = new QWidget(m_splitter);
    m_rightArea->setObjectName(QStringLiteral("RightGG"));
    m_splitter->addWidget(m_leftArea);
    m_splitter->addWidget(m_rightArea);
    m_splitter->setStretchFactor(0, 1);
    m_rightArea->hide();
    m_leftArea->installEventFilter(this);
    m_rightArea->installEventFilter(this);
    layout->addWidget(m_splitter, 1);

    m_strip = new FindMapStrip(this);
    m_strip->setFixedHeight(0);
    layout->addWidget(m_strip);

    m_positionBar = new QScrollBar(Qt::Horizontal, this);
    m_positionBar->setObjectName(QStringLiteral("positionBar"));
    m_positionBar->setFixedHeight(kPositionBarHeight);
    m_positionBar->setFocusPolicy(Qt::NoFocus);
    m_positionBar->setRange(1, 1);
    m_positionBar->setSingleStep(100);
    connect(m_positionBar, &QScrollBar::valueChanged, this, &RecordPane::positionBarMoved);
    layout->addWidget(m_positionBar);

    // The floating editors of Anomaly grids; they live on the record pane.
    m_kindBox = new QComboBox(m_leftArea);
    m_kindBox->setObjectName(QStringLiteral("CKind"));
    addKindNames(m_kindBox);
    m_kindBox->hide();
    m_kindBox->installEventFilter(this);
    connect(m_kindBox, &QComboBox::activated, this, &RecordPane::floatingKindChosen);

    m_editBox = new QLineEdit(m_leftArea);
    m_editBox->setObjectName(QStringLiteral("Eentry"));
    m_editBox->setFont(m_font);
    m_editBox->hide();
    m_editBox->installEventFilter(this);
    connect(m_editBox, &QLineEdit::textChanged, this, &RecordPane::floatingTextChanged);

    m_upDown = new UpDownButtons(m_leftArea);
    m_upDown->setObjectName(QStringLiteral("UDentry"));
    m_upDown->hide();
    connect(m_upDown, &UpDownButtons::stepped, this, &RecordPane::floatingStep);

    m_shownIndexNum = host->viewSettings().showIndexNum();
    m_shownPositionFormat = host->viewSettings().positionFormat();
    connectEvents();
}

RecordPane::~RecordPane() = default;

// --- what the document announced ----------------------------------------------

void RecordPane::connectEvents() {
    ModelEvents* e = &m_host->events();
    connect(e, &ModelEvents::aboutToChange, this, &RecordPane::saveAllColumnWidths);
    connect(e, &ModelEvents::structureReplaced, this, &RecordPane::structureReplaced);
    connect(e, &ModelEvents::documentReplaced, this, &RecordPane::documentReplaced);
    connect(e, &ModelEvents::currentSegmentChanged, this, [this](vm::Segment* segment) {
        if (segment && segment != m_clickedSegment)
            layoutSegmentGrids(segment);
        else
            updatePositionBar();
    });
    connect(e, &ModelEvents::segmentChanged, this, &RecordPane::segmentChanged);
    connect(e, &ModelEvents::segmentInserted, this, &RecordPane::createSegmentGrids);
    connect(e, &ModelEvents::segmentsMoved, this, &RecordPane::layoutCurrent);
    connect(e, &ModelEvents::fieldsChanged, this,
            [this](vm::Segment* segment) { refreshSegmentGrid(segment, true); });
    connect(e, &ModelEvents::bytesChanged, this, &RecordPane::bytesChanged);
    connect(e, &ModelEvents::layoutReplaced, this, [this] {
        // The bytes under the pointer moved: what the status line said of
        // them no longer holds.
        forgetHover();
        layoutCurrent();
    });
    connect(e, &ModelEvents::optionsChanged, this, &RecordPane::optionsChanged);
}

void RecordPane::structureReplaced() {
    forgetDocument();
    for (auto& seg : m_host->segments())
        createSegmentGrids(seg.get());
    layoutCurrent();
}

void RecordPane::documentReplaced() {
    forgetDocument();
    updateEditOptions();
    layoutCurrent();
}

void RecordPane::layoutCurrent() {
    vm::Segment* current = m_host->segments().current();
    if (!current) {
        updatePositionBar();
        return;
    }
    layoutSegmentGrids(current);
    refreshSegmentGrid(current, true);
}

void RecordPane::segmentChanged(vm::Segment* segment) {
    // A segment that became Anomaly, or stopped being one, takes the stored
    // widths of its new shape.
    const SegmentGrid* g = mainGrid(segment);
    refreshSegmentGrid(segment, g && g->isAnomalyShape() != segment->anomaly);
}

void RecordPane::bytesChanged() {
    // A cell editor's own writes repaint the grids once it closes.
    if (!m_writing)
        repaintVisibleGrids();
    // The status line tells the value under the pointer as it is now.
    if (SegmentGrid* grid = m_hoverGrid ? liveGrid(m_hoverGrid) : nullptr) {
        const int col = m_hoverCol;
        const int row = m_hoverRow;
        m_hoverGrid = nullptr;
        gridHover(grid, col, row);
    }
}

SegmentGrid* RecordPane::liveGrid(const SegmentGrid* grid) const {
    for (SegmentGrid* g : {mainGrid(grid->segment()), compareGrid(grid->segment())})
        if (g == grid)
            return g;
    return nullptr;
}

void RecordPane::forgetHover() {
    if (!m_hoverText.isEmpty() && m_statusText == m_hoverText)
        setStatusText(QString());
    m_hoverText.clear();
    m_hoverGrid = nullptr;
    m_hoverCol = -1;
    m_hoverRow = -1;
}

void RecordPane::optionsChanged() {
    updateEditOptions();
    const vm::ViewSettings& v = m_host->viewSettings();
    if (v.showIndexNum() == m_shownIndexNum && v.positionFormat() == m_shownPositionFormat)
        return;
    m_shownIndexNum = v.showIndexNum();
    m_shownPositionFormat = v.positionFormat();
    if (vm::Segment* current = m_host->segments().current())
        layoutSegmentGrids(current);
}

// --- text conversion ----------------------------------------------------------

QString RecordPane::toDisplay(const std::string& bytes) {
    QString out;
    toDisplay(bytes, out);
    return out;
}

void RecordPane::toDisplay(std::string_view bytes, QString& out) {
    out.resize(static_cast<qsizetype>(bytes.size()));
    QChar* d = out.data();
    for (unsigned char b : bytes)
        *d++ = QChar(static_cast<char16_t>(vm::cp1252ToUnicode(b)));
}

std::optional<std::string> RecordPane::fromDisplay(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (QChar c : text) {
        const auto b = vm::unicodeToCp1252(c.unicode());
        if (!b)
            return std::nullopt;
        out.push_back(static_cast<char>(*b));
    }
    return out;
}

// --- views ------------------------------------------------------------------

void RecordPane::createSegmentGrids(vm::Segment* segment) {
    if (!segment)
        return;
    segment->views = std::make_unique<SegmentGridViews>(this, segment);
}

SegmentGrid* RecordPane::mainGrid(const vm::Segment* segment) const {
    SegmentGridViews* v = viewsOf(segment);
    return v ? v->mainGrid.data() : nullptr;
}

SegmentGrid* RecordPane::compareGrid(const vm::Segment* segment) const {
    SegmentGridViews* v = viewsOf(segment);
    return v ? v->compareGrid.data() : nullptr;
}

void RecordPane::segmentViewsGone(vm::Segment* segment) {
    if (m_editedSegment == segment) {
        hideFloatingEditors();
        m_editedSegment = nullptr;
        m_editedEntry = -1;
    }
    if (m_layoutStart == segment)
        m_layoutStart = nullptr;
    if (m_hoverGrid && m_hoverGrid->segment() == segment)
        m_hoverGrid = nullptr;
    if (m_inputProblem.grid && m_inputProblem.grid->segment() == segment)
        clearInputProblem();
}

std::int64_t RecordPane::fileSize() const {
    const vm::FileStream* s = m_host->dataStream();
    return s ? std::max<std::int64_t>(s->size(), 0) : 0;
}

int RecordPane::gridFontHeight() const {
    return m_font.pixelSize() > 0 ? m_font.pixelSize() : QFontInfo(m_font).pixelSize();
}

// --- layout -------------------------------------------------------------------

std::int64_t RecordPane::gridRecordCount(vm::Segment* segment) const {
    if (!segment)
        return 0;
    // Counted, not stored: showing a segment never changes its description,
    // so the indicator labels say the same before and after it is shown.
    const vm::RecordExtent x = vm::countedExtent(*segment, fileSize());
    if (segment->anomaly)
        return x.recordCount;
    if (!segment->toFilesEnd && segment->recordLength <= 0)
        return 0;
    // The bytes after the last whole record show as one more, partial record.
    if (x.length % segment->recordLength > 0)
        return x.recordCount + 1;
    return x.recordCount;
}

int RecordPane::segmentGridHeight(vm::Segment* segment) const {
    const std::int64_t rows = gridRecordCount(segment);
    return static_cast<int>(std::clamp<std::int64_t>(
        std::max<std::int64_t>(rows, 0) * kRowPitch + kGridExtra, 0, INT_MAX / 2));
}

void RecordPane::layoutSegmentGrids(vm::Segment* start) {
    if (!start || !m_host->dataStream())
        return;
    vm::SegmentList& list = m_host->segments();
    const int startIndex = list.indexOf(start);
    if (startIndex < 0)
        return;
    // Hiding the grid (or floating editor) that has the focus would hand the
    // focus on to the next widget in the chain, often another segment's grid,
    // which would then make its own segment current in the middle of this
    // layout. The focus waits on the pane instead and goes back to its grid
    // (the edited grid, for a floating editor) when that one shows again.
    QPointer<SegmentGrid> focused;
    QWidget* const focus = QApplication::focusWidget();
    if (focus && (focus == m_kindBox || focus == m_editBox)) {
        focused = mainGrid(m_editedSegment);
    } else {
        for (QWidget* w = focus; w && w != this; w = w->parentWidget())
            if (auto* g = qobject_cast<SegmentGrid*>(w);
                g && g->role() == SegmentGrid::Role::Main) {
                focused = g;
                break;
            }
    }
    if (focused && focused->segment())
        setFocus(Qt::OtherFocusReason);
    else
        focused = nullptr;
    m_layingOut = true;
    hideFloatingEditors();
    for (auto& seg : list) {
        if (!viewsOf(seg.get()))
            createSegmentGrids(seg.get());
        SegmentGridViews* v = viewsOf(seg.get());
        seg->needsRedraw = true;
        if (v->mainGrid->isVisible())
            saveColumnWidths(seg.get());
        v->mainGrid->closeEditor();
        v->mainGrid->hide();
        v->mainSplitter->hide();
        v->compareGrid->hide();
        v->compareSplitter->hide();
    }
    m_layoutStart = start;
    m_hoverGrid = nullptr;

    const int paneHeight = m_leftArea->height();
    const int paneWidth = m_leftArea->width();
    const int compareWidth = m_rightArea->width();
    int top = 0;
    for (std::size_t i = static_cast<std::size_t>(startIndex); i < list.size(); ++i) {
        vm::Segment* s = &list[i];
        SegmentGridViews* v = viewsOf(s);
        int h = segmentGridHeight(s);
        const int hNext = i + 1 < list.size() ? segmentGridHeight(&list[i + 1]) : 0;
        if (s != start) {
            v->mainSplitter->setGeometry(0, top, paneWidth, GridSplitter::kHeight);
            v->mainSplitter->show();
            if (m_compareInUse) {
                v->compareSplitter->setGeometry(0, top, compareWidth, GridSplitter::kHeight);
                v->compareSplitter->show();
            }
            top += GridSplitter::kHeight;
        }
        // A grid keeps its full height when another one follows, but never more
        // than the pane has left: its own scroll bar then reaches every row.
        if (hNext <= 34 || h > paneHeight - top)
            h = paneHeight - top;
        h = std::max(h, SegmentGrid::kMinimumHeight);
        v->mainGrid->setGeometry(0, top, paneWidth, h);
        v->mainGrid->show();
        if (m_compareInUse) {
            v->compareGrid->setGeometry(0, top, compareWidth, h);
            v->compareGrid->show();
        }
        top += h;
        refreshSegmentGrid(s, false);
        if (top > paneHeight - 5)
            break;
    }
    m_layingOut = false;
    if (focused && focused->isVisible() && focused->segment() == m_host->segments().current() &&
        hasFocus())
        focused->setFocus(Qt::OtherFocusReason);
}

void RecordPane::restack(bool comparePane) {
    if (!m_layoutStart)
        return;
    vm::SegmentList& list = m_host->segments();
    const int startIndex = list.indexOf(m_layoutStart);
    if (startIndex < 0)
        return;
    QWidget* area = comparePane ? m_rightArea : m_leftArea;
    int top = 0;
    for (std::size_t i = static_cast<std::size_t>(startIndex); i < list.size(); ++i) {
        SegmentGridViews* v = viewsOf(&list[i]);
        if (!v)
            break;
        SegmentGrid* g = comparePane ? v->compareGrid.data() : v->mainGrid.data();
        GridSplitter* sp = comparePane ? v->compareSplitter.data() : v->mainSplitter.data();
        if (!g->isVisible())
            break;
        if (i != static_cast<std::size_t>(startIndex)) {
            sp->move(0, top);
            top += GridSplitter::kHeight;
        }
        g->setGeometry(0, top, area->width(), g->height());
        top += g->height();
    }
}

void RecordPane::splitterDragged(vm::Segment* segment, bool, int dy) {
    vm::SegmentList& list = m_host->segments();
    const int idx = list.indexOf(segment);
    if (idx <= 0)
        return;
    SegmentGridViews* above = viewsOf(&list[static_cast<std::size_t>(idx - 1)]);
    if (!above || !above->mainGrid->isVisible())
        return;
    const int h = std::max(SegmentGrid::kMinimumHeight, above->mainGrid->height() + dy);
    above->mainGrid->resize(above->mainGrid->width(), h);
    restack(false);
    if (m_compareInUse && above->compareGrid->isVisible()) {
        above->compareGrid->resize(above->compareGrid->width(), h);
        restack(true);
    }
    placeFloatingEditors();
}

// --- filling --------------------------------------------------------------------

void RecordPane::measureWidths(vm::Segment* segment) {
    const std::int64_t last =
        segment->anomaly ? std::int64_t(segment->entries.size()) - 1 : gridRecordCount(segment) - 1;
    gridtext::measureIndexWidths(*segment, last, m_host->viewSettings(), fileSize());
}

// The index column's own width, widened to what it shows in the grid's font:
// the last index text and, in the title cell, the segment's name.
int RecordPane::indexColumnWidth(const SegmentGrid* grid, std::int64_t lastIndex) const {
    const vm::Segment& seg = *grid->segment();
    const QFontMetrics fm(grid->font());
    const std::string index =
        gridtext::indexCellText(seg, std::max<std::int64_t>(lastIndex, 0), m_host->viewSettings());
    const int text = std::max(fm.horizontalAdvance(QString::fromStdString(index)),
                              fm.horizontalAdvance(toDisplay(seg.name)));
    return std::max(gridtext::indexColumnWidth(seg), text + SegmentGrid::kTextPadding);
}

void RecordPane::fillRecordGrid(SegmentGrid* grid, bool widths) {
    vm::Segment* seg = grid->segment();
    m_editBox->hide();
    m_upDown->hide();
    const int fields = static_cast<int>(seg->entries.size());
    grid->setAnomalyShape(false);
    grid->clearStoredRows();
    grid->setColumnCount(fields + 1);
    if (!m_host->gridFillEnabled())
        return;
    const std::int64_t records = std::max<std::int64_t>(0, gridRecordCount(seg));
    grid->setRowCount(static_cast<int>(std::min<std::int64_t>(records + 1, INT_MAX)));
    measureWidths(seg);
    grid->setColumnWidth(0, indexColumnWidth(grid, records - 1));
    grid->setStoredText(0, 0, toDisplay(seg->name));
    for (int i = 0; i < fields; ++i) {
        const vm::TypeEntry& e = seg->entries[static_cast<std::size_t>(i)];
        grid->setStoredText(i + 1, 0, toDisplay(gridtext::fieldTitle(e, i)));
        if (widths && e.columnWidth > 0)
            grid->setColumnWidth(i + 1, e.columnWidth);
    }
}

void RecordPane::fillAnomalyGrid(SegmentGrid* grid, const vm::ByteSource* src, bool widths) {
    vm::Segment* seg = grid->segment();
    const int fields = static_cast<int>(seg->entries.size());
    grid->setAnomalyShape(true);
    grid->setColumnCount(6);
    grid->setRowCount(fields + 1);
    grid->clearStoredRows();
    static const char* const titles[] = {"Value", "TypeKind", "Start", "Length", "Memo"};
    grid->setStoredText(0, 0, toDisplay(seg->name));
    for (int c = 1; c <= 5; ++c)
        grid->setStoredText(c, 0, QString::fromLatin1(titles[c - 1]));
    measureWidths(seg);
    grid->setColumnWidth(0, indexColumnWidth(grid, fields - 1));
    if (widths)
        for (int c = 1; c <= 5; ++c)
            if (const int w = seg->anomalyColumnWidths[static_cast<std::size_t>(c - 1)]; w > 0)
                grid->setColumnWidth(c, w);
    const vm::ViewSettings& vs = m_host->viewSettings();
    for (int i = 0; i < fields; ++i) {
        const vm::TypeEntry& e = seg->entries[static_cast<std::size_t>(i)];
        const int row = i + 1;
        grid->setStoredText(0, row, QString::fromStdString(gridtext::indexCellText(*seg, i, vs)));
        grid->setStoredText(
            1, row,
            src ? toDisplay(vm::decodeValue(*src, std::int64_t{seg->begin} + e.start, e.kind,
                                            e.length, m_host->locale()))
                : QString());
        grid->setStoredText(2, row, kindText(e.kind));
        grid->setStoredText(3, row, QString::number(e.start));
        grid->setStoredText(4, row, QString::number(e.length));
        grid->setStoredText(5, row, toDisplay(e.memo));
    }
}

void RecordPane::refreshSegmentGrid(vm::Segment* segment, bool applyWidths) {
    if (!segment)
        return;
    if (!viewsOf(segment))
        createSegmentGrids(segment);
    SegmentGridViews* v = viewsOf(segment);
    const bool widths = applyWidths || segment->needsRedraw;
    segment->needsRedraw = false;
    if (segment->anomaly) {
        if (m_bottom == BottomPanel::Compare) {
            fillAnomalyGrid(v->compareGrid, m_compareSource, widths);
            v->compareGrid->viewport()->update();
        }
        fillAnomalyGrid(v->mainGrid, m_host->dataStream(), widths);
    } else {
        if (m_bottom == BottomPanel::Compare) {
            fillRecordGrid(v->compareGrid, widths);
            v->compareGrid->viewport()->update();
        }
        fillRecordGrid(v->mainGrid, widths);
    }
    v->mainGrid->viewport()->update();
    if (m_editedSegment == segment)
        placeFloatingEditors();
    updatePositionBar();
}

void RecordPane::saveColumnWidths(vm::Segment* segment) {
    SegmentGrid* g = mainGrid(segment);
    if (!g)
        return;
    if (segment->anomaly) {
        // A grid still in record shape (the segment was just made Anomaly)
        // holds field widths, not these.
        if (!g->isAnomalyShape() || g->columnCount() < 6)
            return;
        for (int c = 1; c <= 5; ++c)
            segment->anomalyColumnWidths[static_cast<std::size_t>(c - 1)] =
                static_cast<std::uint16_t>(g->columnWidth(c));
    } else if (g->columnCount() == static_cast<int>(segment->entries.size()) + 1 &&
               !g->isAnomalyShape()) {
        for (std::size_t i = 0; i < segment->entries.size(); ++i)
            segment->entries[i].columnWidth =
                static_cast<std::uint16_t>(g->columnWidth(static_cast<int>(i) + 1));
    }
}

void RecordPane::saveAllColumnWidths() {
    for (auto& seg : m_host->segments())
        if (SegmentGrid* g = mainGrid(seg.get()); g && g->isVisible())
            saveColumnWidths(seg.get());
}

void RecordPane::fitColumnWidth(vm::Segment* segment, int fieldIndex) {
    if (!segment || segment->anomaly || fieldIndex < 0 ||
        fieldIndex >= static_cast<int>(segment->entries.size()))
        return;
    vm::TypeEntry& e = segment->entries[static_cast<std::size_t>(fieldIndex)];
    vm::fitEntryColumn(e, gridFontHeight());
    if (SegmentGrid* g = mainGrid(segment))
        g->setColumnWidth(fieldIndex + 1, e.columnWidth);
    if (m_compareInUse)
        if (SegmentGrid* g = compareGrid(segment))
            g->setColumnWidth(fieldIndex + 1, e.columnWidth);
}

void RecordPane::repaintVisibleGrids() {
    for (auto& seg : m_host->segments()) {
        if (SegmentGrid* g = mainGrid(seg.get()); g && g->isVisible())
            g->viewport()->update();
        if (SegmentGrid* g = compareGrid(seg.get()); g && g->isVisible())
            g->viewport()->update();
    }
}

void RecordPane::updateEditOptions() {
    if (m_host->viewSettings().canEditData())
        return;
    for (auto& seg : m_host->segments())
        if (SegmentGrid* g = mainGrid(seg.get()))
            g->closeEditor();
}

// --- position bar -------------------------------------------------------------

void RecordPane::updatePositionBar() {
    if (!m_host->dataStream())
        return;
    m_positionGuard = true;
    const std::int64_t size64 = std::max<std::int64_t>(fileSize(), 1);
    const int size = static_cast<int>(std::min<std::int64_t>(size64, INT_MAX));
    vm::Segment* cur = m_host->segments().current();
    std::int64_t page = 1;
    if (SegmentGrid* g = mainGrid(cur)) {
        const int rows = g->visibleRowCount();
        page = cur->anomaly ? std::int64_t{rows} * 2 : std::int64_t{rows} * cur->recordLength;
    }
    page = std::clamp<std::int64_t>(page, 1, size);
    m_positionBar->setRange(1, size);
    m_positionBar->setPageStep(static_cast<int>(page));
    m_positionBar->setSingleStep(100);
    if (!m_navigating && cur) {
        const std::int64_t pos = std::int64_t{cur->begin} + (cur->anomaly ? 1 : 0);
        m_positionBar->setValue(static_cast<int>(std::clamp<std::int64_t>(pos, 1, size)));
    }
    m_positionGuard = false;
}

void RecordPane::positionBarMoved(int value) {
    if (!m_host->dataStream() || m_positionGuard)
        return;
    m_navigating = true;
    std::int64_t target = value;
    const int page = m_positionBar->pageStep();
    if (std::int64_t{value} + page == std::int64_t{m_positionBar->maximum()} - 1)
        target += page;
    // The bar's range ends with the file's size, one past its last byte: the
    // far right, and the steps that reach it, stand for that last byte so
    // that they show the last page rather than nothing.
    target = std::min(target, fileSize() - 1);
    emit positionRequested(target);
    m_navigating = false;
}

// --- navigation -----------------------------------------------------------------

void RecordPane::showRecord(vm::Segment* segment, int record) {
    SegmentGrid* g = mainGrid(segment);
    if (!g || record < 0)
        return;
    const int row = record + 1;
    if (row < g->topRow() || row >= g->topRow() + g->visibleRowCount())
        g->setTopRow(row);
    refreshSegmentGrid(segment, false);
    g->selectCell(1, row);
}

int RecordPane::topRecord(const vm::Segment* segment) const {
    SegmentGrid* g = mainGrid(segment);
    return g ? g->topRow() - 1 : 0;
}

bool RecordPane::isShown(const vm::Segment* segment) const {
    const SegmentGrid* g = mainGrid(segment);
    return g && g->isVisible();
}

std::optional<std::int64_t> RecordPane::currentCellPosition() const {
    SegmentGrid* g = mainGrid(m_editedSegment);
    if (!g)
        return std::nullopt;
    const int col = g->currentColumn();
    const int row = g->currentRow();
    if (row < 1 || (g->isAnomalyShape()
                        ? row - 1 >= static_cast<int>(m_editedSegment->entries.size())
                        : col < 1 || col - 1 >= static_cast<int>(m_editedSegment->entries.size())))
        return std::nullopt;
    const vm::TypeEntry& e =
        m_editedSegment->entries[static_cast<std::size_t>(g->isAnomalyShape() ? row - 1 : col - 1)];
    if (g->isAnomalyShape())
        return std::int64_t{m_editedSegment->begin} + e.start;
    return m_editedSegment->recordOffset(row - 1) + e.start;
}

// --- grid events --------------------------------------------------------------------

void RecordPane::gridSelectionChanged(SegmentGrid* grid) {
    if (grid->role() != SegmentGrid::Role::Main)
        return;
    m_editedSegment = grid->segment();
    const int col = grid->currentColumn();
    const int row = grid->currentRow();
    if (grid->isAnomalyShape() && col >= 2 && row >= 1 &&
        row - 1 < static_cast<int>(grid->segment()->entries.size()))
        showFloatingEditor(grid, col, row);
}

void RecordPane::gridScrolled(SegmentGrid* grid) {
    if (grid->role() == SegmentGrid::Role::Main && grid->segment() == m_editedSegment)
        placeFloatingEditors();
    if (m_bottom == BottomPanel::Compare && !m_syncingScroll) {
        SegmentGrid* other = grid->role() == SegmentGrid::Role::Main ? compareGrid(grid->segment())
                                                                     : mainGrid(grid->segment());
        if (other && other->topRow() != grid->topRow()) {
            m_syncingScroll = true;
            other->setTopRow(grid->topRow());
            m_syncingScroll = false;
        }
    }
}

void RecordPane::gridFocusIn(SegmentGrid* grid, Qt::FocusReason reason) {
    if (grid->role() != SegmentGrid::Role::Main || m_layingOut)
        return;
    vm::Segment* seg = grid->segment();
    if (seg == m_host->segments().current())
        return;
    // Clicked: the grids stay where they are. Laid out again from this
    // segment, its grid would move up under the pointer, and the second click
    // of a double click would land on another record.
    m_clickedSegment = reason == Qt::MouseFocusReason ? seg : nullptr;
    m_host->selectSegment(seg);
    m_clickedSegment = nullptr;
}

void RecordPane::gridClickedOrLeft(SegmentGrid*) {
    if (!m_pendingRepaint)
        return;
    m_pendingRepaint = false;
    repaintVisibleGrids();
}

void RecordPane::gridKey(SegmentGrid* grid, int key, Qt::KeyboardModifiers mods) {
    vm::Segment* seg = grid->segment();
    if (!seg || seg->anomaly)
        return;
    const bool ctrl = mods & Qt::ControlModifier;
    if (key == Qt::Key_PageUp && !ctrl) {
        m_positionBar->setValue(m_positionBar->value() - m_positionBar->pageStep());
    } else if ((key == Qt::Key_PageDown && !ctrl && grid->currentRow() == grid->rowCount() - 1) ||
               (ctrl && (key == Qt::Key_End || key == Qt::Key_Home))) {
        refreshSegmentGrid(seg, false);
    }
}

void RecordPane::gridHover(SegmentGrid* grid, int col, int row) {
    if (grid == m_hoverGrid && col == m_hoverCol && row == m_hoverRow)
        return;
    m_hoverGrid = grid;
    m_hoverCol = col;
    m_hoverRow = row;
    vm::FileStream* stream = m_host->dataStream();
    const vm::TypeEntry* e = nullptr;
    std::int64_t pos = 0;
    int len = 0;
    if (!stream || !grid->segment() || col < 0 || !grid->fieldOf(col, row, &pos, &e, &len))
        return;
    emit dataHovered(pos, len, QString::fromLatin1(vm::hintDump(*stream, pos)));
    if (isInputProblemCell(grid, col, row)) {
        setStatusText(m_inputProblem.message);
    } else if (pos >= 0 && pos < fileSize()) {
        const vm::ViewSettings& vs = m_host->viewSettings();
        vm::Segment* cur = m_host->segments().current();
        const int digits = cur ? cur->positionTextWidth : 0;
        const std::string posText = gridtext::positionText(pos, vs.positionFormat() != 2, digits);
        m_hoverText = QStringLiteral("Position:") + QString::fromStdString(posText) +
                      QStringLiteral("   Type Kind: ") + kindText(e->kind) +
                      QStringLiteral("    Value: ") +
                      toDisplay(vm::decodeValue(*stream, pos, e->kind, len, m_host->locale()));
        setStatusText(m_hoverText);
    }
}

void RecordPane::setStatusText(const QString& text) {
    if (text == m_statusText)
        return;
    m_statusText = text;
    emit statusTextChanged(text);
}

// --- the in-cell data editor ------------------------------------------------------

void RecordPane::dataEdited(SegmentGrid* grid, int col, int row, const QString& text) {
    vm::FileStream* stream = m_host->dataStream();
    if (!stream || !grid->segment() || !m_host->canWriteData() ||
        !m_host->viewSettings().canEditData())
        return;
    // Only the Value column of an Anomaly grid holds data; the others describe the field.
    if (grid->isAnomalyShape() && col != 1)
        return;
    const vm::TypeEntry* e = nullptr;
    std::int64_t pos = 0;
    int len = 0;
    if (!grid->fieldOf(col, row, &pos, &e, &len))
        return;
    if (pos < 0 || pos + len > stream->size()) {
        if (!grid->isAnomalyShape() && grid->cellEditor())
            grid->cellEditor()->setText(QStringLiteral("____"));
        return;
    }
    const vm::Locale& loc = m_host->locale();
    const auto holds = [&] { return toDisplay(vm::decodeValue(*stream, pos, e->kind, len, loc)); };
    const std::optional<std::string> bytes = fromDisplay(text);
    if (!bytes) {
        setInputProblem(grid, col, row,
                        QStringLiteral("\"") + text +
                            QStringLiteral("\" was not written: it has a character that no "
                                           "single byte holds. The field holds ") +
                            holds() + QStringLiteral("."));
        return;
    }
    // A non-printable byte shows as 0x80; leaving that placeholder in place
    // must not overwrite the byte with 0x80.
    const bool placeholder =
        e->kind == static_cast<int>(vm::TypeKind::Char1) && *bytes == std::string(1, '\x80');
    if (placeholder || *bytes == vm::decodeValue(*stream, pos, e->kind, len, loc)) {
        clearInputProblem(grid, col, row);
        return;
    }
    std::vector<std::uint8_t> buf(
        static_cast<std::size_t>(std::max({len, vm::kindByteSize(e->kind, len), 8})));
    const vm::EncodeReport report = vm::encodeValueReport(*bytes, e->kind, len, buf, loc);
    if (report.fit != vm::EncodeFit::NotEncoded && len > 0) {
        std::string error;
        m_writing = true;
        const bool written = m_host->writeData(
            pos, std::span<const std::uint8_t>(buf.data(), static_cast<std::size_t>(len)), &error);
        m_writing = false;
        if (!written) {
            // Nothing was changed, so no change mark.
            setInputProblem(grid, col, row,
                            QStringLiteral("\"") + text + QStringLiteral("\" was not written: ") +
                                QString::fromStdString(error));
            return;
        }
        m_pendingRepaint = true;
    }
    // Each keystroke writes what it can; while the text is not stored as
    // typed the cell is marked and the status line says why.
    if (report.fit == vm::EncodeFit::Exact)
        clearInputProblem(grid, col, row);
    else
        setInputProblem(grid, col, row,
                        QStringLiteral("\"") + text +
                            (report.fit == vm::EncodeFit::Cut
                                 ? QStringLiteral("\" was cut to fit: ")
                                 : QStringLiteral("\" was not written: ")) +
                            QString::fromStdString(report.reason) +
                            QStringLiteral(". The field holds ") + holds() + QStringLiteral("."));
}

void RecordPane::setInputProblem(SegmentGrid* grid, int col, int row, const QString& message) {
    if (m_inputProblem.grid && m_inputProblem.grid != grid) {
        markEditor(m_inputProblem.grid, false);
        m_inputProblem.grid->viewport()->update();
    }
    m_inputProblem = {grid, col, row, message};
    markEditor(grid, true);
    grid->viewport()->update();
    setStatusText(message);
}

void RecordPane::clearInputProblem(SegmentGrid* grid, int col, int row) {
    if (m_inputProblem.grid == grid && m_inputProblem.col == col && m_inputProblem.row == row)
        clearInputProblem();
    else if (grid)
        markEditor(grid, false);
}

void RecordPane::clearInputProblem() {
    SegmentGrid* grid = m_inputProblem.grid;
    const QString message = m_inputProblem.message;
    m_inputProblem = {};
    if (grid) {
        markEditor(grid, false);
        grid->viewport()->update();
    }
    if (!message.isEmpty() && m_statusText == message)
        setStatusText(QString());
}

void RecordPane::markEditor(SegmentGrid* grid, bool marked) {
    QLineEdit* editor = grid->cellEditor();
    if (!editor)
        return;
    QPalette pal = grid->palette();
    if (marked) {
        pal.setColor(QPalette::Base, hitColour());
        pal.setColor(QPalette::Text, Qt::white);
    }
    editor->setPalette(pal);
}

bool RecordPane::isInputProblemCell(const SegmentGrid* grid, int col, int row) const {
    return grid && m_inputProblem.grid == grid && m_inputProblem.col == col &&
           m_inputProblem.row == row;
}

void RecordPane::forgetDocument() {
    clearInputProblem();
    m_hoverGrid = nullptr;
    m_hoverCol = -1;
    m_hoverRow = -1;
    setStatusText(QString());
}

// --- the floating structure editors of Anomaly grids ------------------------------

void RecordPane::hideFloatingEditors() {
    if (m_editBox->isVisible() || m_kindBox->isVisible())
        m_host->editFinished();
    m_kindBox->hide();
    m_editBox->hide();
    m_upDown->hide();
}

void RecordPane::showFloatingEditor(SegmentGrid* grid, int col, int row) {
    vm::Segment* seg = grid->segment();
    m_editedCol = col;
    m_editedRow = row;
    m_editedEntry = row - 1;
    hideFloatingEditors();
    m_kindBox->setEnabled(false);
    m_editBox->setEnabled(false);
    m_upDown->setEnabled(false);
    const vm::TypeEntry& e = seg->entries[static_cast<std::size_t>(m_editedEntry)];
    const vm::ViewSettings& vs = m_host->viewSettings();
    m_fillingEditors = true;
    if (col == 2) {
        m_kindBox->setCurrentIndex(e.kind < vm::kKindCount ? e.kind : -1);
        m_kindBox->show();
        m_kindBox->raise();
        if (vs.canResetStructure())
            m_kindBox->setEnabled(true);
    } else {
        m_editBoxField = col;
        if (col == 3)
            m_editBox->setText(QString::number(e.start));
        else if (col == 4)
            m_editBox->setText(QString::number(e.length));
        else
            m_editBox->setText(toDisplay(e.memo));
        m_editBox->show();
        m_editBox->raise();
        bool enabled = false;
        if (col == 3)
            enabled = vs.canResetStructure();
        else if (col == 5)
            enabled = vs.canResetStructure() || vs.canEditStructure();
        else if (col == 4) {
            const vm::KindInfo* k = vm::kindInfo(e.kind);
            enabled = vs.canResetStructure() && k && k->variableLength;
        }
        m_editBox->setEnabled(enabled);
        m_upDown->setEnabled(col == 3 && enabled);
    }
    m_fillingEditors = false;
    placeFloatingEditors();
    if (col == 2 && m_kindBox->isEnabled())
        m_kindBox->setFocus(Qt::OtherFocusReason);
    else if (col != 2 && m_editBox->isEnabled())
        m_editBox->setFocus(Qt::OtherFocusReason);
}

void RecordPane::placeFloatingEditors() {
    SegmentGrid* g = mainGrid(m_editedSegment);
    if (!g || m_editedCol < 2 || (!m_kindBox->isVisible() && !m_editBox->isVisible()))
        return;
    const QRect cell = g->cellRect(m_editedCol, m_editedRow);
    if (cell.isNull()) {
        hideFloatingEditors();
        return;
    }
    const QPoint tl = g->viewport()->mapTo(m_leftArea, cell.topLeft());
    if (m_kindBox->isVisible()) {
        m_kindBox->setGeometry(tl.x() + 1, tl.y() + 1, cell.width() + 1, cell.height());
        m_kindBox->raise();
    }
    if (m_editBox->isVisible()) {
        QRect box(tl.x() + 1, tl.y() + 1, cell.width() + 1, cell.height() + 2);
        if (m_editBoxField == 3 && box.width() > UpDownButtons::kWidth + 20) {
            box.setWidth(box.width() - UpDownButtons::kWidth);
            m_upDown->setGeometry(box.right() + 1, box.top(), UpDownButtons::kWidth, box.height());
            m_upDown->show();
            m_upDown->raise();
        }
        m_editBox->setGeometry(box);
        m_editBox->raise();
    }
}

void RecordPane::floatingTextChanged(const QString& text) {
    if (m_fillingEditors)
        return;
    const std::optional<std::int64_t> n = vm::parseInteger(text.toStdString());
    if (n.value_or(-1) < -1)
        return;
    entryEdited([&](vm::TypeEntry& e) {
        if (m_editBoxField == 3 || m_editBoxField == 4) {
            // Start and length are 16-bit counts: negative or larger values would
            // wrap around into a different, wrong field definition.
            if (!n || *n < 0 || *n > 0xFFFF)
                return false;
            (m_editBoxField == 3 ? e.start : e.length) = static_cast<std::uint16_t>(*n);
            return true;
        }
        if (m_editBoxField != 5)
            return false;
        const std::optional<std::string> memo = fromDisplay(text);
        if (!memo)
            return false;
        e.setMemo(memo->substr(0, vm::kMemoMax));
        return true;
    });
}

void RecordPane::floatingKindChosen(int index) {
    if (m_fillingEditors)
        return;
    const vm::KindInfo* k = vm::kindInfo(index);
    if (!k)
        return;
    entryEdited([&](vm::TypeEntry& e) {
        e.kind = static_cast<std::uint8_t>(index);
        e.length = static_cast<std::uint16_t>(k->defaultLength);
        return true;
    });
}

void RecordPane::entryEdited(const std::function<bool(vm::TypeEntry&)>& edit) {
    if (!m_editedSegment || m_editedEntry < 0 ||
        m_editedEntry >= static_cast<int>(m_editedSegment->entries.size()))
        return;
    vm::TypeEntry e = m_editedSegment->entries[static_cast<std::size_t>(m_editedEntry)];
    if (edit(e))
        m_host->changeEntry(m_editedSegment, m_editedEntry, e);
}

void RecordPane::floatingStep(int delta) {
    const std::int64_t n = vm::parseInteger(m_editBox->text().toStdString()).value_or(-10) + delta;
    if (n >= 0)
        m_editBox->setText(QString::number(n));
}

// --- bottom panel ---------------------------------------------------------------------

void RecordPane::setBottomPanel(BottomPanel mode) {
    m_bottom = mode;
    m_strip->setFixedHeight(mode == BottomPanel::Normal ? 0 : kStripHeight);
    // The strip takes its height now, not at the next layout pass: the find and
    // compare windows paint their maps on it right after this.
    if (QLayout* l = layout())
        l->activate();
    if (mode != BottomPanel::Compare && m_compareInUse) {
        m_compareInUse = false;
        m_rightArea->hide();
        for (auto& seg : m_host->segments())
            if (SegmentGridViews* v = viewsOf(seg.get())) {
                v->compareGrid->hide();
                v->compareSplitter->hide();
            }
    }
    repaintVisibleGrids();
}

void RecordPane::showFindResults(std::vector<vm::FindPattern> patterns) {
    m_findPatterns = std::move(patterns);
    setBottomPanel(BottomPanel::FindResults);
}

void RecordPane::showCompare(const vm::ByteSource* source) {
    m_compareSource = source;
    // Half of the whole pane, whether or not the compare pane shows already:
    // halving the record grids' share would shrink it on every compare.
    const int total = m_splitter->width();
    const int half = total / 2;
    m_compareInUse = true;
    m_rightArea->show();
    m_splitter->setSizes({total - half - m_splitter->handleWidth(), half});
    setBottomPanel(BottomPanel::Compare);
    vm::Segment* start = m_layoutStart ? m_layoutStart : m_host->segments().current();
    layoutSegmentGrids(start);
}

void RecordPane::showNormal() {
    setBottomPanel(BottomPanel::Normal);
}

void RecordPane::setCompareSource(const vm::ByteSource* source) {
    m_compareSource = source;
    if (m_bottom == BottomPanel::Compare)
        repaintVisibleGrids();
}

// --- events -------------------------------------------------------------------------

bool RecordPane::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_leftArea || watched == m_rightArea) && event->type() == QEvent::Resize) {
        vm::Segment* cur = m_host->segments().current();
        if (watched == m_leftArea || m_compareInUse)
            layoutSegmentGrids(cur ? cur : m_layoutStart);
    } else if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
            if (watched == m_kindBox && !m_kindBox->view()->isVisible())
                m_kindBox->hide();
            else if (watched == m_editBox) {
                m_editBox->hide();
                m_upDown->hide();
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
