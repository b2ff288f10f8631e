#include <gtest/gtest.h>

#include "runcli.h"
#include "tempdir.h"

namespace {

const char* kJson = R"({
  "viewSettings": [1, 1, 1, 2],
  "dataHint": [true, false, true],
  "segments": [
    {"name": "Header", "anomaly": true, "length": 8,
     "fields": [{"kindName": "4Bunsigned", "memo": "magic"},
                {"kind": 6, "start": 4, "memo": "version"}]},
    {"name": "Caf\u00e9", "begin": 8, "recordLength": 6, "length": 60,
     "fields": [{"kind": 7}, {"kind": 14, "start": 4, "length": 2, "memo": "tag"}]}
  ]
})";

} // namespace

TEST(CliTypes, WriteThenPrintRoundTrips) {
    TempDir dir;
    writeText(dir.file("s.json"), kJson);
    CliRun w = runCli({"write-type", dir.file("s.json"), dir.file("s.type")});
    ASSERT_EQ(w.code, 0) << w.err;
    CliRun p = runCli({"print-type", dir.file("s.type")});
    ASSERT_EQ(p.code, 0) << p.err;
    const std::string& j = p.out;
    EXPECT_NE(j.find("\"name\": \"Caf\xC3\xA9\""), std::string::npos) << j;
    EXPECT_NE(j.find("\"kindName\": \"4Bunsigned\""), std::string::npos);
    EXPECT_NE(j.find("\"memo\": \"M0\""), std::string::npos); // left out: a new entry's memo
    EXPECT_NE(j.find("\"columnWidth\": 19"), std::string::npos); // 2 characters wide string
    EXPECT_NE(j.find("150,"), std::string::npos); // a new segment's column widths

    // Printing is the exact inverse of writing.
    writeText(dir.file("again.json"), j);
    ASSERT_EQ(runCli({"write-type", dir.file("again.json"), dir.file("again.type")}).code, 0);
    EXPECT_EQ(readBytes(dir.file("again.type")), readBytes(dir.file("s.type")));
    EXPECT_EQ(runCli({"print-type", dir.file("again.type")}).out, j);
}

TEST(CliTypes, RefusalsAndBadJson) {
    TempDir dir;
    CliRun r = runCli({"print-type", dir.file("none.type")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, dir.file("none.type") + " Is Not Exit!\n");

    writeText(dir.file("bad.json"), R"({"segments": [{"begin": "zero"}]})");
    r = runCli({"write-type", dir.file("bad.json"), dir.file("bad.type")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("segments[0].begin"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("bad.type")));

    writeText(dir.file("range.json"), R"({"segments": [{"fields": [{"start": 70000}]}]})");
    EXPECT_EQ(runCli({"write-type", dir.file("range.json"), dir.file("r.type")}).code, 1);
    writeText(dir.file("trunc.json"), R"({"segments": [)");
    EXPECT_EQ(runCli({"write-type", dir.file("trunc.json"), dir.file("t.type")}).code, 1);
    writeText(dir.file("long.json"),
              R"({"segments": [{"name": "a name that is much longer than forty characters"}]})");
    EXPECT_EQ(runCli({"write-type", dir.file("long.json"), dir.file("l.type")}).code, 1);
}

TEST(CliTypes, LegacyNeedsTheDataSize) {
    TempDir dir;
    std::vector<std::uint8_t> b(201 + 48, 0);
    b[100] = 0x8B;
    b[101] = 0x8A;
    b[104] = 100;
    b[108] = 100;
    b[124] = 4;
    b[201 + 4] = 7;
    b[201 + 16] = 4;
    writeBytes(dir.file("old.type"), b);
    CliRun r = runCli({"print-type", dir.file("old.type"), "--data-size", "400"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"name\": \"from ver 1.0\""), std::string::npos);
    EXPECT_NE(r.out.find("\"length\": 400"), std::string::npos);
}

TEST(CliTypes, BundledExampleReads) {
    const std::string example = std::string(VM_SOURCE_DIR) + "/examples/sensors.bin.type";
    CliRun r = runCli({"print-type", example});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"anomaly\": true"), std::string::npos);
}

TEST(CliTypes, ShippedDefaultTypeIsAHexViewToTheEndOfTheFile) {
    TempDir dir;
    const std::string json = std::string(VM_SOURCE_DIR) + "/data/default.json";
    ASSERT_EQ(runCli({"write-type", json, dir.file("default.type")}).code, 0);
    const CliRun p = runCli({"print-type", dir.file("default.type")});
    ASSERT_EQ(p.code, 0) << p.err;
    EXPECT_NE(p.out.find("\"toFilesEnd\": true"), std::string::npos);
    EXPECT_NE(p.out.find("\"recordLength\": 16"), std::string::npos);
    // One raw 16-byte column, then one character column per byte, 0 to F.
    std::size_t chars = 0;
    for (std::size_t at = 0; (at = p.out.find("\"kindName\": \"1BChar\"", at)) != std::string::npos; ++at)
        ++chars;
    EXPECT_EQ(chars, 16u);
    EXPECT_NE(p.out.find("\"memo\": \"F\""), std::string::npos);
    EXPECT_NE(p.out.find("\"kindName\": \"unKnow\""), std::string::npos);
}
