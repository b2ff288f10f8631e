#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bytesource.h"
#include "segment.h"

namespace vm {

// One field that the bytes suggest: where it lies in the record, its kind and
// a memo saying what was seen ("counter +1", "text, space padded", ...).
struct FieldProposal {
    int start = 0;
    int length = 0;
    int kind = 0;            // a TypeKind code
    std::string memo;        // single-byte text, at most 20 characters
    double confidence = 0;   // 0 to 1
};

// A record length that the bytes repeat with, where the records begin and
// the fields of one record.
struct RecordProposal {
    int recordLength = 0;
    // How much better the bytes are predicted column by column with this
    // record length than byte by byte: 0 no structure, 1 fully determined.
    double evidence = 0;
    std::int64_t firstRecord = 0; // offset in the data; a header lies before it
    std::int64_t recordCount = 0; // whole records up to the end of the range
    std::vector<FieldProposal> fields;
};

struct DescribeOptions {
    int maxRecordLength = 65535; // a field cannot be longer
    int proposals = 5; // record lengths proposed at most (each with its fields)
    // Bytes read at most, spread over the range; a larger range is sampled.
    std::int64_t sampleBytes = std::int64_t{1} << 19;
    // Longest header looked for before the first record.
    std::int64_t maxHeader = 65536;
    // The record length to describe, instead of the one the bytes suggest.
    int recordLength = 0;
};

struct DescribeResult {
    bool ok = false;
    std::string message;                  // why nothing was proposed
    std::vector<RecordProposal> proposals; // best first
};

// Proposes record lengths and fields for the bytes [begin, begin + length) of
// src (length < 0: to the end), from a bounded sample, so the answer takes
// about the same time for any size. Little-endian values only.
DescribeResult describeRecords(const ByteSource& src, std::int64_t begin, std::int64_t length,
                               const DescribeOptions& options = {});

// The segments of a proposal for the range [begin, begin + length), which
// lies below 2 GiB as every structure's offsets do: an
// Anomaly segment "Header" for the bytes before the first record, "Records"
// with the fields, and an Anomaly segment "Trailer" for the bytes after the
// last whole record. Bytes of the header and trailer are shown as raw fields.
SegmentList proposalSegments(const RecordProposal& p, std::int64_t begin, std::int64_t length);

// The segments of a proposal made ready to stand in the structure: the
// records part becomes the list's current segment. When they replace the
// segment described (not nullptr), the records keep its name and whichever
// part now ends where it ended keeps its ToFilesEnd, so the user's name and
// the tie to the file's end survive.
void adoptDescribedSegment(SegmentList& parts, const Segment* described);

} // namespace vm
