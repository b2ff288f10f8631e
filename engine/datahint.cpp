#include "datahint.h"

#include <algorithm>
#include <span>

#include "codec.h"

namespace vm {

namespace {

constexpr int kUnknownKind = static_cast<int>(TypeKind::Unknown);

std::string hexPairs(std::span<const std::uint8_t> bytes) {
    return decodeValue(bytes, kUnknownKind, static_cast<int>(bytes.size()));
}

} // namespace

bool setHintHex(HintBuffer& buf, std::string_view text) {
    // Cleared whole, not just the ten bytes a hover fills: what is left of an
    // earlier longer text must never show through a shorter one.
    buf.bytes.fill(0);
    const HexBytes parsed = parseHexBytes(text, buf.bytes);
    buf.count = static_cast<int>(parsed.count);
    return parsed.valid;
}

HintValue hintHexOfValue(std::string_view text, std::optional<int> kind, const Locale& loc) {
    std::array<std::uint8_t, kHintBufferSize> bytes{};
    HintValue v;
    if (kind && kindInfo(*kind)) {
        // Variable kinds take as much of the text as the buffer holds.
        const KindInfo* info = kindInfo(*kind);
        const int length =
            info->variableLength ? static_cast<int>(kHintBufferSize) : info->defaultLength;
        v.encoded = encodeValue(text, *kind, length, bytes, loc);
        if (!v.encoded)
            bytes.fill(0);
    }
    v.hex = hexPairs(std::span<const std::uint8_t>(bytes.data(), kHintDumpBytes));
    return v;
}

std::vector<HintReading> hintReadings(const HintBuffer& buf, const DataHintFlags& shown,
                                      const Locale& loc) {
    std::vector<HintReading> out;
    for (int k = 0; k < kKindCount; ++k)
        if (shown[static_cast<std::size_t>(k)])
            out.push_back({k, decodeValue(buf.bytes, k, buf.count, loc)});
    return out;
}

std::string hintDump(const ByteSource& src, std::int64_t pos) {
    std::array<std::uint8_t, kHintDumpBytes> bytes{};
    if (pos < 0)
        return {};
    const std::size_t got = src.readAt(pos, bytes);
    return got == 0 ? std::string() : hexPairs(std::span<const std::uint8_t>(bytes.data(), got));
}

} // namespace vm
