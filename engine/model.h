#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "segment.h"

namespace vm {

// Pixel width of a grid column for a value of displayWidth characters.
int columnWidthFor(int displayWidth, int fontHeight);
// Default grid font height used where no grid exists (command-line tool, tests).
inline constexpr int kDefaultFontHeight = -11;

// A new segment: begin 0, recordLength 10, length = the data file's size, a
// unique name "SegN".
std::unique_ptr<Segment> newSegment(const SegmentList& list, std::int64_t dataFileSize);
// Moves a new segment to offset, or after the last segment of the list; its
// counts and lengths become 0.
void placeSegment(Segment& seg, const SegmentList& list, std::optional<std::int32_t> offset = {});
// A copy of the image and the entries; no views.
std::unique_ptr<Segment> cloneSegment(const Segment& seg);
// Gives seg the stored values of from (name, positions, counts, flags, widths
// and reserved bytes); its entries and views stay. Putting a segment back as
// it was keeps the grids that hang on it.
void restoreSegmentValues(Segment& seg, const Segment& from);
// Removes a segment from the list and frees it with its entries and views.
void freeSegment(SegmentList& list, Segment* seg);
void clearSegments(SegmentList& list);

// A new entry of a kind: start 0, the kind's default length, the column width
// of its display width, memo cut to 20 characters or a unique "Mn" of `owner`.
TypeEntry newTypeEntry(int kind, std::optional<std::string_view> memo, const Segment* owner,
                       int fontHeight = kDefaultFontHeight);
// In add mode: a copy of the selected entry (or of the last one) with a unique
// memo; with an empty list, or in any other mode, a new entry of kind 0.
TypeEntry newTypeEntryFrom(const Segment* owner, int selectedIndex, bool addMode,
                           int fontHeight = kDefaultFontHeight);

std::string uniqueMemo(const Segment* seg);
std::string uniqueSegmentName(const SegmentList& list);

// The names uniqueMemo and uniqueSegmentName give, for a list built one item
// at a time: next() is the smallest prefix + n not used so far, in constant
// time per name however long the list grows (asking the list each time would
// make building it quadratic).
class UniqueNames {
public:
    explicit UniqueNames(std::string prefix) : m_prefix(std::move(prefix)) {}
    // A name an added item holds.
    void use(const std::string& name) { m_used.insert(name); }
    std::string next();

private:
    std::string m_prefix;
    std::unordered_set<std::string> m_used;
    std::size_t m_next = 0; // names only join, so the smallest free one never falls
};

void sortTypeEntries(Segment& seg);
// Segments by begin and the entries of each by start, both stable; the current
// segment becomes none.
void sortSegments(SegmentList& list);

// What counting a segment against a data file gives: the bytes it describes
// inside the file (never negative) and its whole records there; an Anomaly
// segment's count is its number of fields. Nothing is stored, so what a view
// shows never changes the description.
struct RecordExtent {
    std::int32_t length = 0;
    std::int32_t recordCount = 0;
};
RecordExtent countedExtent(const Segment& seg, std::int64_t fileSize);

// Record count of a segment against a data file of fileSize bytes; stores the
// counted length and recordCount (see the .cpp).
std::int32_t computeRecordCount(Segment* seg, std::int64_t fileSize);
// The record count derived again after a change of the description, without
// cutting a length that runs past the end of the file (a ToFilesEnd segment
// still runs to the end). True when a stored value changed.
bool countSegmentRecords(Segment& seg, std::int64_t fileSize);

// A ToFilesEnd segment always runs to the end of the data file. This sets
// every such segment of the list to the file's fileSize bytes (length = size -
// begin, the record count by computeRecordCount) so that nothing reads a stale
// stored length: call it when a structure meets a data file, after the file's
// size changed and after the structure changed. Other segments keep their
// stored numbers; they are cut to the file only where they are counted. True
// when a stored value changed, so the structure differs from its type file.
bool fitToFilesEnd(SegmentList& list, std::int64_t fileSize);

// fitToFilesEnd, and the record count of every other segment derived from
// its numbers (countSegmentRecords: a length past the end of the file is
// kept), so that no count depends on whether a segment has been shown. True
// when a ToFilesEnd segment's stored values changed; the others' counts are
// derived values and do not count as a change of the structure.
bool fitToData(SegmentList& list, std::int64_t fileSize);

// Bytes of a record segment after its last whole record (read after
// computeRecordCount): the grid shows them as a last, partial record.
std::int32_t partialRecordLength(const Segment& seg);

// Where field e of a record lies as the grid shows and edits it. In the partial
// record a field keeps to the segment's bytes: a string or hex-bytes field is
// shortened to end with them, any other field that does not fit has length 0
// (its cell stays empty).
struct FieldSpan {
    std::int64_t pos = 0;
    int length = 0;
};
FieldSpan recordFieldSpan(const Segment& seg, std::int64_t record, const TypeEntry& e);
// The same for the segment as counted against the file (countedExtent).
FieldSpan recordFieldSpan(const Segment& seg, const RecordExtent& extent, std::int64_t record,
                          const TypeEntry& e);

// Texts of one row of the segment list: caption (position + 1), name, begin,
// length, "true"/"false" for Anomaly.
std::array<std::string, 5> segmentListRow(const Segment& seg, int position);

} // namespace vm
