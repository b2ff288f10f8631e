#include "cellformat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

#include "codec.h"
#include "kinds.h"

namespace vm {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kUnshownChar = '\x80';

// The range of dates shown.
constexpr double kMinOleDate = -693593.0;     // 0001-01-01
constexpr double kMaxOleDateExcl = 2958466.0; // 10000-01-01

// The first n bytes little-endian; bytes missing from b read as zero.
std::uint64_t readLE(std::span<const std::uint8_t> b, std::size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        if (b.size() >= n) {
            std::uint64_t v = 0;
            std::memcpy(&v, b.data(), n);
            return v;
        }
    }
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n && i < b.size(); ++i)
        v |= static_cast<std::uint64_t>(b[i]) << (8 * i);
    return v;
}

// A bounded cursor: date patterns come from the user's settings and may be
// longer than any value, so nothing is written past the room.
struct Cursor {
    char* p;
    char* end;
    void put(char c) {
        if (p < end)
            *p++ = c;
    }
    void fill(std::size_t n, char c) {
        n = std::min(n, static_cast<std::size_t>(end - p));
        std::memset(p, c, n);
        p += n;
    }
    // A date or time part: below 10000, at least minDigits digits.
    void number(unsigned v, int minDigits) {
        char d[8];
        int n = 0;
        do {
            d[7 - n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (n < minDigits)
            d[7 - n++] = '0';
        if (end - p >= n) {
            std::memcpy(p, d + 8 - n, static_cast<std::size_t>(n));
            p += n;
        } else {
            for (int i = 8 - n; i < 8; ++i)
                put(d[i]);
        }
    }
};

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

__extension__ typedef unsigned __int128 U128;

// a (positive, finite) rounded to 15 significant digits, halves to even, as
// d.dddddddddddddd x 10^exp; exact integer arithmetic, so the digits are those
// of any correct conversion. False outside the range it covers, [1e-8, 1e37),
// which holds the numbers of everyday data; the caller converts the rest.
bool roundTo15Digits(double a, char* digits, int& exp) {
    const auto bits = std::bit_cast<std::uint64_t>(a);
    const auto biased = static_cast<int>(bits >> 52);
    if (biased == 0)
        return false; // subnormal
    const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int q = biased - 1075; // a = m * 2^q
    // floor(log2(a) * log10(2)): the decimal exponent, or one below it.
    int e = ((biased - 1023) * 78913) >> 18;
    if (e < -8 || e > 36)
        return false;
    static constexpr std::uint64_t kPow10[] = {1ull,
                                               10ull,
                                               100ull,
                                               1000ull,
                                               10000ull,
                                               100000ull,
                                               1000000ull,
                                               10000000ull,
                                               100000000ull,
                                               1000000000ull,
                                               10000000000ull,
                                               100000000000ull,
                                               1000000000000ull,
                                               10000000000000ull,
                                               100000000000000ull,
                                               1000000000000000ull,
                                               10000000000000000ull,
                                               100000000000000000ull,
                                               1000000000000000000ull,
                                               10000000000000000000ull};
    auto pow10 = [](int n) { return n < 20 ? U128{kPow10[n]} : U128{kPow10[19]} * kPow10[n - 19]; };
    constexpr std::uint64_t kLow = 100000000000000ull; // 10^14
    for (int pass = 0; pass < 2; ++pass) {
        // a * 10^(14 - e) = num / den, split into whole and remainder.
        const int s = 14 - e;
        U128 whole, rem, half;
        bool odd;
        if (q < 0 && s >= 0) {
            const U128 num = U128{m} * pow10(s); // below 2^127: s <= 22
            const int shift = -q;                // at most 80 here
            whole = num >> shift;
            rem = num & ((U128{1} << shift) - 1);
            half = U128{1} << (shift - 1);
            odd = false;
        } else {
            const U128 num = q >= 0 ? U128{m} << q : U128{m};
            const U128 den = (q >= 0 ? U128{1} : U128{1} << -q) * pow10(s >= 0 ? 0 : -s);
            const U128 scaled = s > 0 ? num * pow10(s) : num;
            whole = scaled / den;
            rem = scaled % den;
            // Compare 2 * rem with den without overflow.
            half = den / 2;
            odd = (den & 1) != 0;
        }
        if (whole >= U128{kLow} * 10) {
            ++e;
            continue;
        }
        if (whole < kLow)
            return false; // the estimate was never above the exponent
        auto w = static_cast<std::uint64_t>(whole);
        // With an odd den, rem == half means 2 * rem < den: no tie.
        if (rem > half || (rem == half && !odd && (w & 1) != 0))
            ++w;
        if (w == kLow * 10) {
            w = kLow;
            ++e;
        }
        std::to_chars(digits, digits + 15, w);
        exp = e;
        return true;
    }
    return false;
}

std::size_t put(char* out, std::string_view s) {
    std::memcpy(out, s.data(), s.size());
    return s.size();
}

} // namespace

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

std::size_t formatSigned(char* out, std::int64_t v) {
    return static_cast<std::size_t>(std::to_chars(out, out + 24, v).ptr - out);
}

std::size_t formatUnsigned(char* out, std::uint64_t v) {
    return static_cast<std::size_t>(std::to_chars(out, out + 24, v).ptr - out);
}

std::size_t formatHexByte(char* out, std::uint8_t b) {
    out[0] = kHexDigits[b >> 4];
    out[1] = kHexDigits[b & 15];
    return 2;
}

std::size_t formatBits(char* out, std::uint8_t b) {
    for (int i = 0; i < 8; ++i)
        out[i] = (b & (0x80 >> i)) ? '1' : '0';
    return 8;
}

std::size_t formatChar(char* out, std::uint8_t b) {
    out[0] = isShownChar(b) ? static_cast<char>(b) : kUnshownChar;
    return 1;
}

std::size_t formatString(char* out, std::span<const std::uint8_t> bytes, int length) {
    std::size_t n = std::min(static_cast<std::size_t>(std::clamp(length, 0, 255)), bytes.size());
    if (const void* zero = std::memchr(bytes.data(), 0, n))
        n = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes.data());
    std::memcpy(out, bytes.data(), n);
    return n;
}

