#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bytesource.h"
#include "kinds.h"
#include "textlocale.h"

namespace vm {

// The data hint window's bytes: what was typed or hovered, read as every kind
// the user chose. The window and `vellomarque-cli inspect` both go through here.
inline constexpr std::size_t kHintBufferSize = 256;
// Bytes a hover or a typed value puts into the hex box.
inline constexpr int kHintDumpBytes = 10;

struct HintBuffer {
    std::array<std::uint8_t, kHintBufferSize> bytes{};
    // Bytes the decoders use: the length given to "string" and "unKnow".
    int count = 0;
};

// Hex text (digit pairs, blanks skipped, a last single digit a byte of its
// own) into the buffer from its start; digits beyond the buffer are cut off.
// False when the text held any other character; the valid digits are used
// either way.
bool setHintHex(HintBuffer& buf, std::string_view text);

// A value typed as a kind, as the hex box then shows it: the first ten bytes
// of its encoding in hex pairs, each followed by a blank. A text the kind
// cannot encode, or no kind, gives ten zero bytes; encoded says which.
struct HintValue {
    std::string hex;
    bool encoded = false;
};
HintValue hintHexOfValue(std::string_view text, std::optional<int> kind,
                         const Locale& loc = defaultLocale());

struct HintReading {
    int kind = 0;
    std::string text; // single-byte, as decodeValue gives it
};
// One reading per shown kind, in kind order.
std::vector<HintReading> hintReadings(const HintBuffer& buf, const DataHintFlags& shown,
                                      const Locale& loc = defaultLocale());

// What hovering a field at pos puts into the hex box: the hex pairs of the ten
// bytes there, fewer at the end of the data, empty at or past it.
std::string hintDump(const ByteSource& src, std::int64_t pos);

} // namespace vm
