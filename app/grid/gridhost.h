#pragma once

#include <cstdint>
#include <string>

#include "filestream.h"
#include "segment.h"
#include "textlocale.h"

// What the record pane needs from the document and the main window. The main
// window implements it; tests implement it with a plain object over a file.
class GridHost {
public:
    virtual ~GridHost() = default;

    // --- document state ---
    // The working copy, open for reading and writing; nullptr without a document.
    virtual vm::FileStream* dataStream() = 0;
    // Whether edits may write into dataStream() now: not while it is the data
    // file itself, read while its working copy is made.
    virtual bool canWriteData() const = 0;
    virtual vm::SegmentList& segments() = 0;
    virtual vm::ViewSettings& viewSettings() = 0;
    virtual const vm::Locale& locale() const = 0;
    // False until the first data file is open, and while the structure editor
    // makes bulk changes: record fills then leave the grids as they are.
    virtual bool gridFillEnabled() const = 0;
    // Sets the change marks (data, type); either may be false to leave it alone.
    virtual void setDataChanged(bool data, bool type) = 0;

    // --- control panel (filled by the structure editor later) ---
    // Makes a segment current through the control panel's segment list, which
    // then lays out the grids starting with it.
    virtual void selectSegment(vm::Segment* segment) = 0;
    // Selects the segment and record holding a file offset and scrolls there.
    virtual void locatePosition(std::int64_t offset) = 0;
    // An entry's definition was changed from a floating editor of an Anomaly grid.
    virtual void entryDefinitionChanged(vm::Segment* segment, int entryIndex) = 0;
};
