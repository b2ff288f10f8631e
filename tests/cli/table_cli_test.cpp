#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "runcli.h"
#include "tempdir.h"
#include "workfolder.h"
#include "typefile.h"

using namespace vm;
using fixtures::entry;
using fixtures::seg;

namespace {

using Bytes = std::vector<std::uint8_t>;

// "Recs": 4 records of 4 bytes at 4 (a 1Bunsigned, a 1BChar and a 2Bsigned),
// between a head and a tail segment.
struct Files : DataAndType {
    Files() {
        writeBytes(data, {9,    9, 9,   9, 1, 'a', 0x10, 0, 2, 'b', 0xFF,
                          0xFF, 3, 'c', 0, 1, 4,   'd',  5, 0, 7,   7});
        SegmentList list;
        list.append(seg("Head", 0, 4, 4)).entries = {entry(8, 0, 4, "h")};
        list.append(seg("Recs", 4, 16, 4)).entries = {entry(1, 0, 1, "n"), entry(3, 1, 1, "c"),
                                                      entry(5, 2, 2, "w")};
        list.append(seg("Tail", 20, 2, 2)).entries = {entry(1, 0, 1, "t")};
        for (auto& s : list)
            s->recordCount = s->length / s->recordLength;
        EXPECT_TRUE(writeTypeFile(list, ViewSettings{}, DataHintFlags{}, type).ok);
    }
};

class CliTables : public CliWorkFolder {};

} // namespace

TEST_F(CliTables, ExportedTablesComeBackIntoZeroedRecords) {
    Files f;
    const Bytes original = readBytes(f.data);
    CliRun r = runCli({"export-table", f.data, "Recs"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "index,position,n,c,w\r\n0,4,1,a,16\r\n1,8,2,b,-1\r\n2,12,3,c,256\r\n"
                     "3,16,4,d,5\r\n");
    r = runCli({"export-table", f.data, "#2", "--records", "1:2", "--format", "tsv"});
    EXPECT_EQ(r.out, "index\tposition\tn\tc\tw\n1\t8\t2\tb\t-1\n2\t12\t3\tc\t256\n");

    for (const char* name : {"t.csv", "t.tsv", "t.jsonl"}) {
        const std::string table = f.dir.file(name);
        r = runCli({"export-table", f.data, "Recs", "--exact", "-o", table});
        ASSERT_EQ(r.code, 0) << r.err;
        Bytes zeroed = original;
        std::fill(zeroed.begin() + 4, zeroed.begin() + 20, 0);
        writeBytes(f.data, zeroed);
        r = runCli({"import-table", f.data, "Recs", table});
        ASSERT_EQ(r.code, 0) << name << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(readBytes(f.data), original) << name;
    }
}

TEST_F(CliTables, ValuesThatDoNotFitAreListedAndOnlyACompleteImportWrites) {
    Files f;
    const Bytes data = readBytes(f.data);
    const Bytes type = readBytes(f.type);
    const std::string table = f.dir.file("t.csv");
    writeText(table, "index,n,w\n0,300,7\n3,5,x\n");
    const std::string listing = "2\t0\tn\tcut\t300\toutside the range of 1Bunsigned, 0 to 255\t44\n"
                                "3\t3\tw\tnot written\tx\tnot a whole number\t5\n";

    for (const char* option : {"--dry-run", "--strict"}) {
        const CliRun r = runCli({"import-table", f.data, "Recs", table, option});
        EXPECT_EQ(r.code, std::string(option) == "--dry-run" ? 0 : 1) << r.err;
        EXPECT_EQ(readBytes(f.data), data);
        EXPECT_EQ(readBytes(f.type), type);
    }
    writeText(f.dir.file("bad.csv"), "index,n\n0,1\n7,1\n");
    CliRun r = runCli({"import-table", f.data, "Recs", f.dir.file("bad.csv")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, f.dir.file("bad.csv") +
                         ", line 3: record 7 is not in segment Recs (it has 4 records)\n");
    EXPECT_EQ(readBytes(f.data), data);

    r = runCli({"import-table", f.data, "Recs", table});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, listing);
    EXPECT_EQ(r.err, "2 values did not fit: 1 cut, 1 not written\n");
    Bytes expected = data;
    expected[4] = 44;
    expected[6] = 7;
    expected[16] = 5;
    EXPECT_EQ(readBytes(f.data), expected);

    // Rows past the end append records; the tail moves behind them.
    writeText(table, "index,n\n5,6\n");
    r = runCli({"import-table", f.data, "Recs", table, "--resize"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Bytes grown = readBytes(f.data);
    ASSERT_EQ(grown.size(), data.size() + 8);
    EXPECT_EQ(Bytes(grown.begin() + 20, grown.end()), (Bytes{0, 0, 0, 0, 6, 0, 0, 0, 7, 7}));
    TypeReadResult t = readTypeFile(f.type, fileSize(f.data));
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.content.segments[2].begin, 28);
}
