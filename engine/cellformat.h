#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "bytesource.h"
#include "textlocale.h"

namespace vm {

// The text of a value written straight into a caller's buffer, so that a
// table of millions of cells or a screen of a grid needs no string per cell.
// Every writer below takes a buffer of at least kCellTextRoom characters and
// returns the number it wrote (no terminating zero). These are the one
// formatting of values: decodeValue, text output and the grid all use them.
inline constexpr std::size_t kCellTextRoom = 256;

std::size_t formatSigned(char* out, std::int64_t v);
std::size_t formatUnsigned(char* out, std::uint64_t v);
// Two upper-case hexadecimal digits.
std::size_t formatHexByte(char* out, std::uint8_t b);
// Eight binary digits, most significant bit first.
std::size_t formatBits(char* out, std::uint8_t b);
// The byte itself when shown (32 to 127), else the placeholder 0x80.
std::size_t formatChar(char* out, std::uint8_t b);
// At most min(length, 255) bytes, up to the first zero byte.
std::size_t formatString(char* out, std::span<const std::uint8_t> bytes, int length);
// min(length, 50) bytes as hexadecimal pairs each followed by a blank; bytes
// missing from the span count as zero.
std::size_t formatRaw(char* out, std::span<const std::uint8_t> bytes, int length);
// General floating format: at most 15 significant digits, no trailing zeros,
// exponent form (1E20, 1.5E-10) outside [0.00001, 10^15); NAN, INF, -INF.
std::size_t formatGeneral(char* out, double v, char decimalSeparator);
// OLE Automation date to the locale's short date and long time; the time is
// left out at exactly midnight; "n/a" when not a date. A pattern so long that
// the text would pass 255 characters is cut there.
std::size_t formatDateTime(char* out, double v, const Locale& loc);

// The text of a value of the kind held at the start of bytes; bytes missing
// from the span read as zero. "******" for a code above 15.
std::size_t formatCell(char* out, std::span<const std::uint8_t> bytes, int kind, int length,
                       const Locale& loc);
// The same read at pos of src; nothing when pos is outside the data, and
// bytes past its end read as zero.
std::size_t formatCellAt(char* out, const ByteSource& src, std::int64_t pos, int kind, int length,
                         const Locale& loc);

// A Locale's date and time patterns taken apart once, so that a column of
// dates does not read the patterns again for every cell.
class DateLayout {
public:
    explicit DateLayout(const Locale& loc);
    // What formatDateTime writes.
    std::size_t format(char* out, double v) const;

private:
    // A number (field 0 year, 1 year of the century, 2 month, 3 day, 4 hour,
    // 5 minute, 6 second) with at least `digits` digits, or the character ch.
    struct Part {
        std::uint8_t field;
        std::uint8_t digits;
        char ch;
    };
    static constexpr std::uint8_t kLiteral = 7;
    // Every part writes at least one character, so more parts than room
    // would never show.
    std::array<Part, kCellTextRoom> m_parts{};
    std::size_t m_dateParts = 0; // then the time's, from the blank on
    std::size_t m_used = 0;

    void add(std::string_view pattern, const Locale& loc);
};

// Every kind's formatting with one Locale prepared: for a table or a screen
// of cells. Gives exactly what formatCell and formatCellAt give.
class CellFormat {
public:
    explicit CellFormat(const Locale& loc) : m_decimal(loc.decimalSeparator), m_date(loc) {}
    std::size_t operator()(char* out, std::span<const std::uint8_t> bytes, int kind,
                           int length) const;
    std::size_t at(char* out, const ByteSource& src, std::int64_t pos, int kind, int length) const;

private:
    char m_decimal;
    DateLayout m_date;
};

// Proleptic Gregorian calendar on day numbers counted from 1970-01-01; OLE
// Automation dates count from 1899-12-30.
inline constexpr std::int64_t kOleEpochDay = -25569;
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d);
void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d);

} // namespace vm
