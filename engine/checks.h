#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "segment.h"

namespace vm {

// Anomaly flags, OR-ed together into one byte.
inline constexpr std::uint8_t kIsOver = 2;     // a range ends past its container (error)
inline constexpr std::uint8_t kIsOverlay = 4;  // two ranges share a byte (error)
inline constexpr std::uint8_t kHasSpace = 8;   // bytes that belong to no range (warning)
inline constexpr std::uint8_t kIsNotFit = 16;  // length not a whole number of records (warning)
inline constexpr std::uint8_t kIsNotSort = 32; // list not ascending by position (warning)

// "Error", "Warning" or empty.
std::string severityText(std::uint8_t flags);
// The names of the set flags in table order, each followed by a blank.
std::string anomalyNames(std::uint8_t flags);

struct RangeOverlap {
    bool overlaps = false;
    std::int64_t from = 0; // the shared range [from, to) when they overlap
    std::int64_t to = 0;
};
// Whether [a, b) and [c, d) share at least one byte; ranges that only touch do not.
RangeOverlap rangesOverlap(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d);

// "Has Blank at Position from To to", in decimal or in the "OX" hexadecimal form.
std::string gapMessage(std::int64_t from, std::int64_t to, bool hexPositions);

// One finding. The objects are segments (indices into the segment list) or
// type entries (indices into the checked segment's entry list); -1 is none.
// Their names are copied so that a row stays readable after the structure changes.
struct StructMessage {
    bool isSegment = true;
    int first = -1;
    int second = -1;
    std::string firstName;
    std::string secondName;
    std::string message; // at most 50 characters
    std::uint8_t flags = 0;
    // The row sums up the field findings of segment `first`; expanding it
    // lists checkTypeEntries of that segment.
    bool expandable = false;
};

// A row of the message list, as the structure message window shows it.
struct MessageRow {
    std::string caption; // severity
    int image = 1;       // 0 for "Error", 1 otherwise
    std::string firstName;
    std::string secondName;
    std::string collide; // "Click To Expend" or the anomaly names
    std::string message;
    StructMessage finding; // the row's own copy
};

MessageRow messageRow(const StructMessage& m);

// The texts of one row, without copies: views into the list (valid while it
// lives and is not added to) or into constant texts.
struct MessageRowTexts {
    std::string_view caption;
    std::string_view firstName;
    std::string_view secondName;
    std::string_view collide;
    std::string_view message;
    bool isSegment = true;
    bool expandable = false;
    int first = -1;
    int second = -1;
    std::uint8_t flags = 0;
};

// Where the checks put their findings, one at a time: a list that keeps
// them, or a printer that writes each row at once (findings are quadratic by
// nature: every pair of 80,000 fields stacked on each other overlaps).
class FindingSink {
public:
    // A finding as the checks give it: texts are numbers from text().
    struct Compact {
        std::int32_t first = -1;
        std::int32_t second = -1;
        std::uint32_t firstName = 0; // numbers from text(); 0 is the empty text
        std::uint32_t secondName = 0;
        std::uint32_t message = 0;
        std::uint8_t flags = 0;
        bool isSegment = true;
        bool expandable = false;
    };
    virtual ~FindingSink() = default;
    // The number of a text: the same text gets the same number.
    virtual std::uint32_t text(std::string_view s) = 0;
    virtual void add(const Compact& c) = 0;
};

// The texts of a finding's row, given the texts its numbers stand for.
MessageRowTexts compactTexts(const FindingSink::Compact& c, std::string_view firstName,
                             std::string_view secondName, std::string_view message);

// The texts of a sink, each kept once.
class TextTable {
public:
    std::uint32_t number(std::string_view s);
    std::string_view operator[](std::uint32_t n) const { return m_texts[n]; }
    void clear();

private:
    std::vector<std::string> m_texts{std::string()};
    std::unordered_map<std::string, std::uint32_t> m_index;
};

// The findings of a check, kept for a window to list. A hostile structure can
// have millions (every pair of 5,000 identical segments overlaps), so they
// are kept compactly, each text once, and rows are built only when they are
// read.
class MessageList : public FindingSink {
public:
    bool hasErrors = false; // at least one "Error" row was added

    void add(const StructMessage& m);
    std::size_t size() const { return m_rows.size(); }
    bool empty() const { return m_rows.empty(); }
    // Row i as the structure message window shows it, with its own copy of
    // the finding.
    MessageRow row(std::size_t i) const;
    StructMessage finding(std::size_t i) const;
    MessageRowTexts texts(std::size_t i) const;
    void clear();

    std::uint32_t text(std::string_view s) override { return m_texts.number(s); }
    void add(const Compact& c) override;

private:
    std::deque<Compact> m_rows; // no copy of them all when it grows
    TextTable m_texts;
};
void clearMessages(MessageList& list);

// The map strip of the structure editor as plain spans, to be painted in
// order over the full height of a bitmap `width` pixels wide.
struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};
inline constexpr Rgb kMapBackground{128, 128, 128};
inline constexpr Rgb kMapRange{0, 0, 255};
inline constexpr Rgb kMapOverlap{184, 152, 27};
inline constexpr Rgb kMapOutline{255, 0, 0};

struct MapSpan {
    enum class Kind {
        Fill,    // pixels x to x + width - 1, full height
        Line,    // a one-pixel vertical line at x (width 0)
        Outline, // a one-pixel rectangle outline, the rectangle call from (x, 0) to (x + width,
                 // height)
    };
    Kind kind = Kind::Fill;
    Rgb colour;
    int x = 0;
    int width = 0;
    bool operator==(const MapSpan&) const = default;
};

struct StructureMap {
    int width = 0; // set by the caller
    std::vector<MapSpan> spans;
};

// Segment-level findings of the whole list against a data file of fileSize
// bytes (0 when none is open). With messages, one row per finding, then one
// expandable row per segment whose fields have findings. With map, the spans
// of the segment map, current outlined. Field findings are not OR-ed into the
// result.
std::uint8_t checkSegments(const SegmentList& list, std::int64_t fileSize, bool hexPositions,
                           FindingSink* messages = nullptr, StructureMap* map = nullptr,
                           const Segment* current = nullptr);

// Whether the structure has an error ("Error" rows: overlaps, overruns) among
// its segments or the fields of any of them: what cut blank must know. Time
// and memory grow with the number of ranges, not of findings.
bool hasStructureErrors(const SegmentList& list, std::int64_t fileSize);

// Field findings of one segment. selected: indices of the entries to outline
// in the map. Without a segment, or when its extent is 0, only the background
// is drawn and the result is 0.
std::uint8_t checkTypeEntries(const Segment* seg, std::int64_t fileSize, bool hexPositions,
                              FindingSink* messages = nullptr, StructureMap* map = nullptr,
                              const std::vector<std::size_t>* selected = nullptr);

} // namespace vm
