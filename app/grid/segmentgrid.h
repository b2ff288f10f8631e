#pragma once

#include <cstdint>
#include <vector>

#include <QAbstractScrollArea>
#include <QPoint>
#include <QRect>
#include <QStringList>

#include "bytesource.h"
#include "segment.h"

class QLineEdit;
class RecordPane;

// A string grid drawn by hand: a fixed title row, a fixed index column, and
// only the visible rows painted. It keeps per column state (widths, titles)
// and, for Anomaly segments, the texts of its few field rows; never anything
// per record, so a segment of a hundred million records costs what one of ten
// does. The vertical scroll value is the first record shown below the titles.
class SegmentGrid : public QAbstractScrollArea {
    Q_OBJECT

public:
    enum class Role { Main, Compare };

    static constexpr int kRowHeight = 16; // plus one pixel of grid line
    static constexpr int kLineWidth = 1;
    static constexpr int kDefaultColumnWidth = 64;
    static constexpr int kMinimumHeight = 20;
    // Pixels a cell needs beside its text's own width.
    static constexpr int kTextPadding = 3;

    SegmentGrid(RecordPane* pane, vm::Segment* segment, Role role, QWidget* parent);

    vm::Segment* segment() const { return m_segment; }
    // The segment is going: forget it and paint nothing from now on.
    void detach();
    Role role() const { return m_role; }
    bool isAnomalyShape() const { return m_anomalyShape; }

    // --- shape ---
    int columnCount() const { return static_cast<int>(m_widths.size()); }
    int rowCount() const { return m_rowCount; }
    void setColumnCount(int count);
    void setRowCount(int count);
    void setAnomalyShape(bool on) { m_anomalyShape = on; }
    // One fixed row when there are at least two rows; one fixed column when
    // there are at least two columns (Anomaly grids always have six).
    int fixedRows() const { return m_rowCount >= 2 ? 1 : 0; }
    int fixedCols() const { return columnCount() >= 2 ? 1 : 0; }
    int columnWidth(int col) const;
    void setColumnWidth(int col, int width);

    // Stored texts: the title row of every grid and every row of Anomaly grids.
    void setStoredText(int col, int row, const QString& text);
    QString storedText(int col, int row) const;
    void clearStoredRows();

    // What the cell shows: decoded from the file for record grids, stored
    // otherwise. For tests and the status line.
    QString cellText(int col, int row) const;
    // Field cell: its file offset, entry and the bytes it shows (all of the
    // field's but in a partial last record); false for titles, index and empty
    // cells. Anomaly grids give the field of the row in every column.
    bool fieldOf(int col, int row, std::int64_t* pos, const vm::TypeEntry** entry,
                 int* length) const;

    // --- scrolling ---
    int topRow() const; // first grid row below the fixed row
    void setTopRow(int row);
    int visibleRowCount() const;            // fully visible scrollable rows
    QRect cellRect(int col, int row) const; // viewport coordinates; null when hidden
    // Cell under a viewport point; false outside the cells.
    bool cellAt(const QPoint& pos, int* col, int* row) const;

    // --- selection ---
    int currentColumn() const { return m_curCol; }
    int currentRow() const { return m_curRow; }
    QRect selection() const; // columns x, rows y, inclusive
    void selectCell(int col, int row, bool extend = false);

    // --- in-cell editor ---
    bool editorOpen() const;
    QLineEdit* cellEditor() const { return m_editor; }
    // Opens the editor over the current cell (only while editing is allowed).
    bool openEditor();
    void closeEditor();
    bool editingAllowed() const;

    // Rows x 17 + title: what the grid needs to show every row.
    void updateScrollRanges();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int columnLeft(int col) const; // viewport x of a column's left edge
    int separatorAt(int x) const;  // column whose right edge is under x, or -1
    void ensureVisible(int col, int row);
    void moveCurrent(int col, int row, bool extend);
    void placeEditor();
    struct PaintContext;
    void paintCell(QPainter& p, const PaintContext& ctx, int col, int row, const QRect& rect,
                   bool fixed) const;
    QString decodedText(int col, int row, const vm::ByteSource* src) const;
    void editorTextEdited(const QString& text);

    RecordPane* m_pane;
    vm::Segment* m_segment;
    Role m_role;
    bool m_anomalyShape = false;
    int m_rowCount = 1;
    std::vector<int> m_widths{kDefaultColumnWidth};
    QStringList m_titles;
    std::vector<QStringList> m_rows; // Anomaly grids only: one per field

    int m_curCol = 1;
    int m_curRow = 1;
    int m_anchorCol = 1;
    int m_anchorRow = 1;
    bool m_selecting = false;
    int m_resizeCol = -1;
    int m_resizeStartX = 0;
    int m_resizeStartWidth = 0;
    QLineEdit* m_editor = nullptr;
    bool m_editing = false;
    int m_editCol = -1;
    int m_editRow = -1;
};
