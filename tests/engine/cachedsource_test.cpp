#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "cachedsource.h"

using namespace vm;

namespace {

// Counts the reads that reach it; reads at or past `good` fail (return 0)
// although the data is longer, as a disk error would.
class CountingSource : public ByteSource {
public:
    CountingSource(std::vector<std::uint8_t> bytes, std::int64_t good)
        : m_src(std::move(bytes)), m_good(good) {}
    std::int64_t size() const override { return m_src.size(); }
    std::size_t readAt(std::int64_t pos, std::span<std::uint8_t> out) const override {
        ++reads;
        if (pos >= m_good)
            return 0;
        const auto n = std::min<std::int64_t>(static_cast<std::int64_t>(out.size()), m_good - pos);
        return m_src.readAt(pos, out.first(static_cast<std::size_t>(std::max<std::int64_t>(n, 0))));
    }
    mutable int reads = 0;

private:
    MemorySource m_src;
    std::int64_t m_good;
};

} // namespace

TEST(CachedSource, ReadsWhatTheSourceReadsWithFewerReads) {
    std::vector<std::uint8_t> bytes(10000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::mt19937 rng(5);
    for (const std::int64_t good : {std::int64_t{10000}, std::int64_t{6000}}) {
        const CountingSource plain(bytes, good);
        const CountingSource under(bytes, good);
        const CachedSource cached(under, 1024);
        EXPECT_EQ(cached.size(), 10000);
        for (int i = 0; i < 3000; ++i) {
            // Mostly small reads moving forward, as a paint makes; some far,
            // some large, some outside the data.
            const auto pos = static_cast<std::int64_t>(rng() % 10100) - 50;
            const std::size_t n = rng() % 10 == 0 ? rng() % 3000 : rng() % 40;
            std::vector<std::uint8_t> a(n, 0xEE), b(n, 0xEE);
            ASSERT_EQ(cached.readAt(pos, b), plain.readAt(pos, a)) << pos << " " << n;
            ASSERT_EQ(a, b) << pos << " " << n;
        }
    }
    // A screen of small reads over a few kilobytes: one read of the source.
    const CountingSource under(bytes, 10000);
    const CachedSource cached(under);
    std::uint8_t cell[8];
    for (std::int64_t pos = 100; pos < 4100; pos += 16)
        cached.readAt(pos, cell);
    EXPECT_EQ(under.reads, 1);
}
