#pragma once

#include <cstdint>
#include <string_view>

#include "segment.h"

// A field of a record as tests and benchmarks build them: its kind, start,
// length, memo and grid column width.
inline vm::TypeEntry fieldEntry(int kind, int start, int length, std::string_view memo = {},
                                int width = 0) {
    vm::TypeEntry e;
    e.kind = static_cast<std::uint8_t>(kind);
    e.start = static_cast<std::uint16_t>(start);
    e.length = static_cast<std::uint16_t>(length);
    e.columnWidth = static_cast<std::uint16_t>(width);
    e.setMemo(memo);
    return e;
}
