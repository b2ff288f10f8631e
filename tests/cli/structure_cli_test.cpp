#include <iostream>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "filestream.h"
#include "runcli.h"
#include "fixtures.h"
#include "tempdir.h"
#include "textoutput.h"
#include "typefile.h"

using namespace vm;
using fixtures::entry;
using fixtures::seg;

namespace {

void saveType(const SegmentList& list, const std::string& path, bool hex = false) {
    ViewSettings v;
    v.setShowIndexNum(true);
    v.setPositionFormat(hex ? 1 : 2);
    ASSERT_TRUE(writeTypeFile(list, v, DataHintFlags{}, path).ok);
}

std::vector<std::uint8_t> counting(std::size_t n) {
    std::vector<std::uint8_t> b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i);
    return b;
}

} // namespace

TEST(CliStructure, CheckPrintsRowsAndExitsBySeverity) {
    TempDir dir;
    const std::string data = dir.file("d.bin");
    writeBytes(data, counting(100));

    SegmentList clean;
    clean.append(seg("All", 0, 100, 10));
    clean[0].entries = {entry(1, 0, 10, "x")};
    saveType(clean, data + ".type");
    CliRun r = runCli({"check", data});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");

    // A gap only: a warning, in the type file's position format; the name is
    // printed as UTF-8.
    SegmentList gap;
    gap.append(seg("Caf\xE9", 4, 96, 8));
    gap[0].entries = {entry(1, 0, 8, "x")};
    saveType(gap, data + ".type", true);
    r = runCli({"check", data});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.out,
              "segment\tWarning\t\tCaf\xC3\xA9\tHasSpace \tHas Blank at Position OX00 To OX04\n");

    // Overlapping segments and a segment whose fields overlap: errors, and
    // the expandable row is followed by the rows expanding it would list.
    SegmentList bad;
    bad.append(seg("A", 0, 60, 10));
    bad[0].entries = {entry(1, 0, 6, "p"), entry(1, 4, 6, "q")};
    bad.append(seg("B", 50, 50, 10));
    bad[1].entries = {entry(1, 0, 10, "r")};
    saveType(bad, dir.file("other.type"));
    r = runCli({"check", data, "--type", dir.file("other.type")});
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_EQ(r.out, "segment\tError\tA\tB\tIsOverlay \tOverlay\n"
                     "segment\tError\tA\t\tClick To Expend\tIsOverlay \n"
                     "field\tError\tp\tq\tIsOverlay \tOverlay\n");
}

// A ToFilesEnd segment stored with one record of a 1024-byte file: every
// command sees it run to the end of the file, and an edit stores the count.
TEST(CliStructure, AToFilesEndSegmentRunsToTheEndOfTheFile) {
    TempDir dir;
    const std::string data = dir.file("tfe.bin");
    writeBytes(data, counting(1024));
    SegmentList list;
    list.append(seg("Head", 0, 512, 32));
    list[0].entries = {entry(15, 0, 32, "h")};
    list.append(seg("T", 512, 32, 32));
    list[1].toFilesEnd = true;
    list[1].entries = {entry(15, 0, 32, "t")};
    saveType(list, data + ".type");

    CliRun r = runCli({"check", data});
    EXPECT_EQ(r.code, 0) << r.out << r.err;

    r = runCli({"export-text", data});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Name:T  Begin:512 Length:512"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n15  992 E0"), std::string::npos) << r.out; // the sixteenth record

    r = runCli({"add-records", data, "T", "16", "1", "--append"});
    ASSERT_EQ(r.code, 0) << r.err;
    const TypeReadResult t = readTypeFile(data + ".type", 0);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.content.segments[1].length, 544);
    EXPECT_EQ(t.content.segments[1].recordCount, 17);
    EXPECT_EQ(readBytes(data).size(), 1056u);
}

