#include "tableimport.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "cellformat.h"
#include "cp1252.h"
#include "kinds.h"
#include "model.h"
#include "recordblocks.h"
#include "recordedits.h"
#include "rewrite.h"
#include "tablereader.h"

namespace vm {

namespace {

constexpr std::int64_t kWindow = std::int64_t{4} << 20;
// Records longer than this get a window of their own fields only.
constexpr std::int64_t kLongRecord = std::int64_t{64} << 10;
constexpr std::int64_t kRowsPerProgress = 4096;
// Which column a name stands for: a field's index, or one of these.
constexpr int kIndexId = -1;
constexpr int kPositionId = -2;
constexpr std::size_t kNamesListed = 12;

std::string_view trimBlanks(std::string_view t) {
    while (!t.empty() && t.front() == ' ')
        t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ')
        t.remove_suffix(1);
    return t;
}

bool isAscii(std::string_view t) {
    for (const char c : t)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// The rows of a table as record numbers and values by field.
class TableRows {
public:
    TableRows(const ByteSource& table, TableFormat format, const Segment& seg,
              std::int64_t firstLine = 1)
        : m_reader(table, format, firstLine), m_format(format), m_names(tableColumnNames(seg)) {
        for (std::size_t i = 0; i < m_names.size(); ++i)
            m_byName.emplace(m_names[i],
                             i == kIndexColumn ? kIndexId
                             : i == kPositionColumn
                                 ? kPositionId
                                 : static_cast<int>(i) - static_cast<int>(kFirstFieldColumn));
        m_seen.resize(m_names.size());
    }

    // Reads the header row of CSV and TSV; false (with error()) when it is
    // missing or names a column the segment does not have.
    bool start() {
        if (m_format == TableFormat::JsonLines)
            return true;
        if (!m_reader.next())
            return fail(m_reader.error().empty() ? "the table is empty: a header row is needed"
                                                 : m_reader.error());
        bool index = false;
        for (const TableCell& c : m_reader.cells()) {
            const int id = idOf(c.text);
            if (id == kUnknown)
                return false;
            index = index || id == kIndexId;
            m_ids.push_back(id);
        }
        if (!index)
            return fail("the header has no index column");
        return true;
    }

    // The next row; false at the end or on a malformed row (error() set).
    bool next() {
        m_values.clear();
        if (!m_reader.next()) {
            if (!m_reader.error().empty())
                return fail(m_reader.error());
            return false;
        }
        const std::vector<TableCell>& cells = m_reader.cells();
        if (m_format != TableFormat::JsonLines) {
            if (cells.size() != m_ids.size())
                return fail(std::to_string(cells.size()) + " values where the header has " +
                            std::to_string(m_ids.size()));
            bool ok = true;
            for (std::size_t i = 0; i < cells.size() && ok; ++i)
                ok = take(m_ids[i], cells[i]);
            return ok;
        }
        std::fill(m_seen.begin(), m_seen.end(), char{0});
        bool index = false;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const int id = idOf(m_reader.keys()[i]);
            if (id == kUnknown)
                return false;
            char& seen = m_seen[static_cast<std::size_t>(id + 2)];
            if (seen)
                return fail("the key \"" + std::string(m_reader.keys()[i]) + "\" appears twice");
            seen = 1;
            index = index || (id == kIndexId && !cells[i].null);
            if (!cells[i].null && !take(id, cells[i]))
                return false;
        }
        if (!index)
            return fail("a row without an index");
        return true;
    }

    // The columns of a header read by another reader of the same table, for
    // a part of it read on its own.
    void useColumnsOf(const TableRows& other) { m_ids = other.m_ids; }
    std::int64_t nextLine() const { return m_reader.nextLine(); }

    std::int64_t record() const { return m_record; }
    const std::vector<std::pair<int, TableCell>>& values() const { return m_values; }
    std::int64_t line() const { return m_reader.line(); }
    std::int64_t position() const { return m_reader.position(); }
    const std::string& error() const { return m_error; }
    const std::string& name(int field) const {
        return m_names[kFirstFieldColumn + static_cast<std::size_t>(field)];
    }

private:
    static constexpr int kUnknown = -3;

    bool fail(std::string why) {
        m_error = std::move(why);
        return false;
    }

    int idOf(std::string_view name) {
        const auto it = m_byName.find(name);
        if (it != m_byName.end()) {
            if (m_format != TableFormat::JsonLines) {
                const int id = it->second;
                if (std::find(m_ids.begin(), m_ids.end(), id) != m_ids.end())
                    return fail("the column \"" + std::string(name) + "\" appears twice"), kUnknown;
            }
            return it->second;
        }
        std::string known;
        for (std::size_t i = 0; i < m_names.size() && i < kNamesListed; ++i)
            known += (i ? ", " : "") + m_names[i];
        if (m_names.size() > kNamesListed)
            known += ", ...";
        fail("no column \"" + std::string(name) + "\" in this segment (its columns: " + known +
             ")");
        return kUnknown;
    }

    bool take(int id, const TableCell& cell) {
        if (id == kPositionId)
            return true; // shown for reading, never written
        if (id >= 0) {
            m_values.emplace_back(id, cell);
            return true;
        }
        const auto index = cell.hexObject ? std::nullopt : parseInteger(trimBlanks(cell.text));
        if (!index || *index < 0)
            return fail("the index \"" + std::string(cell.text) + "\" is not a record number");
        m_record = *index;
        return true;
    }

    TableReader m_reader;
    TableFormat m_format;
    std::vector<std::string> m_names;
    std::unordered_map<std::string_view, int> m_byName;
    std::vector<int> m_ids;
    std::vector<char> m_seen;
    std::vector<std::pair<int, TableCell>> m_values;
    std::int64_t m_record = 0;
    std::string m_error;
};

// Bytes of records held in memory while rows change them: a window of
// records in file order, written back when the rows move on. Records past
// `existing` (a dry run's appended records) are zeros of their own.
class RecordWindow {
public:
    RecordWindow(const ByteSource& source, FileStream* out, std::int64_t begin,
                 std::int64_t recordLength, std::int64_t reach, std::int64_t existing)
        : m_source(source), m_out(out), m_begin(begin), m_recordLength(recordLength),
          m_reach(std::max<std::int64_t>(reach, 1)), m_existing(existing) {}

