#include "locate.h"

#include <algorithm>

namespace vm {

namespace {

// The record of seg holding offset, or -1.
std::int64_t recordHolding(const Segment& seg, std::int64_t offset, std::int64_t fileSize,
                           bool absolute) {
    const std::int64_t low = absolute ? seg.begin : 0;
    const std::int64_t high = seg.toFilesEnd ? fileSize : std::min(seg.end(), fileSize);
    if (offset < low || offset >= high)
        return -1;
    if (seg.anomaly) {
        for (std::size_t i = 0; i < seg.entries.size(); ++i) {
            const std::int64_t from = low + seg.entries[i].start;
            if (offset >= from && offset < from + seg.entries[i].length)
                return static_cast<std::int64_t>(i);
        }
        return -1;
    }
    // A segment without a record length has no records to divide into.
    return seg.recordLength > 0 ? (offset - low) / seg.recordLength : 0;
}

} // namespace

Location locateOffset(const SegmentList& list, Segment* current, std::int64_t offset,
                      std::int64_t fileSize, bool absolute) {
    Location where;
    auto tryOne = [&](Segment* seg) {
        const std::int64_t r = recordHolding(*seg, offset, fileSize, absolute);
        if (r < 0)
            return false;
        where.segment = seg;
        where.record = r;
        return true;
    };
    if (current && tryOne(current))
        return where;
    for (const auto& seg : list)
        if (seg.get() != current && tryOne(seg.get()))
            return where;
    where.miss = offset < fileSize ? Location::Miss::Undefined : Location::Miss::PastEnd;
    return where;
}

std::string locateMissText(const Location& where, std::int64_t offset) {
    switch (where.miss) {
    case Location::Miss::Undefined:
        return "ERROR The position " + std::to_string(offset) +
               " this not defined any data in there!";
    case Location::Miss::PastEnd:
        return "ERROR The position " + std::to_string(offset) + "is Lage Than the file's size!";
    case Location::Miss::None:
        break;
    }
    return {};
}

} // namespace vm
