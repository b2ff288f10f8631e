#pragma once

#include <cstdint>

#include "segment.h"

// A field for the structure editor's tests.
inline vm::TypeEntry field(int kind, int start, int length, const char* memo) {
    vm::TypeEntry e;
    e.kind = static_cast<std::uint8_t>(kind);
    e.start = static_cast<std::uint16_t>(start);
    e.length = static_cast<std::uint16_t>(length);
    e.memo = memo;
    return e;
}
