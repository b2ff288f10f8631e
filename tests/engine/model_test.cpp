#include <gtest/gtest.h>

#include "kinds.h"
#include "model.h"

using namespace vm;

namespace {

std::unique_ptr<Segment> seg(std::int32_t begin, std::int32_t length, std::int32_t recLen,
                             std::string name = "") {
    auto s = std::make_unique<Segment>();
    s->begin = begin;
    s->length = length;
    s->recordLength = recLen;
    s->name = std::move(name);
    return s;
}

TypeEntry entry(std::uint16_t start, std::string memo) {
    TypeEntry e;
    e.start = start;
    e.memo = std::move(memo);
    return e;
}

} // namespace

TEST(RecordCount, FollowsTheFileAndNeverOverruns) {
    EXPECT_EQ(computeRecordCount(nullptr, 100), 0);

    auto s = seg(10, 50, 8);
    EXPECT_EQ(computeRecordCount(s.get(), 1000), 6);
    EXPECT_EQ(s->length, 50);

    // Past the end of the file the segment is cut to end there.
    EXPECT_EQ(computeRecordCount(s.get(), 30), 2);
    EXPECT_EQ(s->length, 20);

    auto z = seg(0, 50, 0);
    z->recordCount = 7;
    EXPECT_EQ(computeRecordCount(z.get(), 100), 0);
    EXPECT_EQ(z->recordCount, 7); // left as it was

    auto e = seg(0, 0, 10);
    e->toFilesEnd = true;
    EXPECT_EQ(computeRecordCount(e.get(), 103), 10);
    EXPECT_EQ(e->length, 103);
    EXPECT_EQ(computeRecordCount(e.get(), 125), 12); // follows the file as it grows
    EXPECT_EQ(e->length, 125);

    // Past the end: no records, and a length of 0, never negative, so the
    // segment still ends past the end of the file where the checks see it.
    auto past = seg(200, 10, 5);
    EXPECT_EQ(computeRecordCount(past.get(), 100), 0);
    EXPECT_EQ(past->length, 0);
}

TEST(RecordCount, APartialLastRecordKeepsItsFieldsInsideTheSegment) {
    auto s = seg(0, 0, 16);
    s->toFilesEnd = true;
    TypeEntry hex;
    hex.kind = static_cast<std::uint8_t>(TypeKind::Unknown);
    hex.length = 16;
    TypeEntry word;
    word.kind = static_cast<std::uint8_t>(TypeKind::Unsigned4);
    word.start = 1;
    word.length = 4;
    ASSERT_EQ(computeRecordCount(s.get(), 37), 2);
    EXPECT_EQ(partialRecordLength(*s), 5);
    const FieldSpan whole = recordFieldSpan(*s, 1, hex);
    EXPECT_EQ(whole.pos, 16);
    EXPECT_EQ(whole.length, 16);
    // In the partial record, raw bytes end with the segment; a number that
    // does not fit has no value.
    const FieldSpan cut = recordFieldSpan(*s, 2, hex);
    EXPECT_EQ(cut.pos, 32);
    EXPECT_EQ(cut.length, 5);
    EXPECT_EQ(recordFieldSpan(*s, 2, word).length, 4);
    word.start = 2;
    EXPECT_EQ(recordFieldSpan(*s, 2, word).length, 0);

    ASSERT_EQ(computeRecordCount(s.get(), 32), 2);
    EXPECT_EQ(partialRecordLength(*s), 0);
    EXPECT_EQ(recordFieldSpan(*s, 1, word).length, 4);
}

TEST(RecordCount, LargeValuesDoNotOverflow) {
    auto s = seg(-2147483647 - 1, 2147483647, 1);
    s->toFilesEnd = true;
    // file size - begin does not fit 32 bits: the count is clamped, not wrapped.
    EXPECT_EQ(computeRecordCount(s.get(), 2147483647), 2147483647);
    // A negative record length (never read from a type file) is not divided by.
    auto neg = seg(0, -2147483647 - 1, -1);
    EXPECT_EQ(computeRecordCount(neg.get(), 100), 0);
}

