#include "segmentlistview.h"

#include <QDropEvent>

SegmentListView::SegmentListView(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("LvPart"));
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    // A copy action: the view then removes nothing after the drop.
    setDefaultDropAction(Qt::CopyAction);
}

void SegmentListView::dragEnterEvent(QDragEnterEvent* event) {
    if (acceptsDrag && acceptsDrag(event->source()))
        QTreeWidget::dragEnterEvent(event);
    else
        event->ignore();
}

void SegmentListView::dragMoveEvent(QDragMoveEvent* event) {
    if (acceptsDrag && acceptsDrag(event->source())) {
        QTreeWidget::dragMoveEvent(event);
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void SegmentListView::dropEvent(QDropEvent* event) {
    if (!acceptsDrag || !acceptsDrag(event->source())) {
        event->ignore();
        return;
    }
    const QModelIndex at = indexAt(event->position().toPoint());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (dropped)
        dropped(at.isValid() ? at.row() : -1);
}
