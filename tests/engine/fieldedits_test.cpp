#include <cstring>

#include <gtest/gtest.h>

#include "codec.h"
#include "fieldedits.h"
#include "fixtures.h"
#include "kinds.h"
#include "segmentedits.h"

using namespace vm;
using fixtures::entry;
using fixtures::Work;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<Segment> records(std::int32_t begin, std::int32_t recLen, std::int32_t count) {
    auto s = fixtures::seg("S", begin, recLen * count, recLen);
    s->recordCount = count;
    return s;
}

std::vector<int> starts(const Segment& s) {
    std::vector<int> out;
    for (const TypeEntry& e : s.entries)
        out.push_back(e.start);
    return out;
}

std::vector<std::string> memos(const Segment& s) {
    std::vector<std::string> out;
    for (const TypeEntry& e : s.entries)
        out.push_back(e.memo);
    return out;
}

} // namespace

TEST(FieldEdits, ResetModeAddInsertAndDeleteOnlyTouchTheDescription) {
    auto s = records(0, 12, 1);
    s->entries = {entry(14, 0, 6, "M0"), entry(7, 6, 4, "b")};

    // Add with nothing selected copies the last entry behind its end.
    EXPECT_EQ(addTypeDescription(*s, -1), 2u);
    EXPECT_EQ(s->entries[2].kind, 7);
    EXPECT_EQ(s->entries[2].length, 4);
    EXPECT_EQ(s->entries[2].start, 10);
    EXPECT_EQ(s->entries[2].memo, "M1");
    // With a row selected the copy is of that row, still placed behind the last.
    EXPECT_EQ(addTypeDescription(*s, 0), 3u);
    EXPECT_EQ(s->entries[3].kind, 14);
    EXPECT_EQ(s->entries[3].length, 6);
    EXPECT_EQ(s->entries[3].start, 14);

    // Insert keeps the copied start and stands before the selected row.
    EXPECT_EQ(insertTypeDescription(*s, 1), 1u);
    EXPECT_EQ(starts(*s), (std::vector<int>{0, 6, 6, 10, 14}));
    EXPECT_EQ(memos(*s), (std::vector<std::string>{"M0", "M3", "b", "M1", "M2"}));

    // Deleting rows in any order leaves the others' starts: the bytes become a gap.
    WorkingFile none;
    const FieldEdit d = deleteFields(StructMode::Reset, none, *s, {3, 1, 3});
    EXPECT_TRUE(d.ok && d.changed && !d.bytesMoved);
    EXPECT_EQ(starts(*s), (std::vector<int>{0, 6, 14}));

    // Nothing may change with neither permission.
    EXPECT_FALSE(deleteFields(StructMode::ReadOnly, none, *s, {0}).ok);
    EXPECT_EQ(s->entries.size(), 3u);

    // On an empty list add makes a 1Bsigned field at 0.
    auto empty = records(0, 4, 1);
    addTypeDescription(*empty, -1);
    EXPECT_EQ(empty->entries[0].kind, 0);
    EXPECT_EQ(empty->entries[0].start, 0);
    EXPECT_EQ(empty->entries[0].memo, "M0");
}

TEST(FieldEdits, EditModeDeleteOfTwoFieldsRemovesTheirBytesAndMovesWhatFollows) {
    // Records of 8 bytes: a(0,2) b(2,1) c(3,3) d(6,2); a and c go.
    Bytes data = {0xF0, 0xF1};
    for (std::uint8_t r = 0; r < 3; ++r)
        for (std::uint8_t i = 0; i < 8; ++i)
            data.push_back(static_cast<std::uint8_t>(r * 16 + i));
    data.insert(data.end(), {0xE0, 0xE1, 0xE2});
    Work w(data);
    SegmentList list;
    Segment& s = list.append(records(2, 8, 3));
    s.entries = {entry(5, 0, 2, "a"), entry(1, 2, 1, "b"), entry(14, 3, 3, "c"),
                 entry(6, 6, 2, "d")};
    Segment& before = list.append(fixtures::seg("Before", 0, 2, 1));
    Segment& after = list.append(fixtures::seg("After", 26, 3, 1));

    const FieldEdit e = deleteFields(StructMode::Edit, w.wf, s, {2, 0});
    ASSERT_TRUE(e.ok) << e.error;
    EXPECT_TRUE(e.bytesMoved);
    EXPECT_EQ(e.delta, -15);
    EXPECT_EQ(w.bytes(), (Bytes{0xF0, 0xF1, 0x02, 0x06, 0x07, 0x12, 0x16, 0x17, 0x22, 0x26, 0x27,
                                0xE0, 0xE1, 0xE2}));
    EXPECT_EQ(memos(s), (std::vector<std::string>{"b", "d"}));
    EXPECT_EQ(starts(s), (std::vector<int>{0, 1}));
    EXPECT_EQ(s.recordLength, 3);
    EXPECT_EQ(s.length, 9);

    shiftFollowingSegments(list, s, e.delta);
    EXPECT_EQ(after.begin, 11);
    EXPECT_EQ(before.begin, 0);
    EXPECT_EQ(s.begin, 2);
}

