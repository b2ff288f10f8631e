#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "findmapstrip.h"
#include "findtext.h"
#include "gridhost.h"
#include "segment.h"

class QComboBox;
class QLineEdit;
class QScrollBar;
class QSplitter;
class SegmentGrid;
class UpDownButtons;

// The main window's central area: the stacked segment grids (record pane
// `leftGG`), the compare pane at its right (`RightGG`), and below them the find
// map strip (`Img`) and the position bar (`positionBar`). The status line
// itself lives in the main window's status bar; the pane only publishes its
// text through statusTextChanged.
//
// Every segment owns its grids: createSegmentGrids hangs them on
// vm::Segment::views, so they die with the segment. Grids keep nothing per
// record; each visible cell is decoded from host->dataStream() when painted.
// The pane follows what the document announces (host->events()); what the
// grids change they ask the host for.
//
// Object names for tests: the main grids `segmentGrid`, the compare grids
// `compareGrid`, the bars between stacked grids `gridSplitter` and
// `compareSplitter`, the in-cell editor `cellEditor`, and the floating editors
// of Anomaly grids `CKind` (kind list), `Eentry` (edit box), `UDentry` (arrows).
//
class RecordPane : public QWidget {
    Q_OBJECT

public:
    // The hit colour of find marks, compare differences and input errors.
    static QColor hitColour() { return QColor(192, 58, 35); }

    // What shows below and beside the grids: nothing more, the find map with
    // the find window's hits marked, or the compare pane with the differences.
    enum class BottomPanel { Normal, FindResults, Compare };

    explicit RecordPane(GridHost* host, QWidget* parent = nullptr);
    ~RecordPane() override;

    GridHost* host() const { return m_host; }

    // --- per-segment views ---
    // Creates the main grid, the compare grid and their two splitters of a
    // segment (replacing views it may already have). Layout creates missing
    // ones on its own, so calling this is optional but cheap.
    void createSegmentGrids(vm::Segment* segment);
    SegmentGrid* mainGrid(const vm::Segment* segment) const;
    SegmentGrid* compareGrid(const vm::Segment* segment) const;

    // --- layout and filling ---
    // Stacks the grids starting with `start` (normally the current segment).
    void layoutSegmentGrids(vm::Segment* start);
    // rows x 17 + 25 pixels, rows being the record count (field count of an
    // Anomaly segment). Clamped to the int range.
    int segmentGridHeight(vm::Segment* segment) const;
    // Refills the segment's grid(s); re-applies the stored column widths when
    // applyWidths is set or the segment is marked needsRedraw.
    void refreshSegmentGrid(vm::Segment* segment, bool applyWidths);
    void saveColumnWidths(vm::Segment* segment);
    void saveAllColumnWidths();
    // Record segments only: the field's column gets the width of its kind's
    // display width, stored in the field and applied to the grid(s).
    void fitColumnWidth(vm::Segment* segment, int fieldIndex);
    void repaintVisibleGrids();
    void updatePositionBar();
    // In-cell editing follows canEditData of the host's view settings; call
    // after it changed (closes open editors when it was switched off).
    void updateEditOptions();

    // Brings record (or Anomaly field) `record` of the segment into view the way
    // locatePosition wants it: when its row is above the top visible row or
    // below the last one, it becomes the top row; the grid is refreshed and the
    // selection becomes the single cell in column 1 of that row.
    void showRecord(vm::Segment* segment, int record);
    // First record shown below the title row.
    int topRecord(const vm::Segment* segment) const;
    // Whether the segment's grid is laid out on the pane now.
    bool isShown(const vm::Segment* segment) const;

    // The grid font; its pixel height feeds the column width rule.
    QFont gridFont() const { return m_font; }
    int gridFontHeight() const;

    // --- cells ---
    // Segment whose main grid had the last cell selection (may be null).
    vm::Segment* editedSegment() const { return m_editedSegment; }
    // File offset of the current cell of the edited segment's main grid, when
    // that cell is a field cell.
    std::optional<std::int64_t> currentCellPosition() const;
    bool pendingRepaint() const { return m_pendingRepaint; }

    // --- what the find and compare windows show through the pane ---
    BottomPanel bottomPanel() const { return m_bottom; }
    // The find map strip under the grids, and the places of these byte
    // patterns marked in the grids.
    void showFindResults(std::vector<vm::FindPattern> patterns);
    const std::vector<vm::FindPattern>& findPatterns() const { return m_findPatterns; }
    // The compare pane beside the grids over source, the differences marked,
    // and the map strip under them.
    void showCompare(const vm::ByteSource* source);
    // The file the compare grids show; nullptr for none. The caller keeps it
    // alive until it sets another one.
    void setCompareSource(const vm::ByteSource* source);
    const vm::ByteSource* compareSource() const { return m_compareSource; }
    // The grids alone again: no strip, no marks, no compare pane.
    void showNormal();
    // The strip the find and compare windows paint their maps on.
    FindMapStrip* findMapStrip() const { return m_strip; }
    QScrollBar* positionBar() const { return m_positionBar; }
    QWidget* recordArea() const { return m_leftArea; }
    QWidget* compareArea() const { return m_rightArea; }

    // --- status line ---
    QString statusText() const { return m_statusText; }
    void setStatusText(const QString& text);
    // The last cell whose typed text was not stored as typed (cut to fit, or
    // not written at all): it shows in the hit colour, and the status line
    // says why, until that cell takes a text as typed or the document changes.
    bool isInputProblemCell(const SegmentGrid* grid, int col, int row) const;
    // The document was opened, closed or given another structure: the status
    // line and the marks that described the previous one go.
    void forgetDocument();

