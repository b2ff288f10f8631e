#pragma once

#include <string>

#include <QString>

#include "cp1252.h"
#include "recordpane.h"

// What an edit holds as the engine's single-byte text; a character that has
// no single-byte form becomes '?'.
inline std::string singleByteText(const QString& text) {
    if (auto bytes = RecordPane::fromDisplay(text))
        return *bytes;
    return vm::utf8ToCp1252(text.toStdString());
}
