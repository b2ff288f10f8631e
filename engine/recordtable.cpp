#include "recordtable.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_set>

#include "cp1252.h"
#include "kinds.h"

namespace vm {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
// What a "1BChar" cell shows for a byte it cannot show; typing it back
// leaves the byte as it is.
constexpr char kPlaceholder = '\x80';

// Exactly 2 * out.size() hex digits into out, in the order given.
bool readHexDigits(std::string_view digits, std::span<std::uint8_t> out) {
    if (digits.size() != 2 * out.size())
        return false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int hi = hexDigitValue(digits[2 * i]);
        const int lo = hexDigitValue(digits[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out[i] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return true;
}

std::uint64_t readLE(std::span<const std::uint8_t> b, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n && i < b.size(); ++i)
        v |= static_cast<std::uint64_t>(b[i]) << (8 * i);
    return v;
}

void useDecimalSeparator(std::string& text, std::size_t from, const Locale& loc) {
    if (loc.decimalSeparator != '.')
        std::replace(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), '.',
                     loc.decimalSeparator);
}

template <class T> void appendShortest(std::string& out, T v, const Locale& loc) {
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    const std::size_t from = out.size();
    out.append(buf, end);
    useDecimalSeparator(out, from, loc);
}

void appendTwoDigits(std::string& out, unsigned v) {
    out += static_cast<char>('0' + v / 10);
    out += static_cast<char>('0' + v % 10);
}

// Whether text reads back to exactly bytes.
bool readsBack(std::string_view text, std::span<const std::uint8_t> bytes, int kind, int length,
               const Locale& loc) {
    std::array<std::uint8_t, 64> small{};
    std::vector<std::uint8_t> large;
    std::span<std::uint8_t> buf(small);
    if (bytes.size() > small.size()) {
        large.resize(bytes.size());
        buf = large;
    }
    const CellBytes c = tableCellBytes(text, false, kind, length, buf, loc);
    return c.action == CellAction::Write && c.report.fit == EncodeFit::Exact &&
           std::equal(bytes.begin(), bytes.end(), buf.begin());
}

// An OLE date with the whole fraction of its second: the fewest digits that
// read back to the same bits.
bool exactDateText(double v, std::span<const std::uint8_t> bytes, int length,
                   const DateLayout& dates, const Locale& loc, std::string& out) {
    if (!std::isfinite(v))
        return false;
    const double whole = std::trunc(v);
    char date[kCellTextRoom];
    // A whole day count formats as the date alone.
    out.assign(date, dates.format(date, whole));
    if (v == whole)
        return readsBack(out, bytes, 12, length, loc);
    const std::size_t dateEnd = out.size();
    const double secs = std::fabs(v - whole) * 86400.0;
    for (int digits = 0; digits <= 17; ++digits) {
        char buf[64];
        const auto end =
            std::to_chars(buf, buf + sizeof buf, secs, std::chars_format::fixed, digits).ptr;
        const std::string_view fixed(buf, static_cast<std::size_t>(end - buf));
        const std::size_t point = fixed.find('.');
        unsigned s = 0;
        std::from_chars(fixed.data(), fixed.data() + std::min(point, fixed.size()), s);
        if (s >= 86400)
            continue; // rounded up to the next day
        out.resize(dateEnd);
        out += ' ';
        appendTwoDigits(out, s / 3600);
        out += loc.timeSeparator;
        appendTwoDigits(out, s / 60 % 60);
        out += loc.timeSeparator;
        appendTwoDigits(out, s % 60);
        if (point != std::string_view::npos) {
            out += loc.decimalSeparator;
            out.append(fixed.substr(point + 1));
        }
        if (readsBack(out, bytes, 12, length, loc))
            return true;
    }
    return false;
}

} // namespace

std::optional<TableFormat> tableFormatNamed(std::string_view name) {
    if (name == "csv")
        return TableFormat::Csv;
    if (name == "tsv")
        return TableFormat::Tsv;
    if (name == "jsonl")
        return TableFormat::JsonLines;
    return std::nullopt;
}

