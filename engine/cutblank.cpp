#include "cutblank.h"

#include <algorithm>
#include <limits>

#include "model.h"

namespace vm {

bool compactSegment(Segment& seg, const FileStream& from, std::int64_t fileSize, RewriteSink& to) {
    const RecordShape shape = recordShape(seg, fileSize);
    if (seg.anomaly)
        seg.recordLength = seg.length;
    std::vector<RecordPiece> plan;
    std::int64_t offset = 0;
    for (TypeEntry& e : seg.entries) {
        if (e.length > 0) {
            RecordPiece p;
            p.kind = RecordPiece::Kind::Copy;
            p.from = e.start;
            p.length = e.length;
            if (!plan.empty() && plan.back().from + plan.back().length == p.from)
                plan.back().length += p.length; // neighbours in the file are copied as one piece
            else
                plan.push_back(std::move(p));
        }
        e.start = static_cast<std::uint16_t>(offset);
        offset += e.length;
    }
    if (!writeRecords(to, from, seg.begin, shape.count, shape.length, plan))
        return false;
    seg.recordLength = static_cast<std::int32_t>(offset);
    seg.length = static_cast<std::int32_t>(shape.count * offset);
    seg.recordCount = static_cast<std::int32_t>(shape.count);
    return true;
}

// The settings only say how the caller shows the findings of a refusal.
CutBlankResult cutBlank(WorkingFile& wf, SegmentList& segments, const ViewSettings&,
                        const Progress& progress) {
    CutBlankResult result;
    const std::int64_t fileSize = wf.stream.size();
    if (hasStructureErrors(segments, fileSize)) {
        result.refused = true;
        return result;
    }
    // Numbers from a damaged type file that no record layout can follow.
    for (const auto& s : segments)
        if (s->begin < 0 || s->length < 0 || s->recordLength < 0) {
            result.file.error = "Segment " + s->name + " has a negative begin or length";
            return result;
        }
    // The work is done on copies in sorted order; the list itself changes only
    // once the new file is complete.
    std::vector<std::unique_ptr<Segment>> work;
    work.reserve(segments.size());
    for (const auto& s : segments)
        work.push_back(cloneSegment(*s));
    std::stable_sort(work.begin(), work.end(),
                     [](const auto& a, const auto& b) { return a->begin < b->begin; });
    std::int64_t expected = 0;
    for (auto& s : work) {
        sortTypeEntries(*s);
        Segment probe;
        probe.anomaly = s->anomaly;
        probe.toFilesEnd = s->toFilesEnd;
        probe.begin = s->begin;
        probe.length = s->length;
        probe.recordLength = s->recordLength;
        probe.recordCount = s->recordCount;
        const RecordShape shape = recordShape(probe, fileSize);
        std::int64_t covered = 0;
        for (const TypeEntry& e : s->entries)
            covered += e.length;
        expected += shape.count * covered;
    }
    // Segments of a data file of 2 GiB or more can describe more bytes than
    // the re-laid 32-bit begins could address.
    if (expected > std::numeric_limits<std::int32_t>::max()) {
        result.file.error =
            "The compacted data would reach 2 GiB, which the structure cannot address";
        return result;
    }
    result.file = runRewrite(wf, expected, progress, [&](RewriteSink& sink, const FileStream& src) {
        for (auto& s : work)
            if (!compactSegment(*s, src, fileSize, sink))
                return false;
        return true;
    });
    if (!result.file.ok)
        return result;

    sortSegments(segments); // the same stable order as the copies
    std::int64_t offset = 0;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        Segment& s = segments[i];
        const Segment& c = *work[i];
        s.begin = static_cast<std::int32_t>(offset);
        s.recordLength = c.recordLength;
        s.recordCount = c.recordCount;
        s.length = c.length;
        s.entries = c.entries;
        offset += s.length;
    }
    segments.setCurrent(nullptr);
    return result;
}

} // namespace vm
