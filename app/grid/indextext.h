#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "segment.h"

// Texts of the index column and the column titles of segment grids. Kept free
// of widgets so they can be checked on their own.
namespace gridtext {

// Sets seg.indexTextWidth and seg.positionTextWidth. lastIndex is the last
// record index of a record grid (row count - 2) or the last field index of an
// Anomaly grid; anything below 1 counts as one digit.
void measureIndexWidths(vm::Segment& seg, std::int64_t lastIndex, const vm::ViewSettings& vs,
                        std::int64_t fileSize);

// Index text of record i (field i of an Anomaly segment): the padded number
// when shown, then the first byte's offset in hexadecimal or decimal.
std::string indexCellText(const vm::Segment& seg, std::int64_t i, const vm::ViewSettings& vs);
// The same written into out (kIndexTextRoom characters), for painting without
// a string per cell; returns its length.
inline constexpr std::size_t kIndexTextRoom = 320;
std::size_t indexCellText(const vm::Segment& seg, std::int64_t i, const vm::ViewSettings& vs,
                          char* out);

// Pixel width of the index column: 8 per character plus 5.
int indexColumnWidth(const vm::Segment& seg);

// Title of field i: its memo, or the index, a blank and the kind name.
std::string fieldTitle(const vm::TypeEntry& entry, int i);

// Offset text as the position format wants it: upper-case hexadecimal with at
// least minDigits digits, or decimal.
std::string positionText(std::int64_t pos, bool hex, int minDigits);

} // namespace gridtext
