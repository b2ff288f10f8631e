#include "comparescan.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>

using Bytes = std::vector<std::uint8_t>;

namespace {

// A listed difference ('l': number, offset, source, target or -1) or a map
// stretch ('c': from, to, differs).
struct Event {
    char type;
    std::int64_t a;
    std::int64_t b;
    int c;
    int d;
    bool operator==(const Event&) const = default;
};

// The compare window's loop, one offset at a time, with the map drawing each
// byte in its own column: a stretch is reported when the next one begins, and
// the last one at the end.
std::vector<Event> referenceCompare(const Bytes& a, const Bytes& b, std::int64_t maxListed,
                                    int columns, std::int64_t* count) {
    std::vector<Event> out;
    const auto S = static_cast<std::int64_t>(a.size());
    std::int64_t d = 0;
    int c = 0;
    bool brush = false;
    for (std::int64_t k = 0; k < S; ++k) {
        const auto i = static_cast<std::size_t>(k);
        if (columns > 0) {
            const auto x = static_cast<int>(k * columns / S);
            if (x > c) {
                out.push_back({'c', c, x, brush, 0});
                c = x;
                brush = false;
            }
        }
        const bool past = i >= b.size();
        if (past || a[i] != b[i]) {
            ++d;
            brush = true;
            if (d < maxListed)
                out.push_back({'l', d, k, a[i], past ? -1 : b[i]});
        }
    }
    if (columns > 0 && S > 0)
        out.push_back({'c', c, columns, brush, 0});
    *count = d;
    return out;
}

std::vector<Event> blockCompare(const Bytes& a, const Bytes& b, std::int64_t maxListed, int columns,
                                std::int64_t* count) {
    std::vector<Event> out;
    vm::CompareEvents ev;
    ev.listed = [&](std::int64_t n, std::int64_t k, std::uint8_t s, std::optional<std::uint8_t> t) {
        out.push_back({'l', n, k, s, t ? *t : -1});
    };
    ev.columns = [&](int from, int to, bool differs) {
        out.push_back({'c', from, to, differs, 0});
    };
    const vm::MemorySource sa(a);
    const vm::MemorySource sb(b);
    vm::CompareScan scan(static_cast<std::int64_t>(a.size()), maxListed, columns);
    bool pause = false;
    while (!scan.run(sa, sb, ev, [&](double) { return pause = !pause; })) {
    }
    *count = scan.differences();
    return out;
}

} // namespace

TEST(CompareScan, ListsBelowTheMaximumAndCountsEverything) {
    const Bytes a{0x0A, 1, 2, 3, 4};
    const Bytes b{0xFF, 1, 9, 3, 9};
    std::int64_t count = 0;
    auto ev = blockCompare(a, b, 500, 0, &count);
    EXPECT_EQ(count, 3);
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_EQ(ev[0], (Event{'l', 1, 0, 0x0A, 0xFF}));
    EXPECT_EQ(ev[2], (Event{'l', 3, 4, 4, 9}));
    // A maximum of 3 lists two; 1 and 0 list nothing and still count.
    EXPECT_EQ(blockCompare(a, b, 3, 0, &count).size(), 2u);
    for (std::int64_t m : {1, 0, -5}) {
        EXPECT_TRUE(blockCompare(a, b, m, 0, &count).empty());
        EXPECT_EQ(count, 3);
    }
}

TEST(CompareScan, IdenticalFilesGiveNoDifferenceAndAPlainMap) {
    const Bytes a(1000, 7);
    std::int64_t count = -1;
    const auto ev = blockCompare(a, a, 500, 50, &count);
    EXPECT_EQ(count, 0);
    int covered = 0;
    for (const Event& e : ev) {
        ASSERT_EQ(e.type, 'c');
        EXPECT_FALSE(e.c);
        EXPECT_EQ(e.a, covered);
        covered = static_cast<int>(e.b);
    }
    EXPECT_EQ(covered, 50); // the whole map, its last column included
}

TEST(CompareScan, AShorterOtherFileDiffersAtEveryOffsetPastItsEnd) {
    std::int64_t count = 0;
    const auto ev = blockCompare({1, 2, 3, 4}, {1, 2}, 500, 0, &count);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0], (Event{'l', 1, 2, 3, -1}));
    EXPECT_EQ(ev[1], (Event{'l', 2, 3, 4, -1}));
    // A longer other file is compared over the data's length only.
    blockCompare({1, 2}, {1, 2, 3, 4}, 500, 0, &count);
    EXPECT_EQ(count, 0);
}

TEST(CompareScan, BlockCompareGivesExactlyTheEventsOfTheOffsetByOffsetLoop) {
    std::mt19937 rng(4242);
    for (int round = 0; round < 300; ++round) {
        const std::size_t size = rng() % 5 == 0 ? rng() % 10 : rng() % 4000;
        Bytes a(size);
        for (auto& x : a)
            x = static_cast<std::uint8_t>(rng());
        Bytes b = a;
        const int mode = static_cast<int>(rng() % 3);
        if (mode == 1)
            b.resize(rng() % (size + 1));
        else if (mode == 2)
            b.resize(size + rng() % 10);
        const std::size_t diffs = rng() % 4 == 0 ? size : rng() % 30;
        for (std::size_t i = 0; i < diffs && !b.empty(); ++i)
            b[rng() % b.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
        static const std::int64_t maxima[] = {0, 1, 2, 5, 500};
        static const int widths[] = {0, 1, 2, 7, 300, 9000};
        const std::int64_t m = maxima[rng() % 5];
        const int w = widths[rng() % 6];
        std::int64_t want = 0;
        std::int64_t got = 0;
        ASSERT_EQ(blockCompare(a, b, m, w, &got), referenceCompare(a, b, m, w, &want))
            << "round " << round << " size " << size << " max " << m << " width " << w;
        ASSERT_EQ(got, want);
    }
}

TEST(CompareScan, BlockCompareAcrossBlockBoundariesMatchesTheLoop) {
    std::mt19937 rng(99);
    Bytes a((std::size_t{3} << 20) + 12345);
    for (auto& x : a)
        x = static_cast<std::uint8_t>(rng());
    Bytes b = a;
    for (int i = 0; i < 2000; ++i)
        b[rng() % b.size()] ^= 0x40;
    b[(std::size_t{1} << 20) - 1] ^= 1; // either side of a block end
    b[std::size_t{1} << 20] ^= 1;
    b.resize(b.size() - 100);
    for (std::int64_t m : {std::int64_t{500}, std::int64_t{1000000}}) {
        std::int64_t want = 0;
        std::int64_t got = 0;
        EXPECT_EQ(blockCompare(a, b, m, 733, &got), referenceCompare(a, b, m, 733, &want));
        EXPECT_EQ(got, want);
    }
}
