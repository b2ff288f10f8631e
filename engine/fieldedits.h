#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"
#include "rewrite.h"
#include "segment.h"
#include "textlocale.h"
#include "workingfile.h"

// The field actions of the structure editor without their windows: what each
// does to the current segment's entries and, in edit mode, to the data file.
// The control panel and vellomarque-cli call these same functions.
namespace vm {

// Which structure permission is on. Reset changes only the description; Edit
// moves the described bytes in the data file too. The two are exclusive; should
// both bytes be set, editing wins, as it is the one that was switched on last.
enum class StructMode { ReadOnly, Reset, Edit };
StructMode structMode(const ViewSettings& settings);

// Texts the dialogs and the command line show for refused input.
inline constexpr const char* kTypeLengthText = "The type length must between 1 to 254";
std::string insertPositionText(int lastIndex); // "Insert Position mast betueen 0 To " + lastIndex
inline constexpr const char* kNoSourceText = "Choose the field to convert from";

// Why index names no field of the segment, or nothing when it does.
std::optional<std::string> fieldIndexProblem(const Segment& seg, std::int64_t index);

// The list rows given as entry indices: in range, ascending, each once.
std::vector<std::size_t> selectedEntries(const Segment& seg, const std::vector<int>& rows);

// The copied fields of the whole run. It holds private copies, so it may
// outlive the segment they came from and be pasted into another one.
class FieldClipboard {
public:
    bool empty() const { return m_entries.empty(); }
    const std::vector<TypeEntry>& entries() const { return m_entries; }
    // Copy Type: the selected entries, in row order, replace what was held.
    void copy(const Segment& seg, const std::vector<int>& rows);
    void clear() { m_entries.clear(); }
    // The panel reloaded the current segment. With drop in edit mode the
    // copies go: their starts describe a record layout that no longer holds.
    void segmentShown(bool dropFieldClipboard, StructMode mode);
    // The structure permission changed. Copies taken before edit mode came on
    // may describe another segment's records; pasted in edit mode their bytes
    // would be read at those starts from the records they land in (and their
    // neighbours), so they go.
    void modeChanged(StructMode before, StructMode after);

private:
    std::vector<TypeEntry> m_entries;
};

// The outcome of a field action. changed: the entry list changed; bytesMoved:
// the data file was rewritten, so it is modified and the segments behind the
// current one must move by delta. On failure nothing changed at all.
struct FieldEdit {
    bool ok = true;
    std::string error;
    bool changed = false;
    bool bytesMoved = false;
    std::int64_t delta = 0;
};

// ---- Add a Type and Insert Type ------------------------------------------------

// Reset mode: a copy of the selected entry (or of the last) with a fresh memo,
// appended after the end of the last entry. Returns its index.
std::size_t addTypeDescription(Segment& seg, int selectedRow, int fontHeight = kDefaultFontHeight);
// Reset mode: the same copy, keeping its start, before the selected row (or
// appended). Returns its index.
std::size_t insertTypeDescription(Segment& seg, int selectedRow,
                                  int fontHeight = kDefaultFontHeight);

// Edit mode, what the Add-a-type dialog proposes for Add a Type: the last entry
// moved to where it ends, or with an empty list the dialog's previous proposal
// at start 0; with a fresh memo either way.
TypeEntry proposeAddType(const Segment& seg, const TypeEntry& previous);
// Edit mode, for Insert Type: the selected entry (the first when none is) and
// its row as insert position; nothing with an empty list.
struct InsertProposal {
    TypeEntry entry;
    int index = 0;
};
std::optional<InsertProposal> proposeInsertType(const Segment& seg, int selectedRow);

// What the user asked for in the Add-a-type dialog or on the command line.
struct NewFieldRequest {
    int kind = 0;
    std::int64_t length = 0;
    std::optional<std::int64_t> insertIndex; // none: after the last field
    std::string memo;
    std::optional<std::int64_t> sourceIndex; // convert from this field instead of filling
    bool convert = false;                    // the user chose to convert; needs sourceIndex
    // The fill value, written as kind; the text the kind's zero bytes show as
    // (the dialog's default) gives those zero bytes.
    std::string fillText;
    // Refuse a fill text that is no value of the kind; the dialog fills zeros instead.
    bool fillMustEncode = false;
};

// A checked request: the entry as it will stand, the bytes every record gets
// (unless converted from source), and the list position it must take.
struct NewField {
    TypeEntry entry;
    std::vector<std::uint8_t> fill;
    std::optional<std::size_t> source;
    std::optional<std::size_t> position;
};
struct NewFieldResult {
    std::optional<NewField> field;
    std::string error;
};
// The dialog's OK rules: the insert position, the length, the source, the fill
// value. An insert position becomes the start of the field at that index, so
// the new field goes before it.
NewFieldResult prepareNewField(const Segment& seg, const NewFieldRequest& request,
                               const Locale& loc = defaultLocale(),
                               int fontHeight = kDefaultFontHeight);
// Edit mode: inserts the field's bytes into every record.
FieldEdit addField(WorkingFile& wf, Segment& seg, const NewField& field,
                   const Locale& loc = defaultLocale(), const Progress& progress = {});

// ---- Delete, Copy, Cut, Paste ---------------------------------------------------

// Delete Type. Edit mode removes the fields' bytes from every record and moves
// the later fields down; reset mode removes only the descriptions, the others
// keep their start (the bytes become a gap).
FieldEdit deleteFields(StructMode mode, WorkingFile& wf, Segment& seg, const std::vector<int>& rows,
                       const Progress& progress = {});
// Paste Type before row (or appended for -1). Edit mode inserts, at the row's
// start (or the end of the record), a copy of each clipboard field's bytes of
// the same record and lays the new fields end to end there; reset mode inserts
// the copies unchanged.
FieldEdit pasteFields(StructMode mode, WorkingFile& wf, Segment& seg, const FieldClipboard& clip,
                      int row, const Progress& progress = {});

// ---- Converts Type ---------------------------------------------------------------

// Whether OK may be pressed: the kind or the length differs from the source's.
bool transformChangesField(const TypeEntry& source, int kind, std::string_view lengthText);
struct TargetResult {
    std::optional<TypeEntry> entry;
    std::string error;
};
// The field the source becomes: its start, memo and column width, the new kind
// and length; the length must lie between 1 and 254.
TargetResult transformTarget(const TypeEntry& source, int kind, std::string_view lengthText);
// Edit mode: converts the field's value in every record (zero bytes where a
// value cannot be converted) and fits its column to the new kind.
FieldEdit convertField(WorkingFile& wf, Segment& seg, std::size_t index, const TypeEntry& target,
                       const Locale& loc = defaultLocale(), const Progress& progress = {},
                       int fontHeight = kDefaultFontHeight);

// ---- The field frame ---------------------------------------------------------------

// What the frame shows for a selection. An empty optional is a blank control:
// the selected fields differ there.
struct FrameState {
    bool hasSelection = false;
    std::optional<int> kind;
    std::optional<int> start;
    std::optional<int> length;
    std::string memo;
    bool kindEnabled = false;
    bool startEnabled = false; // the start edit and its up-down
    bool lengthEnabled = false;
    bool memoEnabled = false;
};
FrameState frameState(const Segment* seg, const std::vector<int>& rows, StructMode mode,
                      bool editable);
// Each applies to every selected entry and returns whether anything changed.
// Kind: the kind and its default length.
bool frameSetKind(Segment& seg, const std::vector<int>& rows, int kind);
// Start: the first gets the value, each following starts where the previous
// ends. Not a number, -1, or a start past 65535 changes nothing.
bool frameSetStart(Segment& seg, const std::vector<int>& rows, std::string_view text);
// Length: 10 when the text is not a number; outside 1 to 255 changes nothing.
bool frameSetLength(Segment& seg, const std::vector<int>& rows, std::string_view text);
// Memo: the text cut to 20 characters.
bool frameSetMemo(Segment& seg, const std::vector<int>& rows, std::string_view text);

// Up-down buttons: the text's value (0 when not a number) one up or down.
// The frame's start never goes below 0 (nor past 65535).
std::string stepStartText(std::string_view text, bool up);
// The dialog's length: nothing when the result leaves 1 to 254.
std::optional<int> stepLengthValue(std::string_view text, bool up);

// A column width that fits the entry's kind and length.
void fitEntryColumn(TypeEntry& entry, int fontHeight = kDefaultFontHeight);

} // namespace vm
