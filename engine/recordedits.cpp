#include "recordedits.h"

#include "codec.h"
#include "model.h"
#include "rewrite.h"
#include "segmentedits.h"

namespace vm {

namespace {

std::string invalid(const char* what, std::string_view text) {
    return std::string(what) + " \"" + std::string(text) + "\" Is Not a Valid Value";
}

FileResult refusal(std::string text) {
    FileResult r;
    r.error = std::move(text);
    return r;
}

// The count as the rewrite needs it, put back as it was when the rewrite fails.
class CountedShape {
public:
    CountedShape(Segment& seg, std::int64_t fileSize)
        : m_seg(seg), m_length(seg.length), m_count(seg.recordCount) {
        computeRecordCount(&seg, fileSize);
    }
    void restore() {
        m_seg.length = m_length;
        m_seg.recordCount = m_count;
    }

private:
    Segment& m_seg;
    std::int32_t m_length;
    std::int32_t m_count;
};

} // namespace

std::string recordEditRefusal(const Segment& seg) {
    if (seg.anomaly)
        return "Segment " + seg.name +
               " is an Anomaly segment: its fields are not records, so none can be added or "
               "deleted";
    return {};
}

std::string readAddRecords(std::string_view positionText, std::string_view countText, bool append,
                           std::int64_t recordCount, AddRecordsRequest& out) {
    const std::int64_t position = parseInteger(positionText).value_or(-1);
    // The rewrite can only put records inside the segment or right after it.
    if (!append && (position < 0 || position > recordCount))
        return invalid("The Insert Position", positionText);
    const std::int64_t count = parseInteger(countText).value_or(1);
    if (count < 0)
        return invalid("The Add Record Count", countText);
    out.position = position;
    out.count = count;
    out.append = append;
    return {};
}

std::string readDeleteRecords(std::string_view firstText, std::string_view lastText,
                              std::int64_t limit, DeleteRecordsRequest& out) {
    const std::int64_t first = parseInteger(firstText).value_or(-1);
    const std::int64_t last = parseInteger(lastText).value_or(-1);
    if (first < 0 || first >= limit)
        return invalid("The Deleted Begin:", firstText);
    if (last < 0 || last >= limit)
        return invalid("The Deleted End", lastText);
    if (last < first)
        return "The Deleted End Must Bigger Than Deleted Begin";
    out.first = first;
    out.last = last;
    return {};
}

FileResult addRecordsToSegment(WorkingFile& wf, SegmentList& list, Segment& seg,
                               const AddRecordsRequest& request, const Progress& progress,
                               const RewriteFinish& finish) {
    if (std::string problem = recordEditRefusal(seg); !problem.empty())
        return refusal(std::move(problem));
    CountedShape shape(seg, wf.stream.size());
    // Records put right after the last one have only it as neighbour to copy;
    // what lies beyond the segment belongs to no record of it.
    const bool atEnd = request.append || request.position == seg.recordCount;
    FileResult r = insertRecords(wf, seg, request.position, request.count, atEnd, !request.fillNear,
                                 progress, finish);
    if (r.ok)
        shiftFollowingSegments(list, seg, r.delta);
    else
        shape.restore();
    return r;
}

FileResult deleteRecordsFromSegment(WorkingFile& wf, SegmentList& list, Segment& seg,
                                    const DeleteRecordsRequest& request, const Progress& progress) {
    if (std::string problem = recordEditRefusal(seg); !problem.empty())
        return refusal(std::move(problem));
    CountedShape shape(seg, wf.stream.size());
    FileResult r = deleteRecords(wf, seg, request.first, request.last, progress);
    if (r.ok)
        shiftFollowingSegments(list, seg, r.delta);
    else
        shape.restore();
    return r;
}

} // namespace vm
