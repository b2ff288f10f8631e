#pragma once

#include <QImage>
#include <QWidget>

// The strip above the position bar on which the find and compare windows
// paint their maps. It only shows the image; the painters own what is on it.
class FindMapStrip : public QWidget {
    Q_OBJECT

public:
    explicit FindMapStrip(QWidget* parent = nullptr);
    QImage& image() { return m_image; }

signals:
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage m_image;
};
