#pragma once

#include <cstdint>
#include <string>

#include "bytesource.h"
#include "recordblocks.h"
#include "recordtable.h"
#include "segment.h"
#include "textoutput.h"

namespace vm {

struct TableExportOptions {
    TableFormat format = TableFormat::Csv;
    // Every value as a text that reads back to its very bytes, else as hex;
    // without it, the texts the grid shows.
    bool exact = false;
    std::int64_t first = 0; // first record
    std::int64_t last = -1; // last record (inclusive); negative: the segment's last
};

// Why the records asked for cannot be written (the segment's own refusal, or
// a range outside its records), or empty. Counts the segment's records
// against dataSize first, as everything that needs them does.
std::string recordTableExportRefusal(Segment& seg, std::int64_t dataSize,
                                     const TableExportOptions& options);

// Streams the table of seg's records: for CSV and TSV a header row of the
// column names (tableColumnNames), then one row per record: its index, its
// position in the data (decimal), then its values; JSON Lines writes one
// object per record keyed by the column names, whole numbers and floats as
// numbers where JSON can hold them. Records are read in large blocks and
// formatted on several threads; memory stays flat however long the table.
// progress hears the share of records written and may stop (which fails).
// False on a refusal (nothing written), a read error or a stop.
bool writeRecordTable(Segment& seg, const ByteSource& data, const TableExportOptions& options,
                      const TextSink& sink, const Locale& loc = defaultLocale(),
                      const Progress& progress = {}, const TextOutputBlocks& blocks = {});

// The same into the output named path (see writeTextFile: a file is replaced
// only by a complete table).
TextOutputResult writeRecordTable(Segment& seg, const ByteSource& data,
                                  const TableExportOptions& options, const std::string& path,
                                  const Locale& loc = defaultLocale(),
                                  const Progress& progress = {}, bool waitForReader = false);

} // namespace vm
