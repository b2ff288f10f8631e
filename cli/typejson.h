#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "kinds.h"
#include "segment.h"

// The JSON of print-type, for every command that prints a structure.
namespace vmcli {

// Keys keep the order in which they are documented.
using json = nlohmann::ordered_json;

json entryJson(const vm::TypeEntry& e);
json segmentJson(const vm::Segment& s);

// A structure as the JSON that print-type prints and write-type reads.
std::string structureJson(const vm::SegmentList& segments, const vm::ViewSettings& settings,
                          const vm::DataHintFlags& dataHint);

} // namespace vmcli
