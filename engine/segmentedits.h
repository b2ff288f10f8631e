#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "segment.h"
#include "workingfile.h"

namespace vm {

// ---- moving segments ------------------------------------------------------------

// After seg's length changed by delta bytes inside the data file, every other
// segment that began at or after seg's old end (begin + length - delta) moves
// by delta. Returns the segments moved.
std::vector<Segment*> shiftFollowingSegments(SegmentList& list, const Segment& seg,
                                             std::int64_t delta);

// ---- the segment actions --------------------------------------------------------
// In edit mode the caller passes the working file, and the bytes the segments
// describe go in and out of the data file with them; in reset mode (no working
// file) only the descriptions change. A rewrite that fails leaves the list and
// the file as they were.

// New Segment (before < 0) and Insert Segment (before: the selected row). In
// edit mode the segment is empty and starts at the end of the last segment
// (New) or where segment `before` starts (Insert), so no bytes move.
Segment& addNewSegment(SegmentList& list, std::int64_t fileSize, bool editMode, int before = -1);

// Delete Segment. In edit mode its bytes leave the file and every segment that
// began after it moves back by them.
FileResult deleteSegment(SegmentList& list, std::size_t index, WorkingFile* wf,
                         const Progress& progress = {});

// The other segments with bytes inside segment index's range: deleting its
// bytes in edit mode takes theirs too.
std::vector<const Segment*> segmentsSharingBytes(const SegmentList& list, std::size_t index);
// What Delete Segment asks in edit mode before it removes bytes: "Delete bytes
// 32 to 1023? They also hold Readings and Ledger." (the range inclusive; the
// second sentence only when other segments share the bytes).
std::string deleteSegmentQuestion(const SegmentList& list, std::size_t index);

// Past Segment: a copy of source with copies of its fields, put before segment
// `before` (or appended when before < 0). In edit mode a copy of source's
// bytes goes into the file at before's begin, moving the segments from there
// on, or at the end of the file; in reset mode the copy keeps source's numbers.
// The copy of a ToFilesEnd segment stays ToFilesEnd only where it ends with
// the file.
struct PasteResult {
    FileResult file;
    Segment* segment = nullptr; // the copy, in the list
};
PasteResult pasteSegment(SegmentList& list, const Segment& source, int before, WorkingFile* wf,
                         const Progress& progress = {});

// Drag-and-drop of list rows: the order of `count` rows (old indices, top to
// bottom) after the rows `moved` go, in their order, before the row `target`;
// a target that is itself moved gives way to the next row below, and no target
// (or none left below) appends them.
std::vector<std::size_t> orderAfterMove(std::size_t count, std::vector<std::size_t> moved,
                                        int target);
// The segments dragged that way. Only the order changes.
void moveSegments(SegmentList& list, std::vector<std::size_t> moved, int target);

// ---- the segment editors --------------------------------------------------------

// The bytes a segment can describe: to the end of the file for a ToFilesEnd
// segment or one that runs past it (0 when it begins past the end), else its
// length; never negative.
std::int64_t availableLength(const Segment& seg, std::int64_t fileSize);
// Whole records of recordLength in available bytes: 0 without a record length
// (never divided by) and never below 0.
std::int32_t recordsIn(std::int64_t available, std::int32_t recordLength);

// What typing into an editor does. value is the editor's number, nothing when
// its text is not one (which changes nothing but still recomputes what
// depends on it). Each returns the record count the count editor then shows.
// lengthBefore: the length before the editing burst began; the length is cut
// from it, not from what an earlier keystroke of the burst left.
std::int32_t editSegmentBegin(Segment& seg, std::optional<std::int32_t> value,
                              std::int64_t fileSize,
                              std::optional<std::int32_t> lengthBefore = std::nullopt);
std::int32_t editRecordLength(Segment& seg, std::optional<std::int32_t> value,
                              std::int64_t fileSize);
std::int32_t editSegmentLength(Segment& seg, std::optional<std::int32_t> value,
                               std::int64_t fileSize);
// True when the length followed the count (it does while the records fit in the file).
bool editRecordCount(Segment& seg, std::optional<std::int32_t> value, std::int64_t fileSize);

enum class SegmentNumber { Begin, Length, RecordLength, RecordCount };
// An up-down click: the editor's number (0 for text that is not one) moved by
// step (+-1, +-10) and brought within the editor's bounds; nothing when the
// result is not to be written.
std::optional<std::int64_t> steppedValue(SegmentNumber which, std::int64_t current, int step,
                                         const Segment& seg, std::int64_t fileSize);

// ---- fields -----------------------------------------------------------------------

// ReArrange List: the fields at the indices of `order` are laid end to end
// from 0 in that order. False, with nothing changed, when a start would pass
// the 65535 bytes a field's start can address.
bool packEntries(Segment& seg, const std::vector<int>& order);
// Field rows dragged in reset mode, as orderAfterMove; starts stay as they
// were, so only the order of the grid's columns changes.
void moveEntries(Segment& seg, const std::vector<std::size_t>& moved, int target);

} // namespace vm