    // Record r's bytes from its start up to the reach of its fields, or
    // nullptr when they cannot be read or the window cannot be written back.
    std::uint8_t* record(std::int64_t r) {
        const bool onward = r == m_last + 1;
        m_last = r;
        if (r >= m_existing) {
            m_virtual.assign(static_cast<std::size_t>(m_reach), 0);
            return m_virtual.data();
        }
        const std::int64_t at = m_begin + r * m_recordLength;
        if (!m_buf.empty() && at >= m_lo && at + m_reach <= m_lo + m_size())
            return m_buf.data() + (at - m_lo);
        if (!flush())
            return nullptr;
        // Rows in record order get a large window; others one record each.
        const std::int64_t rest = (m_existing - r) * m_recordLength;
        const std::int64_t size = onward && m_recordLength <= kLongRecord
                                      ? std::max(m_reach, std::min(kWindow, rest))
                                      : m_reach;
        m_buf.resize(static_cast<std::size_t>(size));
        m_lo = at;
        if (!readZeroFilled(m_source, at, m_buf.data(), m_buf.size())) {
            m_buf.clear();
            m_error = "Cannot read the data file";
            return nullptr;
        }
        return m_buf.data() + (at - m_lo);
    }

    // n bytes from `from` of record r were changed.
    void changed(std::int64_t r, std::int64_t from, std::int64_t n) {
        if (r >= m_existing || n <= 0)
            return;
        const std::int64_t lo = m_begin + r * m_recordLength + from - m_lo;
        m_dirtyLo = std::min(m_dirtyLo, lo);
        m_dirtyHi = std::max(m_dirtyHi, lo + n);
    }

    bool flush() {
        if (m_out && m_dirtyLo < m_dirtyHi) {
            const auto span = std::span<const std::uint8_t>(
                m_buf.data() + m_dirtyLo, static_cast<std::size_t>(m_dirtyHi - m_dirtyLo));
            if (!m_out->writeAt(m_lo + m_dirtyLo, span)) {
                m_error = m_out->lastError();
                return false;
            }
        }
        m_dirtyLo = std::numeric_limits<std::int64_t>::max();
        m_dirtyHi = 0;
        return true;
    }

