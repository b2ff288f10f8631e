#include "bytesource.h"

#include <algorithm>
#include <cstring>

namespace vm {

std::size_t MemorySource::readAt(std::int64_t pos, std::span<std::uint8_t> out) const {
    if (pos < 0 || pos >= size())
        return 0;
    const auto avail = static_cast<std::size_t>(size() - pos);
    const std::size_t n = std::min(avail, out.size());
    std::memcpy(out.data(), m_bytes.data() + pos, n);
    return n;
}

} // namespace vm
