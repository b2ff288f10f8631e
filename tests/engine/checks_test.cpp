#include <cmath>
#include <random>
#include <tuple>

#include <gtest/gtest.h>

#include "checks.h"

using namespace vm;

namespace {

std::unique_ptr<Segment> seg(std::string name, std::int32_t begin, std::int32_t length,
                             std::int32_t recLen = 0) {
    auto s = std::make_unique<Segment>();
    s->name = std::move(name);
    s->begin = begin;
    s->length = length;
    s->recordLength = recLen;
    return s;
}

TypeEntry entry(std::string memo, std::uint16_t start, std::uint16_t length) {
    TypeEntry e;
    e.memo = std::move(memo);
    e.start = start;
    e.length = length;
    return e;
}

// One line per row: caption | first | second | collide | message.
std::vector<std::string> lines(const MessageList& list) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const MessageRow r = list.row(i);
        out.push_back(r.caption + "|" + r.firstName + "|" + r.secondName + "|" + r.collide + "|" +
                      r.message);
    }
    return out;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(Checks, RangesThatTouchDoNotOverlap) {
    EXPECT_FALSE(rangesOverlap(0, 10, 10, 20).overlaps);
    const RangeOverlap one = rangesOverlap(0, 10, 9, 20);
    EXPECT_TRUE(one.overlaps);
    EXPECT_EQ(one.from, 9);
    EXPECT_EQ(one.to, 10);
    const RangeOverlap inside = rangesOverlap(5, 8, 0, 20);
    EXPECT_TRUE(inside.overlaps);
    EXPECT_EQ(inside.from, 5);
    EXPECT_EQ(inside.to, 8);
    EXPECT_FALSE(rangesOverlap(5, 5, 0, 20).overlaps); // an empty range shares nothing
    EXPECT_FALSE(rangesOverlap(30, 40, 0, 20).overlaps);
}

TEST(Checks, SeverityAndNamesFollowTheFlagTable) {
    EXPECT_EQ(severityText(0), "");
    EXPECT_EQ(severityText(kHasSpace | kIsNotSort), "Warning");
    EXPECT_EQ(severityText(kIsNotFit | kIsOver), "Error");
    EXPECT_EQ(severityText(kIsOverlay), "Error");
    EXPECT_EQ(anomalyNames(kIsOverlay | kHasSpace), "IsOverlay HasSpace ");
    EXPECT_EQ(anomalyNames(kIsNotSort | kIsOver | kIsNotFit), "IsOver IsNotFit IsNotSort ");
    EXPECT_EQ(anomalyNames(1), "");
}

TEST(Checks, LeadingGapInDecimalAndHexadecimal) {
    SegmentList list;
    list.append(seg("A", 4, 6));
    MessageList dec;
    EXPECT_EQ(checkSegments(list, 10, false, &dec), kHasSpace);
    EXPECT_EQ(lines(dec), Lines{"Warning||A|HasSpace |Has Blank at Position 0 To 4"});
    EXPECT_EQ(dec.row(0).image, 1);
    EXPECT_FALSE(dec.hasErrors);
    EXPECT_EQ(dec.row(0).finding.first, -1);
    EXPECT_EQ(dec.row(0).finding.second, 0);

    MessageList hex;
    checkSegments(list, 10, true, &hex);
    EXPECT_EQ(lines(hex), Lines{"Warning||A|HasSpace |Has Blank at Position OX00 To OX04"});
    EXPECT_EQ(gapMessage(255, 4096, true), "Has Blank at Position OXFF To OX1000");
}