TEST(CliStructure, MissingFilesAreClearErrors) {
    TempDir dir;
    writeBytes(dir.file("d.bin"), counting(10));
    CliRun r = runCli({"check", dir.file("d.bin")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Type file not found: " + dir.file("d.bin") + ".type"), std::string::npos)
        << r.err;
    r = runCli({"export-text", dir.file("nothing.bin")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("nothing.bin"), std::string::npos) << r.err;
    r = runCli({"cut-blank", dir.file("d.bin")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("-o"), std::string::npos) << r.err;
}

TEST(CliStructure, ExportTextIsTheProgramsOutputByteForByte) {
    TempDir dir;
    const std::string data = dir.file("d.bin");
    std::vector<std::uint8_t> bytes = counting(64);
    bytes[10] = 0xE9; // single-byte text stays single-byte
    bytes[11] = 0;
    writeBytes(data, bytes);
    SegmentList list;
    list.append(seg("R\xE9gion", 8, 40, 4));
    list[0].entries = {entry(14, 2, 2, "txt"), entry(6, 0, 2, "n")};
    list.append(seg("Head", 0, 8, 0));
    list[1].anomaly = true;
    list[1].entries = {entry(8, 0, 4, "magic")};
    saveType(list, data + ".type");

    std::string expected;
    {
        FileStream in;
        ASSERT_TRUE(in.open(data, FileStream::Mode::Read));
        ViewSettings v;
        v.setShowIndexNum(true);
        v.setPositionFormat(2);
        writeTextOutput(allSegments(list), in, v, [&](std::string_view t) {
            expected.append(t);
            return true;
        });
    }
    CliRun r = runCli({"export-text", data});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    EXPECT_NE(r.out.find("Name:R\xE9gion"), std::string::npos);
    EXPECT_NE(r.out.find("\r\n0  8 \xE9  2312 \r\n"), std::string::npos) << r.out;

    r = runCli({"export-text", data, "-o", dir.file("out.txt")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const auto file = readBytes(dir.file("out.txt"));
    EXPECT_EQ(std::string(file.begin(), file.end()), expected);
}

TEST(CliStructure, CutBlankWritesDataAndStructureAndLeavesTheInput) {
    TempDir dir;
    const std::string data = dir.file("d.bin");
    const auto bytes = counting(100);
    writeBytes(data, bytes);
    SegmentList list;
    list.append(seg("S", 10, 20, 10));
    list[0].entries = {entry(15, 2, 4, "f")};
    saveType(list, data + ".type");
    const auto typeBefore = readBytes(data + ".type");

    CliRun r = runCli({"cut-blank", data, "-o", dir.file("small.bin")});
    ASSERT_EQ(r.code, 0) << r.err;
    // An output like any other new file, not a private working file.
    struct stat made {
    }, plain{};
    ASSERT_EQ(::stat(dir.file("small.bin").c_str(), &made), 0);
    ASSERT_EQ(::stat((data + ".type").c_str(), &plain), 0);
    EXPECT_EQ(made.st_mode & 0777, plain.st_mode & 0777);
    EXPECT_EQ(readBytes(dir.file("small.bin")),
              (std::vector<std::uint8_t>{12, 13, 14, 15, 22, 23, 24, 25}));
    EXPECT_EQ(readBytes(data), bytes);
    EXPECT_EQ(readBytes(data + ".type"), typeBefore);
    const TypeReadResult t = readTypeFile(dir.file("small.bin") + ".type", 8);
    ASSERT_TRUE(t.ok) << t.message;
    ASSERT_EQ(t.content.segments.size(), 1u);
    EXPECT_EQ(t.content.segments[0].begin, 0);
    EXPECT_EQ(t.content.segments[0].length, 8);
    EXPECT_EQ(t.content.segments[0].recordLength, 4);
    EXPECT_EQ(t.content.segments[0].entries[0].start, 0);
    // Nothing but the output is left beside it, and a file that merely looks
    // like a leftover working file is not touched.
    writeBytes(dir.file("~qzt0.tmp"), {1, 2, 3});
    ASSERT_EQ(runCli({"cut-blank", data, "-o", dir.file("small.bin")}).code, 0);
    EXPECT_EQ(readBytes(dir.file("~qzt0.tmp")), (std::vector<std::uint8_t>{1, 2, 3}));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 5u); // d.bin, d.bin.type, small.bin, small.bin.type, ~qzt0.tmp

    // An output over an input file is refused before anything is written.
    r = runCli({"cut-blank", data, "-o", data});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("would overwrite an input file"), std::string::npos) << r.err;
    r = runCli({"export-text", data, "-o", data + ".type"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(readBytes(data), bytes);
    EXPECT_EQ(readBytes(data + ".type"), typeBefore);

    // With an error in the structure nothing is written.
    list.append(seg("T", 25, 10, 10));
    saveType(list, data + ".type");
    r = runCli({"cut-blank", data, "-o", dir.file("again.bin")});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind(
                  "Has any error in structure setting, please fix the error then try again.\n", 0),
              0u)
        << r.err;
    EXPECT_NE(r.err.find("segment\tError\tS\tT\tIsOverlay \tOverlay\n"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fileExists(dir.file("again.bin")));
}

namespace {

bool isKind(const std::string& path, mode_t kind) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

// d.bin with a structure that cut blank takes to 8 bytes.
std::string cuttable(const TempDir& dir) {
    const std::string data = dir.file("d.bin");
    writeBytes(data, counting(100));
    SegmentList list;
    list.append(seg("S", 10, 20, 10));
    list[0].entries = {entry(15, 2, 4, "f")};
    saveType(list, data + ".type");
    return data;
}

} // namespace

TEST(CliStructure, OutputsThatAreNotFilesAreWrittenInPlace) {
    TempDir dir;
    const std::string data = cuttable(dir);
    const std::string text = runCli({"export-text", data}).out;
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(runCli({"export-text", data, "-o", "-"}).out, text);

    // /dev/stdout is the tool's own standard output: a redirection that
    // appends keeps what the file held and is never replaced.
    const std::string log = dir.file("log.txt");
    writeText(log, "HEAD\n");
    const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
    CliOptions to;
    to.stdoutFd = fd;
    EXPECT_EQ(runCli({"export-text", data, "-o", "/dev/stdout"}, to).code, 0);
    ::close(fd);
    const auto logged = readBytes(log);
    EXPECT_EQ(std::string(logged.begin(), logged.end()), "HEAD\n" + text);

    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    // A FIFO is written in place; the structure then needs a file of its own.
    CliRun r = runCli({"cut-blank", data, "-o", fifo});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "cut-blank -o " + fifo + " needs --type-out TYPEFILE for the structure\n");
    EXPECT_TRUE(isKind(fifo, S_IFIFO));
    EXPECT_FALSE(fileExists(fifo + ".type"));
    if (::geteuid() == 0) {
        // A device node of our own making, so that a fault cannot harm the system's.
        const std::string null = dir.file("null");
        ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        EXPECT_EQ(runCli({"export-text", data, "-o", null}).code, 0);
        EXPECT_EQ(runCli({"cut-blank", data, "-o", null}).code, 1);
        EXPECT_TRUE(isKind(null, S_IFCHR));
    } else {
        std::cout << "[  SKIPPED ] device nodes need root to be made\n";
    }

    // cut-blank to standard output: the structure needs a name of its own.
    r = runCli({"cut-blank", data, "-o", "-"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("--type-out"), std::string::npos) << r.err;
    r = runCli({"cut-blank", data, "-o", "-", "--type-out", dir.file("cut.type")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, std::string("\x0C\x0D\x0E\x0F\x16\x17\x18\x19"));
    EXPECT_TRUE(readTypeFile(dir.file("cut.type"), 8).ok);
}

TEST(CliStructure, AFullDiskKeepsTheOldOutputsAndSaysWhy) {
    TempDir dir;
    const std::string data = dir.file("d.bin");
    writeBytes(data, counting(200000));
    SegmentList list;
    list.append(seg("All", 0, 200000, 4));
    list[0].entries = {entry(6, 0, 2, "a"), entry(6, 2, 2, "b")};
    saveType(list, data + ".type");
    const std::string out = dir.file("out.txt");
    writeText(out, "old text");
    CliOptions full;
    full.fileLimit = 64 * 1024;
    CliRun r = runCli({"export-text", data, "-o", out}, full);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Cannot write " + out + ": File too large\n");
    EXPECT_EQ(readBytes(out), (std::vector<std::uint8_t>{'o', 'l', 'd', ' ', 't', 'e', 'x', 't'}));

    // Cut blank's data and structure are replaced together or not at all.
    writeText(dir.file("cut.bin"), "old data");
    writeText(dir.file("cut.bin.type"), "old type");
    r = runCli({"cut-blank", data, "-o", dir.file("cut.bin")}, full);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(dir.file("cut.bin")).size(), 8u);
    EXPECT_EQ(readBytes(dir.file("cut.bin.type")).size(), 8u);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 5u); // d.bin, d.bin.type, out.txt, cut.bin, cut.bin.type
}

TEST(CliStructure, InputsThatAreNotFilesAreRefusedAtOnce) {
    TempDir dir;
    const std::string data = cuttable(dir);
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Each would wait for a writer forever if it opened the FIFO the ordinary way.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"check", fifo, "--type", data + ".type"},
          {"export-text", fifo, "--type", data + ".type"}}) {
        const CliRun r = runCli(args);
        EXPECT_EQ(r.code, 1) << args[0];
        EXPECT_EQ(r.err, "Cannot open data file " + fifo + ": It is a FIFO, not a regular file\n");
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"print-type", fifo}, {"check", data, "--type", fifo}}) {
        const CliRun r = runCli(args);
        EXPECT_EQ(r.code, 1) << args[0];
        EXPECT_EQ(r.err, "Error Read File -" + fifo + "\nIt is a FIFO, not a regular file\n");
    }
}
