#pragma once

#include <string>

#include "kinds.h"
#include "segment.h"

namespace vmcli {

// A structure as the JSON that print-type prints and write-type reads.
std::string structureJson(const vm::SegmentList& segments, const vm::ViewSettings& settings,
                          const vm::DataHintFlags& dataHint);

} // namespace vmcli
