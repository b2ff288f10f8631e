#pragma once

#include <QObject>

#include "segment.h"

// The signals by which the document announces each change of its model, so
// that every view (the record pane, the control panel, the field list, the
// tool windows) follows by itself. Declared beside the record pane, which
// listens too; the document is what emits them, each right after the change.
class ModelEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    // The model is about to change or to be written to a type file: views
    // hand it what they keep only on screen (column widths).
    void aboutToChange();
    // Every segment is about to go (a type file is loaded, the document closes).
    void structureAboutToBeCleared();
    // A type file was loaded or the structure emptied: every segment is new.
    void structureReplaced();
    // A data file was opened, opened again on a fresh copy, or closed.
    void documentReplaced();
    // A segment became the current one (nullptr: none).
    void currentSegmentChanged(vm::Segment* segment);
    // A segment's own values changed: name, begin, lengths, counts, Anomaly, ToFilesEnd.
    void segmentChanged(vm::Segment* segment);
    // A segment joined the list; one is about to leave it; the order changed.
    void segmentInserted(vm::Segment* segment);
    void segmentAboutToBeRemoved(vm::Segment* segment);
    void segmentsMoved();
    // The field descriptions of a segment changed (no byte moved).
    void fieldsChanged(vm::Segment* segment);
    // Bytes of the working copy were written in place.
    void bytesChanged(qint64 offset, qint64 length);
    // The working copy was rewritten: bytes moved, and the segments with them.
    void layoutReplaced();
    // The permissions or the index view changed.
    void optionsChanged();
    // The kinds the data hint window reads changed.
    void dataHintChanged();
    // The change marks changed, or whether the working copy is complete.
    void marksChanged();
};