TEST(Checks, OverlapAndGapRowsAreInterleavedInSortedOrder) {
    SegmentList list;
    list.append(seg("C", 15, 10)); // [15, 25)
    list.append(seg("A", 0, 10));  // [0, 10)
    list.append(seg("B", 12, 8));  // [12, 20)
    list.append(seg("D", 22, 30)); // [22, 52) past a 40-byte file
    MessageList m;
    const std::uint8_t f = checkSegments(list, 40, false, &m);
    EXPECT_EQ(f, kIsNotSort | kIsOverlay | kHasSpace | kIsOver);
    EXPECT_EQ(lines(m), (Lines{
                            "Warning|||IsNotSort |Segment Not Sortted",
                            "Error|B|C|IsOverlay |Overlay",
                            "Warning|A|B|HasSpace |Has Blank at Position 10 To 12",
                            "Error|C|D|IsOverlay |Overlay",
                            "Error|D||IsOver |This Segment is Bigger Than File Length 40",
                        }));
    EXPECT_TRUE(m.hasErrors);
    EXPECT_EQ(m.row(1).image, 0);
    // Objects are indices into the list as it stands.
    EXPECT_EQ(m.row(1).finding.first, 2);
    EXPECT_EQ(m.row(1).finding.second, 0);
    // Without a list the flags are the same.
    EXPECT_EQ(checkSegments(list, 40, false), f);
}

TEST(Checks, TrailingGapAndCleanStructures) {
    SegmentList list;
    list.append(seg("A", 0, 10));
    list.append(seg("B", 10, 10));
    MessageList m;
    EXPECT_EQ(checkSegments(list, 20, false, &m), 0);
    EXPECT_TRUE(m.empty());
    EXPECT_EQ(checkSegments(list, 25, false, &m), kHasSpace);
    EXPECT_EQ(lines(m), Lines{"Warning|B||HasSpace |Has Blank at Position 20 To 25"});
    clearMessages(m);
    EXPECT_TRUE(m.empty());

    SegmentList none;
    EXPECT_EQ(checkSegments(none, 100, false, &m), 0);
    EXPECT_TRUE(m.empty());
}

TEST(Checks, FieldFindingsGiveOneExpandableRowPerSegment) {
    SegmentList list;
    list.append(seg("Clean", 0, 20, 10));
    list[0].entries = {entry("a", 0, 10)};
    list.append(seg("Bad", 20, 20, 10));
    list[1].entries = {entry("x", 4, 4), entry("y", 0, 4), entry("z", 4, 2)};
    MessageList m;
    EXPECT_EQ(checkSegments(list, 40, false, &m), 0); // field findings are not OR-ed in
    ASSERT_EQ(m.size(), 1u);
    const std::uint8_t ff = kIsNotSort | kIsOverlay | kHasSpace;
    EXPECT_EQ(lines(m), Lines{"Error|Bad||Click To Expend|" + anomalyNames(ff)});
    EXPECT_TRUE(m.row(0).finding.expandable);
    EXPECT_EQ(m.row(0).finding.first, 1);
    EXPECT_EQ(m.row(0).finding.flags, ff);
    EXPECT_TRUE(m.hasErrors);

    // Expanding lists the field rows; x and z share a start and keep their
    // order, and their overlap is reported once.
    MessageList fields;
    EXPECT_EQ(checkTypeEntries(&list[1], 40, false, &fields), ff);
    EXPECT_EQ(lines(fields),
              (Lines{
                  "Warning|||IsNotSort |",
                  "Error|x|z|IsOverlay |Overlay",
                  // the walk keeps the end of the previous range, not the largest end
                  "Warning|z||HasSpace |Has Blank at Position 6 To 10",
              }));
    EXPECT_FALSE(fields.row(0).finding.isSegment);
}

TEST(Checks, FieldsPastTheRecordAndRecordsThatDoNotFit) {
    auto s = seg("S", 0, 0, 10);
    s->toFilesEnd = true;
    s->entries = {entry("a", 0, 8), entry("b", 8, 4)};
    MessageList m;
    EXPECT_EQ(checkTypeEntries(s.get(), 103, true, &m), kIsOver | kIsNotFit);
    EXPECT_EQ(lines(m),
              (Lines{"Error|b||IsOver |", "Warning|||IsNotFit |segLength mod recLength=3"}));

    // An Anomaly segment's fields are checked against its whole length.
    auto a = seg("A", 0, 30, 10);
    a->anomaly = true;
    a->entries = {entry("a", 0, 8), entry("b", 20, 4)};
    clearMessages(m);
    EXPECT_EQ(checkTypeEntries(a.get(), 100, true, &m), kHasSpace);
    EXPECT_EQ(lines(m), (Lines{"Warning|a|b|HasSpace |Has Blank at Position OX08 To OX14",
                               "Warning|b||HasSpace |Has Blank at Position OX18 To OX1E"}));
}

