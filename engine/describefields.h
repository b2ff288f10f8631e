#pragma once

#include <cstdint>
#include <vector>

#include "describe.h"

namespace vm {

// Whole records taken from the sample, one after the other, each recordLength
// bytes. follows[r]: record r comes straight after record r - 1 in the file,
// so differences between them mean something (counters, clocks).
struct SampleRecords {
    int recordLength = 0;
    std::vector<std::uint8_t> bytes;
    std::vector<bool> follows;
    std::size_t count() const { return follows.size(); }
    const std::uint8_t* record(std::size_t r) const {
        return bytes.data() + r * static_cast<std::size_t>(recordLength);
    }
};

// Cuts the record into fields and names their kinds from what every sampled
// record holds; the fields cover the record without gaps, in order.
std::vector<FieldProposal> classifyFields(const SampleRecords& records);

} // namespace vm
