#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "filestream.h"
#include "modelevents.h"
#include "segment.h"
#include "textlocale.h"

// What the record pane needs from the document: its state, where it announces
// its changes (the pane follows them), and the changes the grids ask for. The
// document implements it; tests implement it with a plain object over a file.
class GridHost {
public:
    virtual ~GridHost() = default;

    // --- document state ---
    // The working copy, open for reading and writing; nullptr without a document.
    virtual vm::FileStream* dataStream() = 0;
    // Whether edits may write into dataStream() now: not while it is the data
    // file itself, read while its working copy is made.
    virtual bool canWriteData() const = 0;
    // The user tried to change data that cannot change now: the host says why
    // (the grid itself only refuses).
    virtual void dataWriteRefused() {}
    virtual vm::SegmentList& segments() = 0;
    virtual const vm::ViewSettings& viewSettings() const = 0;
    virtual const vm::Locale& locale() const = 0;
    // False until the first data file is open: record fills then leave the
    // grids as they are.
    virtual bool gridFillEnabled() const = 0;
    virtual ModelEvents& events() = 0;

    // --- changes the grids ask for ---
    // A value typed into a cell: bytes for offset. False, with the system's
    // reason, when they could not be written.
    virtual bool writeData(std::int64_t offset, std::span<const std::uint8_t> bytes,
                           std::string* error) = 0;
    // A floating editor of an Anomaly grid changed the definition of entry index.
    virtual void changeEntry(vm::Segment* segment, int index, const vm::TypeEntry& entry) = 0;
    // A grid took the focus: its segment becomes the current one.
    virtual void selectSegment(vm::Segment* segment) = 0;
    // A cell editor or a floating editor closed: the keystrokes typed into it
    // were one change, and the next keystroke starts another.
    virtual void editFinished() {}
};
