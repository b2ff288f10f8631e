#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bytesource.h"
#include "recordtable.h"

namespace vm {

// One value of a table's row, unescaped (UTF-8, as the table has it).
struct TableCell {
    std::string_view text;
    bool hexObject = false; // JSON's {"hex": text}
    bool null = false;      // JSON's null: no value given
};

// Reads a table row by row from a source of any size, holding only a few
// megabytes of it at a time. Empty lines are skipped; a byte order mark at
// the start is skipped too. The views of a row stay valid until the next
// call of next().
class TableReader {
public:
    // firstLine: the line number of the source's first byte (a part of a
    // table read on its own); a byte order mark is skipped only on line 1.
    TableReader(const ByteSource& source, TableFormat format, std::int64_t firstLine = 1);

    // The next row: false at the end of the table, or when the table is
    // malformed there (error() then says why, and line() where).
    bool next();
    // CSV and TSV: the values in column order. JSON Lines: one per key.
    const std::vector<TableCell>& cells() const { return m_cells; }
    // JSON Lines: the object's keys, in the order of cells().
    const std::vector<std::string_view>& keys() const { return m_keys; }
    // The line (from 1) where the row read last begins.
    std::int64_t line() const { return m_line; }
    // The line where the next row (or the empty lines before it) begins.
    std::int64_t nextLine() const { return m_nextLine; }
    // Empty unless next() ended on a malformed table or a read error.
    const std::string& error() const { return m_error; }
    // Bytes of the table read so far.
    std::int64_t position() const { return m_sourcePos - static_cast<std::int64_t>(m_end - m_pos); }

    // A row longer than this is taken for a quote that is never closed.
    static constexpr std::size_t kLongestRow = std::size_t{64} << 20;

private:
    enum class Parse { Row, Empty, NeedMore, Malformed };
    Parse parseCsv(const char* p, std::size_t n, std::size_t& used, std::int64_t& lines);
    Parse parseTsv(const char* p, std::size_t n, std::size_t& used);
    Parse parseJson(const char* p, std::size_t n, std::size_t& used);
    bool parseJsonString(const char*& p, const char* end, std::string_view& out);
    // Reads on; false at the end of the source (or when the row outgrows kLongestRow).
    bool fill();
    bool malformed(std::string why);
    Parse bad(std::string why);

    const ByteSource& m_source;
    TableFormat m_format;
    std::vector<char> m_buf;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    std::int64_t m_sourcePos = 0;
    bool m_eof = false;
    std::int64_t m_line = 0;
    std::int64_t m_nextLine = 1;
    std::vector<TableCell> m_cells;
    std::vector<std::string_view> m_keys;
    // Unescaped values; never longer than the row, and reserved to the
    // buffer's size, so the views into it stay put.
    std::string m_scratch;
    std::string m_error;
};

} // namespace vm