std::optional<TableFormat> tableFormatOfPath(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::nullopt;
    std::string ext(path.substr(dot + 1));
    for (char& c : ext)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (ext == "csv")
        return TableFormat::Csv;
    if (ext == "tsv" || ext == "tab")
        return TableFormat::Tsv;
    if (ext == "jsonl" || ext == "ndjson" || ext == "json")
        return TableFormat::JsonLines;
    return std::nullopt;
}

std::string recordTableRefusal(const Segment& seg) {
    if (seg.anomaly)
        return "Segment " + seg.name + " is an Anomaly segment: its fields are not records";
    if (seg.recordLength <= 0)
        return "Segment " + seg.name + " has no records: its record length is 0";
    if (seg.begin < 0)
        return "Segment " + seg.name + " begins before the start of the file";
    return {};
}

std::size_t shownValueBytes(const TypeEntry& e) {
    int n = kindByteSize(e.kind, e.length);
    if (e.kind == static_cast<int>(TypeKind::Unknown))
        n = std::min(n, 50);
    return static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(kMaxValueBytes)));
}

std::vector<std::string> tableColumnNames(const Segment& seg) {
    std::vector<std::string> names{"index", "position"};
    std::unordered_set<std::string> taken(names.begin(), names.end());
    for (std::size_t k = 0; k < seg.entries.size(); ++k) {
        const std::string& memo = seg.entries[k].memo;
        const std::string base = memo.empty() ? "field" + std::to_string(k) : cp1252ToUtf8(memo);
        std::string name = base;
        for (int n = 2; taken.count(name) != 0; ++n)
            name = base + "_" + std::to_string(n);
        taken.insert(name);
        names.push_back(std::move(name));
    }
    return names;
}

CellBytes tableCellBytes(std::string_view text, bool hexObject, int kind, int length,
                         std::span<std::uint8_t> out, const Locale& loc) {
    CellBytes r;
    const auto L = static_cast<std::size_t>(std::max(length, 0));
    if (hexObject) {
        if (!readHexDigits(text, out.first(L))) {
            r.report.fit = EncodeFit::NotEncoded;
            r.report.reason = "not the field's " + std::to_string(L) + " bytes as " +
                              std::to_string(2 * L) + " hexadecimal digits";
        }
        return r;
    }
    if (L > 0 && text.size() == 2 + 2 * L && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
        readHexDigits(text.substr(2), out.first(L))) {
        if (isWholeNumberKind(kind))
            std::reverse(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(L));
        return r;
    }
    if (kind == static_cast<int>(TypeKind::Char1) && text == std::string_view(&kPlaceholder, 1)) {
        r.action = CellAction::Leave;
        return r;
    }
    r.report = encodeValueReport(text, kind, length, out, loc);
    if (kind == static_cast<int>(TypeKind::Bit1) && r.report.fit == EncodeFit::Exact &&
        text.size() < 8 && L > 0) {
        r.report.fit = EncodeFit::NotEncoded;
        r.report.reason = "fewer than eight bits (a spreadsheet drops leading zeros): write all "
                          "eight";
    }
    return r;
}