    const std::string& error() const { return m_error; }

private:
    std::int64_t m_size() const { return static_cast<std::int64_t>(m_buf.size()); }

    const ByteSource& m_source;
    FileStream* m_out;
    std::int64_t m_begin;
    std::int64_t m_recordLength;
    std::int64_t m_reach;
    std::int64_t m_existing;
    std::int64_t m_last = -2;
    std::vector<std::uint8_t> m_buf;
    std::vector<std::uint8_t> m_virtual;
    std::int64_t m_lo = 0;
    std::int64_t m_dirtyLo = std::numeric_limits<std::int64_t>::max();
    std::int64_t m_dirtyHi = 0;
    std::string m_error;
};

// Where a stretch of rows begins in the table: its byte and its line.
struct RowMark {
    std::int64_t offset = 0;
    std::int64_t line = 1;
};
// Rows in a stretch encoded by one thread, and the most bytes of table text
// it may hold.
constexpr std::int64_t kRowsPerStretch = 4096;
constexpr std::int64_t kBytesPerStretch = std::int64_t{4} << 20;

// Bytes held elsewhere as a source.
class BytesView : public ByteSource {
public:
    explicit BytesView(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(m_bytes.size()); }
    std::size_t readAt(std::int64_t pos, std::span<std::uint8_t> out) const override {
        if (pos < 0 || pos >= size())
            return 0;
        const std::size_t n = std::min(out.size(), m_bytes.size() - static_cast<std::size_t>(pos));
        std::memcpy(out.data(), m_bytes.data() + pos, n);
        return n;
    }

private:
    std::span<const std::uint8_t> m_bytes;
};

// One value of a row, read and encoded apart from the records.
struct EncodedValue {
    int field = 0;
    bool hexObject = false;
    bool singleByte = true; // its text has a single-byte form
    CellAction action = CellAction::Write;
    EncodeFit fit = EncodeFit::Exact;
    std::size_t reason = 0;             // in reasons, unless exact
    std::size_t bytes = 0;              // the field's encoded bytes, in bytes
    std::size_t text = 0, textSize = 0; // single-byte text, in texts
    std::size_t raw = 0, rawSize = 0;   // the table's own text, in texts
};
struct EncodedRow {
    std::int64_t line = 0;
    std::int64_t record = 0;
    std::size_t first = 0; // its values
    std::size_t count = 0;
};
// A stretch of rows: the table's bytes, then the rows read and encoded.
struct Stretch {
    RowMark from;
    std::vector<std::uint8_t> table;
    std::vector<EncodedRow> rows;
    std::vector<EncodedValue> values;
    std::vector<std::uint8_t> bytes;
    std::string texts;
    std::vector<std::string> reasons;
    std::string error; // a malformed row ends the stretch
    std::int64_t errorLine = 0;
};

// Progress over one part of the whole import: [from, from + share).
struct Share {
    const Progress* progress;
    double from;
    double share;
    bool operator()(double f) const {
        return !*progress || (*progress)(from + share * std::clamp(f, 0.0, 1.0));
    }
};

struct Import {
    Segment& seg;
    const ByteSource& table;
    const TableImportOptions& options;
    const TableReportSink& report;
    const Locale& loc;
    TableImportResult& result;
    CellFormat cell{loc};
    std::vector<RowMark> marks{}; // where each stretch begins, and the table's end
    std::unique_ptr<TableRows> header{};

    bool refuse(std::int64_t line, const std::string& why) {
        result.line = line;
        result.error = line > 0 ? "line " + std::to_string(line) + ": " + why : why;
        return false;
    }

    bool stop(const Share& share, double f) {
        if (share(f))
            return false;
        result.error = kStoppedByUser;
        return true;
    }