    // Single-byte text (as the engine holds it) to and from what the screen
    // shows; Windows-1252, so 0x80 shows as the euro sign. fromDisplay fails
    // for characters that have no single-byte form.
    static QString toDisplay(const std::string& bytes);
    // The same into out, whose buffer is kept: painting reuses one string.
    static void toDisplay(std::string_view bytes, QString& out);
    static std::optional<std::string> fromDisplay(const QString& text);

signals:
    void statusTextChanged(const QString& text);
    // The position bar moved: the main window goes to this file offset.
    void positionRequested(qint64 offset);
    // Right click in a main grid: the main window shows the record menu (the
    // field menu for an Anomaly grid). row: the grid row at the pointer's
    // height in the index column, -1 below the last row.
    void recordMenuRequested(vm::Segment* segment, int row, const QPoint& globalPos);
    // The mouse moved onto a field: its file offset, its length and the hex
    // pairs of the ten bytes there (fewer at the end), for the data hint window.
    void dataHovered(qint64 position, int length, const QString& hexDump);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class SegmentGrid;
    friend class GridSplitter;
    friend class SegmentGridViews;

    // Called by the grids.
    void gridSelectionChanged(SegmentGrid* grid);
    void gridScrolled(SegmentGrid* grid);
    void gridFocusIn(SegmentGrid* grid, Qt::FocusReason reason);
    void gridClickedOrLeft(SegmentGrid* grid);
    void gridHover(SegmentGrid* grid, int col, int row);
    void gridKey(SegmentGrid* grid, int key, Qt::KeyboardModifiers mods);
    void dataEdited(SegmentGrid* grid, int col, int row, const QString& text);
    void splitterDragged(vm::Segment* segment, bool comparePane, int dy);
    void segmentViewsGone(vm::Segment* segment);

    // What the document announced.
    void connectEvents();
    void structureReplaced();
    void documentReplaced();
    void segmentChanged(vm::Segment* segment);
    void bytesChanged();
    void optionsChanged();
    // The grids laid out again from the current segment, stored widths applied.
    void layoutCurrent();
    // The bottom panel's strip shown or hidden, the compare pane closed
    // outside compare mode.
    void setBottomPanel(BottomPanel mode);

    void fillRecordGrid(SegmentGrid* grid, bool widths);
    void fillAnomalyGrid(SegmentGrid* grid, const vm::ByteSource* src, bool widths);
    void measureWidths(vm::Segment* segment);
    void restack(bool comparePane);
    void hideFloatingEditors();
    void placeFloatingEditors();
    void showFloatingEditor(SegmentGrid* grid, int col, int row);
    void floatingTextChanged(const QString& text);
    void floatingKindChosen(int index);
    void floatingStep(int delta);
    // A floating editor changed the edited entry: the document takes it.
    void entryEdited(const std::function<bool(vm::TypeEntry&)>& edit);
    void positionBarMoved(int value);
    std::int64_t fileSize() const;
    // Rows of a record grid below its titles: the records and a partial one.
    std::int64_t gridRecordCount(vm::Segment* segment) const;
    int indexColumnWidth(const SegmentGrid* grid, std::int64_t lastIndex) const;
    void setInputProblem(SegmentGrid* grid, int col, int row, const QString& message);
    void clearInputProblem(SegmentGrid* grid, int col, int row);
    void clearInputProblem();
    void markEditor(SegmentGrid* grid, bool marked);
    // grid itself when it is still one of its segment's grids (hover state
    // may outlive a grid's segment only until segmentViewsGone).
    SegmentGrid* liveGrid(const SegmentGrid* grid) const;
    // The pointer's cell and what the status line said of it are forgotten.
    void forgetHover();

    GridHost* m_host;
    QFont m_font;
    QSplitter* m_splitter = nullptr;
    QWidget* m_leftArea = nullptr;
    QWidget* m_rightArea = nullptr;
    FindMapStrip* m_strip = nullptr;
    QScrollBar* m_positionBar = nullptr;

    QComboBox* m_kindBox = nullptr;
    QLineEdit* m_editBox = nullptr;
    UpDownButtons* m_upDown = nullptr;
    int m_editBoxField = 0; // 3 start, 4 length, 5 memo
    bool m_fillingEditors = false;

    BottomPanel m_bottom = BottomPanel::Normal;
    std::vector<vm::FindPattern> m_findPatterns;
    const vm::ByteSource* m_compareSource = nullptr;
    bool m_compareInUse = false;
    vm::Segment* m_layoutStart = nullptr;
    // A segment made current by a click into its grid: the grids stay where
    // they are.
    vm::Segment* m_clickedSegment = nullptr;
    vm::Segment* m_editedSegment = nullptr;
    int m_editedEntry = -1;
    int m_editedCol = -1;
    int m_editedRow = -1;
    bool m_pendingRepaint = false;
    // A cell editor is writing: its grid repaints once the editor closes.
    bool m_writing = false;
    // The index view the grids were laid out with.
    bool m_shownIndexNum = true;
    std::uint8_t m_shownPositionFormat = 0;
    bool m_positionGuard = false;
    bool m_navigating = false;
    bool m_syncingScroll = false;
    bool m_layingOut = false;
    QString m_statusText;

    struct InputProblem {
        QPointer<SegmentGrid> grid;
        int col = -1;
        int row = -1;
        QString message;
    };
    InputProblem m_inputProblem;

    // Last hovered cell, so moves within one cell do no work.
    const SegmentGrid* m_hoverGrid = nullptr;
    int m_hoverCol = -1;
    int m_hoverRow = -1;
    QString m_hoverText;
};
