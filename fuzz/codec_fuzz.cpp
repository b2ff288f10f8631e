// Arbitrary bytes through the value codec: decoding must stay inside its
// limits, encoding must never write past the value it was given room for, and
// the kinds whose text is exact must give back their bytes through their own
// text.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "codec.h"
#include "kinds.h"

namespace {

constexpr std::uint8_t kGuard = 0xA5;

bool exactText(int kind, const std::array<std::uint8_t, 300>& value) {
    switch (kind) {
    case 0: case 1: case 2: case 4: case 5: case 6: case 7:
        return true;
    case 8: // typed numbers are 32-bit signed: the upper half has no text of its own
        return value[3] < 0x80;
    case 3:
        return vm::isShownChar(value[0]);
    case 9: {
        float f;
        std::memcpy(&f, value.data(), 4);
        return std::isfinite(f) && f != 0; // -0 and 0 share their text
    }
    case 11: {
        double d;
        std::memcpy(&d, value.data(), 8);
        return std::isfinite(d) && d != 0;
    }
    default:
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const int kind = data[0] % 17;
    const int length = data[1] % 64 + (data[0] & 0x80 ? 250 : 0);
    data += 2;
    size -= 2;

    // Decoding a buffer.
    std::array<std::uint8_t, 300> value{};
    std::memcpy(value.data(), data, std::min(size, value.size()));
    const std::string text = vm::decodeValue(value, kind, length);
    if (text.size() > 255)
        std::abort();

    // Encoding arbitrary text never writes past max(length, the kind's size).
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::array<std::uint8_t, 600> buf;
    buf.fill(kGuard);
    const std::size_t room = static_cast<std::size_t>(std::max(length, vm::kindByteSize(kind, 0)));
    vm::encodeValue(input, kind, length, std::span(buf.data(), room));
    for (std::size_t i = room; i < buf.size(); ++i)
        if (buf[i] != kGuard)
            std::abort();

    // The input helpers on the same text.
    (void)vm::parseInteger(input);
    (void)vm::parseInt32(input);
    (void)vm::parseFloat(input);
    (void)vm::parseDateTime(input);

    // Exact kinds: bytes -> text -> bytes -> the same text.
    if (exactText(kind, value)) {
        std::array<std::uint8_t, 300> back{};
        if (!vm::encodeValue(text, kind, length, back))
            std::abort();
        if (vm::decodeValue(back, kind, length) != text)
            std::abort();
    }

    // Conversions never read or write past the buffer they are given.
    std::array<std::uint8_t, 300> conv = value;
    const int toKind = size > 0 ? data[0] % 16 : 0;
    const int toLength = size > 1 ? data[1] % 64 : 1;
    (void)vm::convertValue(conv, kind % 16, std::min(length, 255), toKind, toLength);
    return 0;
}
