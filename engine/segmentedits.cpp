#include "segmentedits.h"

#include <algorithm>
#include <limits>
#include <string>

#include "model.h"
#include "rewrite.h"

namespace vm {

namespace {

std::int32_t clamp32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

} // namespace

std::vector<Segment*> shiftFollowingSegments(SegmentList& list, const Segment& seg,
                                             std::int64_t delta) {
    std::vector<Segment*> moved;
    if (delta == 0)
        return moved;
    const std::int64_t oldEnd = seg.end() - delta;
    for (auto& s : list) {
        if (s.get() == &seg || s->begin < oldEnd)
            continue;
        s->begin = clamp32(s->begin + delta);
        moved.push_back(s.get());
    }
    return moved;
}

Segment& addNewSegment(SegmentList& list, std::int64_t fileSize, bool editMode, int before) {
    auto seg = newSegment(list, fileSize);
    const bool inserting = before >= 0 && static_cast<std::size_t>(before) < list.size();
    if (editMode) {
        if (inserting)
            placeSegment(*seg, list, list[static_cast<std::size_t>(before)].begin);
        else
            placeSegment(*seg, list);
    }
    if (inserting)
        return list.insert(static_cast<std::size_t>(before), std::move(seg));
    return list.append(std::move(seg));
}

FileResult deleteSegment(SegmentList& list, std::size_t index, WorkingFile* wf,
                         const Progress& progress) {
    if (index >= list.size()) {
        FileResult r;
        r.error = "No segment to delete";
        return r;
    }
    Segment& gone = list[index];
    FileResult r;
    r.ok = true;
    if (wf) {
        r = deleteSegmentBytes(*wf, gone, progress);
        if (!r.ok)
            return r;
        // Moved back by the bytes really removed; a segment that began inside
        // the removed bytes now begins where they were, not before them.
        const std::int64_t removed = -r.delta;
        for (auto& s : list)
            if (s.get() != &gone && s->begin > gone.begin)
                s->begin = clamp32(std::max<std::int64_t>(s->begin - removed, gone.begin));
    }
    freeSegment(list, &gone);
    return r;
}

PasteResult pasteSegment(SegmentList& list, const Segment& source, int before, WorkingFile* wf,
                         const Progress& progress) {
    PasteResult out;
    auto copy = cloneSegment(source);
    const bool inserting = before >= 0 && static_cast<std::size_t>(before) < list.size();
    if (wf) {
        std::optional<std::int32_t> at;
        if (inserting)
            at = list[static_cast<std::size_t>(before)].begin;
        // A ToFilesEnd source holds every byte to the end of the file now,
        // whatever length was stored with it.
        if (copy->toFilesEnd)
            copy->length = clamp32(std::max<std::int64_t>(wf->stream.size() - copy->begin, 0));
        out.file = insertSegmentBytes(*wf, list, *copy, at, progress);
        if (!out.file.ok)
            return out;
        // Put in front of other bytes, the copy stops where its bytes stop: left
        // running to the end of the file it would cover every segment behind
        // it, and deleting it would take their bytes too.
        copy->toFilesEnd = copy->toFilesEnd && copy->end() >= wf->stream.size();
    } else {
        out.file.ok = true;
    }
    out.segment = inserting ? &list.insert(static_cast<std::size_t>(before), std::move(copy))
                            : &list.append(std::move(copy));
    return out;
}

std::vector<const Segment*> segmentsSharingBytes(const SegmentList& list, std::size_t index) {
    std::vector<const Segment*> out;
    if (index >= list.size())
        return out;
    const Segment& gone = list[index];
    const std::int64_t a = gone.begin;
    const std::int64_t b = gone.end();
    for (const auto& s : list) {
        if (s.get() == &gone || s->length <= 0)
            continue;
        if (s->begin < b && s->end() > a)
            out.push_back(s.get());
    }
    return out;
}

std::string deleteSegmentQuestion(const SegmentList& list, std::size_t index) {
    if (index >= list.size())
        return {};
    const Segment& gone = list[index];
    std::string text = "Delete bytes " + std::to_string(gone.begin) + " to " +
                       std::to_string(gone.end() - 1) + "?";
    const std::vector<const Segment*> others = segmentsSharingBytes(list, index);
    for (std::size_t i = 0; i < others.size(); ++i) {
        text += i == 0 ? " They also hold " : i + 1 == others.size() ? " and " : ", ";
        text += others[i]->name;
    }
    if (!others.empty())
        text += ".";
    return text;
}

std::vector<std::size_t> orderAfterMove(std::size_t count, std::vector<std::size_t> moved,
                                        int target) {
    std::sort(moved.begin(), moved.end());
    moved.erase(std::unique(moved.begin(), moved.end()), moved.end());
    while (!moved.empty() && moved.back() >= count)
        moved.pop_back();
    auto isMoved = [&](std::size_t row) {
        return std::binary_search(moved.begin(), moved.end(), row);
    };
    while (target >= 0 && static_cast<std::size_t>(target) < count &&
           isMoved(static_cast<std::size_t>(target)))
        ++target;
    std::vector<std::size_t> order;
    order.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (static_cast<int>(i) == target)
            order.insert(order.end(), moved.begin(), moved.end());
        if (!isMoved(i))
            order.push_back(i);
    }
    if (target < 0 || static_cast<std::size_t>(target) >= count)
        order.insert(order.end(), moved.begin(), moved.end());
    return order;
}

