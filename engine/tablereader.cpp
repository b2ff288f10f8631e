#include "tablereader.h"

#include <algorithm>
#include <cstring>

#include "codec.h"
#include "cp1252.h"

namespace vm {

namespace {

constexpr std::size_t kBuffer = std::size_t{4} << 20;
constexpr std::size_t kSmallestBuffer = std::size_t{64} << 10;

std::int64_t countLines(const char* p, std::size_t n) {
    return static_cast<std::int64_t>(std::count(p, p + n, '\n'));
}

bool isJsonBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

} // namespace

TableReader::TableReader(const ByteSource& source, TableFormat format, std::int64_t firstLine)
    : m_source(source), m_format(format),
      m_buf(static_cast<std::size_t>(std::clamp<std::int64_t>(source.size() + 1, kSmallestBuffer,
                                                              static_cast<std::int64_t>(kBuffer)))),
      m_nextLine(firstLine) {
    m_scratch.reserve(m_buf.size());
    fill();
    if (firstLine == 1 && m_end - m_pos >= 3 &&
        std::memcmp(m_buf.data() + m_pos, "\xEF\xBB\xBF", 3) == 0)
        m_pos += 3;
}

bool TableReader::fill() {
    if (m_eof)
        return false;
    if (m_pos > 0) {
        std::memmove(m_buf.data(), m_buf.data() + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
    }
    if (m_end == m_buf.size()) {
        if (m_buf.size() >= kLongestRow)
            return false;
        m_buf.resize(m_buf.size() * 2);
        m_scratch.reserve(m_buf.size());
    }
    const std::size_t got = m_source.readAt(
        m_sourcePos, std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(m_buf.data()) + m_end,
                                             m_buf.size() - m_end));
    if (got == 0) {
        if (m_sourcePos < m_source.size())
            m_error = "the table cannot be read";
        m_eof = true;
        return false;
    }
    m_sourcePos += static_cast<std::int64_t>(got);
    m_end += got;
    return true;
}

bool TableReader::malformed(std::string why) {
    m_line = m_nextLine;
    m_error = std::move(why);
    return false;
}

TableReader::Parse TableReader::bad(std::string why) {
    malformed(std::move(why));
    return Parse::Malformed;
}

bool TableReader::next() {
    if (!m_error.empty())
        return false;
    for (;;) {
        const char* p = m_buf.data() + m_pos;
        const std::size_t n = m_end - m_pos;
        if (n == 0 && m_eof)
            return false;
        m_cells.clear();
        m_keys.clear();
        m_scratch.clear();
        std::size_t used = 0;
        std::int64_t lines = 1;
        Parse r = Parse::NeedMore;
        if (n > 0) {
            switch (m_format) {
            case TableFormat::Csv:
                r = parseCsv(p, n, used, lines);
                break;
            case TableFormat::Tsv:
                r = parseTsv(p, n, used);
                break;
            case TableFormat::JsonLines:
                r = parseJson(p, n, used);
                break;
            }
        }
        switch (r) {
        case Parse::NeedMore:
            if (!fill()) {
                if (!m_error.empty())
                    return malformed(m_error);
                if (!m_eof)
                    return malformed("a row longer than 64 MiB: is a quote never closed?");
            }
            continue;
        case Parse::Empty:
            m_pos += used;
            m_nextLine += lines;
            continue;
        case Parse::Row:
            m_line = m_nextLine;
            m_pos += used;
            m_nextLine += lines;
            return true;
        case Parse::Malformed:
            return false;
        }
    }
}

TableReader::Parse TableReader::parseCsv(const char* p, std::size_t n, std::size_t& used,
                                         std::int64_t& lines) {
    lines = 0;
    if (p[0] == '\n' || (p[0] == '\r' && n > 1 && p[1] == '\n')) {
        used = p[0] == '\n' ? 1 : 2;
        lines = 1;
        return Parse::Empty;
    }
    if (p[0] == '\r' && n == 1 && !m_eof)
        return Parse::NeedMore;
    std::size_t i = 0;
    for (;;) {
        if (i < n && p[i] == '"') {
            std::size_t from = ++i;
            const std::size_t scratchFrom = m_scratch.size();
            bool unescaped = false;
            for (;;) {
                const void* q = std::memchr(p + i, '"', n - i);
                if (!q) {
                    if (m_eof)
                        return bad("a quoted value is never closed");
                    return Parse::NeedMore;
                }
                const auto j = static_cast<std::size_t>(static_cast<const char*>(q) - p);
                if (j + 1 == n && !m_eof)
                    return Parse::NeedMore; // a doubled quote may follow
                lines += countLines(p + i, j - i);
                if (j + 1 < n && p[j + 1] == '"') {
                    m_scratch.append(p + from, j + 1 - from);
                    unescaped = true;
                    i = from = j + 2;
                    continue;
                }
                if (unescaped) {
                    m_scratch.append(p + from, j - from);
                    m_cells.push_back({std::string_view(m_scratch).substr(scratchFrom)});
                } else {
                    m_cells.push_back({std::string_view(p + from, j - from)});
                }
                i = j + 1;
                break;
            }
            if (i < n && p[i] != ',' && p[i] != '\r' && p[i] != '\n')
                return bad("text after the closing quote of a value");
        } else {
            std::size_t j = i;
            while (j < n && p[j] != ',' && p[j] != '\r' && p[j] != '\n') {
                if (p[j] == '"')
                    return bad("a quote inside a value that is not quoted");
                ++j;
            }
            if (j == n && !m_eof)
                return Parse::NeedMore;
            m_cells.push_back({std::string_view(p + i, j - i)});
            i = j;
        }
        if (i == n) {
            if (!m_eof)
                return Parse::NeedMore;
            used = n;
            return Parse::Row;
        }
        if (p[i] == ',') {
            ++i;
            continue;
        }
        if (p[i] == '\r') {
            if (i + 1 == n && !m_eof)
                return Parse::NeedMore;
            used = i + 1 < n && p[i + 1] == '\n' ? i + 2 : i + 1;
        } else {
            used = i + 1;
        }
        ++lines;
        return Parse::Row;
    }
}

TableReader::Parse TableReader::parseTsv(const char* p, std::size_t n, std::size_t& used) {
    const void* nl = std::memchr(p, '\n', n);
    if (!nl && !m_eof)
        return Parse::NeedMore;
    std::size_t len = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - p) : n;
    used = nl ? len + 1 : n;
    if (len > 0 && p[len - 1] == '\r')
        --len;
    if (len == 0)
        return Parse::Empty;
    std::size_t i = 0;
    for (;;) {
        const void* tab = std::memchr(p + i, '\t', len - i);
        const std::size_t end =
            tab ? static_cast<std::size_t>(static_cast<const char*>(tab) - p) : len;
        const std::string_view raw(p + i, end - i);
        if (raw.find('\\') == std::string_view::npos) {
            m_cells.push_back({raw});
        } else {
            const std::size_t from = m_scratch.size();
            for (std::size_t k = 0; k < raw.size(); ++k) {
                if (raw[k] != '\\') {
                    m_scratch += raw[k];
                    continue;
                }
                if (++k == raw.size())
                    return bad("a backslash at the end of a value (write \\\\ for one)");
                switch (raw[k]) {
                case 't':
                    m_scratch += '\t';
                    break;
                case 'n':
                    m_scratch += '\n';
                    break;
                case 'r':
                    m_scratch += '\r';
                    break;
                case '\\':
                    m_scratch += '\\';
                    break;
                default:
                    return bad(std::string("an unknown escape \\") + raw[k] +
                               " (write \\\\ for a backslash)");
                }
            }
            m_cells.push_back({std::string_view(m_scratch).substr(from)});
        }
        if (!tab)
            return Parse::Row;
        i = end + 1;
    }
}