std::size_t formatRaw(char* out, std::span<const std::uint8_t> bytes, int length) {
    const auto n = static_cast<std::size_t>(std::clamp(length, 0, 50));
    char* p = out;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = i < bytes.size() ? bytes[i] : 0;
        *p++ = kHexDigits[b >> 4];
        *p++ = kHexDigits[b & 15];
        *p++ = ' ';
    }
    return static_cast<std::size_t>(p - out);
}

std::size_t formatGeneral(char* out, double v, char decimalSeparator) {
    if (std::isnan(v))
        return put(out, "NAN");
    if (std::isinf(v))
        return put(out, v > 0 ? "INF" : "-INF");
    if (v == 0)
        return put(out, "0");
    const bool neg = v < 0;
    char digits[15];
    int exp = 0;
    if (!roundTo15Digits(std::fabs(v), digits, exp)) {
        // [-]d.dddddddddddddde±x, correctly rounded as well
        char sci[40];
        const char* const sciEnd =
            std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific, 14).ptr;
        const char* m = sci + (neg ? 1 : 0);
        digits[0] = m[0];
        std::memcpy(digits + 1, m + 2, 14);
        const char* e = m + 16; // 'e'
        std::from_chars(e + (e[1] == '+' ? 2 : 1), sciEnd, exp);
    }
    std::size_t nd = 15;
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;

    char* p = out;
    if (neg)
        *p++ = '-';
    if (exp >= -5 && exp < 15) {
        if (exp < 0) {
            *p++ = '0';
            *p++ = decimalSeparator;
            const auto zeros = static_cast<std::size_t>(-exp - 1);
            std::memset(p, '0', zeros);
            p += zeros;
            std::memcpy(p, digits, nd);
            p += nd;
        } else {
            const auto intLen = static_cast<std::size_t>(exp + 1);
            if (nd <= intLen) {
                std::memcpy(p, digits, nd);
                p += nd;
                std::memset(p, '0', intLen - nd);
                p += intLen - nd;
            } else {
                std::memcpy(p, digits, intLen);
                p += intLen;
                *p++ = decimalSeparator;
                std::memcpy(p, digits + intLen, nd - intLen);
                p += nd - intLen;
            }
        }
    } else {
        *p++ = digits[0];
        if (nd > 1) {
            *p++ = decimalSeparator;
            std::memcpy(p, digits + 1, nd - 1);
            p += nd - 1;
        }
        *p++ = 'E';
        p += formatSigned(p, exp);
    }
    return static_cast<std::size_t>(p - out);
}