    // The header and every row checked, and where the stretches begin: the
    // largest index, or a refusal.
    bool survey(std::int64_t count, std::int64_t& maxIndex, const Share& share) {
        header = std::make_unique<TableRows>(table, options.format, seg);
        if (!header->start())
            return refuse(header->line(), header->error());
        TableRows rows(table, options.format, seg);
        rows.start();
        maxIndex = -1;
        const double size = static_cast<double>(std::max<std::int64_t>(table.size(), 1));
        for (;;) {
            const RowMark at{rows.position(), rows.nextLine()};
            const std::int64_t perStretch =
                options.blocks.records > 0 ? options.blocks.records : kRowsPerStretch;
            if (marks.empty() || result.rows % perStretch == 0 ||
                at.offset - marks.back().offset >= kBytesPerStretch)
                marks.push_back(at);
            if (!rows.next())
                break;
            ++result.rows;
            if (rows.record() >= count && !options.resize)
                return refuse(rows.line(), "record " + std::to_string(rows.record()) +
                                               " is not in segment " + cp1252ToUtf8(seg.name) +
                                               " (it has " + std::to_string(count) + " records)");
            maxIndex = std::max(maxIndex, rows.record());
            if (result.rows % kRowsPerProgress == 0 &&
                stop(share, static_cast<double>(rows.position()) / size))
                return false;
        }
        if (!rows.error().empty())
            return refuse(rows.line(), rows.error());
        marks.push_back({rows.position(), rows.nextLine()}); // the end
        return !stop(share, 1.0);
    }

    // Reads and encodes a stretch's rows; touches nothing shared.
    void encode(Stretch& s) const {
        s.rows.clear();
        s.values.clear();
        s.bytes.clear();
        s.texts.clear();
        s.reasons.clear();
        s.error.clear();
        std::size_t longest = 8;
        for (const TypeEntry& e : seg.entries)
            longest = std::max<std::size_t>(longest, e.length);
        std::vector<std::uint8_t> value(longest);
        std::string single;
        const BytesView view(s.table);
        TableRows rows(view, options.format, seg, s.from.line);
        rows.useColumnsOf(*header);
        while (rows.next()) {
            EncodedRow row{rows.line(), rows.record(), s.values.size(), rows.values().size()};
            for (const auto& [field, c] : rows.values()) {
                const TypeEntry& e = seg.entries[static_cast<std::size_t>(field)];
                EncodedValue v;
                v.field = field;
                v.hexObject = c.hexObject;
                v.raw = s.texts.size();
                v.rawSize = c.text.size();
                s.texts += c.text;
                v.text = v.raw;
                v.textSize = v.rawSize;
                std::string_view text = c.text;
                if (!isAscii(text)) {
                    single = utf8ToCp1252(text, &v.singleByte);
                    text = single;
                    v.text = s.texts.size();
                    v.textSize = text.size();
                    s.texts += text;
                }
                if (v.singleByte && e.length > 0) {
                    const CellBytes cb =
                        tableCellBytes(text, c.hexObject, e.kind, e.length, value, loc);
                    v.action = cb.action;
                    v.fit = cb.report.fit;
                    if (v.fit != EncodeFit::Exact) {
                        v.reason = s.reasons.size();
                        s.reasons.push_back(cb.report.reason);
                    }
                    v.bytes = s.bytes.size();
                    s.bytes.insert(s.bytes.end(), value.begin(), value.begin() + e.length);
                }
                s.values.push_back(v);
            }
            s.rows.push_back(row);
        }
        if (!rows.error().empty()) {
            s.error = rows.error();
            s.errorLine = rows.line();
        }
    }

    // Writes the rows into the records read from source (and written to out,
    // unless a dry run): the table is read and encoded on several threads, a
    // stretch of rows each, and the stretches go into the records in table
    // order. existing: records there are; fileSize: the file's size with the
    // appended records.
    bool apply(const ByteSource& source, FileStream* out, std::int64_t existing,
               std::int64_t fileSize, const Share& share) {
        std::int64_t reach = 0;
        for (const TypeEntry& e : seg.entries)
            reach = std::max<std::int64_t>(
                reach, e.start + std::max<std::int64_t>(
                                     e.length, static_cast<std::int64_t>(shownValueBytes(e))));
        RecordWindow window(source, out, seg.begin, seg.recordLength, reach, existing);
        const unsigned threads = formattingThreads(options.blocks.threads);
        std::vector<Stretch> stretches(2 * static_cast<std::size_t>(threads));
        std::size_t next = 0;
        bool failed = false;
        const std::size_t count = marks.empty() ? 0 : marks.size() - 1;
        runPipeline(
            threads,
            [&](std::size_t slot) {
                if (next >= count || failed)
                    return false;
                Stretch& s = stretches[slot];
                s.from = marks[next];
                s.table.resize(static_cast<std::size_t>(marks[next + 1].offset - s.from.offset));
                if (table.readAt(s.from.offset, s.table) != s.table.size()) {
                    failed = !refuse(0, "Cannot read the table");
                    return false;
                }
                ++next;
                return true;
            },
            [&](std::size_t slot) { encode(stretches[slot]); },
            [&](std::size_t slot) {
                failed = !take(stretches[slot], window, fileSize);
                if (!failed && stop(share, static_cast<double>(next) / static_cast<double>(count)))
                    failed = true;
                return !failed;
            },
            false); // taking is half the work here
        if (failed)
            return false;
        if (!window.flush()) {
            result.error = window.error();
            return false;
        }
        return !stop(share, 1.0);
    }

