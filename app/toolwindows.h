#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QList>
#include <QString>

#include "bytesource.h"
#include "segment.h"

class QAction;
class QWidget;
class Tmain;

// The seam between the main window and the windows that come with the control
// panel and the tools. The main window calls these; a window that exists
// overrides its part. Each `show...` returns false when its window is not
// there, and the main window then tells the user so.
class ToolWindows {
public:
    virtual ~ToolWindows() = default;

    // --- control panel ---
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
    // Selects the segment and record holding an offset; false when there is no panel.
    virtual bool locatePosition(std::int64_t /*offset*/) { return false; }
    virtual void entryDefinitionChanged(vm::Segment* /*segment*/, int /*entryIndex*/) {}

    // --- tool windows ---
    virtual bool setFindVisible(bool /*visible*/) { return false; }
    virtual bool setCompareVisible(bool /*visible*/) { return false; }
    virtual bool setDataHintVisible(bool /*visible*/) { return false; }
    virtual bool showGotoOffset() { return false; }
    virtual bool showFileInformation(const QString& /*dataFile*/, const QString& /*typeFile*/) {
        return false;
    }
    virtual bool showSplitFile(const QString& /*dataFile*/) { return false; }
    virtual bool addRecord(vm::Segment* /*segment*/) { return false; }
    virtual bool deleteRecord(vm::Segment* /*segment*/) { return false; }
    // Closing: running searches and comparisons end.
    virtual void stopLongOperations() {}
    virtual void dataHover(std::int64_t /*position*/, int /*length*/,
                           const std::string& /*hexDump*/) {}
    virtual std::vector<std::vector<std::uint8_t>> findPatterns() const { return {}; }
    virtual const vm::ByteSource* compareSource() const { return nullptr; }
};
