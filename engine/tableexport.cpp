#include "tableexport.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "cellformat.h"
#include "kinds.h"
#include "model.h"

namespace vm {

namespace {

constexpr std::size_t kNumberRoom = 24;

// Kinds whose texts JSON can carry as numbers: every whole number, and
// floats unless they are NAN, INF or written with a decimal comma.
bool jsonNumberKind(int kind) {
    return isWholeNumberKind(kind) || isFloatingKind(kind);
}

char* put(char* p, std::string_view s) {
    if (!s.empty()) // an empty view may have no data at all
        std::memcpy(p, s.data(), s.size());
    return p + s.size();
}

// Whether every text the grid shows for a kind goes into the format as it
// is: whole numbers always, hex and bits but in JSON; floats where the
// decimal separator is nothing the format escapes (in JSON they may be NAN,
// INF: strings).
bool plainTexts(int kind, TableFormat format, const Locale& loc) {
    if (isWholeNumberKind(kind))
        return true;
    if (kind == 2 || kind == 4) // leading zeros: no JSON number
        return format != TableFormat::JsonLines;
    if (!isFloatingKind(kind) || format == TableFormat::JsonLines)
        return false;
    const std::string_view escaped = format == TableFormat::Csv ? ",\"\r\n" : "\t\\\r\n";
    return escaped.find(loc.decimalSeparator) == std::string_view::npos;
}

struct RecordRange {
    std::int64_t first = 0;
    std::int64_t count = 0;
};

// The records asked for, or the refusal.
std::string recordRange(Segment& seg, std::int64_t dataSize, const TableExportOptions& o,
                        RecordRange& range) {
    if (std::string refusal = recordTableRefusal(seg); !refusal.empty())
        return refusal;
    const std::int64_t n = std::max<std::int64_t>(computeRecordCount(&seg, dataSize), 0);
    if (o.first == 0 && o.last < 0) {
        range = {0, n};
        return {};
    }
    const std::int64_t last = o.last < 0 ? n - 1 : o.last;
    if (o.first < 0 || o.first > last || last >= n)
        return "Records " + std::to_string(o.first) + " to " + std::to_string(last) +
               " are not in segment " + seg.name + " (it has " + std::to_string(n) + " records)";
    range = {o.first, last - o.first + 1};
    return {};
}

// The rows of a table. Formatting a block touches nothing shared, so blocks
// can be formatted on several threads at once.
struct TableRows {
    struct Column {
        int kind;
        int length;
        std::int64_t start;
        std::size_t bytes;  // read for the value
        std::string prefix; // what goes before the value: a separator, a JSON key
        bool plain;         // its shown texts never need quotes or escapes here
    };
    TableFormat format = TableFormat::Csv;
    bool exact = false;
    std::int64_t begin = 0; // the segment's
    std::int64_t recordLength = 0;
    std::int64_t firstIndex = 0;
    std::int64_t dataSize = 0;
    std::vector<Column> columns;
    const CellFormat* cell = nullptr;
    const DateLayout* dates = nullptr;
    const Locale* loc = nullptr;
    std::size_t rowRoom = 0; // most characters a row can take

    char* putText(char* p, std::string_view text, int kind) const {
        switch (format) {
        case TableFormat::Csv:
            return putCsvValue(p, text, TextCoding::SingleByte);
        case TableFormat::Tsv:
            return putTsvValue(p, text, TextCoding::SingleByte);
        case TableFormat::JsonLines:
            if (jsonNumberKind(kind) && isJsonNumber(text))
                return put(p, text);
            return putJsonString(p, text, TextCoding::SingleByte);
        }
        return p;
    }

    char* putExact(char* p, const Column& c, std::span<const std::uint8_t> bytes,
                   std::string& scratch) const {
        if (exactValueText(bytes, c.kind, c.length, *dates, *loc, scratch))
            return putText(p, scratch, c.kind);
        scratch.clear();
        if (format == TableFormat::JsonLines) {
            appendHexBytes(scratch, bytes);
            p = put(p, "{\"hex\":\"");
            p = put(p, scratch);
            return put(p, "\"}");
        }
        appendHexValue(scratch, bytes, c.kind);
        return put(p, scratch);
    }