    bool take(const Stretch& s, RecordWindow& window, std::int64_t fileSize) {
        for (const EncodedRow& row : s.rows) {
            std::uint8_t* rec = window.record(row.record);
            if (!rec) {
                result.error = window.error();
                return false;
            }
            const std::int64_t at = seg.recordOffset(row.record);
            for (std::size_t i = row.first; i < row.first + row.count; ++i) {
                const EncodedValue& v = s.values[i];
                const TypeEntry& e = seg.entries[static_cast<std::size_t>(v.field)];
                if (!put(s, row, v, e, at, fileSize, rec) && options.strict)
                    return false;
                window.changed(row.record, e.start, m_changed);
            }
        }
        if (!s.error.empty())
            return refuse(s.errorLine, s.error);
        return true;
    }

    std::int64_t m_changed = 0; // bytes the last put() changed

    // The text the field shows in rec.
    std::string_view shown(char* buf, const TypeEntry& e, std::int64_t pos, std::int64_t fileSize,
                           const std::uint8_t* rec) const {
        if (pos >= fileSize)
            return {};
        const std::span<const std::uint8_t> bytes(rec + e.start, shownValueBytes(e));
        return {buf, cell(buf, bytes, e.kind, e.length)};
    }

    // One value into its field; false when it was reported (and, strict,
    // refused the import).
    bool put(const Stretch& s, const EncodedRow& row, const EncodedValue& v, const TypeEntry& e,
             std::int64_t at, std::int64_t fileSize, std::uint8_t* rec) {
        m_changed = 0;
        if (e.length == 0)
            return true; // no bytes to write
        char buf[kCellTextRoom];
        const std::int64_t pos = at + e.start;
        if (!v.singleByte)
            return tell(s, row, v, e, pos, fileSize, rec, EncodeFit::NotEncoded,
                        "it has a character that no single byte holds");
        const std::string_view text(s.texts.data() + v.text, v.textSize);
        // The text the field shows already: nothing to do, whatever it reads
        // as. Bits that a spreadsheet took for a number lost their leading
        // zeros on the way.
        const auto asShown = [&] {
            if (v.hexObject)
                return false;
            const std::string_view now = shown(buf, e, pos, fileSize, rec);
            if (e.kind == static_cast<int>(TypeKind::Bit1) && text.size() < now.size() &&
                text.find_first_not_of("01") == std::string_view::npos)
                return now.substr(now.size() - text.size()) == text &&
                       now.find_first_not_of('0') >= now.size() - text.size();
            return text == now;
        };
        if (pos + e.length > fileSize) {
            if (asShown())
                return true;
            return tell(s, row, v, e, pos, fileSize, rec, EncodeFit::NotEncoded,
                        "the field runs past the end of the file");
        }
        if (v.action == CellAction::Leave)
            return true;
        const bool encoded = v.fit != EncodeFit::NotEncoded;
        const std::uint8_t* bytes = s.bytes.data() + v.bytes;
        const bool same = encoded && std::memcmp(bytes, rec + e.start, e.length) == 0;
        if (same && v.fit == EncodeFit::Exact)
            return true;
        if (asShown())
            return true;
        if (encoded && !same) {
            std::memcpy(rec + e.start, bytes, e.length);
            m_changed = e.length;
            ++result.written;
        }
        if (v.fit == EncodeFit::Exact)
            return true;
        return tell(s, row, v, e, pos, fileSize, rec, v.fit, s.reasons[v.reason]);
    }