bool exactValueText(std::span<const std::uint8_t> bytes, int kind, int length,
                    const DateLayout& dates, const Locale& loc, std::string& out) {
    out.clear();
    auto u = [&](std::size_t n) { return readLE(bytes, n); };
    // Texts that read back by their making need no check (a table of
    // millions of values): a whole field's integer that can be typed, a
    // byte's hex digits, bits or shown character, a string with only zeros
    // after its end, hex bytes.
    const auto own = static_cast<std::size_t>(kindByteSize(kind, length));
    bool sure = bytes.size() == own;
    if (isWholeNumberKind(kind)) {
        // Fewer bytes than the kind's own hold the low bytes of the value.
        const std::size_t n = std::min(own, bytes.size());
        std::uint64_t v = u(n);
        char buf[24];
        char* end;
        if (isSignedKind(kind)) {
            if (n > 0 && n < 8 && (v >> (8 * n - 1)) & 1)
                v |= ~std::uint64_t{0} << (8 * n);
            end = std::to_chars(buf, buf + sizeof buf, static_cast<std::int64_t>(v)).ptr;
        } else {
            end = std::to_chars(buf, buf + sizeof buf, v).ptr;
        }
        out.assign(buf, end);
        // Whole numbers are typed within 32 bits.
        if (kind == 8)
            sure = sure && v <= 0x7FFFFFFFu;
        if (kind == 10)
            sure = sure && static_cast<std::int64_t>(v) >= INT32_MIN &&
                   static_cast<std::int64_t>(v) <= INT32_MAX;
        return sure || readsBack(out, bytes, kind, length, loc);
    }
    switch (kind) {
    case 2:
        out += kHexDigits[u(1) >> 4];
        out += kHexDigits[u(1) & 15];
        break;
    case 3: {
        const auto b = static_cast<std::uint8_t>(u(1));
        if (!isShownChar(b))
            return false;
        out += static_cast<char>(b);
        break;
    }
    case 4: {
        char buf[8];
        out.assign(buf, formatBits(buf, static_cast<std::uint8_t>(u(1))));
        break;
    }
    case 9: {
        const float f = std::bit_cast<float>(static_cast<std::uint32_t>(u(4)));
        if (!std::isfinite(f))
            return false;
        appendShortest(out, f, loc);
        // A float's text is read as a double and then rounded to a float,
        // which may round the other way, and near the largest float the
        // double lies past it; the double's own shortest text does neither.
        sure = false;
        if (readsBack(out, bytes, kind, length, loc))
            return true;
        out.clear();
        appendShortest(out, static_cast<double>(f), loc);
        break;
    }
    case 11: {
        // The shortest text that from_chars reads back to the same bits.
        const double d = std::bit_cast<double>(u(8));
        if (!std::isfinite(d))
            return false;
        appendShortest(out, d, loc);
        break;
    }
    case 12:
        return exactDateText(std::bit_cast<double>(u(8)), bytes, length, dates, loc, out);
    case 13: {
        sure = false;
        const auto c = static_cast<std::int64_t>(u(8));
        const std::uint64_t a =
            c < 0 ? 0 - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c);
        if (c < 0)
            out += '-';
        out += std::to_string(a / 10000);
        if (std::uint64_t frac = a % 10000; frac != 0) {
            out += loc.decimalSeparator;
            for (int digit = 1000; frac != 0; digit /= 10) {
                out += static_cast<char>('0' + frac / static_cast<std::uint64_t>(digit));
                frac %= static_cast<std::uint64_t>(digit);
            }
        }
        break;
    }
    case 14: {
        const void* zero = bytes.empty() ? nullptr : std::memchr(bytes.data(), 0, bytes.size());
        const std::size_t n =
            zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes.data())
                 : bytes.size();
        out.assign(reinterpret_cast<const char*>(bytes.data()), n);
        sure = std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(n), bytes.end(),
                           [](std::uint8_t b) { return b == 0; });
        break;
    }
    case 15:
        sure = true;
        out.reserve(3 * bytes.size());
        for (const std::uint8_t b : bytes) {
            out += kHexDigits[b >> 4];
            out += kHexDigits[b & 15];
            out += ' ';
        }
        break;
    default:
        return false;
    }
    return sure || readsBack(out, bytes, kind, length, loc);
}

void appendHexValue(std::string& out, std::span<const std::uint8_t> bytes, int kind) {
    out += "0x";
    const bool number = isWholeNumberKind(kind);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = bytes[number ? bytes.size() - 1 - i : i];
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 15];
    }
}

void appendHexBytes(std::string& out, std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t b : bytes) {
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 15];
    }
}

namespace {

char* putChar(char* p, unsigned char c, TextCoding coding) {
    if (c < 0x80 || coding == TextCoding::Utf8) {
        *p++ = static_cast<char>(c);
        return p;
    }
    return putUtf8(p, cp1252ToUnicode(c));
}

// Copies text, converted, with the characters that `special` picks escaped by
// `escape`; plain runs go in one piece.
template <class Special, class Escape>
char* putEscaped(char* p, std::string_view text, TextCoding coding, Special special,
                 Escape escape) {
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (special(c))
            p = escape(p, c);
        else
            p = putChar(p, c, coding);
    }
    return p;
}

} // namespace

