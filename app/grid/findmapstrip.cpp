#include "findmapstrip.h"

#include <QPainter>

FindMapStrip::FindMapStrip(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Img"));
}

void FindMapStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Active, QPalette::Mid));
    if (!m_image.isNull())
        p.drawImage(0, 0, m_image);
}

void FindMapStrip::resizeEvent(QResizeEvent*) {
    emit resized();
}
