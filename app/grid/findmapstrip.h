#pragma once

#include <QImage>
#include <QWidget>

// The strip above the position bar on which the find and compare windows
// paint their maps. It only shows the image; the painters own what is on it
// and call update() when they have painted.
class FindMapStrip : public QWidget {
    Q_OBJECT

public:
    explicit FindMapStrip(QWidget* parent = nullptr);
    QImage& image() { return m_image; }
    // The image at least as large as the strip, filled with the background.
    void clear();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage m_image;
};
