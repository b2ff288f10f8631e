#include "comparescan.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vm {

namespace {

constexpr std::int64_t kBlock = std::int64_t{1} << 20;
// Equal pieces of this size are passed over by memcmp alone.
constexpr std::int64_t kPiece = 4096;

// The index of the first byte where a and b differ, or n.
std::size_t firstDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= n; i += 8) {
            std::uint64_t x = 0;
            std::uint64_t y = 0;
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            if (const std::uint64_t v = x ^ y; v != 0)
                return i + static_cast<std::size_t>(std::countr_zero(v) / 8);
        }
    }
    for (; i < n; ++i)
        if (a[i] != b[i])
            return i;
    return n;
}

// Number of differing bytes of a and b, eight at a time.
std::int64_t countDiffering(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr std::uint64_t high = 0x8080808080808080ULL;
    std::int64_t count = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        const std::uint64_t v = x ^ y;
        if (v == 0)
            continue;
        // The high bit of each byte of t is set exactly when that byte of v is not zero.
        const std::uint64_t t = ((v & low7) + low7) | v;
        count += std::popcount(t & high);
    }
    for (; i < n; ++i)
        count += a[i] != b[i];
    return count;
}

} // namespace

CompareScan::CompareScan(std::int64_t size, std::int64_t listLimit, int columns)
    : m_size(std::max<std::int64_t>(0, size)), m_listLimit(listLimit),
      m_columns(std::max(0, columns)) {
    m_done = m_size == 0;
}

std::int64_t CompareScan::nextColumnStart() const {
    // The first offset k with k * columns / size beyond the last column reported.
    if (m_column + 1 >= m_columns)
        return m_size;
    const std::int64_t need = (std::int64_t{m_column} + 1) * m_size;
    return (need + m_columns - 1) / m_columns;
}

void CompareScan::listRange(std::int64_t from, std::int64_t to, const CompareEvents& events) {
    std::int64_t k = from;
    while (k < to) {
        const auto i = static_cast<std::size_t>(k - m_blockStart);
        const auto n = static_cast<std::size_t>(to - k);
        const std::size_t d = firstDifference(m_a.data() + i, m_b.data() + i, n);
        if (d == n)
            return;
        k += static_cast<std::int64_t>(d);
        if (m_count + 1 >= m_listLimit) {
            // The list is full: the rest is only counted.
            m_count += countDiffering(m_a.data() + i + d, m_b.data() + i + d, n - d);
            return;
        }
        ++m_count;
        if (events.listed)
            events.listed(m_count, k, m_a[i + d], m_b[i + d]);
        ++k;
    }
}

void CompareScan::compareRange(std::int64_t from, std::int64_t to, const CompareEvents& events) {
    const std::int64_t bEnd = std::clamp(m_blockStart + m_bLen, from, to);
    // Piece by piece, so that only pieces holding a difference are walked.
    for (std::int64_t k = from; k < bEnd; k += kPiece) {
        const std::int64_t end = std::min(bEnd, k + kPiece);
        const auto i = static_cast<std::size_t>(k - m_blockStart);
        const auto n = static_cast<std::size_t>(end - k);
        if (std::memcmp(m_a.data() + i, m_b.data() + i, n) == 0)
            continue;
        m_pending = true;
        if (m_count + 1 < m_listLimit)
            listRange(k, end, events);
        else
            m_count += countDiffering(m_a.data() + i, m_b.data() + i, n);
    }
    // Past the end of the other file every byte differs.
    for (std::int64_t k = bEnd; k < to; ++k) {
        m_pending = true;
        if (m_count + 1 >= m_listLimit) {
            m_count += to - k;
            break;
        }
        ++m_count;
        if (events.listed)
            events.listed(m_count, k, m_a[static_cast<std::size_t>(k - m_blockStart)],
                          std::nullopt);
    }
}

bool CompareScan::run(const ByteSource& source, const ByteSource& target,
                      const CompareEvents& events, const Progress& progress) {
    if (m_done)
        return true;
    if (m_a.empty()) {
        m_a.resize(static_cast<std::size_t>(kBlock));
        m_b.resize(static_cast<std::size_t>(kBlock));
    }
    while (m_k < m_size) {
        if (progress && !progress(static_cast<double>(m_k) / static_cast<double>(m_size)))
            return false;
        const auto want = static_cast<std::size_t>(std::min(kBlock, m_size - m_k));
        m_blockStart = m_k;
        m_aLen = static_cast<std::int64_t>(source.readAt(m_k, {m_a.data(), want}));
        m_bLen = static_cast<std::int64_t>(target.readAt(m_k, {m_b.data(), want}));
        if (m_aLen < static_cast<std::int64_t>(want)) {
            // The data can no longer be read: the compare ends with what was read.
            m_readError = true;
            m_size = m_k + m_aLen;
        }
        if (m_aLen == 0)
            break;
        const std::int64_t blockEnd = m_k + m_aLen;
        while (m_k < blockEnd) {
            const std::int64_t boundary = m_columns > 0 ? nextColumnStart() : m_size;
            const std::int64_t end = std::min(blockEnd, boundary);
            compareRange(m_k, end, events);
            m_k = end;
            if (m_columns > 0 && end == boundary && boundary < m_size) {
                const auto x = static_cast<int>(boundary * m_columns / m_size);
                if (events.columns)
                    events.columns(m_column, x, m_pending);
                m_column = x;
                m_pending = false;
            }
        }
    }
    if (m_columns > 0 && m_column < m_columns && events.columns)
        events.columns(m_column, m_columns, m_pending);
    m_done = true;
    return true;
}

} // namespace vm
