#pragma once

#include <cstdint>
#include <string>

#include "segment.h"

namespace vm {

// Where a file offset lies in the structure: the segment holding it and the
// record (for an Anomaly segment, the field) there, or why none does.
struct Location {
    enum class Miss {
        None,      // found
        Undefined, // inside the file, but no segment describes it
        PastEnd,   // at or beyond the end of the file
    };
    Segment* segment = nullptr;
    std::int64_t record = 0;
    Miss miss = Miss::None;
};

// Looks for the offset in the current segment (a segment of the list, or
// nullptr) first, then in every other segment in list order. A segment's range starts at its begin
// (absolute) or at 0, and ends at the end of the file for a ToFilesEnd segment, else at its end cut
// to the file's size. An Anomaly segment holds only the bytes of its fields (the first field in
// list order that does gives the record).
Location locateOffset(const SegmentList& list, Segment* current, std::int64_t offset,
                      std::int64_t fileSize, bool absolute = true);

// The status line's text for a miss (empty for a hit).
std::string locateMissText(const Location& where, std::int64_t offset);

} // namespace vm
