#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cellformat.h"
#include "codec.h"

using namespace vm;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A locale and how its dates read, written with printf so that the reference
// shares nothing with the formatter: dateOrder picks y, m, d (0, 1, 2; 3 is the
// year of the century) for the three numbers of dateFormat.
struct LocaleCase {
    Locale loc;
    const char* dateFormat;
    int dateOrder[3];
    const char* timeFormat;
};

LocaleCase localeCase(char point, const char* shortDate, char dateSep, const char* longTime,
                      char timeSep, const char* dateFormat, std::array<int, 3> order,
                      const char* timeFormat) {
    LocaleCase c;
    c.loc.decimalSeparator = point;
    c.loc.shortDate = shortDate;
    c.loc.dateSeparator = dateSep;
    c.loc.longTime = longTime;
    c.loc.timeSeparator = timeSep;
    c.dateFormat = dateFormat;
    std::copy(order.begin(), order.end(), c.dateOrder);
    c.timeFormat = timeFormat;
    return c;
}

// The engine's default, the six orders the program fills from the system's
// settings with their separators, and the short forms the engine also reads.
std::vector<LocaleCase> localeCases() {
    return {
        localeCase('.', "yyyy/mm/dd", '/', "hh:nn:ss", ':', "%04u/%02u/%02u", {0, 1, 2},
                   "%02u:%02u:%02u"),
        localeCase(',', "dd/mm/yyyy", '.', "hh:nn:ss", ':', "%02u.%02u.%04u", {2, 1, 0},
                   "%02u:%02u:%02u"),
        localeCase(',', "mm/dd/yyyy", '-', "hh:nn:ss", '.', "%02u-%02u-%04u", {1, 2, 0},
                   "%02u.%02u.%02u"),
        localeCase('.', "yyyy/dd/mm", '/', "hh:nn:ss", ':', "%04u/%02u/%02u", {0, 2, 1},
                   "%02u:%02u:%02u"),
        localeCase('.', "mm/yyyy/dd", '/', "hh:nn:ss", ':', "%02u/%04u/%02u", {1, 0, 2},
                   "%02u:%02u:%02u"),
        localeCase(',', "dd/yyyy/mm", '.', "hh:nn:ss", ':', "%02u.%04u.%02u", {2, 0, 1},
                   "%02u:%02u:%02u"),
        localeCase('.', "m/d/yy", '/', "h:nn:ss", ':', "%u/%u/%02u", {1, 2, 3}, "%u:%02u:%02u"),
    };
}

std::uint64_t le(const Bytes& b, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n && i < b.size(); ++i)
        v |= std::uint64_t{b[i]} << (8 * i);
    return v;
}

std::string hex2(unsigned b) {
    char s[4];
    std::snprintf(s, sizeof s, "%02X", b);
    return s;
}

// General format through printf's %G: 15 digits, exponent written as E20 or
// E-10, and 1E-05 (which %G writes in exponent form) written out in full.
std::string refGeneral(double v, char point) {
    if (std::isnan(v))
        return "NAN";
    if (std::isinf(v))
        return v > 0 ? "INF" : "-INF";
    if (v == 0)
        return "0";
    char b[64];
    std::snprintf(b, sizeof b, "%.15G", v);
    std::string s = b;
    const std::size_t e = s.find('E');
    if (e != std::string::npos) {
        const int x = std::stoi(s.substr(e + 1));
        std::string mant = s.substr(0, e);
        if (x == -5) {
            const bool neg = mant[0] == '-';
            std::string digits;
            for (char c : mant)
                if (c >= '0' && c <= '9')
                    digits += c;
            s = std::string(neg ? "-" : "") + "0.0000" + digits;
        } else {
            s = mant + "E" + std::to_string(x);
        }
    }
    for (char& c : s)
        if (c == '.')
            c = point;
    return s;
}

