#include "findscan.h"

#include <algorithm>
#include <random>
#include <vector>

#include <gtest/gtest.h>

using Bytes = std::vector<std::uint8_t>;

namespace {

// One reported event: a scanned stretch ('s') or a hit ('h').
struct Event {
    char type;
    std::int64_t a;
    std::int64_t b;
    std::int64_t c;
    std::vector<std::int64_t> positions;
    bool operator==(const Event&) const = default;
};

// The find window's loop as it was first written: one position at a time, the
// pattern compared at every position.
std::vector<Event> referenceFind(const Bytes& data, const std::vector<Bytes>& patterns,
                                 std::int64_t range) {
    std::vector<Event> out;
    const auto S = static_cast<std::int64_t>(data.size());
    const std::size_t n = patterns.size();
    if (n == 0 || S == 0)
        return out;
    const std::int64_t step = S / 100;
    std::vector<std::int64_t> found(n, 0);
    std::vector<std::int64_t> scanStart(n, 0);
    std::vector<bool> flag(n, false);
    std::int64_t p = 0;
    std::int64_t number = 0;
    std::size_t cur = 0;
    for (;;) {
        const auto L = static_cast<std::int64_t>(patterns[cur].size());
        const bool match = L > 0 && p + L <= S &&
                           std::equal(patterns[cur].begin(), patterns[cur].end(), data.begin() + p);
        if (match) {
            found[cur] = p;
            flag[cur] = true;
            std::size_t i = 0;
            while (i < n && flag[i] && std::abs(found[i] - p) <= range)
                ++i;
            out.push_back({'s', static_cast<std::int64_t>(cur), scanStart[cur], p, {}});
            if (i < n) {
                cur = i;
                flag[i] = false;
                p = p - found[i] > range ? p - range : found[i];
                p = std::max<std::int64_t>(p, 0);
                scanStart[i] = p;
                continue;
            }
            ++number;
            out.push_back({'h', number, 0, 0, found});
            std::fill(flag.begin(), flag.end(), false);
        }
        ++p;
        if (p - scanStart[cur] > step) {
            out.push_back({'s', static_cast<std::int64_t>(cur), scanStart[cur], p, {}});
            scanStart[cur] = p;
        }
        if (p > S) {
            out.push_back({'s', static_cast<std::int64_t>(cur), scanStart[cur], p, {}});
            break;
        }
    }
    return out;
}

// Runs the block search, pausing at every other progress call to exercise resuming.
std::vector<Event> blockFind(const Bytes& data, const std::vector<Bytes>& patterns,
                             std::int64_t range) {
    std::vector<Event> out;
    vm::FindEvents ev;
    ev.scanned = [&](int cond, std::int64_t from, std::int64_t to) {
        out.push_back({'s', cond, from, to, {}});
    };
    ev.hit = [&](std::int64_t number, std::span<const std::int64_t> positions) {
        out.push_back({'h', number, 0, 0, {positions.begin(), positions.end()}});
    };
    const vm::MemorySource src(data);
    vm::FindScan scan(static_cast<std::int64_t>(data.size()), patterns, range);
    bool pause = false;
    const vm::Progress progress = [&](double) { return pause = !pause; };
    while (!scan.run(src, ev, progress)) {
    }
    EXPECT_TRUE(scan.finished());
    return out;
}

std::vector<std::int64_t> hitPositions(const Bytes& data, const std::vector<Bytes>& patterns,
                                       std::int64_t range) {
    std::vector<std::int64_t> out;
    for (const Event& e : blockFind(data, patterns, range))
        if (e.type == 'h')
            out.insert(out.end(), e.positions.begin(), e.positions.end());
    return out;
}

} // namespace

