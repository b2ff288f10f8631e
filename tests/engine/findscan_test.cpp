#include "findscan.h"

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "casefold.h"
#include "cp1252.h"

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

// A condition as the reference sees it: whether it lies at an offset.
using Matcher = std::function<bool(const Bytes& data, std::int64_t p)>;

Matcher exactly(const Bytes& pattern) {
    return [pattern](const Bytes& data, std::int64_t p) {
        const auto L = static_cast<std::int64_t>(pattern.size());
        return L > 0 && p + L <= static_cast<std::int64_t>(data.size()) &&
               std::equal(pattern.begin(), pattern.end(), data.begin() + p);
    };
}

// The find window's loop as it was first written: one position at a time, the
// condition tested at every position.
std::vector<Event> referenceFind(const Bytes& data, const std::vector<Matcher>& patterns,
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
        if (patterns[cur](data, p)) {
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

std::vector<Event> referenceFind(const Bytes& data, const std::vector<Bytes>& patterns,
                                 std::int64_t range) {
    std::vector<Matcher> m;
    for (const Bytes& p : patterns)
        m.push_back(exactly(p));
    return referenceFind(data, m, range);
}

// Runs the block search, pausing at every other progress call to exercise resuming.
std::vector<Event> blockFindPatterns(const Bytes& data,
                                     const std::vector<vm::FindPattern>& patterns,
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

std::vector<Event> blockFind(const Bytes& data, const std::vector<Bytes>& patterns,
                             std::int64_t range) {
    return blockFindPatterns(data, std::vector<vm::FindPattern>(patterns.begin(), patterns.end()),
                             range);
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

// --- text conditions -----------------------------------------------------------

namespace {

using vm::TextEncoding;

std::string utf8(std::u32string_view text) {
    std::string out;
    for (const char32_t c : text)
        vm::appendUtf8(out, c);
    return out;
}

void appendUtf16(Bytes& out, char32_t c) {
    auto unit = [&](std::uint32_t u) {
        out.push_back(static_cast<std::uint8_t>(u));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    if (c < 0x10000) {
        unit(c);
    } else {
        unit(0xD800 + ((c - 0x10000) >> 10));
        unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
}

Bytes utf16(std::u32string_view text) {
    Bytes out;
    for (const char32_t c : text)
        appendUtf16(out, c);
    return out;
}

// The text read literally at p: the data decoded character by character in
// its encoding and each character compared with the text's, by its folded
// form when case is ignored.
Matcher literalText(std::u32string text, TextEncoding encoding, bool ignoreCase) {
    return [=](const Bytes& data, std::int64_t p) {
        const auto S = static_cast<std::int64_t>(data.size());
        auto unit = [&](std::int64_t q) -> char32_t { return data[q] | (data[q + 1] << 8); };
        std::int64_t q = p;
        for (const char32_t c : text) {
            char32_t d = 0;
            if (encoding == TextEncoding::Windows1252) {
                if (q >= S)
                    return false;
                d = vm::cp1252ToUnicode(data[q++]);
            } else {
                if (q + 2 > S)
                    return false;
                d = unit(q);
                q += 2;
                if (d >= 0xD800 && d < 0xDC00 && q + 2 <= S && unit(q) >= 0xDC00 &&
                    unit(q) < 0xE000) {
                    d = 0x10000 + ((d - 0xD800) << 10) + (unit(q) - 0xDC00);
                    q += 2;
                }
            }
            if (ignoreCase ? vm::simpleCaseFold(d) != vm::simpleCaseFold(c) : d != c)
                return false;
        }
        return !text.empty();
    };
}

std::vector<std::int64_t> textHits(std::u32string_view text, TextEncoding encoding,
                                   const Bytes& data) {
    const auto p = vm::textPattern(utf8(text), encoding, true);
    EXPECT_TRUE(p);
    std::vector<std::int64_t> out;
    for (const Event& e : blockFindPatterns(data, {p.value_or(vm::FindPattern())}, 0))
        if (e.type == 'h')
            out.push_back(e.positions[0]);
    return out;
}

using Hits = std::vector<std::int64_t>;

} // namespace

TEST(FindText, IgnoringCaseFollowsUnicodeSimpleCaseFolding) {
    const TextEncoding W = TextEncoding::Windows1252;
    const TextEncoding U = TextEncoding::Utf16LE;
    // Windows-1252 pairs outside ASCII; the Kelvin sign has no byte there.
    EXPECT_EQ(textHits(U"\u00FF", W, {0x9F, 0xFF, 'y'}), (Hits{0, 1}));
    EXPECT_EQ(textHits(U"\u0161", W, {0x8A, 0x9A, 's'}), (Hits{0, 1}));
    EXPECT_EQ(textHits(U"k", W, {'K', 'k', 0x2A}), (Hits{0, 1}));
    // UTF-16: K, k and the Kelvin sign; Σ, σ and ς; the dotless ı and the
    // dotted İ stay apart from i and I; ß is not ss, but ẞ is ß.
    EXPECT_EQ(textHits(U"k", U, utf16(U"Kk\u212Ax")), (Hits{0, 2, 4}));
    EXPECT_EQ(textHits(U"\u03C2", U, utf16(U"\u03A3\u03C3\u03C2")), (Hits{0, 2, 4}));
    EXPECT_EQ(textHits(U"i", U, utf16(U"I\u0131i\u0130")), (Hits{0, 4}));
    EXPECT_EQ(textHits(U"\u00DF", U, utf16(U"ss\u1E9E\u00DF")), (Hits{4, 6}));
    // Beyond the first plane, as surrogate pairs.
    EXPECT_EQ(textHits(U"\U00010428", U, utf16(U"\U00010400\U00010428")), (Hits{0, 4}));

    // Text that cannot be written as the data holds it is refused.
    EXPECT_FALSE(vm::textPattern(utf8(U"\u03A9"), W, false));
    EXPECT_FALSE(vm::textPattern("\xFF", U, false));
    EXPECT_EQ(vm::textPattern(utf8(U"\u20AC"), W, false)->bytes(), Bytes{0x80});
}

// Random data of letters with several case forms, random texts alone and with
// a byte condition: the block search gives exactly the events of the
// position-by-position loop over the literal reading, and marks exactly the
// cells the literal reading touches.
TEST(FindText, TextConditionsGiveTheEventsOfTheLiteralLoop) {
    const std::u32string cp1252Letters = U"aAsSkKx\u00FF\u0178\u00E9\u00C9\u00B5\u0160\u0161";
    const std::u32string unicodeLetters = cp1252Letters + U"\u017F\u212A\u03C3\u03C2\u03A3"
                                                          U"\u0131iI\u0130\u03BC\u039C"
                                                          U"\U00010400\U00010428";
    std::mt19937 rng(2024);
    for (int round = 0; round < 300; ++round) {
        const auto encoding = rng() % 2 ? TextEncoding::Utf16LE : TextEncoding::Windows1252;
        const std::u32string& letters =
            encoding == TextEncoding::Utf16LE ? unicodeLetters : cp1252Letters;
        const auto letter = [&] { return letters[rng() % letters.size()]; };
        Bytes data;
        const std::size_t chars = rng() % 4 == 0 ? rng() % 8 : rng() % 1500;
        for (std::size_t i = 0; i < chars; ++i) {
            if (rng() % 16 == 0) // an odd byte: characters also start at odd offsets
                data.push_back(static_cast<std::uint8_t>(rng()));
            if (encoding == TextEncoding::Utf16LE)
                appendUtf16(data, letter());
            else
                data.push_back(*vm::unicodeToCp1252(letter()));
        }
        std::vector<vm::FindPattern> patterns;
        std::vector<Matcher> literal;
        const std::size_t texts = 1 + rng() % 2;
        for (std::size_t t = 0; t < texts; ++t) {
            std::u32string text;
            for (std::size_t n = 1 + rng() % 3; n > 0; --n)
                text += letter();
            const bool ignoreCase = rng() % 4 != 0;
            patterns.push_back(*vm::textPattern(utf8(text), encoding, ignoreCase));
            literal.push_back(literalText(text, encoding, ignoreCase));
        }
        if (rng() % 3 == 0) {
            const Bytes b{static_cast<std::uint8_t>(letters[0])};
            patterns.emplace_back(b);
            literal.push_back(exactly(b));
        }
        static const std::int64_t ranges[] = {0, 2, 10, 100};
        const std::int64_t range = ranges[rng() % 4];
        ASSERT_EQ(blockFindPatterns(data, patterns, range), referenceFind(data, literal, range))
            << "round " << round;

        const vm::MemorySource src(data);
        std::vector<std::uint8_t> scratch;
        for (int cell = 0; cell < 20 && !data.empty(); ++cell) {
            const auto pos = static_cast<std::int64_t>(rng() % data.size());
            const int length = 1 + static_cast<int>(rng() % 6);
            const auto L = static_cast<std::int64_t>(patterns[0].size());
            bool expected = false;
            for (std::int64_t s = std::max<std::int64_t>(0, pos - L + 1); s < pos + length; ++s)
                expected = expected || literal[0](data, s);
            ASSERT_EQ(vm::patternTouches(src, patterns[0], pos, length, scratch), expected)
                << "round " << round << " cell " << pos;
        }
    }
}

TEST(FindText, ATextLongerThanABlockIsFound) {
    std::mt19937 rng(5);
    Bytes data(std::size_t{3} << 20);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng());
    const std::size_t at = 1'000'003;
    const std::size_t n = (std::size_t{1} << 20) + 300'000;
    const std::string text =
        vm::cp1252ToUtf8(std::string(data.begin() + static_cast<std::ptrdiff_t>(at),
                                     data.begin() + static_cast<std::ptrdiff_t>(at + n)));
    const auto p = vm::textPattern(text, TextEncoding::Windows1252, false);
    ASSERT_TRUE(p);
    std::vector<std::int64_t> hits;
    for (const Event& e : blockFindPatterns(data, {*p}, 0))
        if (e.type == 'h')
            hits.push_back(e.positions[0]);
    EXPECT_EQ(hits, Hits{static_cast<std::int64_t>(at)});
}
