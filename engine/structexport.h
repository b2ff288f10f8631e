#pragma once

#include <cstdint>
#include <string>

#include "segment.h"

// The structure written out for other programs: a C header of packed structs
// and a Kaitai Struct description. Both take the segments as they stand
// (record counts computed against the data file) and give UTF-8 text.
namespace vm {

// One packed struct per segment with records, and one for each irregular
// (Anomaly) segment covering the bytes from its begin to the end of its last
// field. Members are named from the memos; gaps become `uint8_t _gapN[K]`,
// overlapping fields the alternatives of an anonymous union. Every field's
// offset and each struct's size are checked by static_assert. Fields the
// struct cannot hold (of no bytes, or reaching past the record) are named in
// a comment instead. source (UTF-8) names the type file in the opening comment.
std::string exportCHeader(const SegmentList& segments, const std::string& source);

// A Kaitai Struct description (little-endian, strings in windows-1252): each
// segment an instance at its begin, records repeated by their count (for a
// segment to the end of the file, counted from the file's size), their fields
// instances by position. id is the description's name (made into one);
// source (UTF-8) names the type file.
std::string exportKaitaiStruct(const SegmentList& segments, const std::string& id,
                               const std::string& source);

// The description's name for the data file fileName (no folder): the name up
// to its first dot, made into an identifier by exportKaitaiStruct.
std::string kaitaiIdOf(const std::string& fileName);

// A memo or name made into an identifier: letters, digits and single
// underscores, never starting with a digit or an underscore; fallback when
// nothing is left. lower gives the lower-case form Kaitai Struct demands.
std::string identifierFrom(const std::string& singleByteText, const std::string& fallback,
                           bool lower);

} // namespace vm