std::string refDate(double v, const LocaleCase& lc) {
    if (!std::isfinite(v) || v < -693593 || v >= 2958466)
        return "n/a";
    double whole = std::trunc(v);
    long long ms = std::llround(std::fabs(v - whole) * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += v < 0 ? -1 : 1;
    }
    using namespace std::chrono;
    const year_month_day ymd{sys_days{days{static_cast<long long>(whole) - 25569}}};
    const int y = static_cast<int>(ymd.year());
    if (y < 1 || y > 9999)
        return "n/a";
    const unsigned parts[4] = {static_cast<unsigned>(y), static_cast<unsigned>(ymd.month()),
                               static_cast<unsigned>(ymd.day()), static_cast<unsigned>(y % 100)};
    char b[64];
    std::snprintf(b, sizeof b, lc.dateFormat, parts[lc.dateOrder[0]], parts[lc.dateOrder[1]],
                  parts[lc.dateOrder[2]]);
    std::string s = b;
    if (v != std::trunc(v)) {
        const auto sec = static_cast<unsigned>(ms / 1000);
        std::snprintf(b, sizeof b, lc.timeFormat, sec / 3600, sec / 60 % 60, sec % 60);
        s += std::string(" ") + b;
    }
    return s;
}

// What each kind shows, written plainly.
std::string reference(const Bytes& b, int kind, int length, const LocaleCase& lc) {
    const char point = lc.loc.decimalSeparator;
    switch (kind) {
    case 0:
        return std::to_string(static_cast<std::int8_t>(le(b, 1)));
    case 1:
        return std::to_string(le(b, 1));
    case 2:
        return hex2(static_cast<unsigned>(le(b, 1)));
    case 3: {
        const auto c = static_cast<unsigned>(le(b, 1));
        return std::string(1, static_cast<char>(c >= 32 && c <= 127 ? c : 0x80));
    }
    case 4: {
        std::string s;
        for (int i = 7; i >= 0; --i)
            s += (le(b, 1) >> i) & 1 ? '1' : '0';
        return s;
    }
    case 5:
        return std::to_string(static_cast<std::int16_t>(le(b, 2)));
    case 6:
        return std::to_string(le(b, 2));
    case 7:
        return std::to_string(static_cast<std::int32_t>(le(b, 4)));
    case 8:
        return std::to_string(le(b, 4));
    case 9:
        return refGeneral(std::bit_cast<float>(static_cast<std::uint32_t>(le(b, 4))), point);
    case 10:
        return std::to_string(static_cast<std::int64_t>(le(b, 8)));
    case 11:
        return refGeneral(std::bit_cast<double>(le(b, 8)), point);
    case 12:
        return refDate(std::bit_cast<double>(le(b, 8)), lc);
    case 13:
        return refGeneral(static_cast<double>(static_cast<std::int64_t>(le(b, 8))) / 10000.0,
                          point);
    case 14: {
        std::string s;
        for (std::size_t i = 0;
             i < b.size() && i < static_cast<std::size_t>(std::clamp(length, 0, 255)); ++i) {
            if (b[i] == 0)
                break;
            s += static_cast<char>(b[i]);
        }
        return s;
    }
    case 15: {
        std::string s;
        for (int i = 0; i < std::min(length, 50); ++i)
            s += hex2(static_cast<std::size_t>(i) < b.size() ? b[static_cast<std::size_t>(i)] : 0) +
                 " ";
        return s;
    }
    default:
        return "******";
    }
}

