#pragma once

#include <cstddef>
#include <vector>

#include <QList>

#include "segment.h"

class QAction;
class QPoint;
class QWidget;

// What the control panel asks of the field list of the current segment (`LV`
// with the field frame `tfLv` above it and the field actions), which plugs in
// with Tctrls::setFieldList. Without one the panel keeps this do-nothing
// default and the group "Segment Type List" shows only the field bar. What
// changes the fields themselves the field list learns from the document.
class FieldListHooks {
public:
    virtual ~FieldListHooks() = default;

    // What refreshActions knows when it sets the field actions.
    struct ActionState {
        bool resetMode = false;
        bool editMode = false;
        bool hasCurrentSegment = false;
    };

    // The field frame and the list, put below the field bar; nullptr for none.
    virtual QWidget* widget() { return nullptr; }
    // The field actions for the Edit menu, in menu order.
    virtual QList<QAction*> actions() { return {}; }
    // Every field action disabled, then enabled by the rules for this state.
    virtual void refreshActions(const ActionState& /*state*/) {}
    // The rows of the current segment's entries (none for nullptr); with
    // dropClipboard, the copied fields go in edit mode.
    virtual void showSegment(vm::Segment* /*segment*/, bool /*dropClipboard*/) {}
    // Entry indices of the selected rows (outlined on the field bar).
    virtual std::vector<std::size_t> selectedEntries() const { return {}; }
    // Right click on an Anomaly grid: select field row `entry` (none when
    // negative) and show the field menu.
    virtual void showFieldMenu(int /*entry*/, const QPoint& /*globalPos*/) {}
};
