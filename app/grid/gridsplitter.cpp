#include "gridsplitter.h"

#include <QMouseEvent>
#include <QPainter>

#include "recordpane.h"

GridSplitter::GridSplitter(RecordPane* pane, vm::Segment* segment, bool comparePane,
                           const QColor& colour, QWidget* parent)
    : QWidget(parent), m_pane(pane), m_segment(segment), m_comparePane(comparePane),
      m_colour(colour) {
    setObjectName(comparePane ? QStringLiteral("compareSplitter") : QStringLiteral("gridSplitter"));
    setCursor(Qt::SizeVerCursor);
    resize(width(), kHeight);
    hide();
}

void GridSplitter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), m_colour);
}

void GridSplitter::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_lastY = event->globalPosition().toPoint().y();
}

void GridSplitter::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging || !m_segment)
        return;
    const int y = event->globalPosition().toPoint().y();
    const int dy = y - m_lastY;
    if (dy == 0)
        return;
    m_lastY = y;
    m_pane->splitterDragged(m_segment, m_comparePane, dy);
}

void GridSplitter::mouseReleaseEvent(QMouseEvent*) {
    m_dragging = false;
}