bool TableReader::parseJsonString(const char*& p, const char* end, std::string_view& out) {
    ++p; // the opening quote
    const char* from = p;
    while (p < end && *p != '"' && *p != '\\')
        ++p;
    if (p < end && *p == '"') {
        out = std::string_view(from, static_cast<std::size_t>(p - from));
        ++p;
        return true;
    }
    const std::size_t scratchFrom = m_scratch.size();
    m_scratch.append(from, static_cast<std::size_t>(p - from));
    auto hex4 = [&](char32_t& v) {
        if (end - p < 5)
            return false;
        v = 0;
        for (int k = 1; k <= 4; ++k) {
            const int d = hexDigitValue(p[k]);
            if (d < 0)
                return false;
            v = v * 16 + static_cast<char32_t>(d);
        }
        p += 5;
        return true;
    };
    while (p < end && *p != '"') {
        if (*p != '\\') {
            m_scratch += *p++;
            continue;
        }
        if (++p == end)
            break;
        char32_t c = 0;
        switch (*p) {
        case '"':
        case '\\':
        case '/':
            m_scratch += *p++;
            continue;
        case 'b':
            m_scratch += '\b';
            ++p;
            continue;
        case 'f':
            m_scratch += '\f';
            ++p;
            continue;
        case 'n':
            m_scratch += '\n';
            ++p;
            continue;
        case 'r':
            m_scratch += '\r';
            ++p;
            continue;
        case 't':
            m_scratch += '\t';
            ++p;
            continue;
        case 'u': // hex4 reads on from the 'u'
            if (!hex4(c))
                return malformed("a \\u escape without four hex digits");
            if (c >= 0xD800 && c < 0xDC00) {
                char32_t low = 0;
                if (end - p < 2 || p[0] != '\\' || p[1] != 'u' || (++p, !hex4(low)) ||
                    low < 0xDC00 || low >= 0xE000)
                    return malformed("a \\u escape of half a character");
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            } else if (c >= 0xDC00 && c < 0xE000) {
                return malformed("a \\u escape of half a character");
            }
            {
                char utf8[4];
                m_scratch.append(utf8, static_cast<std::size_t>(putUtf8(utf8, c) - utf8));
            }
            continue;
        default:
            return malformed(std::string("an unknown escape \\") + *p);
        }
    }
    if (p == end)
        return malformed("a string that is never closed");
    ++p;
    out = std::string_view(m_scratch).substr(scratchFrom);
    return true;
}