TEST(Checks, ZeroRecordLengthReportsNothing) {
    // An Anomaly segment has an extent without a record length.
    auto s = seg("S", 0, 50, 0);
    s->anomaly = true;
    s->entries = {entry("a", 0, 50)};
    MessageList m;
    EXPECT_EQ(checkTypeEntries(s.get(), 100, false, &m), 0);
    EXPECT_TRUE(m.empty());
    EXPECT_EQ(checkTypeEntries(nullptr, 100, false, &m), 0);

    // A length that is a whole number of records is fine; a negative remainder is no misfit.
    auto fit = seg("F", 0, 40, 10);
    fit->entries = {entry("a", 0, 10)};
    EXPECT_EQ(checkTypeEntries(fit.get(), 40, false), 0);
}

TEST(Checks, SegmentMapSpans) {
    SegmentList list;
    list.append(seg("A", 0, 50));
    list.append(seg("B", 40, 20));
    list.append(seg("C", 150, 0));
    StructureMap map;
    map.width = 100;
    checkSegments(list, 200, false, nullptr, &map, &list[1]);
    using K = MapSpan::Kind;
    EXPECT_EQ(map.spans, (std::vector<MapSpan>{
                             {K::Fill, kMapBackground, 0, 100},
                             {K::Fill, kMapRange, 0, 25},
                             {K::Fill, kMapRange, 20, 10},
                             {K::Line, kMapRange, 75, 0},
                             {K::Fill, kMapOverlap, 20, 5},
                             {K::Outline, kMapOutline, 20, 9},
                         }));

    // Rounding: 0.99 for ranges, 0.9999 for the outline.
    SegmentList one;
    one.append(seg("X", 1, 1));
    map.width = 100;
    checkSegments(one, 1000, false, nullptr, &map, &one[0]);
    ASSERT_EQ(map.spans.size(), 3u);
    EXPECT_EQ(map.spans[1], (MapSpan{K::Fill, kMapRange, 1, 1}));
    EXPECT_EQ(map.spans[2], (MapSpan{K::Outline, kMapOutline, 1, 0}));

    // No data file: nothing to scale against.
    checkSegments(one, 0, false, nullptr, &map);
    EXPECT_EQ(map.spans[1], (MapSpan{K::Line, kMapRange, 0, 0}));
}

TEST(Checks, TypeMapOutlinesSelectedFields) {
    auto s = seg("S", 0, 40, 20);
    s->entries = {entry("a", 0, 5), entry("b", 10, 10)};
    StructureMap map;
    map.width = 40;
    const std::vector<std::size_t> selected = {1, 7};
    checkTypeEntries(s.get(), 40, false, nullptr, &map, &selected);
    using K = MapSpan::Kind;
    EXPECT_EQ(map.spans, (std::vector<MapSpan>{
                             {K::Fill, kMapBackground, 0, 40},
                             {K::Fill, kMapRange, 0, 10},
                             {K::Fill, kMapRange, 20, 20},
                             {K::Outline, kMapOutline, 20, 19},
                         }));
    s->recordLength = 0;
    checkTypeEntries(s.get(), 40, false, nullptr, &map, &selected);
    EXPECT_EQ(map.spans, (std::vector<MapSpan>{{K::Fill, kMapBackground, 0, 40}}));
}

TEST(Checks, ManySegmentsAreCheckedInLinearTime) {
    // 100,000 segments in reverse order with a gap before each: a quadratic
    // walk would take minutes here.
    SegmentList list;
    for (int i = 99999; i >= 0; --i)
        list.append(seg("S" + std::to_string(i), i * 10 + 2, 8, 4));
    MessageList m;
    const std::uint8_t f = checkSegments(list, 1000000, false, &m);
    EXPECT_EQ(f, kIsNotSort | kHasSpace);
    EXPECT_EQ(m.size(), 1u + 100000u);
}

