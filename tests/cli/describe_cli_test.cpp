#include <gtest/gtest.h>

#include "recordlayouts.h"
#include "runcli.h"
#include "tempdir.h"

namespace {

// The rows of the last record table of a text output: what the values read as.
std::string recordRows(const std::string& text) {
    std::size_t at = std::string::npos;
    for (std::size_t p = text.find("\r\nindex"); p != std::string::npos;
         p = text.find("\r\nindex", p + 1)) {
        const std::size_t end = text.find("\r\n", p + 2);
        if (text.substr(p, end - p).find("type") == std::string::npos)
            at = end;
    }
    return at == std::string::npos ? std::string() : text.substr(at);
}

std::string kindNameOf(vm::TypeKind k) {
    return std::string(vm::kindName(static_cast<int>(k)));
}

} // namespace

// A proposal goes straight into a type file, and the records then read as
// they do under the structure the file was made with.
TEST(CliDescribe, ProposalReadsTheRecordsAsTheTrueStructure) {
    TempDir dir;
    const auto made = recordlayouts::makeRecordFile(4, true);
    writeText(dir.file("d.bin"), std::string(made.bytes.begin(), made.bytes.end()));

    const CliRun d = runCli({"describe", dir.file("d.bin"), "--top", "3"});
    ASSERT_EQ(d.code, 0) << d.err;
    EXPECT_NE(d.err.find("rank\trecord length\tevidence"), std::string::npos) << d.err;
    EXPECT_NE(d.err.find("\n1\t" + std::to_string(made.recordLength) + "\t"), std::string::npos)
        << d.err;
    writeText(dir.file("proposed.json"), d.out);
    const CliRun w = runCli({"write-type", dir.file("proposed.json"), dir.file("proposed.type")});
    ASSERT_EQ(w.code, 0) << w.err;

    std::string fields;
    for (const auto& f : made.fields)
        fields += std::string(fields.empty() ? "" : ",") + "{\"kindName\": \"" + kindNameOf(f.kind) +
                  "\", \"start\": " + std::to_string(f.start) +
                  ", \"length\": " + std::to_string(f.length) + "}";
    const std::string recordsLength = std::to_string(made.records * made.recordLength);
    writeText(dir.file("true.json"),
              "{\"viewSettings\": [0, 1, 1, 2], \"segments\": ["
              "{\"name\": \"Header\", \"anomaly\": true, \"length\": " +
                  std::to_string(made.header) +
                  ", \"fields\": [{\"kindName\": \"unKnow\", \"length\": 16}]},"
                  "{\"name\": \"Records\", \"begin\": " +
                  std::to_string(made.header) + ", \"recordLength\": " +
                  std::to_string(made.recordLength) + ", \"length\": " + recordsLength +
                  ", \"fields\": [" + fields + "]}]}");
    ASSERT_EQ(runCli({"write-type", dir.file("true.json"), dir.file("true.type")}).code, 0);

    const CliRun proposed =
        runCli({"export-text", dir.file("d.bin"), "--type", dir.file("proposed.type")});
    const CliRun truth = runCli({"export-text", dir.file("d.bin"), "--type", dir.file("true.type")});
    ASSERT_EQ(proposed.code, 0) << proposed.err;
    ASSERT_EQ(truth.code, 0) << truth.err;
    const std::string rows = recordRows(truth.out);
    EXPECT_GT(rows.size(), static_cast<std::size_t>(made.records) * made.recordLength);
    EXPECT_EQ(recordRows(proposed.out), rows);
}

TEST(CliDescribe, BadRangesAndFilesAreRefused) {
    TempDir dir;
    writeText(dir.file("small.bin"), std::string(100, 'x'));
    CliRun r = runCli({"describe", dir.file("small.bin"), "--begin", "101"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("past the end"), std::string::npos) << r.err;
    r = runCli({"describe", dir.file("small.bin"), "--begin", "10", "--length", "91"});
    EXPECT_EQ(r.code, 1);
    r = runCli({"describe", dir.file("missing.bin")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Cannot open data file"), std::string::npos) << r.err;
    r = runCli({"describe", dir.file("small.bin"), "--top", "x"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.empty());
}
