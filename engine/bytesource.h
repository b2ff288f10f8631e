#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vm {

// Positioned reads with 64-bit offsets. The working file, a second file being
// compared or a plain memory buffer can all stand behind it, so the codec and
// the scanners never care where the bytes live.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::int64_t size() const = 0;
    // Reads up to out.size() bytes at pos; returns how many were read (fewer at
    // the end of the data, 0 past it or on a read error).
    virtual std::size_t readAt(std::int64_t pos, std::span<std::uint8_t> out) const = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource() = default;
    explicit MemorySource(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(m_bytes.size()); }
    std::size_t readAt(std::int64_t pos, std::span<std::uint8_t> out) const override;
    std::vector<std::uint8_t>& bytes() { return m_bytes; }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace vm