namespace {

// The checks as their rules read, pair by pair with no shortcut: the rows
// and the map the sorted search must give exactly.
struct Plain {
    Lines rows;
    std::vector<std::pair<int, int>> objects;
    std::vector<MapSpan> spans;
};

Plain plainWalk(std::vector<std::tuple<std::int64_t, std::int64_t, std::string>> r,
                std::int64_t limit, const std::string& notSorted, const std::string& over,
                int width) {
    Plain p;
    std::vector<int> index(r.size());
    for (std::size_t i = 0; i < r.size(); ++i)
        index[i] = static_cast<int>(i);
    auto add = [&](const char* caption, int a, int b, const char* names, const std::string& msg) {
        const std::string na = a < 0 ? "" : std::get<2>(r[static_cast<std::size_t>(a)]);
        const std::string nb = b < 0 ? "" : std::get<2>(r[static_cast<std::size_t>(b)]);
        p.rows.push_back(std::string(caption) + "|" + na + "|" + nb + "|" + names + "|" + msg);
        p.objects.emplace_back(a, b);
    };
    for (std::size_t i = 1; i < r.size(); ++i)
        if (std::get<0>(r[i]) < std::get<0>(r[i - 1])) {
            add("Warning", -1, -1, "IsNotSort ", notSorted);
            break;
        }
    std::stable_sort(index.begin(), index.end(),
                     [&](int x, int y) { return std::get<0>(r[x]) < std::get<0>(r[y]); });
    const double scale = limit > 0 ? static_cast<double>(width) / static_cast<double>(limit) : 0;
    auto px = [&](std::int64_t v) { return static_cast<int>(std::trunc(v * scale + 0.99)); };
    p.spans.push_back({MapSpan::Kind::Fill, kMapBackground, 0, width});
    for (int k : index) {
        const auto& [a, b, n] = r[static_cast<std::size_t>(k)];
        const int w = px(b - a);
        p.spans.push_back(
            {w == 0 ? MapSpan::Kind::Line : MapSpan::Kind::Fill, kMapRange, px(a), w});
    }
    std::vector<MapSpan> overlaps;
    std::int64_t prevEnd = 0;
    for (std::size_t i = 0; i < index.size(); ++i) {
        const auto& ri = r[static_cast<std::size_t>(index[i])];
        for (std::size_t j = i + 1; j < index.size(); ++j) {
            const auto& rj = r[static_cast<std::size_t>(index[j])];
            const RangeOverlap o =
                rangesOverlap(std::get<0>(ri), std::get<1>(ri), std::get<0>(rj), std::get<1>(rj));
            if (!o.overlaps)
                continue;
            add("Error", index[i], index[j], "IsOverlay ", "Overlay");
            const int w = px(o.to - o.from);
            overlaps.push_back(
                {w == 0 ? MapSpan::Kind::Line : MapSpan::Kind::Fill, kMapOverlap, px(o.from), w});
        }
        if (std::get<0>(ri) > prevEnd)
            add("Warning", prevEnd != 0 && i > 0 ? index[i - 1] : -1, index[i], "HasSpace ",
                gapMessage(prevEnd, std::get<0>(ri), false));
        prevEnd = std::get<1>(ri);
    }
    if (!index.empty() && std::get<1>(r[static_cast<std::size_t>(index.back())]) < limit)
        add("Warning", index.back(), -1, "HasSpace ",
            gapMessage(std::get<1>(r[static_cast<std::size_t>(index.back())]), limit, false));
    for (int k : index)
        if (std::get<1>(r[static_cast<std::size_t>(k)]) > limit)
            add("Error", k, -1, "IsOver ", over);
    p.spans.insert(p.spans.end(), overlaps.begin(), overlaps.end());
    return p;
}

// The colour of every pixel once the spans are painted in order.
std::vector<Rgb> paint(const std::vector<MapSpan>& spans, int width) {
    std::vector<Rgb> px(static_cast<std::size_t>(width));
    auto set = [&](int x, Rgb c) {
        if (x >= 0 && x < width)
            px[static_cast<std::size_t>(x)] = c;
    };
    for (const MapSpan& s : spans) {
        if (s.kind == MapSpan::Kind::Fill)
            for (int x = s.x; x < s.x + s.width; ++x)
                set(x, s.colour);
        else
            set(s.x, s.colour);
    }
    return px;
}

std::vector<std::pair<int, int>> objects(const MessageList& m) {
    std::vector<std::pair<int, int>> out;
    for (std::size_t i = 0; i < m.size(); ++i)
        out.emplace_back(m.finding(i).first, m.finding(i).second);
    return out;
}

} // namespace

