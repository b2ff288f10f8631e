#include "cachedsource.h"

#include <algorithm>
#include <cstring>

namespace vm {

CachedSource::CachedSource(const ByteSource& src, std::size_t block)
    : m_src(src), m_size(src.size()), m_blockSize(std::max<std::size_t>(block, 2)) {}

std::size_t CachedSource::readAt(std::int64_t pos, std::span<std::uint8_t> out) const {
    if (pos < 0 || pos >= m_size)
        return 0;
    const std::size_t want =
        std::min(out.size(), static_cast<std::size_t>(m_size - pos)); // what the data holds
    if (want == 0)
        return 0;
    auto inBlock = [&] {
        return pos >= m_at &&
               pos + static_cast<std::int64_t>(want) <= m_at + static_cast<std::int64_t>(m_valid);
    };
    if (!inBlock() && want <= m_blockSize / 2) {
        m_block.resize(m_blockSize);
        m_at = pos;
        m_valid = m_src.readAt(
            pos,
            std::span(m_block.data(), static_cast<std::size_t>(std::min<std::int64_t>(
                                          static_cast<std::int64_t>(m_blockSize), m_size - pos))));
    }
    if (!inBlock())
        return m_src.readAt(pos, out);
    std::memcpy(out.data(), m_block.data() + (pos - m_at), want);
    return want;
}

} // namespace vm
