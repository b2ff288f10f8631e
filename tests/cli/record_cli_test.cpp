#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "runcli.h"
#include "tempdir.h"
#include "workfolder.h"
#include "typefile.h"

using namespace vm;
using fixtures::counting;
using fixtures::entry;
using fixtures::seg;
using fixtures::slices;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A 100-byte file: "Head" [0, 8), "Recs" 5 records of 8 at 8, "Tail" [48, 100),
// and an Anomaly segment over the head.
struct Files : DataAndType {
    Files() {
        writeBytes(data, counting(100));
        SegmentList list;
        list.append(seg("Head", 0, 8, 8)).entries = {entry(7, 0, 4, "h")};
        list.append(seg("Recs", 8, 40, 8)).entries = {entry(7, 0, 4, "a"), entry(5, 4, 2, "b")};
        list.append(seg("Tail", 48, 52, 4)).entries = {entry(1, 0, 1, "t")};
        Segment& an = list.append(seg("Odd", 0, 8, 8));
        an.anomaly = true;
        an.entries = {entry(1, 0, 1, "x")};
        for (auto& s : list)
            s->recordCount = s->anomaly ? 0 : s->length / s->recordLength;
        ViewSettings v;
        v.setCanResetStructure(true);
        EXPECT_TRUE(writeTypeFile(list, v, DataHintFlags{}, type).ok);
    }
    SegmentList structure() const {
        TypeReadResult r = readTypeFile(type, fileSize(data));
        EXPECT_TRUE(r.ok) << r.message;
        return std::move(r.content.segments);
    }
};

class CliRecords : public CliWorkFolder {};

TEST_F(CliRecords, AddInsertsCopiesAndMovesTheLaterSegments) {
    Files f;
    CliRun r = runCli({"add-records", f.data, "Recs", "1", "2", "--fill-near"});
    ASSERT_EQ(r.code, 0) << r.err;
    // Two copies of record 1 before it.
    EXPECT_EQ(readBytes(f.data), slices(counting(100), {{0, 16}, {16, 24}, {16, 24}, {16, 100}}));
    SegmentList list = f.structure();
    EXPECT_EQ(list[1].recordCount, 7);
    EXPECT_EQ(list[1].length, 56);
    EXPECT_EQ(list[2].begin, 64);
    EXPECT_EQ(list[0].begin, 0);

    // By row number, appended, zero bytes.
    r = runCli({"add-records", f.data, "#2", "0", "1", "--append"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Bytes now = readBytes(f.data);
    EXPECT_EQ(Bytes(now.begin() + 64, now.begin() + 72), Bytes(8, 0));
    EXPECT_EQ(f.structure()[2].begin, 72);
}

TEST_F(CliRecords, DeleteRemovesTheRecordsInclusive) {
    Files f;
    CliRun r = runCli({"delete-records", f.data, "Recs", "2", "4"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readBytes(f.data), slices(counting(100), {{0, 24}, {48, 100}}));
    SegmentList list = f.structure();
    EXPECT_EQ(list[1].length, 16);
    EXPECT_EQ(list[2].begin, 24);
}

TEST_F(CliRecords, RefusalsLeaveBothFilesByteIdentical) {
    Files f;
    const Bytes data = readBytes(f.data);
    const Bytes type = readBytes(f.type);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"add-records", f.data, "Recs", "6", "1"},
         "The Insert Position \"6\" Is Not a Valid Value\n"},
        {{"add-records", f.data, "Recs", "0", "-2"},
         "The Add Record Count \"-2\" Is Not a Valid Value\n"},
        {{"delete-records", f.data, "Recs", "3", "1"},
         "The Deleted End Must Bigger Than Deleted Begin\n"},
        {{"delete-records", f.data, "Recs", "0", "5"},
         "The Deleted End \"5\" Is Not a Valid Value\n"},
        {{"delete-records", f.data, "Odd", "0", "0"},
         "Segment Odd is an Anomaly segment: its fields are not records, so none can be added "
         "or deleted\n"},
        {{"add-records", f.data, "#9", "0", "1"}, "No segment #9: the list has 4 segments\n"},
        {{"add-records", f.data, "Recs", "0"},
         "Usage: add-records DATAFILE SEGMENT POSITION COUNT [--append] [--fill-near] [--type "
         "TYPEFILE]\n"},
    };
    for (const Case& c : cases) {
        const CliRun r = runCli(c.args);
        EXPECT_EQ(r.code, 1) << c.args[3];
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(readBytes(f.data), data);
        EXPECT_EQ(readBytes(f.type), type);
    }
}

