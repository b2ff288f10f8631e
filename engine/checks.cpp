#include "checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <unordered_set>

namespace vm {

namespace {

constexpr std::size_t kMessageMax = 50;

struct FlagName {
    std::uint8_t bit;
    const char* name;
};
constexpr std::array<FlagName, 5> kFlagNames{{
    {kIsOver, "IsOver"},
    {kIsOverlay, "IsOverlay"},
    {kHasSpace, "HasSpace"},
    {kIsNotFit, "IsNotFit"},
    {kIsNotSort, "IsNotSort"},
}};

std::string hexText(std::int64_t v) {
    // A negative position shows as its 32-bit pattern, as an Integer would.
    const std::uint64_t u = v < 0 && v >= std::numeric_limits<std::int32_t>::min()
                                ? static_cast<std::uint32_t>(v)
                                : static_cast<std::uint64_t>(v);
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02llX", static_cast<unsigned long long>(u));
    return buf;
}

// One range of the walk: a segment or an entry.
struct Range {
    std::int64_t a = 0;
    std::int64_t b = 0;
    int index = -1;
    const std::string* name = nullptr;
    std::uint32_t nameId = 0; // the name in the message list's texts
};

class MapBuilder {
public:
    MapBuilder(StructureMap* map, std::int64_t total) : m_map(map) {
        if (!m_map)
            return;
        m_map->spans.clear();
        m_map->spans.push_back({MapSpan::Kind::Fill, kMapBackground, 0, std::max(m_map->width, 0)});
        m_scale = total > 0 ? static_cast<double>(m_map->width) / static_cast<double>(total) : 0.0;
    }
    bool active() const { return m_map != nullptr; }

    void range(std::int64_t pos, std::int64_t len) {
        const int x = scaled(pos, 0.99);
        const int w = scaled(len, 0.99);
        if (w == 0)
            m_ranges.push_back({MapSpan::Kind::Line, kMapRange, x, 0});
        else
            m_ranges.push_back({MapSpan::Kind::Fill, kMapRange, x, w});
    }
    void overlap(std::int64_t from, std::int64_t to) {
        const int x = scaled(from, 0.99);
        const int w = scaled(to - from, 0.99);
        // Every overlap is painted in one colour, so a span painted already
        // adds nothing: millions of overlapping pairs give a few spans.
        const auto key = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(x)) << 32) |
                         static_cast<std::uint32_t>(w);
        if (!m_overlapSeen.insert(key).second)
            return;
        m_overlaps.push_back(
            {w == 0 ? MapSpan::Kind::Line : MapSpan::Kind::Fill, kMapOverlap, x, w});
    }
    void outline(std::int64_t pos, std::int64_t len) {
        const int x = scaled(pos, 0.9999);
        m_outlines.push_back({MapSpan::Kind::Outline, kMapOutline, x, scaled(len, 0.9999) - 1});
    }
    // Ranges first, overlaps over them, the outline on top.
    void finish() {
        if (!m_map)
            return;
        auto& s = m_map->spans;
        s.insert(s.end(), m_ranges.begin(), m_ranges.end());
        s.insert(s.end(), m_overlaps.begin(), m_overlaps.end());
        s.insert(s.end(), m_outlines.begin(), m_outlines.end());
    }

private:
    int scaled(std::int64_t v, double round) const {
        const double d = std::trunc(static_cast<double>(v) * m_scale + round);
        return static_cast<int>(std::clamp(d, -1e9, 1e9));
    }

    StructureMap* m_map;
    double m_scale = 0.0;
    std::vector<MapSpan> m_ranges, m_overlaps, m_outlines;
    std::unordered_set<std::uint64_t> m_overlapSeen;
};

FindingSink::Compact finding(bool isSegment, const Range* first, const Range* second,
                             std::uint8_t flags, std::uint32_t message) {
    FindingSink::Compact m;
    m.isSegment = isSegment;
    if (first) {
        m.first = first->index;
        m.firstName = first->nameId;
    }
    if (second) {
        m.second = second->index;
        m.secondName = second->nameId;
    }
    m.flags = flags;
    m.message = message;
    return m;
}

std::uint32_t messageText(FindingSink& list, std::string text) {
    if (text.size() > kMessageMax)
        text.resize(kMessageMax);
    return list.text(text);
}

