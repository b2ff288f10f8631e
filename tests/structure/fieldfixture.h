#pragma once

#include <cstdint>

#include <QComboBox>

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

// Picks an item of a list as the user does: it fires activated even when the
// item was already shown.
inline void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}