TEST(FieldEdits, EditModePasteWithoutSelectionAppendsCopiedBytesToEveryRecord) {
    Work w({1, 2, 3, 4, 5, 6, 7, 8, 9});
    auto s = records(0, 3, 3);
    s->entries = {entry(6, 0, 2, "w"), entry(1, 2, 1, "b")};
    FieldClipboard clip;
    clip.copy(*s, {1, 0}); // row order, whatever order the rows came in
    ASSERT_EQ(clip.entries().size(), 2u);
    EXPECT_EQ(clip.entries()[0].memo, "w");

    const FieldEdit e = pasteFields(StructMode::Edit, w.wf, *s, clip, -1);
    ASSERT_TRUE(e.ok) << e.error;
    EXPECT_EQ(e.delta, 9);
    EXPECT_EQ(w.bytes(), (Bytes{1, 2, 3, 1, 2, 3, 4, 5, 6, 4, 5, 6, 7, 8, 9, 7, 8, 9}));
    EXPECT_EQ(starts(*s), (std::vector<int>{0, 2, 3, 5}));
    EXPECT_EQ(s->recordLength, 6);

    // Pasting before a row puts the copies at its start and moves it and the rest up.
    clip.copy(*s, {1});
    const FieldEdit p = pasteFields(StructMode::Edit, w.wf, *s, clip, 1);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(starts(*s), (std::vector<int>{0, 2, 3, 4, 6}));
    EXPECT_EQ(w.bytes()[2], 3);
    EXPECT_EQ(w.bytes()[3], 3);
    // An empty clipboard pastes nothing and leaves the file alone.
    const std::string name = w.wf.name;
    clip.clear();
    const FieldEdit none = pasteFields(StructMode::Edit, w.wf, *s, clip, -1);
    EXPECT_TRUE(none.ok && !none.changed);
    EXPECT_EQ(w.wf.name, name);
}

TEST(FieldEdits, ClipboardCrossesSegmentsOnlyInResetMode) {
    auto a = records(0, 10, 1);
    a->entries = {entry(7, 4, 4, "x"), entry(1, 8, 1, "y")};
    auto b = records(10, 20, 1);
    b->entries = {entry(0, 0, 1, "p"), entry(0, 1, 1, "q")};
    WorkingFile none;

    FieldClipboard clip;
    clip.copy(*a, {0, 1});
    clip.segmentShown(true, StructMode::Reset); // another segment selected
    ASSERT_FALSE(clip.empty());
    const FieldEdit e = pasteFields(StructMode::Reset, none, *b, clip, 1);
    ASSERT_TRUE(e.ok && e.changed);
    EXPECT_EQ(memos(*b), (std::vector<std::string>{"p", "x", "y", "q"}));
    EXPECT_EQ(starts(*b), (std::vector<int>{0, 4, 8, 1}));
    // A paste keeps the clipboard; without drop nothing empties it.
    clip.segmentShown(false, StructMode::Edit);
    EXPECT_EQ(clip.entries().size(), 2u);
    // In edit mode selecting another segment empties it, so nothing can be pasted.
    clip.segmentShown(true, StructMode::Edit);
    EXPECT_TRUE(clip.empty());
}