TEST_F(CliRecords, DataFilesOf2GiBAreRefusedBeforeAnyCopy) {
    Files f;
    const Bytes type = readBytes(f.type);
    std::filesystem::resize_file(f.data, std::uintmax_t{1} << 31); // sparse: no real space
    const CliRun r = runCli({"delete-records", f.data, "Recs", "0", "0"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("2 GiB or larger"), std::string::npos) << r.err;
    EXPECT_EQ(fileSize(f.data), std::int64_t{1} << 31);
    EXPECT_EQ(readBytes(f.type), type);
}

TEST_F(CliRecords, AFailedReplacementLeavesBothFiles) {
    Files f;
    const Bytes data = readBytes(f.data);
    const Bytes type = readBytes(f.type);
    // Room for the data file's 108 bytes but not for the type file: the data
    // file, although complete, must not be replaced alone.
    ASSERT_GT(type.size(), 400u);
    const CliRun r = runCli({"add-records", f.data, "Recs", "0", "1"}, {.fileLimit = 300});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind("Cannot write " + f.type, 0), 0u) << r.err;
    EXPECT_EQ(readBytes(f.data), data);
    EXPECT_EQ(readBytes(f.type), type);
    for (const auto& e : std::filesystem::directory_iterator(f.dir.path()))
        EXPECT_TRUE(e.path() == f.data || e.path() == f.type) << e.path();
}

// What a file looks like to someone who never reads it: which file the name
// leads to, and when it was last written.
struct Look {
    std::uint64_t inode = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const Look&) const = default;
};
Look lookAt(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return {st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

// The edit writes only the pair's new files, or nothing at all.
TEST_F(CliRecords, AnEditThatChangesNothingOrFailsHalfWayLeavesThePairAlone) {
    Files f;
    // Old times, so that any write would show.
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    for (const std::string* name : {&f.data, &f.type})
        ASSERT_EQ(::utimensat(AT_FDCWD, name->c_str(), old, 0), 0);
    const Bytes type = readBytes(f.type);
    const Look dataLook = lookAt(f.data), typeLook = lookAt(f.type);
    auto untouched = [&](const Bytes& data, const Look& look) {
        EXPECT_EQ(readBytes(f.data), data);
        EXPECT_EQ(readBytes(f.type), type);
        EXPECT_EQ(lookAt(f.data), look);
        EXPECT_EQ(lookAt(f.type), typeLook);
        for (const auto& e : std::filesystem::directory_iterator(f.dir.path()))
            EXPECT_TRUE(e.path() == f.data || e.path() == f.type) << e.path();
    };

    CliRun r = runCli({"add-records", f.data, "Recs", "2", "0"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "Nothing to change: " + f.data + " and " + f.type + " were not written\n");
    untouched(counting(100), dataLook);

    // The new data goes straight into the file that would replace the old
    // one; a write that fails there (a full disk) replaces nothing.
    const Bytes big = counting(300000);
    writeBytes(f.data, big);
    ASSERT_EQ(::utimensat(AT_FDCWD, f.data.c_str(), old, 0), 0);
    const Look bigLook = lookAt(f.data);
    r = runCli({"add-records", f.data, "Recs", "1", "1"}, {.fileLimit = 64 * 1024});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Cannot write " + f.data + ": File too large\n");
    untouched(big, bigLook);
}

} // namespace
