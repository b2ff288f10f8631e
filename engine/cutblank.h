#pragma once

#include <cstdint>

#include "checks.h"
#include "rewrite.h"
#include "segment.h"
#include "workingfile.h"

namespace vm {

struct CutBlankResult {
    // The structure has errors (hasStructureErrors); nothing was changed. The
    // caller shows the check's rows.
    bool refused = false;
    FileResult file; // the rewrite's outcome when not refused
};

// Removes every byte that no field of any record of any segment covers: sorts
// the segments (current segment becomes none) and the fields of each, writes
// the covered bytes into a new working file in one pass and re-lays the
// structure without gaps. The user's confirmation is asked by the caller
// beforehand. On any failure the working file and the structure are unchanged.
CutBlankResult cutBlank(WorkingFile& wf, SegmentList& segments, const ViewSettings& settings,
                        const Progress& progress = {});

// Appends the covered bytes of seg (read from `from`, a file of fileSize
// bytes) to `to` and re-lays seg: fields packed from offset 0 in list order,
// recordLength their total, length records x recordLength.
bool compactSegment(Segment& seg, const FileStream& from, std::int64_t fileSize, RewriteSink& to);

} // namespace vm