TEST(RecordCount, AnomalySegmentsCountTheirFields) {
    auto s = seg(0, 100, 10);
    s->anomaly = true;
    s->entries = {entry(0, "a"), entry(4, "b"), entry(8, "c")};
    EXPECT_EQ(computeRecordCount(s.get(), 100), 3);
}

TEST(UniqueNames, SmallestFreeNumberExactMatch) {
    SegmentList list;
    list.append(seg(0, 0, 1, "Seg0"));
    list.append(seg(0, 0, 1, "Seg2"));
    EXPECT_EQ(uniqueSegmentName(list), "Seg1");

    auto s = seg(0, 0, 1);
    s->entries = {entry(0, "M0"), entry(0, "m1")};
    EXPECT_EQ(uniqueMemo(s.get()), "M1");
    EXPECT_EQ(uniqueMemo(nullptr), "M0");

    // Built one entry at a time, the running names are those uniqueMemo
    // gives for the list so far, whatever names the entries bring along.
    auto grown = seg(0, 0, 1);
    UniqueNames memos("M");
    for (const char* given : {"", "M1", "", "M3", "M2", "", "x", "", ""}) {
        const std::string expected = uniqueMemo(grown.get());
        EXPECT_EQ(memos.next(), expected);
        const std::string taken = *given ? given : expected;
        grown->entries.push_back(entry(0, taken));
        memos.use(taken);
    }
}

TEST(NewObjects, DefaultsOfSegmentsAndEntries) {
    SegmentList list;
    auto s = newSegment(list, 1234);
    EXPECT_EQ(s->begin, 0);
    EXPECT_EQ(s->recordLength, 10);
    EXPECT_EQ(s->length, 1234);
    EXPECT_EQ(s->name, "Seg0");
    EXPECT_EQ(s->anomalyColumnWidths, (std::array<std::uint16_t, 5>{150, 70, 50, 50, 150}));
    list.append(std::move(s));
    list[0].begin = 40;
    list[0].length = 60;

    auto placed = newSegment(list, 1234);
    placeSegment(*placed, list);
    EXPECT_EQ(placed->begin, 100);
    EXPECT_EQ(placed->length, 0);
    EXPECT_EQ(placed->recordLength, 0);
    placeSegment(*placed, list, 7);
    EXPECT_EQ(placed->begin, 7);

    const TypeEntry e = newTypeEntry(7, std::nullopt, &list[0], -16);
    EXPECT_EQ(e.length, 4);
    EXPECT_EQ(e.columnWidth, 12 * 11 + 3);
    EXPECT_EQ(e.memo, "M0");
    const TypeEntry named = newTypeEntry(14, "a memo that is far too long", nullptr);
    EXPECT_EQ(named.memo, "a memo that is far t");
    EXPECT_EQ(named.length, 10);
}

TEST(NewObjects, EntryFromSelectionCopiesWithUniqueMemo) {
    auto s = seg(0, 0, 1);
    TypeEntry a = entry(2, "M0");
    a.kind = 7;
    a.length = 4;
    TypeEntry b = entry(6, "x");
    b.kind = 14;
    b.length = 9;
    s->entries = {a, b};
    const TypeEntry sel = newTypeEntryFrom(s.get(), 0, true);
    EXPECT_EQ(sel.kind, 7);
    EXPECT_EQ(sel.start, 2);
    EXPECT_EQ(sel.memo, "M1");
    const TypeEntry last = newTypeEntryFrom(s.get(), -1, true);
    EXPECT_EQ(last.kind, 14);
    EXPECT_EQ(last.length, 9);
    EXPECT_EQ(newTypeEntryFrom(s.get(), 0, false).kind, 0);
    auto empty = seg(0, 0, 1);
    EXPECT_EQ(newTypeEntryFrom(empty.get(), -1, true).kind, 0);
}

TEST(Sorting, StableByPositionAndClearsCurrent) {
    SegmentList list;
    list.append(seg(50, 10, 1, "c"));
    list.append(seg(0, 10, 1, "a"));
    list.append(seg(50, 10, 1, "d"));
    list.append(seg(-5, 10, 1, "neg"));
    list[0].entries = {entry(4, "x"), entry(0, "y"), entry(4, "z"), entry(0, "w")};
    list.setCurrent(&list[1]);
    sortSegments(list);
    EXPECT_EQ(list.current(), nullptr);
    std::string order;
    for (const auto& s : list)
        order += s->name + " ";
    EXPECT_EQ(order, "neg a c d ");
    std::string memos;
    for (const auto& e : list[2].entries)
        memos += e.memo;
    EXPECT_EQ(memos, "ywxz");
}

