#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <QString>

#include "kinds.h"
#include "segment.h"

// The structure at one moment: copies of the segments' descriptions (no
// views), which one is current, and the settings the type file keeps with
// them.
struct StructureState {
    std::vector<std::shared_ptr<const vm::Segment>> segments;
    int current = -1;
    vm::ViewSettings view;
    vm::DataHintFlags dataHint{};

    static std::shared_ptr<const StructureState> of(const vm::SegmentList& list,
                                                    const vm::ViewSettings& view,
                                                    const vm::DataHintFlags& dataHint);
};

// What each kind of change keeps: enough to tell the views what changed and
// to put the document back as it was (or forward again).
namespace change {

// Bytes written in place (a cell edit).
struct Bytes {
    std::int64_t offset = 0;
    std::vector<std::uint8_t> before;
    std::vector<std::uint8_t> after;
};
// One segment's own values; the segment at `index` of the list.
struct SegmentValues {
    int index = -1;
    std::shared_ptr<const vm::Segment> before;
    std::shared_ptr<const vm::Segment> after;
};
// The field descriptions of the segment at `index`.
struct Fields {
    int index = -1;
    std::vector<vm::TypeEntry> before;
    std::vector<vm::TypeEntry> after;
};
// A segment that joined the list at `index`, or left it from there.
struct InsertSegment {
    int index = -1;
    std::shared_ptr<const vm::Segment> segment;
};
struct RemoveSegment {
    int index = -1;
    std::shared_ptr<const vm::Segment> segment;
};
// Segments that gave way to others made for the same bytes (a struct imported
// into a segment, a structure proposed from the data): `before` left the list
// at `index` (none when the new ones were added to it) and `after` stand there
// in their place, all in one step.
struct ReplaceSegments {
    int index = -1;
    std::vector<std::shared_ptr<const vm::Segment>> before;
    std::vector<std::shared_ptr<const vm::Segment>> after;
};
// The list put in another order (sorting all sorts each segment's fields too).
struct MoveSegments {
    std::shared_ptr<const StructureState> before;
    std::shared_ptr<const StructureState> after;
};
// A new working copy: the previous one stays on disk under its name, so that
// going back is a switch of files, not another rewrite. The structure moves
// with the bytes.
struct Rewrite {
    std::string workingFileBefore;
    std::string workingFileAfter;
    std::shared_ptr<const StructureState> before;
    std::shared_ptr<const StructureState> after;
};
// The kinds the data hint window reads.
struct DataHint {
    vm::DataHintFlags before{};
    vm::DataHintFlags after{};
};
// A type file loaded onto the open data.
struct LoadType {
    std::shared_ptr<const StructureState> before;
    std::shared_ptr<const StructureState> after;
};

} // namespace change

// One change of the document as a value: its name, the current segment
// before and after (positions in the list; -1 for none), and the change
// itself. The document makes one for every change it carries out and
// announces it with Document::operationDone.
struct Operation {
    using Change = std::variant<change::Bytes, change::SegmentValues, change::Fields,
                                change::InsertSegment, change::RemoveSegment,
                                change::ReplaceSegments, change::MoveSegments, change::Rewrite,
                                change::DataHint, change::LoadType>;

    QString label;
    int currentBefore = -1;
    int currentAfter = -1;
    Change change;

    // The bytes of the data file changed (in place or by a rewrite).
    bool changesData() const;
    // The description changed, so the type file is out of date.
    bool changesStructure() const;
};

// A copy of a segment's description for an operation: no views, and its
// memory-only widths as they were.
std::shared_ptr<const vm::Segment> segmentCopy(const vm::Segment& segment);

// Parts of the steps' names as the Edit menu shows them ("Insert 3 Records
// in Readings", "Change Kind of temperature"): a segment by its name, the
// fields at the given entry indices by the memo of one or by their number.
QString segmentTitle(const vm::Segment& segment);
QString fieldsTitle(const vm::Segment& segment, const std::vector<std::size_t>& entries);
