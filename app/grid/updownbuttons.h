#pragma once

#include <QWidget>

class QToolButton;

// Two stacked arrow buttons beside an edit box. They take no focus, so
// clicking them leaves the box it steps open.
class UpDownButtons : public QWidget {
    Q_OBJECT

public:
    explicit UpDownButtons(QWidget* parent = nullptr);
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }
    static constexpr int kWidth = 16;

signals:
    void stepped(int delta);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* m_up;
    QToolButton* m_down;
};