TableReader::Parse TableReader::parseJson(const char* p, std::size_t n, std::size_t& used) {
    const void* nl = std::memchr(p, '\n', n);
    if (!nl && !m_eof)
        return Parse::NeedMore;
    const std::size_t len = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - p) : n;
    used = nl ? len + 1 : n;
    const char* q = p;
    const char* end = p + len;
    auto blanks = [&] {
        while (q < end && isJsonBlank(*q))
            ++q;
    };
    blanks();
    if (q == end)
        return Parse::Empty;
    if (*q != '{')
        return bad("a line that is not a JSON object");
    ++q;
    blanks();
    if (q < end && *q == '}') {
        ++q;
    } else {
        for (;;) {
            blanks();
            std::string_view key;
            if (q == end || *q != '"')
                return bad("a key (a string in quotes) expected");
            if (!parseJsonString(q, end, key))
                return Parse::Malformed;
            blanks();
            if (q == end || *q != ':')
                return bad("a colon expected after a key");
            ++q;
            blanks();
            TableCell cell;
            if (q == end)
                return bad("a value expected after a colon");
            if (*q == '"') {
                if (!parseJsonString(q, end, cell.text))
                    return Parse::Malformed;
            } else if (*q == '{') {
                ++q;
                blanks();
                std::string_view inner;
                if (q == end || *q != '"' || !parseJsonString(q, end, inner) || inner != "hex")
                    return m_error.empty()
                               ? bad("an object other than {\"hex\": \"...\"} as a value")
                               : Parse::Malformed;
                blanks();
                if (q == end || *q != ':')
                    return bad("a colon expected after a key");
                ++q;
                blanks();
                if (q == end || *q != '"' || !parseJsonString(q, end, cell.text))
                    return m_error.empty() ? bad("the hex digits of {\"hex\": ...} as a string")
                                           : Parse::Malformed;
                blanks();
                if (q == end || *q != '}')
                    return bad("an object other than {\"hex\": \"...\"} as a value");
                ++q;
                cell.hexObject = true;
            } else if (end - q >= 4 && std::string_view(q, 4) == "null") {
                q += 4;
                cell.null = true;
            } else if (*q == '-' || (*q >= '0' && *q <= '9')) {
                const char* from = q;
                while (q < end && (std::strchr("+-.eE", *q) || (*q >= '0' && *q <= '9')))
                    ++q;
                cell.text = std::string_view(from, static_cast<std::size_t>(q - from));
                if (!isJsonNumber(cell.text))
                    return bad("\"" + std::string(cell.text) + "\" is not a JSON number");
            } else {
                return bad("a value must be a string, a number, null or {\"hex\": \"...\"}");
            }
            m_keys.push_back(key);
            m_cells.push_back(cell);
            blanks();
            if (q < end && *q == ',') {
                ++q;
                continue;
            }
            if (q < end && *q == '}') {
                ++q;
                break;
            }
            return bad("a comma or } expected after a value");
        }
    }
    blanks();
    if (q != end)
        return bad("text after the object's closing }");
    return Parse::Row;
}

} // namespace vm