// Doubles where formatting goes wrong if it ever does: specials, the ends of
// the calendar, times that round to midnight, powers of ten and their
// neighbours, exact halves at the fifteenth digit, numbers beyond every range.
double interestingDouble(std::mt19937_64& rng) {
    static const double fixed[] = {std::numeric_limits<double>::quiet_NaN(),
                                   -std::numeric_limits<double>::quiet_NaN(),
                                   std::numeric_limits<double>::signaling_NaN(),
                                   std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity(),
                                   -0.0,
                                   std::numeric_limits<double>::denorm_min(),
                                   std::numeric_limits<double>::min(),
                                   std::numeric_limits<double>::max(),
                                   -693593.0,
                                   -693593.5,
                                   -693594.0,
                                   2958465.99999999,
                                   2958465.999999999,
                                   2958466.0,
                                   45000.99999999,
                                   -1.99999999999,
                                   100000000000002.5,
                                   999999999999999.5,
                                   0.00001,
                                   0.000009999999999999999,
                                   1e15,
                                   1e-8,
                                   1e37};
    const int j = static_cast<int>(rng() % 60) - 30;
    const auto k = static_cast<std::int64_t>(rng() % 1000000000000000ull);
    switch (rng() % 6) {
    case 0:
        return fixed[rng() % std::size(fixed)];
    case 1:
        return std::nextafter(std::pow(10.0, j), rng() & 1 ? 0.0 : 1e300);
    case 2:
        return (static_cast<double>(k) + 0.5) * std::pow(10.0, j - 14);
    case 3:
        return static_cast<double>(k) / std::pow(10.0, rng() % 20);
    case 4:
        return -700000.0 + static_cast<double>(rng() % 3700000) +
               static_cast<double>(rng() % 86400000) / 86400000.0;
    default:
        return std::bit_cast<double>(rng());
    }
}

} // namespace

TEST(CellFormat, EveryKindMatchesAPlainReferenceForRandomBytes) {
    std::mt19937_64 rng(20240601);
    for (const LocaleCase& lc : localeCases()) {
        const CellFormat format(lc.loc);
        for (int i = 0; i < 6000; ++i) {
            Bytes b(rng() % 300);
            for (auto& x : b)
                x = static_cast<std::uint8_t>(rng());
            const int kind = static_cast<int>(rng() % 18);
            const int length = static_cast<int>(rng() % 300) - 2;
            if (b.size() >= 8 && rng() % 2) {
                const double d = interestingDouble(rng);
                std::uint64_t bits = std::bit_cast<std::uint64_t>(d);
                if (kind == 9)
                    bits = std::bit_cast<std::uint32_t>(static_cast<float>(d));
                if (kind == 13 && std::fabs(d) < 9e14)
                    bits = static_cast<std::uint64_t>(std::llround(d * 10000));
                std::memcpy(b.data(), &bits, 8);
            }
            const std::string want = reference(b, kind, length, lc);
            char out[kCellTextRoom];
            ASSERT_EQ(std::string(out, formatCell(out, b, kind, length, lc.loc)), want)
                << "kind " << kind << " length " << length << " size " << b.size();
            ASSERT_EQ(std::string(out, format(out, b, kind, length)), want) << kind;
            ASSERT_EQ(decodeValue(b, kind, length, lc.loc), want) << kind;

            // Read from a source: outside the data nothing, past its end zeros.
            const MemorySource src(b);
            const auto pos = static_cast<std::int64_t>(rng() % (b.size() + 2)) - 1;
            const std::string atWant =
                pos < 0 || pos >= static_cast<std::int64_t>(b.size())
                    ? std::string()
                    : reference(Bytes(b.begin() + pos, b.end()), kind, length, lc);
            ASSERT_EQ(std::string(out, format.at(out, src, pos, kind, length)), atWant) << kind;
            ASSERT_EQ(decodeValue(src, pos, kind, length, lc.loc), atWant) << kind;
        }
    }
}

TEST(CellFormat, OverlongDatePatternsStopAtTheLongestText) {
    Locale loc;
    loc.shortDate = std::string(400, '-');
    loc.longTime = std::string(300, 'x');
    char out[kCellTextRoom + 16];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(formatDateTime(out, 45000.5, loc), kMaxValueBytes);
    EXPECT_EQ(out[kMaxValueBytes], '#'); // nothing written past it
    loc.shortDate = "dd";
    EXPECT_EQ(formatDateTime(45000.5, loc), "15 " + std::string(252, 'x'));
}
