#pragma once

#include <QColor>
#include <QWidget>

#include "segment.h"

class RecordPane;

// The thin bar above a stacked segment grid. Dragging it resizes the grid
// above it; the pane keeps the record and compare panes in step.
class GridSplitter : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHeight = 2;

    GridSplitter(RecordPane* pane, vm::Segment* segment, bool comparePane, const QColor& colour,
                 QWidget* parent);
    vm::Segment* segment() const { return m_segment; }
    void detach() { m_segment = nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    RecordPane* m_pane;
    vm::Segment* m_segment;
    bool m_comparePane;
    QColor m_colour;
    bool m_dragging = false;
    int m_lastY = 0;
};
