#include "checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

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
};

StructMessage finding(bool isSegment, const Range* first, const Range* second, std::uint8_t flags,
                      std::string message) {
    StructMessage m;
    m.isSegment = isSegment;
    if (first) {
        m.first = first->index;
        m.firstName = *first->name;
    }
    if (second) {
        m.second = second->index;
        m.secondName = *second->name;
    }
    m.flags = flags;
    if (message.size() > kMessageMax)
        message.resize(kMessageMax);
    m.message = std::move(message);
    return m;
}

// Steps shared by segments and entries: list order, then overlaps and gaps
// interleaved range by range over the sorted ranges, then the trailing gap,
// then the ranges that run past the limit.
std::uint8_t walkRanges(std::vector<Range>& ranges, std::int64_t limit, bool isSegment, bool hex,
                        MessageList* messages, MapBuilder& map, const std::string& notSortedText,
                        const std::string& overText) {
    std::uint8_t flags = 0;
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].a < ranges[i - 1].a) {
            flags |= kIsNotSort;
            if (messages)
                messages->add(finding(isSegment, nullptr, nullptr, kIsNotSort, notSortedText));
            break;
        }
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const Range& x, const Range& y) { return x.a < y.a; });
    if (map.active())
        for (const Range& r : ranges)
            map.range(r.a, r.b - r.a);

    std::int64_t prevEnd = 0;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const Range& ri = ranges[i];
        // Later ranges begin at or after ri; once one begins at ri's end no
        // later one can share a byte with it, so the search stops there.
        for (std::size_t j = i + 1; j < ranges.size() && ranges[j].a < ri.b; ++j) {
            const RangeOverlap o = rangesOverlap(ri.a, ri.b, ranges[j].a, ranges[j].b);
            if (!o.overlaps)
                continue;
            flags |= kIsOverlay;
            if (messages)
                messages->add(finding(isSegment, &ri, &ranges[j], kIsOverlay, "Overlay"));
            if (map.active())
                map.overlap(o.from, o.to);
        }
        if (ri.a > prevEnd) {
            flags |= kHasSpace;
            if (messages)
                messages->add(finding(isSegment, prevEnd != 0 && i > 0 ? &ranges[i - 1] : nullptr,
                                      &ri, kHasSpace, gapMessage(prevEnd, ri.a, hex)));
        }
        prevEnd = ri.b;
    }
    if (!ranges.empty() && ranges.back().b < limit) {
        flags |= kHasSpace;
        if (messages)
            messages->add(finding(isSegment, &ranges.back(), nullptr, kHasSpace,
                                  gapMessage(ranges.back().b, limit, hex)));
    }
    for (const Range& r : ranges) {
        if (r.b > limit) {
            flags |= kIsOver;
            if (messages)
                messages->add(finding(isSegment, &r, nullptr, kIsOver, overText));
        }
    }
    return flags;
}

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
    row.collide = m.expandable ? std::string("Click To Expend") : anomalyNames(m.flags);
    row.message = m.message;
    row.finding = m;
    return row;
}

void MessageList::add(const StructMessage& m) {
    rows.push_back(messageRow(m));
    if (rows.back().image == 0)
        hasErrors = true;
}

void clearMessages(MessageList& list) {
    list.rows.clear();
    list.hasErrors = false;
}

std::uint8_t checkSegments(const SegmentList& list, std::int64_t fileSize, bool hexPositions,
                           MessageList* messages, StructureMap* map, const Segment* current) {
    std::vector<Range> ranges;
    ranges.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Segment& s = list[i];
        ranges.push_back({s.begin, s.end(), static_cast<int>(i), &s.name});
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
            StructMessage m;
            m.isSegment = true;
            m.first = static_cast<int>(i);
            m.firstName = s.name;
            m.flags = f;
            m.message = anomalyNames(f);
            m.expandable = true;
            messages->add(m);
        }
    }
    return flags;
}

std::uint8_t checkTypeEntries(const Segment* seg, std::int64_t fileSize, bool hexPositions,
                              MessageList* messages, StructureMap* map,
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
                messages->add(finding(false, nullptr, nullptr, kIsNotFit,
                                      "segLength mod recLength=" + std::to_string(rest)));
        }
    }
    return flags;
}

} // namespace vm
