#pragma once

#include <QPointer>

#include "gridsplitter.h"
#include "segment.h"
#include "segmentgrid.h"

class RecordPane;

// The views a segment owns in the record and compare panes. Hung on
// vm::Segment::views, so they go when the segment goes.
class SegmentGridViews : public vm::SegmentViews {
public:
    SegmentGridViews(RecordPane* pane, vm::Segment* segment);
    ~SegmentGridViews() override;
    SegmentGridViews(const SegmentGridViews&) = delete;
    SegmentGridViews& operator=(const SegmentGridViews&) = delete;

    RecordPane* pane() const { return m_pane; }
    QPointer<SegmentGrid> mainGrid;
    QPointer<SegmentGrid> compareGrid;
    QPointer<GridSplitter> mainSplitter;
    QPointer<GridSplitter> compareSplitter;

private:
    QPointer<RecordPane> m_pane;
    vm::Segment* m_segment;
};
