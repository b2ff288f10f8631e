#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "bytesource.h"

namespace vm {

// Reads of another source served from one block kept in memory, so that a
// screen of cells costs one read of the file instead of two system calls a
// cell. Meant for a short burst of reads (one paint) while the data does not
// change: the size is taken once, and the block is refilled only when a read
// falls outside it. Reads larger than half a block go straight through, as
// does everything after a short read inside the data, so errors are the
// source's own.
class CachedSource : public ByteSource {
public:
    explicit CachedSource(const ByteSource& src, std::size_t block = std::size_t{64} << 10);
    std::int64_t size() const override { return m_size; }
    std::size_t readAt(std::int64_t pos, std::span<std::uint8_t> out) const override;

private:
    const ByteSource& m_src;
    std::int64_t m_size;
    std::size_t m_blockSize;
    mutable std::vector<std::uint8_t> m_block;
    mutable std::int64_t m_at = 0;   // file offset of m_block[0]
    mutable std::size_t m_valid = 0; // bytes of m_block read
};

} // namespace vm
