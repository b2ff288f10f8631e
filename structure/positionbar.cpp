#include "positionbar.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

QColor colour(const vm::Rgb& c) {
    return QColor(c.r, c.g, c.b);
}

} // namespace

PositionBar::PositionBar(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    clearMap();
}

void PositionBar::setMap(vm::StructureMap map) {
    m_map = std::move(map);
    update();
}

void PositionBar::clearMap() {
    m_map = {};
    m_map.width = width();
    m_map.spans.push_back({vm::MapSpan::Kind::Fill, vm::kMapBackground, 0, width()});
    update();
}

void PositionBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int h = height();
    p.fillRect(rect(), colour(vm::kMapBackground));
    for (const vm::MapSpan& s : m_map.spans) {
        switch (s.kind) {
        case vm::MapSpan::Kind::Fill:
            p.fillRect(QRect(s.x, 0, s.width, h), colour(s.colour));
            break;
        case vm::MapSpan::Kind::Line:
            p.fillRect(QRect(s.x, 0, 1, h), colour(s.colour));
            break;
        case vm::MapSpan::Kind::Outline:
            p.setPen(colour(s.colour));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRect(s.x, 0, std::max(s.width, 1) - 1, h - 1));
            break;
        }
    }
}

void PositionBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_map.width != width())
        emit widthChanged();
}

IndicatorLabel::IndicatorLabel(const QString& name, const QString& caption, const QColor& colour,
                               std::uint8_t flag, QWidget* parent)
    : QLabel(caption, parent), m_flag(flag) {
    setObjectName(name);
    setCursor(Qt::PointingHandCursor);
    // The colour is for the lit label only; a disabled one greys as usual.
    QPalette p = palette();
    p.setColor(QPalette::Active, QPalette::WindowText, colour);
    p.setColor(QPalette::Inactive, QPalette::WindowText, colour);
    setPalette(p);
    setEnabled(false);
}

void IndicatorLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && isEnabled() &&
        rect().contains(event->position().toPoint()))
        emit clicked();
}