TEST(FieldEdits, FrameRulesForSeveralFieldsAndEachMode) {
    auto s = records(0, 20, 1);
    s->entries = {entry(7, 0, 4, "a"), entry(14, 4, 2, "b"), entry(14, 8, 2, "c")};

    FrameState f = frameState(s.get(), {1, 2}, StructMode::Reset, true);
    EXPECT_EQ(f.kind, 14);
    EXPECT_EQ(f.length, 2);
    EXPECT_FALSE(f.start); // c does not follow b
    EXPECT_TRUE(f.lengthEnabled);
    EXPECT_FALSE(f.memoEnabled);
    EXPECT_EQ(frameState(s.get(), {0, 1}, StructMode::Reset, true).start, 0);
    EXPECT_FALSE(frameState(s.get(), {0, 1}, StructMode::Reset, true).lengthEnabled);
    // Edit mode: only the memo, also for several fields; neither mode, or a
    // frame bound read-only: nothing.
    f = frameState(s.get(), {0, 1}, StructMode::Edit, true);
    EXPECT_FALSE(f.kindEnabled || f.startEnabled || f.lengthEnabled);
    EXPECT_TRUE(f.memoEnabled);
    f = frameState(s.get(), {1}, StructMode::ReadOnly, true);
    EXPECT_FALSE(f.kindEnabled || f.startEnabled || f.lengthEnabled || f.memoEnabled);
    f = frameState(s.get(), {1}, StructMode::Reset, false);
    EXPECT_FALSE(f.kindEnabled || f.startEnabled || f.lengthEnabled || f.memoEnabled);

    // A start cascade that a field could not hold changes nothing, rather
    // than wrapping round.
    EXPECT_FALSE(frameSetStart(*s, {0, 1, 2}, "65532"));
    EXPECT_FALSE(frameSetStart(*s, {0}, "70000"));
    EXPECT_FALSE(frameSetStart(*s, {0}, "-1"));
    EXPECT_EQ(starts(*s), (std::vector<int>{0, 4, 8}));
    EXPECT_TRUE(frameSetStart(*s, {1, 2}, "$10"));
    EXPECT_EQ(starts(*s), (std::vector<int>{0, 16, 18}));

    EXPECT_FALSE(frameSetLength(*s, {1}, "0"));
    EXPECT_TRUE(frameSetMemo(*s, {0}, "a very long memo text that is cut"));
    EXPECT_EQ(s->entries[0].memo, "a very long memo tex");
}

TEST(FieldEdits, TransformOkAndLengthRules) {
    const TypeEntry src = entry(14, 4, 12, "s");
    EXPECT_FALSE(transformChangesField(src, 14, "12"));
    EXPECT_TRUE(transformChangesField(src, 14, "10"));
    EXPECT_TRUE(transformChangesField(src, 15, "12"));
    EXPECT_FALSE(transformChangesField(src, 14, " 0xC"));

    EXPECT_EQ(transformTarget(src, 14, "255").error, kTypeLengthText);
    EXPECT_EQ(transformTarget(src, 14, "0").error, kTypeLengthText);
    EXPECT_EQ(transformTarget(src, 14, "abc").error, kTypeLengthText);
    // The full value counts: 65537 is not a length of 1 in disguise.
    EXPECT_EQ(transformTarget(src, 14, "65537").error, kTypeLengthText);
    const TargetResult ok = transformTarget(src, 15, "254");
    ASSERT_TRUE(ok.entry);
    EXPECT_EQ(ok.entry->kind, 15);
    EXPECT_EQ(ok.entry->length, 254);
    EXPECT_EQ(ok.entry->start, 4);
    EXPECT_EQ(ok.entry->memo, "s");
    EXPECT_FALSE(transformTarget(src, 7, "2").entry); // a 4Bsigned is 4 bytes
}

// The dialog offers the kind's zero bytes decoded as its default value. Taken
// back as typed, that text must give those bytes again for every kind and
// length, even where the decoded text is a placeholder (a zero character shows
// as 0x80, which would encode as 0x80).
TEST(FieldEdits, TheDefaultValueOfEveryKindFillsZeroBytes) {
    auto s = records(0, 8, 1);
    s->entries = {entry(7, 0, 4, "a")};
    const Bytes zeros(kMaxValueBytes, 0);
    for (int kind = 0; kind < kKindCount; ++kind) {
        const KindInfo& k = *kindInfo(kind);
        for (int length : {k.defaultLength, 1, 7, 254}) {
            if (!k.variableLength && length != k.defaultLength)
                continue;
            NewFieldRequest r;
            r.kind = kind;
            r.length = length;
            r.fillText = decodeValue(zeros, kind, length);
            r.fillMustEncode = true;
            const NewFieldResult f = prepareNewField(*s, r);
            ASSERT_TRUE(f.field) << k.name << " " << length << ": " << f.error;
            EXPECT_EQ(f.field->fill, Bytes(static_cast<std::size_t>(length), 0))
                << k.name << " " << length << " shown as '" << r.fillText << "'";
        }
    }
}

