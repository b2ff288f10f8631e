#include <algorithm>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include "fixtures.h"
#include "runcli.h"
#include "tempdir.h"
#include "typefile.h"

using fixtures::counting;

namespace {

std::size_t lineCount(const std::string& s) {
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

} // namespace

TEST(CliTools2, InspectReadsTypedHexValuesAndFileBytes) {
    CliRun r = runCli({"inspect", "--hex", "41 42 43", "--kinds", "2Bunsigned,1BChar"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "1BChar\tA\n2Bunsigned\t16961\n");
    EXPECT_EQ(lineCount(runCli({"inspect", "--hex", "00"}).out), 16u);

    r = runCli({"inspect", "--hex", "4G", "--kinds", "1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "1Bunsigned\t4\n");
    EXPECT_EQ(r.err, "Input Erro\n");

    r = runCli({"inspect", "--value", "4BFloat", "1", "--kinds", "unKnow,9"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "4BFloat\t1\nunKnow\t00 00 80 3F 00 00 00 00 00 00 \n");
    r = runCli({"inspect", "--value", "4Bsigned", "x", "--kinds", "4Bsigned"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "4Bsigned\t0\n");

    TempDir dir;
    writeBytes(dir.file("d.bin"), counting(20));
    r = runCli({"inspect", dir.file("d.bin"), "0x10", "--kinds", "unKnow,4Bunsigned"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "4Bunsigned\t319951120\nunKnow\t10 11 12 13 \n");
    EXPECT_EQ(runCli({"inspect", dir.file("d.bin"), "20"}).code, 1);
    EXPECT_EQ(runCli({"inspect", "--hex", "00", "--kinds", "nokind"}).code, 1);
}

TEST(CliTools2, SplitWritesPiecesAndRefusesTheSourceAsTarget) {
    TempDir dir;
    writeBytes(dir.file("src"), counting(100));
    CliRun r = runCli({"split", dir.file("src"), dir.file("dst"), "--piece", "50:60", "--piece",
                       "80:120", "--piece", "30:20"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "30\n");
    std::vector<std::uint8_t> expected;
    for (int i = 50; i < 60; ++i)
        expected.push_back(static_cast<std::uint8_t>(i));
    for (int i = 80; i < 100; ++i)
        expected.push_back(static_cast<std::uint8_t>(i));
    EXPECT_EQ(readBytes(dir.file("dst")), expected);

    r = runCli({"split", dir.file("src"), dir.file("dst"), "--piece", "0:1", "--append"});
    EXPECT_EQ(r.out, "1\n");
    expected.push_back(0);
    EXPECT_EQ(readBytes(dir.file("dst")), expected);

    r = runCli({"split", dir.file("src"), dir.file("src"), "--piece", "0:1", "--append"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("same file"), std::string::npos);
    EXPECT_EQ(readBytes(dir.file("src")), counting(100));
    EXPECT_EQ(runCli({"split", dir.file("src"), dir.file("x"), "--piece", "1-2"}).code, 1);
    EXPECT_EQ(runCli({"split", dir.file("src"), dir.file("x")}).code, 1);
}

TEST(CliTools2, InfoPrintsBothColumnsAndKeepsTheTypeColumnEmptyWithoutOne) {
    TempDir dir;
    const std::string data = dir.file("d.bin");
    writeBytes(data, counting(300));
    const auto when = static_cast<time_t>(fixtures::localSeconds(2006, 3, 4, 9, 5, 3));
    struct utimbuf times {
        when, when
    };
    ASSERT_EQ(utime(data.c_str(), &times), 0);

    CliRun r = runCli({"info", data});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("File Name:\t" + data + "\t\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("File Size(bytes):\t300\t\n"), std::string::npos);
    EXPECT_NE(r.out.find("Last Write Time:\t2006/03/04  09:05:03\t\n"), std::string::npos);
    EXPECT_NE(r.out.find("Last Access Time:\t2006/03/04 \t\n"), std::string::npos);
    EXPECT_NE(r.out.find("Attributes:\t\t\n"), std::string::npos);

    writeBytes(data + ".type", counting(7));
    ::chmod(data.c_str(), 0444);
    r = runCli({"info", data});
    EXPECT_NE(r.out.find("File Size(bytes):\t300\t7\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Attributes:\tReadOnly\t\n"), std::string::npos);
    EXPECT_EQ(lineCount(r.out), 6u);

    r = runCli({"info", dir.file("none.bin")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("none.bin"), std::string::npos);
}

TEST(CliTools2, LocateNamesTheSegmentTheRecordAndTheGotoIndex) {
    TempDir dir;
    const std::string data = dir.file("d.bin");
    writeBytes(data, counting(400));
    vm::SegmentList list;
    list.append(fixtures::seg("recs", 100, 100, 10));
    list.append(fixtures::seg("tail", 300, 50, 25));
    ASSERT_TRUE(vm::writeTypeFile(list, {}, {}, data + ".type").ok);
    EXPECT_EQ(runCli({"locate", data, "105"}).out, "recs\t0\t1\n");
    EXPECT_EQ(runCli({"locate", data, "195"}).out, "recs\t9\t\n"); // no record starts after it
    EXPECT_EQ(runCli({"locate", data, "0x12C"}).out, "tail\t0\t0\n");
    EXPECT_EQ(runCli({"locate", data, "30", "--in", "tail"}).out, "tail\t1\t\n");
    CliRun r = runCli({"locate", data, "250"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "ERROR The position 250 this not defined any data in there!\n");
    r = runCli({"locate", data, "150", "--in", "recs"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "ERROR The position 150 is not inside the segment recs (100 bytes from its "
                     "start)\n");
}
