#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "bytesource.h"
#include "codec.h"
#include "recordblocks.h"
#include "recordtable.h"
#include "segment.h"
#include "textlocale.h"
#include "workingfile.h"

namespace vm {

struct TableImportOptions {
    TableFormat format = TableFormat::Csv;
    bool dryRun = false; // report only: nothing is written
    bool strict = false; // the first value that does not fit refuses the whole import
    bool resize = false; // rows past the last record append zero records for them first
    // Rows read and encoded together, and threads doing so (zero: the import
    // decides); what is written is the same whatever they are.
    TextOutputBlocks blocks;
};

// A value that did not go into its field as the table gives it.
struct TableValueReport {
    std::int64_t line = 0; // the table's line where the value's row begins
    std::int64_t record = 0;
    std::string column; // the column's name (UTF-8)
    std::string text;   // the value as the table gives it (UTF-8; JSON's hex as {"hex":"..."})
    EncodeFit fit = EncodeFit::Cut;
    std::string reason;
    std::string holds; // what the field shows afterwards (UTF-8)
};
using TableReportSink = std::function<void(const TableValueReport&)>;

// A report as one line: the table's line, the record, the column, "cut" or
// "not written", the value, why, and what the field holds, tab-separated,
// each escaped as a TSV value is, then a line feed. The command-line tool
// lists them so, and the program saves its list so.
void appendTableReport(std::string& out, const TableValueReport& report);

struct TableImportResult {
    bool ok = false;
    std::string error;     // why the table was refused or the import failed
    std::int64_t line = 0; // the table's line that a refusal names, else 0
    std::int64_t rows = 0;
    std::int64_t written = 0;    // values that changed their field (would, in a dry run)
    std::int64_t cut = 0;        // values written cut to fit
    std::int64_t notWritten = 0; // values that could not be written at all
    std::int64_t appended = 0;   // records appended at the segment's end (would be)
    std::int64_t delta = 0;      // bytes the file grew by: the later segments moved by it
};

// Writes the values of a table's rows into seg's records. A row goes to the
// record its index column names; only the columns the table has are written
// (a JSON object may leave keys out, or give null), and the position column
// is not read. The whole table is read first: a malformed one (bad quoting,
// an unknown or repeated column, no index, a record past the last without
// resize, a row of the wrong number of values) is refused with its line, and
// nothing changes.
//
// The values then go, row by row in table order, into a copy of the working
// file (with the appended records, made by the record insertion), each through
// tableCellBytes into its field's bytes. A value whose text is what the
// field shows already leaves the field as it is, so that a table of the
// shown values can be edited and imported without rounding every value
// nobody touched (such a text never changes the field, even where its
// rounded value would; bits count as shown when only their leading zeros
// are missing). A value that does not fit is written as far as it
// goes and reported with its line, record, column and what the field now
// shows; one that cannot be written at all, or whose field runs past the end
// of the file, leaves its field and is reported too. With strict, the first
// of them refuses the import.
//
// On success wf is switched to the copy (the previous file stays behind,
// closed, as after every rewrite) and, when records were appended, the later
// segments of list are moved; when no byte changed, wf stays as it was. On failure or a stop (progress returning
// false) wf, its file and the structure are as they were. A dry run only
// reports, as the import would.
TableImportResult readRecordTable(WorkingFile& wf, SegmentList& list, Segment& seg,
                                  const ByteSource& table, const TableImportOptions& options,
                                  const TableReportSink& report = {},
                                  const Locale& loc = defaultLocale(),
                                  const Progress& progress = {});

} // namespace vm
