#include "codec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "cellformat.h"
#include "kinds.h"
#include "segment.h"

namespace vm {

const Locale& defaultLocale() {
    static const Locale loc;
    return loc;
}

namespace {

std::uint64_t readLE(std::span<const std::uint8_t> b, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        v |= static_cast<std::uint64_t>(i < b.size() ? b[i] : 0) << (8 * i);
    return v;
}

void writeLE(std::span<std::uint8_t> b, std::size_t n, std::uint64_t v) {
    for (std::size_t i = 0; i < n && i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Round half to even, as the number conversions of the format demand.
double roundEven(double v) {
    return std::nearbyint(v); // default rounding mode is to nearest, ties to even
}

std::optional<std::int64_t> toInt64(double v) {
    if (!std::isfinite(v))
        return std::nullopt;
    const double r = roundEven(v);
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0)
        return std::nullopt;
    return static_cast<std::int64_t>(r);
}

bool isLeap(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned daysInMonth(std::int64_t y, unsigned m) {
    static constexpr unsigned dm[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29u : dm[m - 1];
}

// Order of the date parts in the short date pattern, e.g. "ymd".
std::string dateOrder(std::string_view pat) {
    std::string order;
    for (char ch : pat) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if ((c == 'y' || c == 'm' || c == 'd') && order.find(c) == std::string::npos)
            order += c;
    }
    if (order.size() != 3)
        order = "ymd";
    return order;
}

std::string_view trimBlanks(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.remove_suffix(1);
    return t;
}

// Splits text into runs of digits; any other characters are separators. Returns
// false when a character is neither a digit nor an allowed separator.
bool digitGroups(std::string_view t, std::string_view seps, std::vector<std::int64_t>& out) {
    std::size_t i = 0;
    while (i < t.size()) {
        if (std::isdigit(static_cast<unsigned char>(t[i]))) {
            std::int64_t v = 0;
            std::size_t n = 0;
            while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
                if (++n > 9)
                    return false;
                v = v * 10 + (t[i] - '0');
                ++i;
            }
            out.push_back(v);
        } else if (seps.find(t[i]) != std::string_view::npos) {
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

// The value of a field in a form every conversion can start from.
struct Value {
    enum class Type { Int, Real, Date, Text } type = Type::Int;
    std::int64_t i = 0;
    double r = 0;
    std::string text;
};

} // namespace

// ---- helpers ------------------------------------------------------------

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::uint8_t parseBits(std::string_view text) {
    std::uint8_t b = 0;
    for (std::size_t i = 0; i < 8 && i < text.size(); ++i)
        if (text[i] == '1')
            b |= static_cast<std::uint8_t>(0x80 >> i);
    return b;
}

HexBytes parseHexBytes(std::string_view text, std::span<std::uint8_t> out) {
    HexBytes r;
    int pending = -1;
    for (char c : text) {
        const int v = hexDigitValue(c);
        if (v < 0) {
            if (c != ' ')
                r.valid = false;
            continue;
        }
        if (pending < 0) {
            pending = v;
        } else {
            if (r.count < out.size())
                out[r.count++] = static_cast<std::uint8_t>(pending * 16 + v);
            pending = -1;
        }
    }
    if (pending >= 0 && r.count < out.size())
        out[r.count++] = static_cast<std::uint8_t>(pending);
    return r;
}

std::string padText(std::string_view text, std::size_t width, PadSide side) {
    std::string s(text);
    if (s.size() < width) {
        if (side == PadSide::Left)
            s.insert(0, width - s.size(), ' ');
        else
            s.append(width - s.size(), ' ');
    }
    return s;
}

std::string stripLeadingZeros(std::string_view text) {
    std::size_t i = 0;
    while (i + 1 < text.size() && text[i] == '0')
        ++i;
    return std::string(text.substr(i));
}

bool isShownChar(std::uint8_t b) {
    return b >= 32 && b <= 127;
}

std::optional<std::int64_t> parseInteger(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        neg = t[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < t.size() && t[i] == '$') {
        hex = true;
        ++i;
    } else if (i < t.size() && (t[i] == 'x' || t[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= t.size())
        return std::nullopt;
    std::uint64_t v = 0;
    const std::uint64_t limit =
        hex ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(1) << 63;
    const std::uint64_t base = hex ? 16 : 10;
    for (; i < t.size(); ++i) {
        const int d = hex ? hexDigitValue(t[i])
                          : (std::isdigit(static_cast<unsigned char>(t[i])) ? t[i] - '0' : -1);
        if (d < 0)
            return std::nullopt;
        // Tables of millions of numbers come through here: no division per digit.
        if (__builtin_mul_overflow(v, base, &v) ||
            __builtin_add_overflow(v, static_cast<std::uint64_t>(d), &v) || v > limit)
            return std::nullopt;
    }
    if (!hex && !neg && v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    const auto s = static_cast<std::int64_t>(v); // hex keeps its bit pattern
    return neg ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(s)) : s;
}

namespace {

// parseInt32 of t, whose parseInteger is v.
std::optional<std::int32_t> int32Of(std::string_view t, std::optional<std::int64_t> v) {
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    const bool hex =
        i < t.size() && (t[i] == '$' || t[i] == 'x' || t[i] == 'X' ||
                         (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')));
    if (!v)
        return std::nullopt;
    if (hex) {
        // Up to eight digits: the 32-bit pattern; the sign applies to that pattern.
        const auto u = static_cast<std::uint64_t>(*v);
        const bool neg = t.find('-') < i;
        const std::uint64_t mag = neg ? 0 - u : u;
        if (mag > 0xFFFFFFFFull)
            return std::nullopt;
        const auto pattern = static_cast<std::int32_t>(static_cast<std::uint32_t>(mag));
        return neg ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(pattern)) : pattern;
    }
    if (*v < std::numeric_limits<std::int32_t>::min() ||
        *v > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(*v);
}

} // namespace

std::optional<std::int32_t> parseInt32(std::string_view t) {
    return int32Of(t, parseInteger(t));
}

std::string formatGeneral(double v, const Locale& loc) {
    char buf[kCellTextRoom];
    return std::string(buf, formatGeneral(buf, v, loc.decimalSeparator));
}

std::optional<double> parseFloat(std::string_view text, const Locale& loc) {
    const std::string_view t = trimBlanks(text);
    if (t.empty())
        return std::nullopt;
    // The number as from_chars reads it; on the stack unless it is very long.
    char small[64];
    std::string large;
    char* const s = t.size() <= sizeof small ? small : (large.resize(t.size()), large.data());
    std::size_t n = 0;
    std::size_t i = 0;
    if (t[0] == '+' || t[0] == '-') {
        if (t[0] == '-')
            s[n++] = '-';
        i = 1;
    }
    bool digits = false, sep = false, exp = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            digits = true;
            s[n++] = c;
        } else if (c == loc.decimalSeparator && !sep && !exp) {
            sep = true;
            s[n++] = '.';
        } else if ((c == 'e' || c == 'E') && digits && !exp) {
            exp = true;
            s[n++] = 'e';
            if (i + 1 < t.size() && (t[i + 1] == '+' || t[i + 1] == '-')) {
                s[n++] = t[i + 1];
                ++i;
            }
            if (i + 1 >= t.size())
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (!digits)
        return std::nullopt;
    double v = 0;
    const auto res = std::from_chars(s, s + n, v);
    if (res.ec != std::errc() || res.ptr != s + n || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::string formatDateTime(double value, const Locale& loc) {
    char buf[kCellTextRoom];
    return std::string(buf, formatDateTime(buf, value, loc));
}

std::optional<double> parseDateTime(std::string_view text, const Locale& loc) {
    std::string_view t = trimBlanks(text);
    if (t.empty())
        return std::nullopt;
    std::string_view datePart = t, timePart;
    const std::size_t blank = t.find(' ');
    if (blank != std::string_view::npos) {
        datePart = t.substr(0, blank);
        timePart = trimBlanks(t.substr(blank + 1));
    }
    const std::string dateSeps{loc.dateSeparator, '/', '-', '.'};
    std::vector<std::int64_t> dg;
    if (!digitGroups(datePart, dateSeps, dg) || dg.size() != 3)
        return std::nullopt;
    const std::string order = dateOrder(loc.shortDate);
    std::int64_t y = 0, m = 0, d = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        if (order[k] == 'y')
            y = dg[k];
        else if (order[k] == 'm')
            m = dg[k];
        else
            d = dg[k];
    }
    if (y < 100 && order.find('y') != std::string::npos) {
        // Two-digit years fall into the century window of the current settings;
        // we keep the plain rule: 00-49 is 20xx, 50-99 is 19xx.
        y += y < 50 ? 2000 : 1900;
    }
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 ||
        d > static_cast<std::int64_t>(daysInMonth(y, static_cast<unsigned>(m))))
        return std::nullopt;
    double days = static_cast<double>(
        daysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) - kOleEpochDay);
    if (!timePart.empty()) {
        std::vector<std::int64_t> tg;
        const std::string timeSeps{loc.timeSeparator, ':'};
        // A fraction of a second: the decimal separator and digits after the
        // seconds, so that a date-time written whole reads back to its bits.
        std::string_view fraction;
        const std::size_t k = timePart.find_last_not_of("0123456789");
        if (k != std::string_view::npos && k + 1 < timePart.size() &&
            (timePart[k] == loc.decimalSeparator || timePart[k] == '.') &&
            digitGroups(timePart.substr(0, k), timeSeps, tg) && tg.size() == 3)
            fraction = timePart.substr(k + 1);
        else if (tg.clear(); !digitGroups(timePart, timeSeps, tg) || tg.size() < 2 || tg.size() > 3)
            return std::nullopt;
        const std::int64_t h = tg[0], mi = tg[1], s = tg.size() > 2 ? tg[2] : 0;
        if (h > 23 || mi > 59 || s > 59)
            return std::nullopt;
        // The seconds of the day read as one decimal number: one rounding.
        std::string seconds = std::to_string(h * 3600 + mi * 60 + s);
        if (!fraction.empty())
            seconds.append(".").append(fraction);
        double secs = 0;
        std::from_chars(seconds.data(), seconds.data() + seconds.size(), secs);
        const double frac = secs / 86400.0;
        days = days < 0 ? days - frac : days + frac;
    }
    return days;
}

// ---- decode ---------------------------------------------------------------

std::string decodeValue(std::span<const std::uint8_t> buf, int kind, int length,
                        const Locale& loc) {
    char text[kCellTextRoom];
    return std::string(text, formatCell(text, buf, kind, length, loc));
}

std::string decodeValue(const ByteSource& src, std::int64_t pos, int kind, int length,
                        const Locale& loc) {
    char text[kCellTextRoom];
    return std::string(text, formatCellAt(text, src, pos, kind, length, loc));
}

// ---- encode ---------------------------------------------------------------

namespace {

// The number a text was read as while it was encoded, so that the report on
// it need not read it again.
struct ReadNumber {
    std::optional<std::int64_t> whole; // parseInteger of what the integer kinds read
    std::optional<double> real;        // parseFloat of the text
};

bool encodeInto(std::string_view text, int kind, int length, std::span<std::uint8_t> buf,
                const Locale& loc, ReadNumber& read);

} // namespace

bool encodeValue(std::string_view text, int kind, int length, std::span<std::uint8_t> buf,
                 const Locale& loc) {
    ReadNumber read;
    return encodeInto(text, kind, length, buf, loc, read);
}

namespace {

bool encodeInto(std::string_view text, int kind, int length, std::span<std::uint8_t> buf,
                const Locale& loc, ReadNumber& read) {
    const std::size_t own =
        static_cast<std::size_t>(std::max(std::max(length, 0), kindByteSize(kind, 0)));
    std::fill_n(buf.begin(), std::min(own, buf.size()), std::uint8_t{0});
    std::array<std::uint8_t, 8> tmp{};
    auto put = [&](std::size_t n, std::uint64_t v) {
        if (buf.size() < n)
            return false;
        writeLE(buf, n, v);
        return true;
    };
    switch (kind) {
    case 0:
    case 1:
    case 5:
    case 6:
    case 7:
    case 8:
    case 10: {
        read.whole = parseInteger(text);
        const auto v = int32Of(text, read.whole);
        if (!v)
            return false;
        const std::size_t n = kind <= 1 ? 1 : kind <= 6 ? 2 : kind <= 8 ? 4 : 8;
        return put(n, static_cast<std::uint64_t>(static_cast<std::int64_t>(*v)));
    }
    case 2: {
        const std::string hex = "0x" + std::string(text);
        read.whole = parseInteger(hex);
        const auto v = int32Of(hex, read.whole);
        if (!v)
            return false;
        return put(1, static_cast<std::uint32_t>(*v));
    }
    case 3:
        if (text.empty())
            return false;
        return put(1, static_cast<std::uint8_t>(text[0]));
    case 4:
        return put(1, parseBits(text));
    case 9: {
        const auto v = read.real = parseFloat(text, loc);
        if (!v || std::fabs(*v) > std::numeric_limits<float>::max())
            return false;
        return put(4, std::bit_cast<std::uint32_t>(static_cast<float>(*v)));
    }
    case 11: {
        const auto v = read.real = parseFloat(text, loc);
        if (!v)
            return false;
        return put(8, std::bit_cast<std::uint64_t>(*v));
    }
    case 12: {
        const auto v = parseDateTime(text, loc);
        if (!v)
            return false;
        return put(8, std::bit_cast<std::uint64_t>(*v));
    }
    case 13: {
        const auto v = read.real = parseFloat(text, loc);
        if (!v)
            return false;
        const auto c = toInt64(*v * 10000.0);
        if (!c)
            return false;
        return put(8, static_cast<std::uint64_t>(*c));
    }
    case 14: {
        const std::size_t n =
            std::min({text.size(), static_cast<std::size_t>(std::max(length, 0)), buf.size()});
        std::memcpy(buf.data(), text.data(), n);
        return true;
    }
    case 15: {
        const std::size_t n = std::min(static_cast<std::size_t>(std::max(length, 0)), buf.size());
        parseHexBytes(text, buf.first(n));
        return true;
    }
    default:
        (void)tmp;
        return false;
    }
}

} // namespace

// ---- encode report ----------------------------------------------------------

namespace {

// After blanks and a sign: "$", "x" or "0x".
bool hexInput(std::string_view t) {
    std::size_t i = t.find_first_not_of(" +-");
    if (i == std::string_view::npos)
        return false;
    return t[i] == '$' || t[i] == 'x' || t[i] == 'X' ||
           (t[i] == '0' && i + 1 < t.size() && (t[i + 1] == 'x' || t[i + 1] == 'X'));
}

std::string kindText(int kind) {
    return std::string(kindName(kind));
}

std::string numberReason(const Locale& loc) {
    return std::string("not a number (the decimal separator is \"") + loc.decimalSeparator + "\")";
}

std::string notEncodedReason(int kind, const ReadNumber& read, const Locale& loc) {
    if (isWholeNumberKind(kind))
        return read.whole ? "beyond the whole numbers that can be typed (-2147483648 to "
                            "2147483647, or up to 8 hexadecimal digits)"
                          : "not a whole number";
    switch (kind) {
    case 2:
        return "not a hexadecimal number";
    case 3:
        return "empty: a character is needed";
    case 9:
    case 13:
        return read.real ? "beyond the range of " + kindText(kind) : numberReason(loc);
    case 11:
        return numberReason(loc);
    case 12: {
        std::string pattern = loc.shortDate + " " + loc.longTime;
        for (char& c : pattern)
            c = c == '/' ? loc.dateSeparator : c == ':' ? loc.timeSeparator : c;
        return "not a date and time (" + pattern + ")";
    }
    default:
        return "not a value of " + kindText(kind);
    }
}

// Why the bytes kept hold less than the text says; empty when they hold it all.
std::string cutReason(std::string_view text, int kind, int length, const ReadNumber& read) {
    const int own = kindByteSize(kind, 0);
    const KindInfo* info = kindInfo(kind);
    const bool fixed = info && !info->variableLength;
    const int kept = fixed && length > 0 && length < own ? length : own;
    const auto what = [&] {
        return kept < own ? "the field's " + std::to_string(kept) + " bytes" : kindText(kind);
    };
    if (isWholeNumberKind(kind)) {
        const auto& v = read.whole;
        if (!v || kept >= 8)
            return {};
        const int bits = 8 * kept;
        const std::int64_t unsignedMax = (std::int64_t{1} << bits) - 1;
        const std::int64_t lo = isSignedKind(kind) ? -(std::int64_t{1} << (bits - 1)) : 0;
        const std::int64_t hi =
            isSignedKind(kind) ? (std::int64_t{1} << (bits - 1)) - 1 : unsignedMax;
        // Hexadecimal text is a bit pattern, whatever the sign of the kind.
        if ((*v >= lo && *v <= hi) || (hexInput(text) && *v >= 0 && *v <= unsignedMax))
            return {};
        return "outside the range of " + what() + ", " + std::to_string(lo) + " to " +
               std::to_string(hi);
    }
    switch (kind) {
    case 2: {
        const auto& v = read.whole;
        return v && *v >= 0 && *v <= 0xFF ? std::string() : "more than one byte (00 to FF)";
    }
    case 3:
        return text.size() > 1 ? "only its first character fits" : std::string();
    case 4:
        if (text.size() > 8)
            return "only eight bits fit";
        if (text.find_first_not_of("01") != std::string_view::npos)
            return "characters other than 0 and 1 count as 0 bits";
        return {};
    case 9: {
        const auto& v = read.real;
        if (v && *v != 0.0 && static_cast<float>(*v) == 0.0f)
            return "too small for 4BFloat, so it is 0";
        break;
    }
    case 13: {
        const auto& v = read.real;
        if (v) {
            const double units = *v * 10000.0;
            if (std::fabs(units - std::round(units)) > 1e-6 * std::max(1.0, std::fabs(units)))
                return "only four decimals are kept";
        }
        break;
    }
    case 14:
        if (text.size() > static_cast<std::size_t>(std::max(length, 0)))
            return "longer than the field's " + std::to_string(std::max(length, 0)) + " characters";
        return {};
    case 15: {
        std::vector<std::uint8_t> all(text.size());
        const HexBytes h = parseHexBytes(text, all);
        if (h.count > static_cast<std::size_t>(std::max(length, 0)))
            return "more than the field's " + std::to_string(std::max(length, 0)) + " bytes";
        if (!h.valid)
            return "characters other than hexadecimal digits and blanks are left out";
        return {};
    }
    default:
        break;
    }
    if (fixed && kept < own)
        return "the field keeps only " + std::to_string(kept) + " of " + kindText(kind) + "'s " +
               std::to_string(own) + " bytes";
    return {};
}

} // namespace

EncodeReport encodeValueReport(std::string_view text, int kind, int length,
                               std::span<std::uint8_t> buf, const Locale& loc) {
    EncodeReport r;
    ReadNumber read;
    if (!encodeInto(text, kind, length, buf, loc, read)) {
        r.fit = EncodeFit::NotEncoded;
        r.reason = notEncodedReason(kind, read, loc);
        return r;
    }
    r.reason = cutReason(text, kind, length, read);
    if (!r.reason.empty())
        r.fit = EncodeFit::Cut;
    return r;
}

// ---- convert --------------------------------------------------------------

namespace {

Value takeValue(std::span<const std::uint8_t> buf, int kind, int length) {
    Value v;
    auto u = [&](std::size_t n) { return readLE(buf, n); };
    switch (kind) {
    case 0:
        v.i = static_cast<std::int8_t>(u(1));
        break;
    case 1:
    case 2:
    case 4:
        v.i = static_cast<std::uint8_t>(u(1));
        break;
    case 3:
        v.type = Value::Type::Text;
        v.text = std::string(1, static_cast<char>(u(1)));
        break;
    case 5:
        v.i = static_cast<std::int16_t>(u(2));
        break;
    case 6:
        v.i = static_cast<std::uint16_t>(u(2));
        break;
    case 7:
        v.i = static_cast<std::int32_t>(u(4));
        break;
    case 8:
        v.i = static_cast<std::uint32_t>(u(4));
        break;
    case 9:
        v.type = Value::Type::Real;
        v.r = static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(u(4))));
        break;
    case 10:
        v.i = static_cast<std::int64_t>(u(8));
        break;
    case 11:
        v.type = Value::Type::Real;
        v.r = std::bit_cast<double>(u(8));
        break;
    case 12:
        v.type = Value::Type::Date;
        v.r = std::bit_cast<double>(u(8));
        break;
    case 13:
        v.type = Value::Type::Real;
        v.r = static_cast<double>(static_cast<std::int64_t>(u(8))) / 10000.0;
        break;
    case 14: {
        v.type = Value::Type::Text;
        const std::size_t n = static_cast<std::size_t>(std::clamp(length, 0, 256));
        for (std::size_t i = 0; i < n && i < buf.size() && buf[i] != 0; ++i)
            v.text += static_cast<char>(buf[i]);
        break;
    }
    default:
        break;
    }
    return v;
}

std::optional<std::int64_t> asInteger(const Value& v, const Locale& loc) {
    switch (v.type) {
    case Value::Type::Int:
        return v.i;
    case Value::Type::Real:
    case Value::Type::Date:
        return toInt64(v.r);
    case Value::Type::Text: {
        if (auto i = parseInteger(v.text))
            return i;
        if (auto r = parseFloat(v.text, loc))
            return toInt64(*r);
        return std::nullopt;
    }
    }
    return std::nullopt;
}

std::optional<double> asReal(const Value& v, const Locale& loc, bool preferDate) {
    switch (v.type) {
    case Value::Type::Int:
        return static_cast<double>(v.i);
    case Value::Type::Real:
    case Value::Type::Date:
        return v.r;
    case Value::Type::Text:
        if (preferDate)
            if (auto d = parseDateTime(v.text, loc))
                return d;
        if (auto i = parseInteger(v.text))
            return static_cast<double>(*i);
        return parseFloat(v.text, loc);
    }
    return std::nullopt;
}

std::string asText(const Value& v, const Locale& loc) {
    switch (v.type) {
    case Value::Type::Int:
        return std::to_string(v.i);
    case Value::Type::Real:
        return formatGeneral(v.r, loc);
    case Value::Type::Date:
        return formatDateTime(v.r, loc);
    case Value::Type::Text:
        return v.text;
    }
    return {};
}

} // namespace

bool convertValue(std::span<std::uint8_t> buf, int fromKind, int fromLength, int toKind,
                  int toLength, const Locale& loc) {
    if (fromKind == 15 || toKind == 15)
        return true; // raw bytes stay as they are
    if (!kindInfo(fromKind) || !kindInfo(toKind))
        return false;
    const Value v = takeValue(buf, fromKind, fromLength);
    auto fits32 = [](std::int64_t i) {
        return i >= std::numeric_limits<std::int32_t>::min() &&
               i <= std::numeric_limits<std::uint32_t>::max();
    };
    switch (toKind) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8: {
        const auto i = asInteger(v, loc);
        if (!i || !fits32(*i))
            return false;
        const std::size_t n = toKind <= 4 ? 1 : toKind <= 6 ? 2 : 4;
        if (buf.size() < n)
            return false;
        writeLE(buf, n, static_cast<std::uint64_t>(*i));
        return true;
    }
    case 10: {
        const auto i = asInteger(v, loc);
        if (!i || buf.size() < 8)
            return false;
        writeLE(buf, 8, static_cast<std::uint64_t>(*i));
        return true;
    }
    case 9: {
        const auto r = asReal(v, loc, false);
        if (!r || std::fabs(*r) > std::numeric_limits<float>::max() || buf.size() < 4)
            return false;
        writeLE(buf, 4, std::bit_cast<std::uint32_t>(static_cast<float>(*r)));
        return true;
    }
    case 11:
    case 12: {
        const auto r = asReal(v, loc, toKind == 12);
        if (!r || buf.size() < 8)
            return false;
        writeLE(buf, 8, std::bit_cast<std::uint64_t>(*r));
        return true;
    }
    case 13: {
        const auto r = asReal(v, loc, false);
        if (!r || buf.size() < 8)
            return false;
        const auto c = toInt64(*r * 10000.0);
        if (!c)
            return false;
        writeLE(buf, 8, static_cast<std::uint64_t>(*c));
        return true;
    }
    case 14: {
        const std::string t = asText(v, loc);
        const std::size_t n = std::min(static_cast<std::size_t>(std::max(toLength, 0)), buf.size());
        std::fill_n(buf.begin(), n, std::uint8_t{0});
        std::memcpy(buf.data(), t.data(), std::min(n, t.size()));
        return true;
    }
    default:
        return false;
    }
}

bool convertValue(std::span<std::uint8_t> buf, const TypeEntry& from, const TypeEntry& to,
                  const Locale& loc) {
    return convertValue(buf, from.kind, from.length, to.kind, to.length, loc);
}

} // namespace vm
