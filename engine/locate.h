#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "segment.h"

namespace vm {

// Where a file offset lies in the structure: the segment holding it and the
// record (for an Anomaly segment, the field) there, or why none does.
struct Location {
    enum class Miss {
        None,           // found
        Undefined,      // inside the file, but no segment describes it
        PastEnd,        // at or beyond the end of the file
        OutsideSegment, // counted from the current segment's start, but outside it
    };
    Segment* segment = nullptr;
    std::int64_t record = 0;
    Miss miss = Miss::None;
    // For OutsideSegment: the segment the offset was counted in and its size there.
    const Segment* countedIn = nullptr;
    std::int64_t countedSize = 0;
};

// Looks for the offset in the structure. Absolute offsets are file offsets:
// the current segment (a segment of the list, or nullptr) is tried first, then
// every other segment in list order; a segment's range runs from its begin to
// the end of the file for a ToFilesEnd segment, else to its end cut to the
// file's size. Relative offsets count from the current segment's begin and
// name a place in that segment only. An Anomaly segment holds only the bytes
// of its fields (the first field in list order that does gives the record).
Location locateOffset(const SegmentList& list, Segment* current, std::int64_t offset,
                      std::int64_t fileSize, bool absolute = true);

// The record index the goto dialog shows for an offset it moved to: nothing
// on a miss; the field holding the offset in an Anomaly segment; otherwise the
// number of the first record of the segment that starts at or after the
// offset, so an offset inside record 0 but not at its start gives 1. Nothing
// either when no record of that segment starts there (an offset inside its
// last record): the index always names a record the segment has.
std::optional<std::int64_t> gotoIndex(const Location& where, std::int64_t offset,
                                      std::int64_t fileSize, bool absolute = true);

// The status line's text for a miss (empty for a hit), in single-byte text
// like the segment names it may hold.
std::string locateMissText(const Location& where, std::int64_t offset);

} // namespace vm
