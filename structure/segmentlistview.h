#pragma once

#include <functional>

#include <QTreeWidget>

// The segment list `LvPart`: one row per segment. Its rows can be dragged
// onto itself to reorder the segments; the panel decides whether a drag is
// taken and what a drop does, and rebuilds the rows itself, so the view never
// moves a row on its own.
class SegmentListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit SegmentListView(QWidget* parent = nullptr);

    // Whether a drag from source may be dropped here.
    std::function<bool(const QObject* source)> acceptsDrag;
    // A drop over row target (-1 below the last row).
    std::function<void(int target)> dropped;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};
