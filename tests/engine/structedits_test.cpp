#include <gtest/gtest.h>

#include "checks.h"
#include "fixtures.h"
#include "locate.h"
#include "model.h"
#include "recordedits.h"
#include "segmentedits.h"

using namespace vm;
using fixtures::counting;
using fixtures::entry;
using fixtures::seg;
using fixtures::slices;
using fixtures::Work;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::int32_t> begins(const SegmentList& list) {
    std::vector<std::int32_t> out;
    for (const auto& s : list)
        out.push_back(s->begin);
    return out;
}

std::vector<std::string> names(const SegmentList& list) {
    std::vector<std::string> out;
    for (const auto& s : list)
        out.push_back(s->name);
    return out;
}

// ---- locating an offset ------------------------------------------------------------

TEST(Locate, CurrentSegmentFirstThenListOrder) {
    SegmentList list;
    Segment& a = list.append(seg("A", 0, 40, 10));
    Segment& b = list.append(seg("B", 20, 40, 4));
    Location hit = locateOffset(list, &b, 25, 100);
    EXPECT_EQ(hit.segment, &b);
    EXPECT_EQ(hit.record, 1);
    hit = locateOffset(list, nullptr, 25, 100);
    EXPECT_EQ(hit.segment, &a);
    EXPECT_EQ(hit.record, 2);
    // The current segment that misses is skipped, not tried twice.
    hit = locateOffset(list, &b, 5, 100);
    EXPECT_EQ(hit.segment, &a);
    // Relative offsets count from 0 inside the segment.
    hit = locateOffset(list, &b, 8, 100, false);
    EXPECT_EQ(hit.segment, &b);
    EXPECT_EQ(hit.record, 2);
}

TEST(Locate, RangesFollowTheFileAndAnomalyFields) {
    SegmentList list;
    Segment& tail = list.append(seg("Tail", 50, 10, 5));
    tail.toFilesEnd = true;
    Segment& over = list.append(seg("Over", 0, 1000, 0)); // runs past the end, no record length
    Segment& anomaly = list.append(seg("An", 200, 30, 30));
    anomaly.anomaly = true;
    anomaly.entries = {entry(1, 0, 2), entry(1, 10, 4), entry(1, 12, 1)};

    Location hit = locateOffset(list, &tail, 90, 100);
    EXPECT_EQ(hit.segment, &tail); // beyond its length, but it runs to the end of the file
    EXPECT_EQ(hit.record, 8);
    hit = locateOffset(list, &over, 30, 100);
    EXPECT_EQ(hit.segment, &over);
    EXPECT_EQ(hit.record, 0); // never divided by a record length of 0

    hit = locateOffset(list, &anomaly, 212, 300);
    EXPECT_EQ(hit.segment, &anomaly);
    EXPECT_EQ(hit.record, 1); // the first field in list order holding it
    tail.toFilesEnd = false;
    over.length = 150;
    hit = locateOffset(list, &anomaly, 205, 300); // between two fields, and in no other segment
    EXPECT_EQ(hit.segment, nullptr);
    EXPECT_EQ(locateMissText(hit, 205),
              "ERROR The position 205 this not defined any data in there!");
    hit = locateOffset(list, &anomaly, 300, 300);
    EXPECT_EQ(locateMissText(hit, 300), "ERROR The position 300is Lage Than the file's size!");
}

