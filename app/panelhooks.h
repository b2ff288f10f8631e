#pragma once

#include <cstdint>
#include <vector>

#include <QList>

#include "segment.h"

class QAction;
class QPoint;
class QWidget;

// What the main window asks of the control panel. The structure editor
// implements it; without one the main window keeps this do-nothing default and
// the dock shows a placeholder. The main window owns the object it is given.
class PanelHooks {
public:
    virtual ~PanelHooks() = default;

    // The control panel widget docked in the left dock site, or nullptr.
    virtual QWidget* controlPanel() { return nullptr; }
    // The structure was replaced (type file loaded, document closed).
    virtual void structureReplaced() {}
    virtual void refreshSegmentEditors() {}
    // The segment list was reordered: one row per segment, the first selected.
    // A panel that makes no difference reloads everything.
    virtual void rebuildSegmentList() { structureReplaced(); }
    // The current segment's field list changed: the panel reloads it; with
    // dropFieldClipboard the copied fields go in edit mode. Sorting must not
    // empty the clipboard the way loading a structure does.
    virtual void showCurrentSegment(bool /*dropFieldClipboard*/) { structureReplaced(); }
    virtual void refreshActions() {}
    // Segments other than the current one moved (record insertion and
    // deletion): every row's texts.
    virtual void refreshSegmentRows() {}
    // Right click on an Anomaly grid: the field menu with field row `entry`
    // selected (none when negative).
    virtual void showFieldMenu(int /*entry*/, const QPoint& /*globalPos*/) {}
    virtual void refreshFieldRows() {}
    virtual void reloadFieldFrame() {}
    virtual void redrawPositionBars(bool /*all*/) {}
    virtual void setIndicatorsEnabled(bool /*on*/) {}
    virtual void drawSegmentBarOnly() {}
    // The panel's two view settings: handed over at start (the panel also
    // sets its segment list's height then) and read back when the program ends.
    virtual void applyPanelSettings(bool /*showSegList*/, bool /*showTypeCtrl*/) {}
    virtual void readPanelSettings(bool& /*showSegList*/, bool& /*showTypeCtrl*/) const {}
    // Rows of the field list of the current segment in their displayed order.
    virtual std::vector<int> fieldDisplayOrder(const vm::Segment& segment) const;
    // Actions of the Edit menu, in menu order; nullptr stands for a separator.
    virtual QList<QAction*> editMenuActions() { return {}; }
    // Makes a segment current through the segment list; false when there is none.
    virtual bool selectSegment(vm::Segment* /*segment*/) { return false; }
    virtual void entryDefinitionChanged(vm::Segment* /*segment*/, int /*entryIndex*/) {}
};
