#include "findtext.h"

#include <algorithm>
#include <cstring>

#include "casefold.h"
#include "cp1252.h"

namespace vm {

namespace {

std::uint32_t readLittle(const std::uint8_t* p, int width) {
    std::uint32_t v = 0;
    for (int k = width - 1; k >= 0; --k)
        v = (v << 8) | p[k];
    return v;
}

void appendLittle(std::vector<std::uint8_t>& out, std::uint32_t v, int width) {
    for (int k = 0; k < width; ++k)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

// A code point in UTF-16: one unit, or a surrogate pair read as one
// little-endian number of four bytes (the high surrogate first).
struct Utf16 {
    std::uint32_t value;
    int width;
};
Utf16 toUtf16(char32_t c) {
    if (c < 0x10000)
        return {static_cast<std::uint32_t>(c), 2};
    const std::uint32_t v = c - 0x10000;
    const std::uint32_t high = 0xD800 + (v >> 10);
    const std::uint32_t low = 0xDC00 + (v & 0x3FF);
    return {high | (low << 16), 4};
}

} // namespace

bool FindPattern::matchesAt(const std::uint8_t* p) const {
    if (m_chars.empty())
        return std::memcmp(p, m_bytes.data(), m_bytes.size()) == 0;
    for (const Char& c : m_chars) {
        const std::uint32_t v = readLittle(p + c.at, c.width);
        if (std::find(c.forms.begin(), c.forms.end(), v) == c.forms.end())
            return false;
    }
    return true;
}

std::vector<std::uint8_t> FindPattern::bytesAt(std::size_t index) const {
    if (m_chars.empty())
        return {m_bytes.at(index)};
    const auto c = std::upper_bound(m_chars.begin(), m_chars.end(), index,
                                    [](std::size_t i, const Char& ch) { return i < ch.at; }) -
                   1;
    std::vector<std::uint8_t> out;
    for (const std::uint32_t f : c->forms)
        out.push_back(static_cast<std::uint8_t>(f >> (8 * (index - c->at))));
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::optional<FindPattern> textPattern(std::string_view utf8, TextEncoding encoding,
                                       bool ignoreCase) {
    FindPattern p;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::optional<char32_t> c = nextUtf8(utf8, i);
        if (!c)
            return std::nullopt;
        FindPattern::Char ch;
        ch.at = static_cast<std::uint32_t>(p.m_bytes.size());
        if (encoding == TextEncoding::Windows1252) {
            const std::optional<unsigned char> b = unicodeToCp1252(*c);
            if (!b)
                return std::nullopt;
            ch.width = 1;
            p.m_bytes.push_back(*b);
            if (ignoreCase)
                for (const char32_t f : caseForms(*c))
                    if (const auto fb = unicodeToCp1252(f))
                        ch.forms.push_back(*fb);
        } else {
            const Utf16 u = toUtf16(*c);
            ch.width = static_cast<std::uint8_t>(u.width);
            appendLittle(p.m_bytes, u.value, u.width);
            // Case forms never leave their plane, so all have this width.
            if (ignoreCase)
                for (const char32_t f : caseForms(*c))
                    if (const Utf16 fu = toUtf16(f); fu.width == u.width)
                        ch.forms.push_back(fu.value);
        }
        if (ignoreCase)
            p.m_chars.push_back(std::move(ch));
    }
    // Without a letter the text is plain bytes, searched as fast as any.
    if (std::all_of(p.m_chars.begin(), p.m_chars.end(),
                    [](const FindPattern::Char& ch) { return ch.forms.size() == 1; }))
        p.m_chars.clear();
    return p;
}

} // namespace vm