DateLayout::DateLayout(const Locale& loc) {
    add(loc.shortDate, loc);
    m_dateParts = m_used;
    if (m_used < m_parts.size())
        m_parts[m_used++] = {kLiteral, 0, ' '};
    add(loc.longTime, loc);
}

// Patterns such as yyyy/mm/dd or hh:nn:ss; any other character stays as it is.
void DateLayout::add(std::string_view pat, const Locale& loc) {
    auto part = [&](Part p) {
        if (m_used < m_parts.size())
            m_parts[m_used++] = p;
    };
    std::size_t i = 0;
    while (i < pat.size()) {
        const char c = lowerAscii(pat[i]);
        std::size_t run = 1;
        while (i + run < pat.size() && lowerAscii(pat[i + run]) == c)
            ++run;
        const std::uint8_t two = run >= 2 ? 2 : 1;
        switch (c) {
        case 'y':
            part(run >= 3 ? Part{0, 4, 0} : Part{1, 2, 0});
            break;
        case 'm':
            part({2, two, 0});
            break;
        case 'd':
            part({3, two, 0});
            break;
        case 'h':
            part({4, two, 0});
            break;
        case 'n':
            part({5, two, 0});
            break;
        case 's':
            part({6, two, 0});
            break;
        default:
            for (std::size_t k = 0; k < run; ++k)
                part({kLiteral, 0,
                      c == '/'   ? loc.dateSeparator
                      : c == ':' ? loc.timeSeparator
                                 : pat[i + k]});
            break;
        }
        i += run;
    }
}

std::size_t DateLayout::format(char* out, double v) const {
    if (!std::isfinite(v) || v < kMinOleDate || v >= kMaxOleDateExcl)
        return put(out, "n/a");
    double whole = std::trunc(v);
    auto ms = static_cast<std::int64_t>(std::llround(std::fabs(v - whole) * 86400000.0));
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += v < 0 ? -1 : 1;
    }
    std::int64_t y;
    unsigned mo, d;
    civilFromDays(kOleEpochDay + static_cast<std::int64_t>(whole), y, mo, d);
    if (y < 1 || y > 9999)
        return put(out, "n/a");
    const auto secs = static_cast<unsigned>(ms / 1000);
    const unsigned values[] = {static_cast<unsigned>(y),
                               static_cast<unsigned>(y % 100),
                               mo,
                               d,
                               secs / 3600,
                               (secs / 60) % 60,
                               secs % 60};
    // The time is left out at exactly midnight.
    const std::size_t parts = v - std::trunc(v) != 0 ? m_used : m_dateParts;
    Cursor c{out, out + kMaxValueBytes};
    for (std::size_t i = 0; i < parts; ++i) {
        const Part& p = m_parts[i];
        if (p.field == kLiteral)
            c.put(p.ch);
        else
            c.number(values[p.field], p.digits);
    }
    return static_cast<std::size_t>(c.p - out);
}