void moveSegments(SegmentList& list, std::vector<std::size_t> moved, int target) {
    const std::vector<std::size_t> order = orderAfterMove(list.size(), std::move(moved), target);
    std::vector<SegmentList::Ptr> items;
    items.reserve(order.size());
    for (std::size_t i : order)
        items.push_back(std::move(list.items()[i]));
    list.items() = std::move(items);
}

// ---- editors ------------------------------------------------------------------

std::int64_t availableLength(const Segment& seg, std::int64_t fileSize) {
    if (seg.toFilesEnd || seg.end() > fileSize)
        return std::max<std::int64_t>(fileSize - seg.begin, 0);
    return std::max<std::int32_t>(seg.length, 0);
}

std::int32_t recordsIn(std::int64_t available, std::int32_t recordLength) {
    if (recordLength <= 0 || available <= 0)
        return 0;
    return clamp32(available / recordLength);
}

std::int32_t editSegmentBegin(Segment& seg, std::optional<std::int32_t> value,
                              std::int64_t fileSize, std::optional<std::int32_t> lengthBefore) {
    // A begin before the start of the file describes nothing; it is not taken.
    if (value && *value >= 0)
        seg.begin = *value;
    // Each keystroke counts from the length the segment had before the user
    // began typing, so a begin passed through on the way (9 and 95 on the way
    // to 950) does not shorten it for good.
    if (lengthBefore)
        seg.length = *lengthBefore;
    const std::int64_t available = availableLength(seg, fileSize);
    seg.length = clamp32(available);
    seg.recordCount = recordsIn(available, seg.recordLength);
    return seg.recordCount;
}

std::int32_t editRecordLength(Segment& seg, std::optional<std::int32_t> value,
                              std::int64_t fileSize) {
    if (value && *value > 0)
        seg.recordLength = *value;
    return recordsIn(availableLength(seg, fileSize), seg.recordLength);
}

std::int32_t editSegmentLength(Segment& seg, std::optional<std::int32_t> value,
                               std::int64_t fileSize) {
    if (value && *value >= 0)
        seg.length = *value;
    seg.recordCount = recordsIn(availableLength(seg, fileSize), seg.recordLength);
    return seg.recordCount;
}

bool editRecordCount(Segment& seg, std::optional<std::int32_t> value, std::int64_t fileSize) {
    if (value && *value > 0)
        seg.recordCount = *value;
    const std::int64_t bytes = std::int64_t{seg.recordCount} * seg.recordLength;
    if (seg.begin + bytes > fileSize || bytes > std::numeric_limits<std::int32_t>::max())
        return false;
    seg.length = static_cast<std::int32_t>(bytes);
    return true;
}

std::optional<std::int64_t> steppedValue(SegmentNumber which, std::int64_t current, int step,
                                         const Segment& seg, std::int64_t fileSize) {
    std::int64_t v = current + step;
    switch (which) {
    case SegmentNumber::Begin:
        v = std::max<std::int64_t>(v, 0);
        return v < fileSize ? std::optional(v) : std::nullopt;
    case SegmentNumber::Length:
        v = std::max<std::int64_t>(v, 0);
        return v <= fileSize - seg.begin ? std::optional(v) : std::nullopt;
    case SegmentNumber::RecordLength:
        return std::max<std::int64_t>(v, 1);
    case SegmentNumber::RecordCount:
        return std::max<std::int64_t>(v, 0);
    }
    return std::nullopt;
}

bool packEntries(Segment& seg, const std::vector<int>& order) {
    std::vector<std::uint16_t> starts(seg.entries.size());
    for (std::size_t i = 0; i < starts.size(); ++i)
        starts[i] = seg.entries[i].start;
    std::int64_t at = 0;
    for (int i : order) {
        if (i < 0 || static_cast<std::size_t>(i) >= seg.entries.size())
            continue;
        if (at > std::numeric_limits<std::uint16_t>::max())
            return false;
        starts[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(at);
        at += seg.entries[static_cast<std::size_t>(i)].length;
    }
    for (std::size_t i = 0; i < starts.size(); ++i)
        seg.entries[i].start = starts[i];
    return true;
}

void moveEntries(Segment& seg, const std::vector<std::size_t>& moved, int target) {
    std::vector<TypeEntry> entries;
    entries.reserve(seg.entries.size());
    for (std::size_t i : orderAfterMove(seg.entries.size(), moved, target))
        entries.push_back(seg.entries[i]);
    seg.entries = std::move(entries);
}

} // namespace vm
