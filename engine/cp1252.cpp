#include "cp1252.h"

#include <array>

namespace vm {

namespace {

constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

void appendUtf8(std::string& out, char32_t c) {
    char buf[4];
    out.append(buf, static_cast<std::size_t>(putUtf8(buf, c) - buf));
}

char* putUtf8(char* p, char32_t c) {
    if (c < 0x80) {
        *p++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *p++ = static_cast<char>(0xC0 | (c >> 6));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *p++ = static_cast<char>(0xE0 | (c >> 12));
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *p++ = static_cast<char>(0xF0 | (c >> 18));
        *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return p;
}

char32_t cp1252ToUnicode(unsigned char b) {
    if (b >= 0x80 && b < 0xA0)
        return kHigh[b - 0x80];
    return b;
}

std::optional<unsigned char> unicodeToCp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<unsigned char>(c);
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == c)
            return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

std::string cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes)
        appendUtf8(out, cp1252ToUnicode(static_cast<unsigned char>(ch)));
    return out;
}

std::optional<char32_t> nextUtf8(std::string_view s, std::size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    char32_t c = 0;
    std::size_t n = 0;
    if (b < 0x80) {
        c = b;
        n = 1;
    } else if ((b & 0xE0) == 0xC0) {
        c = b & 0x1F;
        n = 2;
    } else if ((b & 0xF0) == 0xE0) {
        c = b & 0x0F;
        n = 3;
    } else if ((b & 0xF8) == 0xF0) {
        c = b & 0x07;
        n = 4;
    } else {
        ++i;
        return std::nullopt;
    }
    if (i + n > s.size()) {
        i = s.size();
        return std::nullopt;
    }
    for (std::size_t k = 1; k < n; ++k) {
        const auto cb = static_cast<unsigned char>(s[i + k]);
        if ((cb & 0xC0) != 0x80) {
            ++i;
            return std::nullopt;
        }
        c = (c << 6) | (cb & 0x3F);
    }
    i += n;
    if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
        return std::nullopt;
    return c;
}

std::string utf8ToCp1252(std::string_view s, bool* ok) {
    std::string out;
    bool good = true;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::optional<char32_t> c = nextUtf8(s, i);
        const auto m = c ? unicodeToCp1252(*c) : std::nullopt;
        if (!m) {
            good = false;
            out += '?';
        } else {
            out += static_cast<char>(*m);
        }
    }
    if (ok)
        *ok = good;
    return out;
}

} // namespace vm