namespace {

// What each format must do about a character: bit 0 CSV quotes the value,
// bit 1 TSV escapes it, bit 2 JSON escapes it; bit 3 it is no ASCII.
constexpr std::array<std::uint8_t, 256> kCharClass = [] {
    std::array<std::uint8_t, 256> c{};
    for (int i = 0; i < 0x20; ++i)
        c[static_cast<std::size_t>(i)] = 4;
    for (int i = 0x80; i < 0x100; ++i)
        c[static_cast<std::size_t>(i)] = 8;
    c[','] |= 1;
    c['"'] |= 1 | 4;
    c['\r'] |= 1 | 2;
    c['\n'] |= 1 | 2;
    c['\t'] |= 2;
    c['\\'] |= 2 | 4;
    return c;
}();

// The classes of text's characters, or-ed together.
unsigned classOf(std::string_view text) {
    unsigned m = 0;
    for (const char ch : text)
        m |= kCharClass[static_cast<unsigned char>(ch)];
    return m;
}

char* putPlain(char* p, std::string_view text) {
    if (!text.empty()) // an empty view may have no data at all
        std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

} // namespace

char* putCsvValue(char* p, std::string_view text, TextCoding coding) {
    const unsigned m = classOf(text);
    const bool quote = (m & 1) || (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) {
        if (!(m & 8) || coding == TextCoding::Utf8)
            return putPlain(p, text);
        return putEscaped(
            p, text, coding, [](unsigned char) { return false; },
            [](char* q, unsigned char) { return q; });
    }
    *p++ = '"';
    p = putEscaped(
        p, text, coding, [](unsigned char c) { return c == '"'; },
        [](char* q, unsigned char) {
            *q++ = '"';
            *q++ = '"';
            return q;
        });
    *p++ = '"';
    return p;
}

char* putTsvValue(char* p, std::string_view text, TextCoding coding) {
    const unsigned m = classOf(text);
    if (!(m & 2) && (!(m & 8) || coding == TextCoding::Utf8))
        return putPlain(p, text);
    return putEscaped(
        p, text, coding,
        [](unsigned char c) { return c == '\t' || c == '\n' || c == '\r' || c == '\\'; },
        [](char* q, unsigned char c) {
            *q++ = '\\';
            *q++ = c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : '\\';
            return q;
        });
}

char* putJsonString(char* p, std::string_view text, TextCoding coding) {
    *p++ = '"';
    const unsigned m = classOf(text);
    if (!(m & 4) && (!(m & 8) || coding == TextCoding::Utf8)) {
        p = putPlain(p, text);
        *p++ = '"';
        return p;
    }
    p = putEscaped(
        p, text, coding, [](unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; },
        [](char* q, unsigned char c) {
            *q++ = '\\';
            switch (c) {
            case '"':
            case '\\':
                *q++ = static_cast<char>(c);
                break;
            case '\n':
                *q++ = 'n';
                break;
            case '\r':
                *q++ = 'r';
                break;
            case '\t':
                *q++ = 't';
                break;
            default:
                *q++ = 'u';
                *q++ = '0';
                *q++ = '0';
                *q++ = kHexDigits[c >> 4];
                *q++ = kHexDigits[c & 15];
                break;
            }
            return q;
        });
    *p++ = '"';
    return p;
}

void appendTableValue(std::string& out, TableFormat format, std::string_view text,
                      TextCoding coding) {
    const std::size_t at = out.size();
    out.resize(at + valueRoom(text.size()));
    char* p = out.data() + at;
    switch (format) {
    case TableFormat::Csv:
        p = putCsvValue(p, text, coding);
        break;
    case TableFormat::Tsv:
        p = putTsvValue(p, text, coding);
        break;
    case TableFormat::JsonLines:
        p = putJsonString(p, text, coding);
        break;
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

bool isJsonNumber(std::string_view t) {
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t from = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i;
        return i - from;
    };
    if (i < t.size() && t[i] == '-')
        ++i;
    const std::size_t intStart = i;
    const std::size_t intDigits = digits();
    if (intDigits == 0 || (intDigits > 1 && t[intStart] == '0'))
        return false;
    if (i < t.size() && t[i] == '.') {
        ++i;
        if (digits() == 0)
            return false;
    }
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == t.size();
}

} // namespace vm
