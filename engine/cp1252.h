#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vm {

// Windows-1252 as web browsers define it: every byte maps to one code point, so
// all 256 bytes round-trip (0x81, 0x8D, 0x8F, 0x90, 0x9D map to U+0081 etc.).
char32_t cp1252ToUnicode(unsigned char b);
std::optional<unsigned char> unicodeToCp1252(char32_t c);

// Writes c in UTF-8 at p (at most four bytes) and returns the end.
char* putUtf8(char* p, char32_t c);

std::string cp1252ToUtf8(std::string_view bytes);
// Appends the UTF-8 form of a code point.
void appendUtf8(std::string& out, char32_t c);
// Characters with no single-byte form become '?'; ok (when given) turns false then,
// or when the text is not valid UTF-8.
std::string utf8ToCp1252(std::string_view utf8, bool* ok = nullptr);

// The code point of UTF-8 text at s[i], moving i past it; nullopt for bytes
// that start no valid sequence (i then moves on by one byte, or to the end
// when the text ends inside a sequence). Surrogates and values above U+10FFFF
// are not valid.
std::optional<char32_t> nextUtf8(std::string_view s, std::size_t& i);

} // namespace vm