// Steps shared by segments and entries: list order, then overlaps and gaps
// interleaved range by range over the sorted ranges, then the trailing gap,
// then the ranges that run past the limit.
std::uint8_t walkRanges(std::vector<Range>& ranges, std::int64_t limit, bool isSegment, bool hex,
                        FindingSink* messages, MapBuilder& map, const std::string& notSortedText,
                        const std::string& overText) {
    std::uint8_t flags = 0;
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].a < ranges[i - 1].a) {
            flags |= kIsNotSort;
            if (messages)
                messages->add(finding(isSegment, nullptr, nullptr, kIsNotSort,
                                      messageText(*messages, notSortedText)));
            break;
        }
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const Range& x, const Range& y) { return x.a < y.a; });
    if (map.active())
        for (const Range& r : ranges)
            map.range(r.a, r.b - r.a);
    if (messages)
        for (Range& r : ranges)
            r.nameId = messages->text(*r.name);

    // Later ranges begin at or after range i. An empty range shares no byte,
    // so the search skips them: nextFull[k] is the first non-empty range at or
    // after k. Every non-empty later range that begins before range i ends
    // then overlaps it, and the first one that begins at or after its end
    // ends the search, so the work is the pairs reported and no more.
    const std::size_t n = ranges.size();
    std::vector<std::size_t> nextFull(n + 1, n);
    for (std::size_t k = n; k-- > 0;)
        nextFull[k] = ranges[k].b > ranges[k].a ? k : nextFull[k + 1];
    const std::uint32_t overlayText = messages ? messages->text("Overlay") : 0;

    // Without a list or a map only the flags count: the first overlap of a
    // range says all there is to say.
    const bool everyPair = messages || map.active();
    std::int64_t prevEnd = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Range& ri = ranges[i];
        for (std::size_t j = nextFull[i + 1]; j < n && ranges[j].a < ri.b; j = nextFull[j + 1]) {
            flags |= kIsOverlay;
            if (!everyPair)
                break;
            if (messages)
                messages->add(finding(isSegment, &ri, &ranges[j], kIsOverlay, overlayText));
            if (map.active())
                map.overlap(ranges[j].a, std::min(ri.b, ranges[j].b));
        }
        if (ri.a > prevEnd) {
            flags |= kHasSpace;
            if (messages)
                messages->add(finding(isSegment, prevEnd != 0 && i > 0 ? &ranges[i - 1] : nullptr,
                                      &ri, kHasSpace,
                                      messageText(*messages, gapMessage(prevEnd, ri.a, hex))));
        }
        prevEnd = ri.b;
    }
    if (!ranges.empty() && ranges.back().b < limit) {
        flags |= kHasSpace;
        if (messages)
            messages->add(finding(isSegment, &ranges.back(), nullptr, kHasSpace,
                                  messageText(*messages, gapMessage(ranges.back().b, limit, hex))));
    }
    for (const Range& r : ranges) {
        if (r.b > limit) {
            flags |= kIsOver;
            if (messages)
                messages->add(
                    finding(isSegment, &r, nullptr, kIsOver, messageText(*messages, overText)));
        }
    }
    return flags;
}

// Anomaly names of every flag set, made once: a listing of millions of rows
// reads them without building them anew.
const std::array<std::string, 256>& namesOfFlags() {
    static const std::array<std::string, 256> names = [] {
        std::array<std::string, 256> a;
        for (std::size_t f = 0; f < a.size(); ++f)
            a[f] = anomalyNames(static_cast<std::uint8_t>(f));
        return a;
    }();
    return names;
}

constexpr std::string_view kClickToExpand = "Click To Expend";

} // namespace

std::string severityText(std::uint8_t flags) {
    if (flags & (kIsOver | kIsOverlay))
        return "Error";
    if (flags & (kHasSpace | kIsNotFit | kIsNotSort))
        return "Warning";
    return {};
}

std::string anomalyNames(std::uint8_t flags) {
    std::string s;
    for (const FlagName& f : kFlagNames)
        if (flags & f.bit) {
            s += f.name;
            s += ' ';
        }
    return s;
}

RangeOverlap rangesOverlap(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
    RangeOverlap r;
    if (b < c || d < a)
        return r;
    r.from = std::max(a, c);
    r.to = std::min(b, d);
    r.overlaps = r.from < r.to;
    return r;
}

std::string gapMessage(std::int64_t from, std::int64_t to, bool hexPositions) {
    if (hexPositions)
        return "Has Blank at Position OX" + hexText(from) + " To OX" + hexText(to);
    return "Has Blank at Position " + std::to_string(from) + " To " + std::to_string(to);
}

MessageRow messageRow(const StructMessage& m) {
    MessageRow row;
    row.caption = severityText(m.flags);
    row.image = row.caption == "Error" ? 0 : 1;
    row.firstName = m.firstName;
    row.secondName = m.secondName;
    row.collide = m.expandable ? std::string(kClickToExpand) : anomalyNames(m.flags);
    row.message = m.message;
    row.finding = m;
    return row;
}

std::uint32_t TextTable::number(std::string_view s) {
    if (s.empty())
        return 0;
    const auto [it, added] =
        m_index.try_emplace(std::string(s), static_cast<std::uint32_t>(m_texts.size()));
    if (added)
        m_texts.emplace_back(s);
    return it->second;
}

void TextTable::clear() {
    m_texts.assign(1, std::string());
    m_index.clear();
}

