#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "bytesource.h"
#include "textlocale.h"

namespace vm {

struct TypeEntry;

// Texts in the engine are single-byte, exactly as they sit in data files.

// Longest text decodeValue gives, and the value buffer of the rewrites.
inline constexpr std::size_t kMaxValueBytes = 255;

// Decodes the value at pos of the data. Empty text when pos is at or past the
// end; bytes past the end read as zero.
std::string decodeValue(const ByteSource& src, std::int64_t pos, int kind, int length,
                        const Locale& loc = defaultLocale());
// Decodes the value held at the start of buf; bytes missing from buf read as zero.
std::string decodeValue(std::span<const std::uint8_t> buf, int kind, int length,
                        const Locale& loc = defaultLocale());

// Zeroes max(length, the kind's own size) bytes of buf (limited to buf's size),
// then writes the value of text there. False when the text is no value of the
// kind; buf then holds only zeros.
bool encodeValue(std::string_view text, int kind, int length, std::span<std::uint8_t> buf,
                 const Locale& loc = defaultLocale());

// What became of a text in encodeValue.
enum class EncodeFit {
    Exact,      // the bytes hold what the text says
    Cut,        // written, but the bytes hold less than the text says
    NotEncoded, // no value of the kind: encodeValue is false and nothing is to be written
};
struct EncodeReport {
    EncodeFit fit = EncodeFit::Exact;
    std::string reason; // when not exact: why, as a phrase ("outside the range of ...")
};
// encodeValue with a report. The field keeps its first `length` bytes, which
// for a fixed kind may be fewer than the kind's own size. Writes exactly what
// encodeValue writes.
EncodeReport encodeValueReport(std::string_view text, int kind, int length,
                               std::span<std::uint8_t> buf, const Locale& loc = defaultLocale());

// Converts in place the value at the start of buf from one field's kind and
// length to another's. buf must hold at least max(both lengths, 8) bytes.
// False when the value cannot be converted (buf is then unspecified).
bool convertValue(std::span<std::uint8_t> buf, int fromKind, int fromLength, int toKind,
                  int toLength, const Locale& loc = defaultLocale());
bool convertValue(std::span<std::uint8_t> buf, const TypeEntry& from, const TypeEntry& to,
                  const Locale& loc = defaultLocale());

// The first eight characters, "1" a one bit, anything else (or missing) a zero bit.
std::uint8_t parseBits(std::string_view text);

// The value of a hexadecimal digit (either case), or -1.
int hexDigitValue(char c);

struct HexBytes {
    bool valid = true;      // false when a character other than a hex digit or a blank was seen
    std::size_t count = 0;  // bytes stored
};
// Hex digit pairs to bytes, blanks skipped, a final single digit a byte of its own.
// Stores at most out.size() bytes.
HexBytes parseHexBytes(std::string_view text, std::span<std::uint8_t> out);

enum class PadSide { Right, Left };
// Adds blanks on the given side until text has at least width characters.
std::string padText(std::string_view text, std::size_t width, PadSide side = PadSide::Right);
// Removes leading "0" characters but never the last character.
std::string stripLeadingZeros(std::string_view text);
// Characters 32 to 127 are shown as themselves in a "1BChar" cell.
bool isShownChar(std::uint8_t b);

// The integer input rule of every window: leading blanks, an optional sign,
// then decimal digits, or hexadecimal digits after "$", "x" or "0x". Anything
// else (trailing text included) is not a number. Values beyond 64 bits fail.
std::optional<std::int64_t> parseInteger(std::string_view text);
// parseInteger limited to 32 bits: decimal text must lie in the signed range;
// hexadecimal text of up to eight digits is the 32-bit pattern ($FFFFFFFF is -1).
std::optional<std::int32_t> parseInt32(std::string_view text);

// General floating format: at most 15 significant digits, no trailing zeros,
// exponent form (1E20, 1.5E-10) outside [0.00001, 10^15).
std::string formatGeneral(double value, const Locale& loc = defaultLocale());
// A floating number with the locale's decimal separator; blanks around it allowed.
std::optional<double> parseFloat(std::string_view text, const Locale& loc = defaultLocale());

// OLE Automation date (days since 1899-12-30) to the locale's short date and long
// time; the time is left out at exactly midnight; "n/a" when not a date.
std::string formatDateTime(double value, const Locale& loc = defaultLocale());
std::optional<double> parseDateTime(std::string_view text, const Locale& loc = defaultLocale());

} // namespace vm