std::size_t formatDateTime(char* out, double v, const Locale& loc) {
    return DateLayout(loc).format(out, v);
}

namespace {

// The one switch over the kinds; dateText formats kind 12.
template <class DateText>
std::size_t formatKind(char* out, std::span<const std::uint8_t> bytes, int kind, int length,
                       char decimal, const DateText& dateText) {
    auto u = [&](std::size_t n) { return readLE(bytes, n); };
    switch (kind) {
    case 0:
        return formatSigned(out, static_cast<std::int8_t>(u(1)));
    case 1:
        return formatUnsigned(out, static_cast<std::uint8_t>(u(1)));
    case 2:
        return formatHexByte(out, static_cast<std::uint8_t>(u(1)));
    case 3:
        return formatChar(out, static_cast<std::uint8_t>(u(1)));
    case 4:
        return formatBits(out, static_cast<std::uint8_t>(u(1)));
    case 5:
        return formatSigned(out, static_cast<std::int16_t>(u(2)));
    case 6:
        return formatUnsigned(out, static_cast<std::uint16_t>(u(2)));
    case 7:
        return formatSigned(out, static_cast<std::int32_t>(u(4)));
    case 8:
        return formatUnsigned(out, static_cast<std::uint32_t>(u(4)));
    case 9:
        return formatGeneral(
            out, static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(u(4)))),
            decimal);
    case 10:
        return formatSigned(out, static_cast<std::int64_t>(u(8)));
    case 11:
        return formatGeneral(out, std::bit_cast<double>(u(8)), decimal);
    case 12:
        return dateText(out, std::bit_cast<double>(u(8)));
    case 13:
        return formatGeneral(out, static_cast<double>(static_cast<std::int64_t>(u(8))) / 10000.0,
                             decimal);
    case 14:
        return formatString(out, bytes, length);
    case 15:
        return formatRaw(out, bytes, length);
    default:
        return put(out, "******");
    }
}

// Reads the bytes a cell shows at pos into buf; nothing when pos is outside
// the data.
std::optional<std::span<const std::uint8_t>>
readCell(const ByteSource& src, std::int64_t pos, int kind, int length,
         std::array<std::uint8_t, kMaxValueBytes>& buf) {
    if (pos < 0 || pos >= src.size())
        return std::nullopt;
    int n = kindByteSize(kind, length);
    if (kind == 15)
        n = std::min(n, 50);
    n = std::clamp(n, 0, static_cast<int>(kMaxValueBytes));
    const auto bytes = std::span<std::uint8_t>(buf.data(), static_cast<std::size_t>(n));
    std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
    src.readAt(pos, bytes);
    return bytes;
}

} // namespace

std::size_t formatCell(char* out, std::span<const std::uint8_t> bytes, int kind, int length,
                       const Locale& loc) {
    return formatKind(out, bytes, kind, length, loc.decimalSeparator,
                      [&loc](char* o, double v) { return formatDateTime(o, v, loc); });
}

std::size_t formatCellAt(char* out, const ByteSource& src, std::int64_t pos, int kind, int length,
                         const Locale& loc) {
    std::array<std::uint8_t, kMaxValueBytes> buf;
    const auto bytes = readCell(src, pos, kind, length, buf);
    return bytes ? formatCell(out, *bytes, kind, length, loc) : 0;
}

std::size_t CellFormat::operator()(char* out, std::span<const std::uint8_t> bytes, int kind,
                                   int length) const {
    return formatKind(out, bytes, kind, length, m_decimal,
                      [this](char* o, double v) { return m_date.format(o, v); });
}

std::size_t CellFormat::at(char* out, const ByteSource& src, std::int64_t pos, int kind,
                           int length) const {
    std::array<std::uint8_t, kMaxValueBytes> buf;
    const auto bytes = readCell(src, pos, kind, length, buf);
    return bytes ? (*this)(out, *bytes, kind, length) : 0;
}

} // namespace vm