    bool tell(const Stretch& s, const EncodedRow& row, const EncodedValue& v, const TypeEntry& e,
              std::int64_t pos, std::int64_t fileSize, const std::uint8_t* rec, EncodeFit fit,
              const std::string& reason) {
        ++(fit == EncodeFit::Cut ? result.cut : result.notWritten);
        TableValueReport r;
        r.line = row.line;
        r.record = row.record;
        r.column = header->name(v.field);
        const std::string raw(s.texts.data() + v.raw, v.rawSize);
        r.text = v.hexObject ? "{\"hex\":\"" + raw + "\"}" : raw;
        r.fit = fit;
        r.reason = cp1252ToUtf8(reason);
        char buf[kCellTextRoom];
        r.holds = cp1252ToUtf8(shown(buf, e, pos, fileSize, rec));
        if (report)
            report(r);
        if (options.strict)
            refuse(r.line,
                   "the value \"" + r.text + "\" of column " + r.column + " in record " +
                       std::to_string(r.record) +
                       (fit == EncodeFit::Cut ? " does not fit: " : " cannot be written: ") +
                       r.reason);
        return false;
    }
};

} // namespace

void appendTableReport(std::string& out, const TableValueReport& r) {
    out += std::to_string(r.line);
    out += '\t';
    out += std::to_string(r.record);
    for (const std::string_view field :
         {std::string_view(r.column),
          std::string_view(r.fit == EncodeFit::Cut ? "cut" : "not written"),
          std::string_view(r.text), std::string_view(r.reason), std::string_view(r.holds)}) {
        out += '\t';
        appendTableValue(out, TableFormat::Tsv, field, TextCoding::Utf8);
    }
    out += '\n';
}

TableImportResult readRecordTable(WorkingFile& wf, SegmentList& list, Segment& seg,
                                  const ByteSource& table, const TableImportOptions& options,
                                  const TableReportSink& report, const Locale& loc,
                                  const Progress& progress) {
    TableImportResult result;
    if (std::string refusal = recordTableRefusal(seg); !refusal.empty()) {
        result.error = std::move(refusal);
        return result;
    }
    if (!wf.stream.isOpen()) {
        result.error = "No working file is open";
        return result;
    }
    Import im{seg, table, options, report, loc, result};
    const std::int64_t size = wf.stream.size();
    const std::int64_t count = std::max(computeRecordCount(&seg, size), 0);
    std::int64_t maxIndex = -1;
    if (!im.survey(count, maxIndex, {&progress, 0.0, 0.3}))
        return result;
    const std::int64_t appended = std::max<std::int64_t>(maxIndex + 1 - count, 0);
    const std::int64_t S = seg.recordLength;
    if (options.dryRun) {
        result.ok = im.apply(wf.stream, nullptr, count, size + appended * S, {&progress, 0.3, 0.7});
        result.appended = appended;
        return result;
    }
    // The values go into the new file before it becomes the working file, so
    // a failure or a stop half way leaves the document's file as it was.
    // A table that changes no byte leaves the working file as it is: its copy
    // is dropped, so that nothing stands as changed and no copy piles up.
    bool unchanged = false;
    const RewriteFinish finish = [&](FileStream& file, std::string& error) {
        const bool ok = im.apply(file, &file, count + appended, file.size(), {&progress, 0.5, 0.5});
        if (!ok) {
            error = result.error;
            return false;
        }
        unchanged = appended == 0 && result.written == 0;
        if (unchanged)
            error = "no byte changed";
        return !unchanged;
    };
    const Share copying{&progress, 0.3, 0.2};
    FileResult fr;
    if (appended > 0) {
        AddRecordsRequest request;
        request.position = count;
        request.count = appended;
        request.append = true;
        fr = addRecordsToSegment(wf, list, seg, request, copying, finish);
    } else {
        fr = rewriteWorkingFile(wf, finish, copying);
    }
    if (!fr.ok && !unchanged) {
        if (result.error.empty())
            result.error = fr.error;
        return result;
    }
    result.ok = true;
    result.appended = appended;
    result.delta = fr.delta;
    return result;
}

} // namespace vm
