#include "segmentgridviews.h"

#include "recordpane.h"

SegmentGridViews::SegmentGridViews(RecordPane* pane, vm::Segment* segment)
    : m_pane(pane), m_segment(segment) {
    mainGrid = new SegmentGrid(pane, segment, SegmentGrid::Role::Main, pane->recordArea());
    compareGrid = new SegmentGrid(pane, segment, SegmentGrid::Role::Compare, pane->compareArea());
    mainSplitter = new GridSplitter(pane, segment, false, pane->palette().color(QPalette::Button),
                                    pane->recordArea());
    compareSplitter =
        new GridSplitter(pane, segment, true, QColor(255, 0, 255), pane->compareArea());
}

SegmentGridViews::~SegmentGridViews() {
    if (m_pane)
        m_pane->segmentViewsGone(m_segment);
    // The segment may go from inside one of its grids' own event handlers, so
    // the widgets are cut loose now and deleted once control is back in the loop.
    for (SegmentGrid* g : {mainGrid.data(), compareGrid.data()}) {
        if (g) {
            g->detach();
            g->hide();
            g->deleteLater();
        }
    }
    for (GridSplitter* s : {mainSplitter.data(), compareSplitter.data()}) {
        if (s) {
            s->detach();
            s->hide();
            s->deleteLater();
        }
    }
}