TEST(Locate, TheGotoIndexNamesARecordOfTheSegmentThatHoldsTheOffset) {
    // Against a literal reading: list the record starts of the segment the
    // offset was located in, and take the first at or after the offset.
    SegmentList list;
    Segment& a = list.append(seg("A", 0, 100, 20));
    Segment& c = list.append(seg("C", 300, 47, 10)); // a partial last record
    Segment& tail = list.append(seg("T", 380, 5, 7));
    tail.toFilesEnd = true;
    Segment& odd = list.append(seg("O", 200, 40, 1));
    odd.anomaly = true;
    odd.entries = {entry(1, 4, 2), entry(1, 10, 4)};
    const std::int64_t size = 420;
    for (Segment* current : {&a, &c, &odd})
        for (const bool absolute : {true, false})
            for (std::int64_t offset = -3; offset <= size + 3; ++offset) {
                const Location where = locateOffset(list, current, offset, size, absolute);
                const auto index = gotoIndex(where, offset, size, absolute);
                // Relative offsets name a place in the current segment only.
                if (!absolute) {
                    if (where.segment)
                        EXPECT_EQ(where.segment, current);
                    else
                        EXPECT_EQ(where.miss, Location::Miss::OutsideSegment);
                }
                std::optional<std::int64_t> expected;
                if (const Segment* s = where.segment) {
                    const std::int64_t low = absolute ? s->begin : 0;
                    const std::int64_t end = s->toFilesEnd ? size : std::min(s->end(), size);
                    const std::int64_t high = absolute ? end : end - s->begin;
                    if (s->anomaly) {
                        expected = where.record;
                        EXPECT_GE(offset, low + s->entries[where.record].start);
                    } else {
                        EXPECT_EQ(where.record, (offset - low) / s->recordLength);
                        for (std::int64_t i = 0; low + i * s->recordLength < high; ++i)
                            if (low + i * s->recordLength >= offset) {
                                expected = i;
                                break;
                            }
                    }
                }
                ASSERT_EQ(index, expected) << current->name << " " << absolute << " " << offset;
            }
    // Counted from a segment's start, an offset past it is said, not moved to.
    const Location past = locateOffset(list, &c, 47, size, false);
    EXPECT_EQ(locateMissText(past, 47), "ERROR The position 47 is not inside the segment C (47 "
                                        "bytes from its start)");
}

// ---- moving following segments ---------------------------------------------------

TEST(SegmentEdits, ShiftMovesOnlySegmentsFromTheOldEndOn) {
    SegmentList list;
    Segment& changed = list.append(seg("C", 100, 24, 8)); // grew by 8 from [100, 116)
    list.append(seg("Before", 10, 10, 1));
    list.append(seg("Inside", 110, 2, 1));
    list.append(seg("AtEnd", 116, 4, 1));
    list.append(seg("Later", 300, 4, 1));
    const auto moved = shiftFollowingSegments(list, changed, 8);
    EXPECT_EQ(begins(list), (std::vector<std::int32_t>{100, 10, 110, 124, 308}));
    EXPECT_EQ(moved.size(), 2u);
    changed.length = 0; // shrank by 24: [100, 124) became empty
    shiftFollowingSegments(list, changed, -24);
    EXPECT_EQ(begins(list), (std::vector<std::int32_t>{100, 10, 110, 100, 284}));
}

// ---- the segment actions --------------------------------------------------------------

TEST(SegmentEdits, NewAndInsertPlaceEmptySegmentsInEditMode) {
    SegmentList list;
    list.append(seg("Seg0", 10, 20, 5));
    list.append(seg("Seg2", 40, 20, 5));
    Segment& reset = addNewSegment(list, 500, false);
    EXPECT_EQ(reset.name, "Seg1");
    EXPECT_EQ(reset.begin, 0);
    EXPECT_EQ(reset.length, 500);
    EXPECT_EQ(reset.recordLength, 10);
    Segment& added = addNewSegment(list, 500, true);
    EXPECT_EQ(added.begin, 500); // after the last segment of the list, which is Seg1
    EXPECT_EQ(added.length, 0);
    EXPECT_EQ(added.recordLength, 0);
    Segment& inserted = addNewSegment(list, 500, true, 1);
    EXPECT_EQ(list.indexOf(&inserted), 1);
    EXPECT_EQ(inserted.begin, 40);
    EXPECT_EQ(inserted.length, 0);
    EXPECT_EQ(names(list), (std::vector<std::string>{"Seg0", "Seg4", "Seg2", "Seg1", "Seg3"}));
}

TEST(SegmentEdits, DeleteInEditModeTakesTheBytesAndMovesTheRestBack) {
    Work w(counting(60));
    SegmentList list;
    list.append(seg("A", 0, 10, 1));
    list.append(seg("B", 10, 20, 4));
    list.append(seg("C", 30, 30, 3));
    list.append(seg("Inside", 20, 5, 1)); // begins inside B
    FileResult r = deleteSegment(list, 1, &w.wf);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.delta, -20);
    Bytes expect = counting(60);
    expect.erase(expect.begin() + 10, expect.begin() + 30);
    EXPECT_EQ(w.bytes(), expect);
    EXPECT_EQ(names(list), (std::vector<std::string>{"A", "C", "Inside"}));
    EXPECT_EQ(begins(list), (std::vector<std::int32_t>{0, 10, 10}));

    // Reset mode: only the description goes.
    r = deleteSegment(list, 0, nullptr);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(w.bytes(), expect);
    EXPECT_EQ(begins(list), (std::vector<std::int32_t>{10, 10}));
}