TEST(Checks, SortedSearchGivesWhatEveryPairWouldOnRandomStructures) {
    std::mt19937 rnd(8);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rnd); };
    const std::vector<std::string> names = {"a", "b", "c", "d"};
    for (int round = 0; round < 300; ++round) {
        // Ranges that nest, repeat, touch, are empty or even run backwards.
        const std::int64_t size = pick(0, 80);
        const int count = pick(0, 12);
        SegmentList list;
        std::vector<std::tuple<std::int64_t, std::int64_t, std::string>> segs;
        auto fields = seg("F", 0, 64, pick(0, 40));
        std::vector<std::tuple<std::int64_t, std::int64_t, std::string>> ents;
        for (int k = 0; k < count; ++k) {
            const int begin = pick(-4, 60), length = pick(-3, 30);
            const std::string& name = names[static_cast<std::size_t>(pick(0, 3))];
            list.append(seg(name, begin, length));
            // A range that would run backwards ends where it begins.
            segs.emplace_back(begin, std::max<std::int64_t>(begin + length, begin), name);
            const auto start = static_cast<std::uint16_t>(pick(0, 40));
            const auto len = static_cast<std::uint16_t>(pick(0, 12));
            fields->entries.push_back(entry(name, start, len));
            ents.emplace_back(start, start + len, name);
        }
        const int width = pick(1, 120);
        MessageList m;
        StructureMap map;
        map.width = width;
        checkSegments(list, size, false, &m, &map);
        Lines got = lines(m);
        auto gotObjects = objects(m);
        // The summary rows of segments with field findings come last.
        while (!got.empty() && m.finding(got.size() - 1).expandable) {
            got.pop_back();
            gotObjects.pop_back();
        }
        const Plain want =
            plainWalk(segs, size, "Segment Not Sortted",
                      "This Segment is Bigger Than File Length " + std::to_string(size), width);
        ASSERT_EQ(got, want.rows) << "round " << round;
        ASSERT_EQ(gotObjects, want.objects) << "round " << round;
        ASSERT_EQ(paint(map.spans, width), paint(want.spans, width)) << "round " << round;

        MessageList f;
        const std::int64_t extent = fields->extent();
        checkTypeEntries(fields.get(), size, false, &f);
        Lines fieldRows = lines(f);
        if (!fieldRows.empty() && fieldRows.back().find("segLength") != std::string::npos)
            fieldRows.pop_back();
        const Lines fieldWant = extent == 0 ? Lines{} : plainWalk(ents, extent, "", "", 1).rows;
        ASSERT_EQ(fieldRows, fieldWant) << "round " << round;
    }
}

TEST(Checks, MillionsOfOverlapsAreListedAndMappedCompactly) {
    // Every pair of 2,000 identical segments overlaps: all the rows are there,
    // each as it would be built alone, while the map stays a few spans.
    SegmentList list;
    for (int i = 0; i < 2000; ++i)
        list.append(seg("S" + std::to_string(i), 0, 100));
    MessageList m;
    StructureMap map;
    map.width = 500;
    EXPECT_EQ(checkSegments(list, 100, false, &m, &map), kIsOverlay);
    ASSERT_EQ(m.size(), 2000u * 1999u / 2u);
    EXPECT_TRUE(m.hasErrors);
    const MessageRow last = m.row(m.size() - 1);
    EXPECT_EQ(last.firstName, "S1998");
    EXPECT_EQ(last.secondName, "S1999");
    EXPECT_EQ(last.collide, "IsOverlay ");
    const MessageRowTexts t = m.texts(m.size() - 1);
    EXPECT_EQ(t.firstName, "S1998");
    EXPECT_EQ(t.message, "Overlay");
    EXPECT_LE(map.spans.size(), 2000u + 2u);
}