TEST(SegmentList, CloneAndFree) {
    SegmentList list;
    auto s = seg(3, 30, 3, "orig");
    s->entries = {entry(0, "e0"), entry(1, "e1")};
    s->raw[140] = 0x5A; // a reserved byte
    list.append(std::move(s));
    auto c = cloneSegment(list[0]);
    EXPECT_EQ(c->name, "orig");
    EXPECT_EQ(c->entries.size(), 2u);
    EXPECT_EQ(c->toImage(), list[0].toImage());
    c->entries[0].memo = "changed";
    EXPECT_EQ(list[0].entries[0].memo, "e0");

    list.append(std::move(c));
    list.setCurrent(&list[1]);
    freeSegment(list, &list[1]);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(list.current(), nullptr);
    clearSegments(list);
    EXPECT_TRUE(list.empty());
}

TEST(SegmentList, RowTexts) {
    auto s = seg(16, 32, 8, "Header");
    s->anomaly = true;
    EXPECT_EQ(segmentListRow(*s, 0),
              (std::array<std::string, 5>{"1", "Header", "16", "32", "true"}));
}

TEST(Images, FieldsLandAtTheirOffsets) {
    Segment s;
    s.begin = 0x01020304;
    s.recordCount = 5;
    s.recordLength = 16;
    s.length = 80;
    s.anomalyColumnWidths = {150, 70, 50, 50, 150};
    s.setName("A name longer than forty characters, which is cut");
    s.anomaly = true;
    s.toFilesEnd = true;
    s.entries.resize(3);
    const SegmentImage img = s.toImage();
    EXPECT_EQ(img[0], 0x04);
    EXPECT_EQ(img[3], 0x01);
    EXPECT_EQ(img[8], 16);
    EXPECT_EQ(img[16], 150);
    EXPECT_EQ(img[26], 40);
    EXPECT_EQ(img[27], 'A');
    EXPECT_EQ(img[108], 1);
    EXPECT_EQ(img[120], 3);
    EXPECT_EQ(img[136], 1);

    TypeEntry e;
    e.kind = 9;
    e.start = 0x1234;
    e.length = 4;
    e.columnWidth = 200;
    e.setMemo("temperature");
    const TypeEntryImage ei = e.toImage();
    EXPECT_EQ(ei[0], 9);
    EXPECT_EQ(ei[2], 0x34);
    EXPECT_EQ(ei[3], 0x12);
    EXPECT_EQ(ei[6], 200);
    EXPECT_EQ(ei[8], 11);
    EXPECT_EQ(ei[9], 't');
}

TEST(Images, ReservedBytesSurviveAReadAndAWrite) {
    TypeEntryImage ei{};
    ei[0] = 3;
    ei[1] = 0x77;  // reserved
    ei[40] = 0x99; // reserved tail
    ei[8] = 2;
    ei[9] = 'o';
    ei[10] = 'k';
    const TypeEntry e = TypeEntry::fromImage(ei);
    EXPECT_EQ(e.memo, "ok");
    EXPECT_EQ(e.toImage(), ei);

    SegmentImage si{};
    si[110] = 0xAA;
    si[150] = 0xBB;
    si[113] = 0xCC; // a memory-only slot: not carried
    std::int32_t fields = -1;
    const auto s = Segment::fromImage(si, &fields);
    EXPECT_EQ(fields, 0);
    const SegmentImage out = s->toImage();
    EXPECT_EQ(out[110], 0xAA);
    EXPECT_EQ(out[150], 0xBB);
    EXPECT_EQ(out[113], 0);
}

TEST(ColumnWidth, FromFontHeight) {
    EXPECT_EQ(columnWidthFor(4, -16), 51);
    EXPECT_EQ(columnWidthFor(4, 11), 8 * 4 + 3);
}