    void formatRows(const std::uint8_t* block, std::int64_t stride, std::int64_t first,
                    std::int64_t count, TextBuffer& out) const {
        std::string scratch;
        char text[kCellTextRoom];
        const bool json = format == TableFormat::JsonLines;
        const std::string_view rowEnd = json                         ? "}\n"
                                        : format == TableFormat::Csv ? std::string_view("\r\n")
                                                                     : "\n";
        for (std::int64_t r = 0; r < count; ++r) {
            const std::int64_t index = firstIndex + first + r;
            const std::int64_t at = begin + index * recordLength;
            char* p = out.room(rowRoom);
            if (json)
                p = put(p, "{\"index\":");
            p += formatSigned(p, index);
            p = put(p, json ? ",\"position\":" : format == TableFormat::Csv ? "," : "\t");
            p += formatSigned(p, at);
            const std::uint8_t* rec = block + r * stride;
            for (const Column& c : columns) {
                if (c.prefix.size() == 1)
                    *p++ = c.prefix[0];
                else
                    p = put(p, c.prefix);
                // As in the grid, a field that begins past the end of the
                // data shows nothing.
                if (at + c.start >= dataSize) {
                    if (json)
                        p = put(p, "\"\"");
                    continue;
                }
                const std::span<const std::uint8_t> bytes(rec + c.start, c.bytes);
                if (c.plain && !exact)
                    p += (*cell)(p, bytes, c.kind, c.length);
                else if (exact && c.bytes == 0)
                    p = json ? put(p, "\"\"") : p; // no bytes: nothing to tell
                else if (exact)
                    p = putExact(p, c, bytes, scratch);
                else
                    p = putText(p, std::string_view(text, (*cell)(text, bytes, c.kind, c.length)),
                                c.kind);
            }
            p = put(p, rowEnd);
            out.commit(p);
        }
    }
};

} // namespace

std::string recordTableExportRefusal(Segment& seg, std::int64_t dataSize,
                                     const TableExportOptions& options) {
    RecordRange range;
    return recordRange(seg, dataSize, options, range);
}

bool writeRecordTable(Segment& seg, const ByteSource& data, const TableExportOptions& options,
                      const TextSink& sink, const Locale& loc, const Progress& progress,
                      const TextOutputBlocks& blocks) {
    RecordRange range;
    if (!recordRange(seg, data.size(), options, range).empty())
        return false;
    const std::vector<std::string> names = tableColumnNames(seg);
    const CellFormat cell(loc);
    const DateLayout dates(loc);
    TableRows rows;
    rows.format = options.format;
    rows.exact = options.exact;
    rows.begin = seg.begin;
    rows.recordLength = seg.recordLength;
    rows.firstIndex = range.first;
    rows.dataSize = data.size();
    rows.cell = &cell;
    rows.dates = &dates;
    rows.loc = &loc;
    rows.rowRoom = 2 * kNumberRoom + 32;
    std::int64_t fields = 0;
    std::int64_t textPerRow = 2 * kNumberRoom;
    for (std::size_t k = 0; k < seg.entries.size(); ++k) {
        const TypeEntry& e = seg.entries[k];
        TableRows::Column c{e.kind,  e.length,
                            e.start, options.exact ? e.length : shownValueBytes(e),
                            {},      plainTexts(e.kind, options.format, loc)};
        switch (options.format) {
        case TableFormat::Csv:
            c.prefix = ",";
            break;
        case TableFormat::Tsv:
            c.prefix = "\t";
            break;
        case TableFormat::JsonLines:
            c.prefix = ",";
            appendTableValue(c.prefix, TableFormat::JsonLines, names[kFirstFieldColumn + k],
                             TextCoding::Utf8);
            c.prefix += ':';
            break;
        }
        // Hex of every byte, or a text of up to three characters a byte.
        const std::size_t longest =
            options.exact ? std::max<std::size_t>(3 * c.bytes + 16, kCellTextRoom) : kCellTextRoom;
        rows.rowRoom += c.prefix.size() + valueRoom(longest);
        textPerRow += static_cast<std::int64_t>(c.prefix.size()) + 2 +
                      std::max(entryDisplayWidth(e.kind, e.length), 1);
        fields = std::max(fields, c.start + static_cast<std::int64_t>(c.bytes));
        rows.columns.push_back(std::move(c));
    }

    TextWriter w(sink, progress, range.count);
    if (options.format != TableFormat::JsonLines) {
        std::string header;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (i > 0)
                header += options.format == TableFormat::Csv ? ',' : '\t';
            appendTableValue(header, options.format, names[i], TextCoding::Utf8);
        }
        header += options.format == TableFormat::Csv ? "\r\n" : "\n";
        w.put(header);
    }
    const RecordRun run{seg.recordOffset(range.first), seg.recordLength, range.count, fields,
                        textPerRow};
    w.putRecords(
        data, run,
        [&rows](const std::uint8_t* block, std::int64_t stride, std::int64_t first,
                std::int64_t count,
                TextBuffer& out) { rows.formatRows(block, stride, first, count, out); },
        blocks);
    return w.flush();
}

TextOutputResult writeRecordTable(Segment& seg, const ByteSource& data,
                                  const TableExportOptions& options, const std::string& path,
                                  const Locale& loc, const Progress& progress, bool waitForReader) {
    if (std::string refusal = recordTableExportRefusal(seg, data.size(), options);
        !refusal.empty()) {
        TextOutputResult r;
        r.path = path;
        r.refused = true;
        r.error = std::move(refusal);
        return r;
    }
    return writeTextFile(path, progress, waitForReader,
                         [&](const TextSink& sink, const Progress& watch) {
                             return writeRecordTable(seg, data, options, sink, loc, watch);
                         });
}

} // namespace vm
