#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "fixtures.h"
#include "runcli.h"
#include "tempdir.h"
#include "typefile.h"

using namespace vm;
using fixtures::entry;
using fixtures::seg;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A data file of two segments: "Recs", three 4-byte records at 2 holding a
// 2Bsigned and a 2-byte string, and "Tail" behind it.
struct FieldFiles {
    TempDir dir;
    TempDir temp; // the tool's temporary folder, to see that no working copy is left
    std::string data = dir.file("d.bin");
    std::string type = data + ".type";

    FieldFiles() {
        writeBytes(data, {0xAA, 0xBB, 0x2C, 0x01, '1', '2', 0xFF, 0xFF, 'x', 'y', 0x07, 0x00, '9',
                          0, 0xCC, 0xDD});
        SegmentList list;
        list.append(seg("Recs", 2, 12, 4));
        list[0].entries = {entry(5, 0, 2, "n"), entry(14, 2, 2, "s")};
        list.append(seg("Tail", 14, 2, 1));
        list[1].entries = {entry(1, 0, 1, "t")};
        ViewSettings v;
        v.setPositionFormat(2);
        EXPECT_TRUE(writeTypeFile(list, v, DataHintFlags{}, type).ok);
        ::setenv("TMPDIR", temp.path().c_str(), 1);
    }
    ~FieldFiles() { ::unsetenv("TMPDIR"); }

    SegmentList segments() {
        TypeReadResult r = readTypeFile(type, static_cast<std::int64_t>(readBytes(data).size()));
        EXPECT_TRUE(r.ok) << r.message;
        return std::move(r.content.segments);
    }
    bool tempIsEmpty() const { return std::filesystem::is_empty(temp.path()); }
};

} // namespace

TEST(CliFields, AddFieldFillsOrConvertsAndMovesTheFollowingSegment) {
    FieldFiles f;
    CliRun r = runCli({"add-field", f.data, "Recs", "2Bunsigned", "2", "--value", "258"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "2\t2Bunsigned\t4\t2\tM0\n");
    EXPECT_EQ(readBytes(f.data),
              (Bytes{0xAA, 0xBB, 0x2C, 0x01, '1',  '2', 2, 1, 0xFF, 0xFF, 'x',
                     'y',  2,    1,    0x07, 0x00, '9', 0, 2, 1,    0xCC, 0xDD}));
    SegmentList list = f.segments();
    EXPECT_EQ(list[0].recordLength, 6);
    EXPECT_EQ(list[0].length, 18);
    EXPECT_EQ(list[1].begin, 20);

    // Before field 1, converted from the string: "12" and "9" convert, "xy" does not,
    // which refuses the whole edit and leaves both files as they were.
    const Bytes dataBefore = readBytes(f.data);
    const Bytes typeBefore = readBytes(f.type);
    r = runCli(
        {"add-field", f.data, "#1", "1Bunsigned", "1", "--at", "1", "--from", "1", "--memo", "c"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot be converted"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(f.data), dataBefore);
    EXPECT_EQ(readBytes(f.type), typeBefore);

    r = runCli(
        {"add-field", f.data, "#1", "string", "3", "--at", "1", "--from", "0", "--memo", "c"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "1\tstring\t2\t3\tc\n");
    list = f.segments();
    ASSERT_EQ(list[0].entries.size(), 4u);
    EXPECT_EQ(list[0].entries[2].start, 5);
    EXPECT_EQ(list[0].entries[3].start, 7);
    EXPECT_EQ(list[1].begin, 29);
    const Bytes d = readBytes(f.data);
    EXPECT_EQ(Bytes(d.begin() + 2, d.begin() + 11),
              (Bytes{0x2C, 0x01, '3', '0', '0', '1', '2', 2, 1}));
    EXPECT_EQ(Bytes(d.begin() + 13, d.begin() + 16), (Bytes{'-', '1', 0}));
    EXPECT_TRUE(f.tempIsEmpty());
}

TEST(CliFields, DeleteFieldsAndChangeKindRewriteEveryRecord) {
    FieldFiles f;
    CliRun r = runCli({"change-kind", f.data, "Recs", "1", "4Bsigned", "4"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "1\t4Bsigned\t2\t4\ts\n");
    // "xy" is no number: zero bytes, the other values converted.
    EXPECT_EQ(readBytes(f.data), (Bytes{0xAA, 0xBB, 0x2C, 0x01, 12,   0, 0, 0, 0xFF, 0xFF, 0,
                                        0,    0,    0,    0x07, 0x00, 9, 0, 0, 0,    0xCC, 0xDD}));
    EXPECT_EQ(f.segments()[1].begin, 20);

    r = runCli({"delete-fields", f.data, "Recs", "0", "--type", f.type});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readBytes(f.data),
              (Bytes{0xAA, 0xBB, 12, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0xCC, 0xDD}));
    SegmentList list = f.segments();
    ASSERT_EQ(list[0].entries.size(), 1u);
    EXPECT_EQ(list[0].entries[0].start, 0);
    EXPECT_EQ(list[0].recordLength, 4);
    EXPECT_EQ(list[1].begin, 14);
    EXPECT_TRUE(f.tempIsEmpty());

    // Signed to unsigned of the same size keeps every byte: the data file is
    // left as it is (the same file), only the structure changes.
    const Bytes before = readBytes(f.data);
    const auto id = fileId(f.data);
    r = runCli({"change-kind", f.data, "Recs", "0", "4Bunsigned", "4"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readBytes(f.data), before);
    EXPECT_EQ(fileId(f.data), id);
    EXPECT_EQ(f.segments()[0].entries[0].kind, 8);
}

TEST(CliFields, RefusalsLeaveBothFilesUntouched) {
    FieldFiles f;
    const Bytes dataBefore = readBytes(f.data);
    const Bytes typeBefore = readBytes(f.type);
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"change-kind", f.data, "Recs", "1", "string", "255"},
         "The type length must between 1 to 254"},
        {{"change-kind", f.data, "Recs", "1", "string", "2"}, "already has that kind and length"},
        {{"add-field", f.data, "Recs", "string", "0"}, "The type length must between 1 to 254"},
        {{"add-field", f.data, "Recs", "4Bsigned", "2"}, "A 4Bsigned field is 4 bytes long"},
        {{"add-field", f.data, "Recs", "1Bsigned", "1", "--at", "2"},
         "Insert Position mast betueen 0 To 1"},
        {{"add-field", f.data, "Recs", "2Bsigned", "2", "--value", "abc"},
         "'abc' is not a value of kind 2Bsigned"},
        {{"add-field", f.data, "Recs", "Word", "2"}, "Unknown kind: Word"},
        {{"delete-fields", f.data, "Recs", "0", "2"}, "No field 2: the segment has 2 fields"},
        {{"delete-fields", f.data, "#3", "0"}, "No segment #3"},
        {{"delete-fields", f.data, "Recs", "0", "--type", f.dir.file("none.type")},
         "Type file not found"},
    };
    for (const auto& c : cases) {
        const CliRun r = runCli(c.args);
        EXPECT_EQ(r.code, 1) << c.args[0] << ' ' << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(readBytes(f.data), dataBefore);
    EXPECT_EQ(readBytes(f.type), typeBefore);
    EXPECT_TRUE(f.tempIsEmpty());
}