TEST(SegmentEdits, PasteCopiesTheBytesBeforeTheSelectedSegment) {
    Bytes data = counting(200);
    Work w(data);
    SegmentList list;
    Segment& source = list.append(seg("Src", 0, 50, 10));
    source.entries = {entry(7, 0, 4, "v")};
    list.append(seg("At100", 100, 20, 10));
    list.append(seg("At120", 120, 20, 10));
    PasteResult p = pasteSegment(list, source, 1, &w.wf);
    ASSERT_TRUE(p.file.ok) << p.file.error;
    EXPECT_EQ(list.indexOf(p.segment), 1);
    EXPECT_EQ(p.segment->begin, 100);
    EXPECT_EQ(p.segment->entries.size(), 1u);
    EXPECT_EQ(begins(list), (std::vector<std::int32_t>{0, 100, 150, 170}));
    EXPECT_EQ(w.bytes(), slices(data, {{0, 100}, {0, 50}, {100, 200}}));

    // Without a selection the bytes go to the end of the file.
    p = pasteSegment(list, list[2], -1, &w.wf);
    ASSERT_TRUE(p.file.ok);
    EXPECT_EQ(p.segment, &list[4]);
    EXPECT_EQ(p.segment->begin, 250);
    EXPECT_EQ(w.bytes().size(), 270u);

    // Reset mode: the copy keeps the numbers and no byte moves.
    p = pasteSegment(list, source, 0, nullptr);
    ASSERT_TRUE(p.file.ok);
    EXPECT_EQ(list.indexOf(p.segment), 0);
    EXPECT_EQ(p.segment->begin, 0);
    EXPECT_EQ(p.segment->length, 50);
    EXPECT_EQ(w.bytes().size(), 270u);
}

// A ToFilesEnd segment pasted in front of others must not run over them to
// the end: deleting that copy would take their bytes too.
TEST(SegmentEdits, APastedToFilesEndCopyRunsToTheEndOnlyWhereItEndsWithTheFile) {
    Work w(counting(100));
    SegmentList list;
    list.append(seg("Head", 0, 30, 10));
    list.append(seg("Body", 30, 40, 10));
    Segment& tail = list.append(seg("Tail", 70, 10, 10)); // stored short: runs to 100
    tail.toFilesEnd = true;

    PasteResult p = pasteSegment(list, tail, 1, &w.wf);
    ASSERT_TRUE(p.file.ok) << p.file.error;
    EXPECT_FALSE(p.segment->toFilesEnd);
    EXPECT_EQ(p.segment->begin, 30);
    EXPECT_EQ(p.segment->length, 30); // all of Tail's bytes, not its stored 10
    EXPECT_EQ(begins(list), (std::vector<std::int32_t>{0, 30, 60, 100}));
    EXPECT_EQ(w.bytes(), slices(counting(100), {{0, 30}, {70, 100}, {30, 100}}));
    EXPECT_TRUE(segmentsSharingBytes(list, 1).empty());

    // Appended, the copy ends with the file and keeps running to its end.
    p = pasteSegment(list, list[3], -1, &w.wf);
    ASSERT_TRUE(p.file.ok);
    EXPECT_TRUE(p.segment->toFilesEnd);
    EXPECT_EQ(p.segment->end(), static_cast<std::int64_t>(w.bytes().size()));
}

TEST(SegmentEdits, DeletingBytesNamesEverySegmentThatSharesThem) {
    SegmentList list;
    list.append(seg("Header", 0, 32, 32));
    list.append(seg("All", 32, 992, 16));
    list.append(seg("Readings", 32, 528, 16));
    list.append(seg("Empty", 100, 0, 1)); // holds no byte
    list.append(seg("Ledger", 560, 464, 16));
    list.append(seg("Edge", 1024, 8, 8)); // begins where All ends
    EXPECT_EQ(deleteSegmentQuestion(list, 1),
              "Delete bytes 32 to 1023? They also hold Readings and Ledger.");
    EXPECT_EQ(deleteSegmentQuestion(list, 0), "Delete bytes 0 to 31?");
    EXPECT_EQ(deleteSegmentQuestion(list, 2), "Delete bytes 32 to 559? They also hold All.");
    list.append(seg("Over", 20, 20, 4));
    EXPECT_EQ(deleteSegmentQuestion(list, 1),
              "Delete bytes 32 to 1023? They also hold Readings, Ledger and Over.");
}

