#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rewrite.h"
#include "segment.h"
#include "workingfile.h"

namespace vm {

// Record insertion and deletion as the two record dialogs and the command line
// do them: the input read and checked with the dialogs' messages, then one
// operation that rewrites the file, changes the segment's count and length and
// moves every later segment.

struct AddRecordsRequest {
    std::int64_t position = 0; // record index the new records go before
    std::int64_t count = 1;
    bool append = false;   // after the last record ("Add To The Segment Last")
    bool fillNear = false; // copies of the neighbouring record, else zero bytes
};

// Why records cannot be added to or deleted from seg (an Anomaly segment has
// fields, not records); empty when they can.
std::string recordEditRefusal(const Segment& seg);

// The add dialog's boxes as typed, against a segment of recordCount records.
// Empty when accepted (out filled), else the message to show.
std::string readAddRecords(std::string_view positionText, std::string_view countText, bool append,
                           std::int64_t recordCount, AddRecordsRequest& out);

struct DeleteRecordsRequest {
    std::int64_t first = 0;
    std::int64_t last = 0; // inclusive
};

// The delete dialog's boxes as typed; limit is one past the last record index.
std::string readDeleteRecords(std::string_view firstText, std::string_view lastText,
                              std::int64_t limit, DeleteRecordsRequest& out);

// Inserts the records into seg (a segment of list) and moves the segments that
// followed it. On failure nothing has changed and error says why (the
// system's text when the rewrite failed).
// finish changes the new file before it becomes the working file (see
// RewriteFinish).
FileResult addRecordsToSegment(WorkingFile& wf, SegmentList& list, Segment& seg,
                               const AddRecordsRequest& request, const Progress& progress = {},
                               const RewriteFinish& finish = {});
FileResult deleteRecordsFromSegment(WorkingFile& wf, SegmentList& list, Segment& seg,
                                    const DeleteRecordsRequest& request,
                                    const Progress& progress = {});

} // namespace vm