MessageRowTexts compactTexts(const FindingSink::Compact& c, std::string_view firstName,
                             std::string_view secondName, std::string_view message) {
    MessageRowTexts t;
    t.caption = (c.flags & (kIsOver | kIsOverlay))                 ? "Error"
                : (c.flags & (kHasSpace | kIsNotFit | kIsNotSort)) ? "Warning"
                                                                   : "";
    t.firstName = firstName;
    t.secondName = secondName;
    t.collide = c.expandable ? kClickToExpand : std::string_view(namesOfFlags()[c.flags]);
    t.message = message;
    t.isSegment = c.isSegment;
    t.expandable = c.expandable;
    t.first = c.first;
    t.second = c.second;
    t.flags = c.flags;
    return t;
}

void MessageList::add(const Compact& c) {
    m_rows.push_back(c);
    if (c.flags & (kIsOver | kIsOverlay))
        hasErrors = true;
}

void MessageList::add(const StructMessage& m) {
    Compact c;
    c.isSegment = m.isSegment;
    c.first = m.first;
    c.second = m.second;
    c.firstName = text(m.firstName);
    c.secondName = text(m.secondName);
    c.message = text(m.message);
    c.flags = m.flags;
    c.expandable = m.expandable;
    add(c);
}

MessageRowTexts MessageList::texts(std::size_t i) const {
    const Compact& c = m_rows[i];
    return compactTexts(c, m_texts[c.firstName], m_texts[c.secondName], m_texts[c.message]);
}

StructMessage MessageList::finding(std::size_t i) const {
    const Compact& c = m_rows[i];
    return {c.isSegment,
            c.first,
            c.second,
            std::string(m_texts[c.firstName]),
            std::string(m_texts[c.secondName]),
            std::string(m_texts[c.message]),
            c.flags,
            c.expandable};
}

MessageRow MessageList::row(std::size_t i) const {
    return messageRow(finding(i));
}

void MessageList::clear() {
    m_rows.clear();
    m_texts.clear();
    hasErrors = false;
}

void clearMessages(MessageList& list) {
    list.clear();
}

std::uint8_t checkSegments(const SegmentList& list, std::int64_t fileSize, bool hexPositions,
                           FindingSink* messages, StructureMap* map, const Segment* current) {
    std::vector<Range> ranges;
    ranges.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Segment& s = list[i];
        // A negative length (from an older type file) ends no earlier than the
        // begin: a segment that begins past the end of the file is still there.
        ranges.push_back({s.begin, std::max(s.end(), std::int64_t{s.begin}), static_cast<int>(i),
                          &s.name});
    }
    MapBuilder mb(map, fileSize);
    const std::uint8_t flags =
        walkRanges(ranges, fileSize, true, hexPositions, messages, mb, "Segment Not Sortted",
                   "This Segment is Bigger Than File Length " + std::to_string(fileSize));
    if (current && mb.active())
        mb.outline(current->begin, current->length);
    mb.finish();

    if (messages) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            const Segment& s = list[i];
            const std::uint8_t f = checkTypeEntries(&s, fileSize, hexPositions);
            if (f == 0)
                continue;
            FindingSink::Compact m;
            m.isSegment = true;
            m.first = static_cast<int>(i);
            m.firstName = messages->text(s.name);
            m.flags = f;
            m.message = messages->text(anomalyNames(f));
            m.expandable = true;
            messages->add(m);
        }
    }
    return flags;
}

bool hasStructureErrors(const SegmentList& list, std::int64_t fileSize) {
    constexpr std::uint8_t errors = kIsOver | kIsOverlay;
    if (checkSegments(list, fileSize, false) & errors)
        return true;
    for (const auto& s : list)
        if (checkTypeEntries(s.get(), fileSize, false) & errors)
            return true;
    return false;
}

std::uint8_t checkTypeEntries(const Segment* seg, std::int64_t fileSize, bool hexPositions,
                              FindingSink* messages, StructureMap* map,
                              const std::vector<std::size_t>* selected) {
    const std::int64_t extent = seg ? seg->extent() : 0;
    MapBuilder mb(map, extent);
    if (!seg || extent == 0) {
        mb.finish();
        return 0;
    }
    std::vector<Range> ranges;
    ranges.reserve(seg->entries.size());
    for (std::size_t i = 0; i < seg->entries.size(); ++i) {
        const TypeEntry& e = seg->entries[i];
        ranges.push_back({e.start, e.end(), static_cast<int>(i), &e.memo});
    }
    std::uint8_t flags = walkRanges(ranges, extent, false, hexPositions, messages, mb, "", "");
    if (selected && mb.active())
        for (std::size_t k : *selected)
            if (k < seg->entries.size())
                mb.outline(seg->entries[k].start, seg->entries[k].length);
    mb.finish();

    // A record length of 0 leaves the remainder undefined: nothing to report.
    if (seg->recordLength != 0) {
        const std::int64_t L = seg->toFilesEnd ? fileSize - seg->begin : std::int64_t{seg->length};
        const std::int64_t rest = L % seg->recordLength;
        if (rest > 0) {
            flags |= kIsNotFit;
            if (messages)
                messages->add(finding(
                    false, nullptr, nullptr, kIsNotFit,
                    messageText(*messages, "segLength mod recLength=" + std::to_string(rest))));
        }
    }
    return flags;
}

} // namespace vm
