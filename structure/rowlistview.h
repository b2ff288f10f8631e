#pragma once

#include <functional>

#include <QTreeWidget>

// The panel's lists, the segment list `LvPart` and the field list `LV`: one
// row per item. Rows can be dragged onto the list itself to reorder the items;
// the panel decides whether a drag is taken and what a drop does, and rebuilds
// the rows itself, so the view never moves a row on its own.
class RowListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit RowListView(QWidget* parent = nullptr);

    // Whether a drag from source may be dropped here.
    std::function<bool(const QObject* source)> acceptsDrag;
    // A drop over row target (-1 below the last row).
    std::function<void(int target)> dropped;
    // A key pressed in the list; true when it was handled (the list then
    // neither searches nor moves for it).
    std::function<bool(int key)> keyPressed;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
