#pragma once

#include <nlohmann/json.hpp>

#include "segment.h"

// The JSON of print-type, for every command that prints a structure.
namespace vmcli {

// Keys keep the order in which they are documented.
using json = nlohmann::ordered_json;

json entryJson(const vm::TypeEntry& e);
json segmentJson(const vm::Segment& s);

} // namespace vmcli