TEST(FindScan, PatternsAreTheKindsEncodingsWithRejectedValuesAsZeros) {
    EXPECT_EQ(vm::findPattern(1, "255"), Bytes{0xFF});
    EXPECT_EQ(vm::findPattern(8, "1000"), (Bytes{0xE8, 0x03, 0, 0}));
    // A string is searched as 10 bytes: its text, then zero bytes.
    EXPECT_EQ(vm::findPattern(14, "abc"), (Bytes{'a', 'b', 'c', 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(vm::findPattern(14, "abcdefghijkl").size(), 10u);
    EXPECT_EQ(vm::findPattern(15, "4D 5A"), (Bytes{0x4D, 0x5A, 0, 0, 0, 0, 0, 0, 0, 0}));
    // "abc" is no "1Bsigned" value: one zero byte is searched.
    EXPECT_EQ(vm::findPattern(0, "abc"), Bytes{0});
    EXPECT_EQ(vm::findPattern(13, "x"), Bytes(8, 0));
    EXPECT_TRUE(vm::findPattern(16, "1").empty());
}

TEST(FindScan, SingleConditionListsOverlappingHitsButNoneInTheLastBytes) {
    const Bytes data{0xFF, 0xFF, 0x00, 0xFF};
    const std::vector<Event> events = blockFind(data, {{0xFF}}, 100);
    std::vector<std::int64_t> numbers;
    for (const Event& e : events)
        if (e.type == 'h')
            numbers.push_back(e.a);
    EXPECT_EQ(numbers, (std::vector<std::int64_t>{1, 2, 3}));
    EXPECT_EQ(hitPositions(data, {{0xFF}}, 100), (std::vector<std::int64_t>{0, 1, 3}));
    EXPECT_EQ(hitPositions({1, 1, 1, 1}, {{1, 1}}, 0), (std::vector<std::int64_t>{0, 1, 2}));
    // Only three of the four pattern bytes remain at the end.
    EXPECT_TRUE(hitPositions({0, 7, 7, 7}, {{7, 7, 7, 7}}, 100).empty());

    Bytes text{'a', 'b', 'c', 0, 0, 0, 0, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(hitPositions(text, {vm::findPattern(14, "abc")}, 100),
              (std::vector<std::int64_t>{0}));
}

TEST(FindScan, TwoConditionsHitWithinTheRangeOnly) {
    Bytes data(400, 0x11);
    data[50] = 0xA1;
    data[120] = 0xB2; // 70 after A: a hit with range 100
    data[300] = 0xA1; // no B within 100 of it
    EXPECT_EQ(hitPositions(data, {{0xA1}, {0xB2}}, 100), (std::vector<std::int64_t>{50, 120}));
    EXPECT_TRUE(hitPositions(data, {{0xA1}, {0xB2}}, 69).empty());
    // A negative range makes every hit impossible; the scan still ends.
    EXPECT_TRUE(hitPositions(data, {{0xA1}, {0xB2}}, -3).empty());
}

TEST(FindScan, EmptyDataFindsNothingAndReportsNothing) {
    EXPECT_TRUE(blockFind({}, {{0}}, 100).empty());
    EXPECT_TRUE(blockFind({1, 2}, {}, 100).empty());
}

TEST(FindScan, BlockSearchGivesExactlyTheEventsOfThePositionByPositionLoop) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        const int alphabet = 2 + static_cast<int>(rng() % 3);
        const std::size_t size = rng() % 4 == 0 ? rng() % 20 : rng() % 3000;
        Bytes data(size);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(rng() % alphabet);
        std::vector<Bytes> patterns(1 + rng() % 3);
        for (auto& p : patterns) {
            p.resize(1 + rng() % 3);
            for (auto& b : p)
                b = static_cast<std::uint8_t>(rng() % alphabet);
        }
        static const std::int64_t ranges[] = {-7, 0, 1, 3, 10, 100, 5000};
        const std::int64_t range = ranges[rng() % 7];
        ASSERT_EQ(blockFind(data, patterns, range), referenceFind(data, patterns, range))
            << "round " << round << " size " << size << " range " << range;
    }
}

TEST(FindScan, BlockSearchAcrossBlockBoundariesMatchesTheLoop) {
    // Larger than the search's blocks, so matches straddle block ends.
    std::mt19937 rng(777);
    Bytes data((std::size_t{5} << 20) / 2);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng() % 5);
    const std::vector<Bytes> one{{1, 2, 3, 4}};
    const std::vector<Bytes> three{{0, 1, 2, 3}, {4, 4, 4}, {2, 0, 1, 4}};
    EXPECT_EQ(blockFind(data, one, 100), referenceFind(data, one, 100));
    EXPECT_EQ(blockFind(data, three, 100), referenceFind(data, three, 100));
}

TEST(FindScan, PatternTouchesCellsOverlappedByASingleByte) {
    const vm::MemorySource src(Bytes{1, 2, 3, 4, 5, 6});
    const Bytes p{2, 3};
    EXPECT_TRUE(vm::patternTouches(src, p, 2, 1));  // its last byte
    EXPECT_TRUE(vm::patternTouches(src, p, 0, 2));  // its first byte
    EXPECT_FALSE(vm::patternTouches(src, p, 3, 3)); // just after it
    EXPECT_FALSE(vm::patternTouches(src, p, 0, 1)); // just before it
    EXPECT_FALSE(vm::patternTouches(src, Bytes{6, 7}, 5, 1));
}
