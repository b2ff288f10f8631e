#include "model.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

#include "kinds.h"

namespace vm {

int columnWidthFor(int displayWidth, int fontHeight) {
    const int w = std::abs(fontHeight) * 12 / 16;
    return w * displayWidth + 3;
}

std::unique_ptr<Segment> newSegment(const SegmentList& list, std::int64_t dataFileSize) {
    auto s = std::make_unique<Segment>();
    s->begin = 0;
    s->recordLength = 10;
    s->length = static_cast<std::int32_t>(std::clamp<std::int64_t>(dataFileSize, 0, INT32_MAX));
    s->anomalyColumnWidths = {150, 70, 50, 50, 150};
    s->name = uniqueSegmentName(list);
    return s;
}

void placeSegment(Segment& seg, const SegmentList& list, std::optional<std::int32_t> offset) {
    if (offset) {
        seg.begin = *offset;
    } else if (list.empty()) {
        seg.begin = 0;
    } else {
        const Segment& last = list[list.size() - 1];
        seg.begin =
            static_cast<std::int32_t>(std::clamp<std::int64_t>(last.end(), INT32_MIN, INT32_MAX));
    }
    seg.recordCount = 0;
    seg.recordLength = 0;
    seg.length = 0;
}

std::unique_ptr<Segment> cloneSegment(const Segment& seg) {
    std::int32_t ignored = 0;
    auto c = Segment::fromImage(seg.toImage(), &ignored);
    c->raw = seg.raw;
    c->needsRedraw = seg.needsRedraw;
    c->indexTextWidth = seg.indexTextWidth;
    c->positionTextWidth = seg.positionTextWidth;
    c->entries = seg.entries;
    return c;
}

void restoreSegmentValues(Segment& seg, const Segment& from) {
    seg.begin = from.begin;
    seg.recordCount = from.recordCount;
    seg.recordLength = from.recordLength;
    seg.length = from.length;
    seg.anomalyColumnWidths = from.anomalyColumnWidths;
    seg.name = from.name;
    seg.anomaly = from.anomaly;
    seg.toFilesEnd = from.toFilesEnd;
    seg.raw = from.raw;
}

void freeSegment(SegmentList& list, Segment* seg) {
    const int i = list.indexOf(seg);
    if (i >= 0)
        list.take(static_cast<std::size_t>(i)); // destroyed here, views first
}

void clearSegments(SegmentList& list) {
    list.setCurrent(nullptr);
    while (!list.empty())
        list.take(list.size() - 1);
}

TypeEntry newTypeEntry(int kind, std::optional<std::string_view> memo, const Segment* owner,
                       int fontHeight) {
    TypeEntry e;
    e.kind = static_cast<std::uint8_t>(kind);
    e.start = 0;
    const KindInfo* k = kindInfo(kind);
    e.length = static_cast<std::uint16_t>(k ? k->defaultLength : 0);
    e.columnWidth =
        static_cast<std::uint16_t>(columnWidthFor(entryDisplayWidth(kind, e.length), fontHeight));
    if (memo)
        e.setMemo(*memo);
    else
        e.setMemo(uniqueMemo(owner));
    return e;
}

TypeEntry newTypeEntryFrom(const Segment* owner, int selectedIndex, bool addMode, int fontHeight) {
    if (!addMode || !owner || owner->entries.empty())
        return newTypeEntry(0, std::nullopt, owner, fontHeight);
    const std::size_t i =
        selectedIndex >= 0 && static_cast<std::size_t>(selectedIndex) < owner->entries.size()
            ? static_cast<std::size_t>(selectedIndex)
            : owner->entries.size() - 1;
    TypeEntry e = owner->entries[i];
    e.setMemo(uniqueMemo(owner));
    return e;
}

namespace {

// Smallest n >= 0 such that prefix + n is not among the names. One pass over
// the names collects the numbers in use, so this is linear, not quadratic.
std::string firstFreeName(std::string_view prefix, const std::unordered_set<std::string>& used) {
    for (std::size_t n = 0;; ++n) {
        std::string candidate = std::string(prefix) + std::to_string(n);
        if (!used.count(candidate))
            return candidate;
    }
}

std::int32_t clamp32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

template <typename Seq, typename Key> void stableSortBy(Seq& seq, Key key) {
    std::stable_sort(seq.begin(), seq.end(),
                     [&](const auto& a, const auto& b) { return key(a) < key(b); });
}

} // namespace

std::string UniqueNames::next() {
    for (;; ++m_next) {
        std::string candidate = m_prefix + std::to_string(m_next);
        if (!m_used.count(candidate))
            return candidate;
    }
}

std::string uniqueMemo(const Segment* seg) {
    std::unordered_set<std::string> used;
    if (seg)
        for (const TypeEntry& e : seg->entries)
            used.insert(e.memo);
    return firstFreeName("M", used);
}

std::string uniqueSegmentName(const SegmentList& list) {
    std::unordered_set<std::string> used;
    for (const auto& s : list)
        used.insert(s->name);
    return firstFreeName("Seg", used);
}

void sortTypeEntries(Segment& seg) {
    stableSortBy(seg.entries, [](const TypeEntry& e) { return e.start; });
}

void sortSegments(SegmentList& list) {
    stableSortBy(list.items(), [](const SegmentList::Ptr& s) { return s->begin; });
    for (auto& s : list)
        sortTypeEntries(*s);
    list.setCurrent(nullptr);
}

RecordExtent countedExtent(const Segment& seg, std::int64_t fileSize) {
    RecordExtent x{seg.length, seg.recordCount};
    if (seg.anomaly) {
        x.recordCount = static_cast<std::int32_t>(seg.entries.size());
        return x;
    }
    // A segment that begins past the end of the file holds no byte of it: its
    // length is 0, never negative, so it still ends past the end and the
    // checks see it there.
    const std::int64_t rest = std::max<std::int64_t>(fileSize - seg.begin, 0);
    if (seg.toFilesEnd) {
        x.length = clamp32(rest);
        x.recordCount = seg.recordLength > 0 ? clamp32(rest / seg.recordLength) : 0;
        return x;
    }
    if (seg.recordLength > 0) {
        x.length = clamp32(std::clamp<std::int64_t>(seg.length, 0, rest));
        x.recordCount = clamp32(std::int64_t{x.length} / seg.recordLength);
    }
    return x;
}

std::int32_t computeRecordCount(Segment* seg, std::int64_t fileSize) {
    if (!seg)
        return 0;
    const RecordExtent x = countedExtent(*seg, fileSize);
    if (seg->anomaly)
        return x.recordCount;
    if (!seg->toFilesEnd && seg->recordLength <= 0)
        return 0;
    seg->length = x.length;
    seg->recordCount = x.recordCount;
    return x.recordCount;
}

bool countSegmentRecords(Segment& seg, std::int64_t fileSize) {
    if (seg.anomaly)
        return false;
    const std::int32_t length = seg.length;
    const std::int32_t count = seg.recordCount;
    const RecordExtent x = countedExtent(seg, fileSize);
    if (seg.toFilesEnd)
        seg.length = x.length;
    if (seg.toFilesEnd || seg.recordLength > 0)
        seg.recordCount = x.recordCount;
    return seg.length != length || seg.recordCount != count;
}

bool fitToFilesEnd(SegmentList& list, std::int64_t fileSize) {
    bool changed = false;
    for (auto& seg : list) {
        if (!seg->toFilesEnd)
            continue;
        const std::int32_t length = seg->length;
        const std::int32_t count = seg->recordCount;
        // An Anomaly segment has no records to count, but it still ends with
        // the file: its length editor is off like any ToFilesEnd segment's.
        seg->length = clamp32(std::max<std::int64_t>(fileSize - seg->begin, 0));
        computeRecordCount(seg.get(), fileSize);
        changed = changed || seg->length != length || seg->recordCount != count;
    }
    return changed;
}

bool fitToData(SegmentList& list, std::int64_t fileSize) {
    const bool changed = fitToFilesEnd(list, fileSize);
    for (auto& seg : list)
        if (!seg->toFilesEnd)
            countSegmentRecords(*seg, fileSize);
    return changed;
}

std::int32_t partialRecordLength(const Segment& seg) {
    if (seg.anomaly || seg.recordLength <= 0 || seg.length <= 0)
        return 0;
    return seg.length % seg.recordLength;
}

FieldSpan recordFieldSpan(const Segment& seg, std::int64_t record, const TypeEntry& e) {
    return recordFieldSpan(seg, RecordExtent{seg.length, seg.recordCount}, record, e);
}

FieldSpan recordFieldSpan(const Segment& seg, const RecordExtent& extent, std::int64_t record,
                          const TypeEntry& e) {
    FieldSpan span{seg.recordOffset(record) + e.start, e.length};
    const std::int32_t partial =
        seg.recordLength > 0 && extent.length > 0 ? extent.length % seg.recordLength : 0;
    if (partial == 0 || record < extent.recordCount)
        return span;
    const int inside = partial - e.start;
    if (e.length > inside) {
        const KindInfo* k = kindInfo(e.kind);
        span.length = k && k->variableLength && inside > 0 ? inside : 0;
    }
    return span;
}

std::array<std::string, 5> segmentListRow(const Segment& seg, int position) {
    return {std::to_string(position + 1), seg.name, std::to_string(seg.begin),
            std::to_string(seg.length), seg.anomaly ? "true" : "false"};
}

} // namespace vm
