#include "rowlistview.h"

#include <QDropEvent>
#include <QKeyEvent>

RowListView::RowListView(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    // A copy action: the view then removes nothing after the drop.
    setDefaultDropAction(Qt::CopyAction);
}

void RowListView::dragEnterEvent(QDragEnterEvent* event) {
    if (acceptsDrag && acceptsDrag(event->source()))
        QTreeWidget::dragEnterEvent(event);
    else
        event->ignore();
}

void RowListView::dragMoveEvent(QDragMoveEvent* event) {
    if (acceptsDrag && acceptsDrag(event->source())) {
        QTreeWidget::dragMoveEvent(event);
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void RowListView::dropEvent(QDropEvent* event) {
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

void RowListView::keyPressEvent(QKeyEvent* event) {
    if (keyPressed && keyPressed(event->key())) {
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
