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
    clear();
}

void FindMapStrip::clear() {
    const QSize want = size().expandedTo(QSize(1, 1));
    if (m_image.isNull() || m_image.width() < want.width() || m_image.height() < want.height())
        m_image = QImage(want.expandedTo(m_image.size()), QImage::Format_RGB32);
    m_image.fill(palette().color(QPalette::Active, QPalette::Mid));
    update();
}