TEST(SegmentEdits, AFailingRewriteChangesNeitherListNorFile) {
    Work w(counting(40));
    SegmentList list;
    list.append(seg("A", 0, 20, 4));
    list.append(seg("B", 20, 20, 4));
    w.wf.tempDir = w.dir.file("missing") + "/";
    const std::string before = w.wf.name;
    EXPECT_FALSE(deleteSegment(list, 0, &w.wf).ok);
    PasteResult p = pasteSegment(list, list[1], 0, &w.wf);
    EXPECT_FALSE(p.file.ok);
    EXPECT_FALSE(p.file.error.empty());
    EXPECT_EQ(p.segment, nullptr);
    EXPECT_EQ(names(list), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(begins(list), (std::vector<std::int32_t>{0, 20}));
    EXPECT_EQ(w.wf.name, before);
    EXPECT_EQ(w.bytes(), counting(40));
}

TEST(SegmentEdits, DropsKeepTheMovedSegmentsInOrder) {
    auto make = [] {
        SegmentList list;
        for (const char* n : {"A", "B", "C", "D"})
            list.append(seg(n, 0, 1, 1));
        return list;
    };
    SegmentList list = make();
    moveSegments(list, {0}, -1); // below the last row
    EXPECT_EQ(names(list), (std::vector<std::string>{"B", "C", "D", "A"}));
    list = make();
    moveSegments(list, {1}, 1); // onto itself: before the next unselected row
    EXPECT_EQ(names(list), (std::vector<std::string>{"A", "B", "C", "D"}));
    moveSegments(list, {3}, 0);
    EXPECT_EQ(names(list), (std::vector<std::string>{"D", "A", "B", "C"}));
    moveSegments(list, {0, 2}, 2); // target selected: the next row below takes its place
    EXPECT_EQ(names(list), (std::vector<std::string>{"A", "D", "B", "C"}));
    moveSegments(list, {1, 2}, 3);
    EXPECT_EQ(names(list), (std::vector<std::string>{"A", "D", "B", "C"}));
    moveSegments(list, {0, 1}, 3);
    EXPECT_EQ(names(list), (std::vector<std::string>{"B", "A", "D", "C"}));
}

// ---- the editors' rules ----------------------------------------------------------

TEST(SegmentEditors, BeginLengthAndCountsFollowTheFile) {
    auto s = seg("S", 0, 50, 10);
    // Moved so that it would run past the end: it ends at the end instead.
    EXPECT_EQ(editSegmentBegin(*s, 80, 103), 2);
    EXPECT_EQ(s->length, 23);
    EXPECT_EQ(editSegmentBegin(*s, std::nullopt, 103), 2); // not a number: begin stays
    EXPECT_EQ(s->begin, 80);
    EXPECT_EQ(editSegmentBegin(*s, -5, 103), 2); // no begin before the file
    EXPECT_EQ(s->begin, 80);
    EXPECT_EQ(editSegmentBegin(*s, 200, 103), 0); // past the end: no records, never negative
    EXPECT_EQ(s->recordCount, 0);

    s = seg("S", 0, 50, 0); // record length 0 is never divided by
    EXPECT_EQ(editSegmentLength(*s, 40, 100), 0);
    EXPECT_EQ(editRecordLength(*s, 0, 100), 0);
    EXPECT_EQ(editRecordLength(*s, 8, 100), 5);
    EXPECT_EQ(s->recordCount, 0); // left for the next count

    s = seg("S", 10, 50, 10);
    s->toFilesEnd = true;
    EXPECT_EQ(editSegmentLength(*s, 5, 103), 9); // available: to the end of the file
    EXPECT_TRUE(editRecordCount(*s, 3, 103));
    EXPECT_EQ(s->length, 30);
    EXPECT_FALSE(editRecordCount(*s, 10, 103)); // 10 records would pass the end
    EXPECT_EQ(s->recordCount, 10);
    EXPECT_EQ(s->length, 30);
}

// Typing 200 into a Begin passes through 2 and 20; typing it back to 20
// passes through a begin past the end of a 100-byte file. No step of the way
// keeps its cut: the length counts from what it was before the typing.
TEST(SegmentEditors, ABeginTypedPastTheEndCutsNothingForGoodAndLightsIsOver) {
    SegmentList list;
    Segment& s = list.append(seg("S", 0, 50, 10));
    const std::int32_t before = s.length;
    for (int typed : {2, 20, 200})
        editSegmentBegin(s, typed, 100, before);
    EXPECT_EQ(s.length, 0); // never negative
    EXPECT_EQ(s.recordCount, 0);
    EXPECT_TRUE(checkSegments(list, 100, false) & kIsOver);
    EXPECT_EQ(computeRecordCount(&s, 100), 0);
    EXPECT_EQ(s.length, 0);

    editSegmentBegin(s, 20, 100, before);
    EXPECT_EQ(s.length, 50);
    EXPECT_EQ(s.recordCount, 5);
    EXPECT_FALSE(checkSegments(list, 100, false) & kIsOver);
    editSegmentBegin(s, 70, 100, before); // the end of the file cuts it, from 50
    EXPECT_EQ(s.length, 30);

    // An older type file's negative length still ends past the end of the file.
    s.begin = 200;
    s.length = -150;
    EXPECT_TRUE(checkSegments(list, 100, false) & kIsOver);
}

TEST(SegmentEditors, UpDownLimits) {
    auto s = seg("S", 90, 10, 10);
    EXPECT_EQ(steppedValue(SegmentNumber::Begin, 95, 10, *s, 100), std::nullopt);
    EXPECT_EQ(steppedValue(SegmentNumber::Begin, 95, 4, *s, 100), 99);
    EXPECT_EQ(steppedValue(SegmentNumber::Begin, 3, -10, *s, 100), 0);
    EXPECT_EQ(steppedValue(SegmentNumber::Length, 9, 1, *s, 100), 10);
    EXPECT_EQ(steppedValue(SegmentNumber::Length, 10, 1, *s, 100), std::nullopt);
    EXPECT_EQ(steppedValue(SegmentNumber::RecordLength, 1, -10, *s, 100), 1);
    EXPECT_EQ(steppedValue(SegmentNumber::RecordCount, 0, -1, *s, 100), 0);
}

TEST(SegmentEditors, PackingLaysFieldsEndToEndAndRefusesPast65535) {
    auto s = seg("S", 0, 100, 20);
    s->entries = {entry(7, 8, 4), entry(5, 0, 2), entry(10, 2, 8)};
    ASSERT_TRUE(packEntries(*s, {0, 1, 2}));
    EXPECT_EQ(s->entries[0].start, 0);
    EXPECT_EQ(s->entries[1].start, 4);
    EXPECT_EQ(s->entries[2].start, 6);
    ASSERT_TRUE(packEntries(*s, {2, 0, 1}));
    EXPECT_EQ(s->entries[2].start, 0);
    EXPECT_EQ(s->entries[1].start, 12);
    s->entries = {entry(15, 0, 40000), entry(15, 0, 30000), entry(1, 5, 1)};
    EXPECT_FALSE(packEntries(*s, {0, 1, 2})); // the third would start at 70000
    EXPECT_EQ(s->entries[1].start, 0);
    EXPECT_EQ(s->entries[2].start, 5);
}

// ---- records ----------------------------------------------------------------------

TEST(RecordEdits, DialogInputIsCheckedWithTheDialogsMessages) {
    AddRecordsRequest add;
    EXPECT_EQ(readAddRecords("1a", "1", false, 5, add),
              "The Insert Position \"1a\" Is Not a Valid Value");
    EXPECT_EQ(readAddRecords("6", "1", false, 5, add),
              "The Insert Position \"6\" Is Not a Valid Value");
    EXPECT_EQ(readAddRecords("-3", "1", true, 5, add), ""); // appending ignores the position
    EXPECT_EQ(readAddRecords("2", "-1", false, 5, add),
              "The Add Record Count \"-1\" Is Not a Valid Value");
    EXPECT_EQ(readAddRecords(" $5", "many", false, 5, add), "");
    EXPECT_EQ(add.position, 5);
    EXPECT_EQ(add.count, 1); // a count that is no number inserts one record

    DeleteRecordsRequest del;
    EXPECT_EQ(readDeleteRecords("5", "5", 5, del), "The Deleted Begin: \"5\" Is Not a Valid Value");
    EXPECT_EQ(readDeleteRecords("1", "", 5, del), "The Deleted End \"\" Is Not a Valid Value");
    EXPECT_EQ(readDeleteRecords("3", "2", 5, del),
              "The Deleted End Must Bigger Than Deleted Begin");
    EXPECT_EQ(readDeleteRecords("2", "4", 5, del), "");
    EXPECT_EQ(del.first, 2);
    EXPECT_EQ(del.last, 4);
}

TEST(RecordEdits, InsertCopiesTheNeighbourAndMovesLaterSegments) {
    Bytes data = counting(100);
    Work w(data);
    SegmentList list;
    Segment& s = list.append(seg("R", 10, 40, 8)); // 5 records
    list.append(seg("Next", 50, 20, 4));
    list.append(seg("Head", 0, 10, 2));
    AddRecordsRequest req;
    req.position = 3;
    req.count = 2;
    req.fillNear = true;
    FileResult r = addRecordsToSegment(w.wf, list, s, req);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(w.bytes(), slices(data, {{0, 34}, {34, 42}, {34, 42}, {34, 100}}));
    EXPECT_EQ(s.recordCount, 7);
    EXPECT_EQ(s.length, 56);
    EXPECT_EQ(begins(list), (std::vector<std::int32_t>{10, 66, 0}));

    // Right after the last record the neighbour is the last record, not what follows.
    req.position = 7;
    req.count = 1;
    r = addRecordsToSegment(w.wf, list, s, req);
    ASSERT_TRUE(r.ok) << r.error;
    const Bytes now = w.bytes();
    EXPECT_EQ(Bytes(now.begin() + 66, now.begin() + 74),
              Bytes(data.begin() + 42, data.begin() + 50));

    // A segment without records gets zero bytes, even when asked to copy.
    Segment& empty = list.append(seg("E", 20, 0, 4));
    req.position = 0;
    r = addRecordsToSegment(w.wf, list, empty, req);
    ASSERT_TRUE(r.ok) << r.error;
    const Bytes after = w.bytes();
    EXPECT_EQ(Bytes(after.begin() + 20, after.begin() + 24), Bytes(4, 0));
}

TEST(RecordEdits, DeleteShrinksTheSegmentAndMovesLaterSegmentsBack) {
    Bytes data = counting(100);
    Work w(data);
    SegmentList list;
    Segment& s = list.append(seg("R", 0, 48, 8));
    list.append(seg("Next", 48, 20, 4));
    DeleteRecordsRequest req{2, 4};
    FileResult r = deleteRecordsFromSegment(w.wf, list, s, req);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.delta, -24);
    EXPECT_EQ(w.bytes(), slices(data, {{0, 16}, {40, 100}}));
    EXPECT_EQ(s.length, 24);
    EXPECT_EQ(s.recordCount, 3);
    EXPECT_EQ(list[1].begin, 24);
}

TEST(RecordEdits, AnomalySegmentsAndFailedRewritesChangeNothing) {
    Work w(counting(100));
    SegmentList list;
    Segment& an = list.append(seg("An", 0, 10, 10));
    an.anomaly = true;
    EXPECT_NE(addRecordsToSegment(w.wf, list, an, {}).error.find("Anomaly"), std::string::npos);
    EXPECT_FALSE(deleteRecordsFromSegment(w.wf, list, an, {0, 0}).ok);

    Segment& s = list.append(seg("R", 10, 200, 10)); // runs past the end: counted as 9 records
    list.append(seg("Next", 210, 10, 1));
    w.wf.tempDir = w.dir.file("missing") + "/";
    FileResult r = deleteRecordsFromSegment(w.wf, list, s, {0, 1});
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(s.length, 200); // as it was, not as counted
    EXPECT_EQ(list[2].begin, 210);
    EXPECT_EQ(w.bytes(), counting(100));
}

} // namespace