TEST(FieldEdits, NewFieldRequestsFollowTheDialogsRules) {
    auto s = records(0, 8, 1);
    s->entries = {entry(7, 0, 4, "a"), entry(7, 4, 4, "b")};
    NewFieldRequest r;
    r.kind = 6;
    r.length = 2;
    r.memo = "n";
    r.fillText = "258";

    NewFieldResult f = prepareNewField(*s, r);
    ASSERT_TRUE(f.field) << f.error;
    EXPECT_EQ(f.field->entry.start, 8);
    EXPECT_EQ(f.field->position, 2u);
    EXPECT_EQ(f.field->fill, (Bytes{2, 1}));

    r.insertIndex = 1;
    f = prepareNewField(*s, r);
    ASSERT_TRUE(f.field);
    EXPECT_EQ(f.field->entry.start, 4);
    r.insertIndex = 2;
    EXPECT_EQ(prepareNewField(*s, r).error, "Insert Position mast betueen 0 To 1");
    r.insertIndex.reset();

    // A fill text that is no value gives zeros in the dialog, a refusal on demand.
    r.fillText = "x";
    f = prepareNewField(*s, r);
    ASSERT_TRUE(f.field);
    EXPECT_EQ(f.field->fill, (Bytes{0, 0}));
    r.fillMustEncode = true;
    EXPECT_FALSE(prepareNewField(*s, r).field);

    r.convert = true;
    EXPECT_EQ(prepareNewField(*s, r).error, kNoSourceText);
    r.sourceIndex = 5;
    EXPECT_EQ(prepareNewField(*s, r).error, "No field 5: the segment has 2 fields");

    r = {};
    r.kind = 14;
    r.length = 255;
    EXPECT_EQ(prepareNewField(*s, r).error, kTypeLengthText);
}

TEST(FieldEdits, AddedFieldsTakeTheirRowAndConvertTheWholeSourceValue) {
    // Records: "1234" then a 1Bunsigned; o overlaps t.
    Bytes data = {'1', '2', '3', '4', 9, '7', '7', 0, 0, 8};
    Work w(data);
    auto s = records(0, 5, 2);
    s->entries = {entry(14, 0, 4, "t"), entry(1, 0, 1, "o"), entry(1, 4, 1, "u")};

    // Insert before row 1, whose start 0 row 0 shares: it still lands at row 1.
    NewFieldRequest r;
    r.kind = 6;
    r.length = 2;
    r.memo = "n";
    r.insertIndex = 1;
    r.convert = true;
    r.sourceIndex = 0;
    NewFieldResult f = prepareNewField(*s, r);
    ASSERT_TRUE(f.field) << f.error;
    FieldEdit e = addField(w.wf, *s, *f.field);
    ASSERT_TRUE(e.ok) << e.error;
    EXPECT_EQ(e.delta, 4);
    EXPECT_EQ(memos(*s), (std::vector<std::string>{"t", "n", "o", "u"}));
    EXPECT_EQ(starts(*s), (std::vector<int>{2, 0, 2, 6}));
    // The whole string is converted: 1234 = 0x04D2, and "77" gives 77.
    EXPECT_EQ(w.bytes(), (Bytes{0xD2, 0x04, '1', '2', '3', '4', 9, 77, 0, '7', '7', 0, 0, 8}));

    // A 1-byte field converted from a float reads all four bytes of it.
    Bytes floats(8, 0);
    const float values[2] = {300.0f, -2.5f};
    std::memcpy(floats.data(), values, sizeof values);
    Work fw(floats);
    auto fs = records(0, 4, 2);
    fs->entries = {entry(9, 0, 4, "f")};
    r = {};
    r.kind = 0;
    r.length = 1;
    r.convert = true;
    r.sourceIndex = 0;
    f = prepareNewField(*fs, r);
    ASSERT_TRUE(f.field) << f.error;
    e = addField(fw.wf, *fs, *f.field);
    ASSERT_TRUE(e.ok) << e.error;
    EXPECT_EQ(fs->entries.back().start, 4);
    EXPECT_EQ(fw.bytes()[4], 300 & 0xFF);
    EXPECT_EQ(fw.bytes()[9], 0xFE); // -2.5 rounds to even: -2
}

TEST(FieldEdits, ConvertingAFieldZeroesWhatCannotBeConverted) {
    Work w({'4', '2', 'a', 'b', '7', 0});
    SegmentList list;
    Segment& s = list.append(records(0, 2, 3));
    s.entries = {entry(14, 0, 2, "s")};
    Segment& next = list.append(fixtures::seg("N", 6, 0, 1));
    const TargetResult t = transformTarget(s.entries[0], 7, "4");
    ASSERT_TRUE(t.entry);
    const FieldEdit e = convertField(w.wf, s, 0, *t.entry);
    ASSERT_TRUE(e.ok) << e.error;
    EXPECT_EQ(e.delta, 6);
    EXPECT_EQ(w.bytes(), (Bytes{42, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0}));
    EXPECT_EQ(s.entries[0].kind, 7);
    EXPECT_EQ(s.entries[0].columnWidth, columnWidthFor(11, kDefaultFontHeight));
    shiftFollowingSegments(list, s, e.delta);
    EXPECT_EQ(next.begin, 12);
}
