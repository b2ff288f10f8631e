#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cellformat.h"
#include "codec.h"
#include "segment.h"
#include "textlocale.h"

namespace vm {

// The records of a segment as a table for spreadsheets and scripts, one row
// per record, and back. Table text is UTF-8; the single-byte text of data and
// type files goes through Windows-1252, whose 256 bytes all come back.

enum class TableFormat {
    Csv,       // RFC 4180: values holding a comma, a quote or a line end are quoted; CR LF
    Tsv,       // tabs between values; a tab, line end or backslash in a value is \t \n \r \\; LF
    JsonLines, // one object a line, keyed by the column names
};
// "csv", "tsv" or "jsonl".
std::optional<TableFormat> tableFormatNamed(std::string_view name);
// By the name's extension, in any case: .csv; .tsv, .tab; .jsonl, .ndjson, .json.
std::optional<TableFormat> tableFormatOfPath(std::string_view path);

// Why seg's records cannot go out to a table or come back from one; empty
// when they can.
std::string recordTableRefusal(const Segment& seg);

// The table's column names (UTF-8): "index", "position", then one per field,
// its memo ("field" + its number when the memo is empty). A name already taken
// gets "_2", "_3", ... (the first free one), so every column has a name of its
// own; export, import and the program all name columns by this one rule.
std::vector<std::string> tableColumnNames(const Segment& seg);
inline constexpr std::size_t kIndexColumn = 0;
inline constexpr std::size_t kPositionColumn = 1;
inline constexpr std::size_t kFirstFieldColumn = 2;

// Bytes the grid reads for a field's text: the kind's own size, at most 50 of
// "unKnow" bytes and 255 of a string.
std::size_t shownValueBytes(const TypeEntry& e);

// What a table's value does to its field.
enum class CellAction {
    Write, // the field takes the bytes (unless the report says NotEncoded)
    Leave, // the value means "as it is": the lone placeholder of a "1BChar" cell
};
struct CellBytes {
    CellAction action = CellAction::Write;
    EncodeReport report;
};

// The bytes a table's value (single-byte text) gives a field of kind and
// length, in the first `length` bytes of out (which holds at least
// max(length, 8) bytes). hexObject: the value was JSON's {"hex": text}, the
// field's bytes in file order. In any format, "0x" and exactly two hex digits
// per byte of the field is the field's bytes: a number, most significant
// digit first, for the whole-number kinds (as hex numbers are typed in a
// cell), the bytes in file order for the others. Any other text is the
// grid's: encodeValueReport, but for a "1BBit" value of fewer than eight
// digits, which is not written: a spreadsheet drops leading zeros, and the
// grid would read the missing digits as zero bits at the end, so 00010001
// would come back as 10001000.
CellBytes tableCellBytes(std::string_view text, bool hexObject, int kind, int length,
                         std::span<std::uint8_t> out, const Locale& loc = defaultLocale());

// The text of a field's value that tableCellBytes turns back into exactly its
// `length` bytes (given in bytes): the shortest float that reads back to the
// same bits, a date-time with its whole fraction of a second, every byte of a
// string or of "unKnow" bytes. False when no text does (a date that is no
// date, a NaN, a character the cell cannot show, bytes after a string's end):
// the caller then gives the bytes as hex.
bool exactValueText(std::span<const std::uint8_t> bytes, int kind, int length,
                    const DateLayout& dates, const Locale& loc, std::string& out);
// The field's bytes as the hex text that tableCellBytes reads (see there).
void appendHexValue(std::string& out, std::span<const std::uint8_t> bytes, int kind);
// The bytes as hex digits in file order (JSON's {"hex": ...}).
void appendHexBytes(std::string& out, std::span<const std::uint8_t> bytes);

// How a text handed to the writers below is coded.
enum class TextCoding { SingleByte, Utf8 };
// Characters the writers below may need for a text of n bytes.
constexpr std::size_t valueRoom(std::size_t n) {
    return 6 * n + 2;
}
// A value as each format writes it, in UTF-8, at p; they return the end.
// CSV quotes a value holding a comma, a quote, a line end, or blanks at
// either end; TSV writes a tab, CR, LF and backslash as \t \r \n \\.
char* putCsvValue(char* p, std::string_view text, TextCoding coding);
char* putTsvValue(char* p, std::string_view text, TextCoding coding);
char* putJsonString(char* p, std::string_view text, TextCoding coding);
// The same appended to out (JSON Lines: a quoted string).
void appendTableValue(std::string& out, TableFormat format, std::string_view text,
                      TextCoding coding);
// Whether text is a JSON number as it stands, so that it needs no quotes.
bool isJsonNumber(std::string_view text);

} // namespace vm
