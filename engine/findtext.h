#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vm {

// The find condition that looks for text of any length rather than for a
// value of one of the 16 kinds.
inline constexpr std::string_view kFindTextName = "text";

// How the data holds the text a "text" condition looks for.
enum class TextEncoding { Windows1252, Utf16LE };

// What a find condition looks for at an offset: exact bytes, or a text whose
// characters may each stand in any of their case forms.
class FindPattern {
public:
    FindPattern() = default;
    explicit FindPattern(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    // The text as typed (for exact bytes, the bytes); size() bytes are compared.
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    std::size_t size() const { return m_bytes.size(); }
    bool exact() const { return m_chars.empty(); }
    // True when the pattern lies at p, of which size() bytes are readable.
    bool matchesAt(const std::uint8_t* p) const;
    // The values byte `index` of a match can have (one for exact bytes).
    std::vector<std::uint8_t> bytesAt(std::size_t index) const;

private:
    friend std::optional<FindPattern> textPattern(std::string_view, TextEncoding, bool);

    // One character of a text that ignores case: where its bytes lie in the
    // pattern, how many there are (1, 2, or 4 for a UTF-16 surrogate pair)
    // and each case form's bytes read as a little-endian number.
    struct Char {
        std::uint32_t at = 0;
        std::uint8_t width = 0;
        std::vector<std::uint32_t> forms;
    };

    std::vector<std::uint8_t> m_bytes;
    std::vector<Char> m_chars; // empty: the bytes match exactly
};

// The pattern of a "text" condition: the UTF-8 text as the data would hold
// it; with ignoreCase every letter matches in any of its case forms (Unicode
// simple case folding, as far as the encoding can write them). nullopt when
// the text is not UTF-8, or has a character Windows-1252 cannot hold.
std::optional<FindPattern> textPattern(std::string_view utf8, TextEncoding encoding,
                                       bool ignoreCase);

} // namespace vm
