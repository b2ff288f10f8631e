#include "locate.h"

#include <algorithm>

namespace vm {

namespace {

// The offsets [low, high) a segment holds, counted from the file's start or
// from the segment's own begin.
struct Range {
    std::int64_t low;
    std::int64_t high;
};

Range rangeOf(const Segment& seg, std::int64_t fileSize, bool absolute) {
    const std::int64_t high = seg.toFilesEnd ? fileSize : std::min(seg.end(), fileSize);
    if (absolute)
        return {seg.begin, high};
    return {0, std::max<std::int64_t>(0, high - seg.begin)};
}

// The record of seg holding offset, or -1.
std::int64_t recordHolding(const Segment& seg, std::int64_t offset, Range r) {
    if (offset < r.low || offset >= r.high)
        return -1;
    if (seg.anomaly) {
        for (std::size_t i = 0; i < seg.entries.size(); ++i) {
            const std::int64_t from = r.low + seg.entries[i].start;
            if (offset >= from && offset < from + seg.entries[i].length)
                return static_cast<std::int64_t>(i);
        }
        return -1;
    }
    // A segment without a record length has no records to divide into.
    return seg.recordLength > 0 ? (offset - r.low) / seg.recordLength : 0;
}

} // namespace

Location locateOffset(const SegmentList& list, Segment* current, std::int64_t offset,
                      std::int64_t fileSize, bool absolute) {
    Location where;
    auto tryOne = [&](Segment* seg) {
        const std::int64_t r = recordHolding(*seg, offset, rangeOf(*seg, fileSize, absolute));
        if (r < 0)
            return false;
        where.segment = seg;
        where.record = r;
        return true;
    };
    if (current && tryOne(current))
        return where;
    if (!absolute) {
        // An offset counted from the current segment's start names no place
        // in another segment; going there silently would mislead.
        where.miss = Location::Miss::OutsideSegment;
        where.countedIn = current;
        if (current) {
            const Range r = rangeOf(*current, fileSize, false);
            where.countedSize = r.high - r.low;
        }
        return where;
    }
    for (const auto& seg : list)
        if (seg.get() != current && tryOne(seg.get()))
            return where;
    where.miss = offset < fileSize ? Location::Miss::Undefined : Location::Miss::PastEnd;
    return where;
}

std::optional<std::int64_t> gotoIndex(const Location& where, std::int64_t offset,
                                      std::int64_t fileSize, bool absolute) {
    const Segment* seg = where.segment;
    if (!seg)
        return std::nullopt;
    if (seg->anomaly)
        return where.record;
    const std::int64_t L = seg->recordLength;
    if (L <= 0)
        return std::nullopt;
    const Range r = rangeOf(*seg, fileSize, absolute);
    const std::int64_t index = (offset - r.low + L - 1) / L;
    if (r.low + index * L >= r.high)
        return std::nullopt;
    return index;
}

std::string locateMissText(const Location& where, std::int64_t offset) {
    switch (where.miss) {
    case Location::Miss::Undefined:
        return "ERROR The position " + std::to_string(offset) +
               " this not defined any data in there!";
    case Location::Miss::PastEnd:
        return "ERROR The position " + std::to_string(offset) + "is Lage Than the file's size!";
    case Location::Miss::OutsideSegment:
        if (!where.countedIn)
            return "ERROR The position " + std::to_string(offset) + " has no segment to count in";
        return "ERROR The position " + std::to_string(offset) + " is not inside the segment " +
               where.countedIn->name + " (" + std::to_string(where.countedSize) +
               " bytes from its start)";
    case Location::Miss::None:
        break;
    }
    return {};
}

} // namespace vm
