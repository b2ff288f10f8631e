// The commands that write: one writer of a file at a time, outputs that are
// no files written where they are, no working copy left behind, and findings
// of any number in little memory.
#include <cstdlib>
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filelock.h"
#include "filestream.h"
#include "fixtures.h"
#include "runcli.h"
#include "tempdir.h"
#include "typefile.h"

using namespace vm;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The tool's temporary folder for one test.
class ToolTempDir {
public:
    ToolTempDir() {
        const char* old = std::getenv("TMPDIR");
        if (old)
            m_old = old;
        ::setenv("TMPDIR", m_dir.path().c_str(), 1);
    }
    ~ToolTempDir() {
        if (m_old)
            ::setenv("TMPDIR", m_old->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    bool empty() const { return std::filesystem::is_empty(m_dir.path()); }
    std::string file(const std::string& name) const { return m_dir.file(name); }

private:
    TempDir m_dir;
    std::optional<std::string> m_old;
};

std::string copyExample(const TempDir& dir) {
    const std::string data = dir.file("d.bin");
    std::filesystem::copy_file(VM_SOURCE_DIR "/examples/sensors.bin", data);
    std::filesystem::copy_file(VM_SOURCE_DIR "/examples/sensors.bin.type", data + ".type");
    return data;
}

std::string text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

} // namespace

TEST(CliWriters, ASecondWriterWaitsThenGivesUpTouchingNothingAndNoCopyStays) {
    TempDir dir;
    ToolTempDir tmp;
    const std::string data = copyExample(dir);
    const std::string target = dir.file("pieces.bin");
    writeBytes(target, {1, 2, 3});
    const Bytes data0 = readBytes(data), type0 = readBytes(data + ".type");
    {
        FileLock edit, append;
        ASSERT_TRUE(edit.acquire(data));
        ASSERT_TRUE(append.acquire(target));
        CliRun r = runCli({"add-records", data, "Readings", "0", "5"});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, data + " is being changed by another program\n");
        r = runCli({"split", data, target, "--piece", "0:8", "--append"});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, target + " is being changed by another program\n");
    }
    EXPECT_EQ(readBytes(data), data0);
    EXPECT_EQ(readBytes(data + ".type"), type0);
    EXPECT_EQ(readBytes(target), (Bytes{1, 2, 3}));
    EXPECT_TRUE(tmp.empty());

    // Once let go, the edit goes through; neither its working copy nor the
    // one its rewrite replaced stays in the temporary folder, nor a copy a
    // killed command left there, whatever its number.
    writeBytes(tmp.file("~qzt5.tmp"), {1});
    CliRun r = runCli({"add-records", data, "Readings", "0", "5"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readBytes(data).size(), data0.size() + 5 * 24);
    EXPECT_TRUE(tmp.empty());
}

TEST(CliWriters, EveryOutputThatIsNoFileIsWrittenInPlaceAndAPairNeedsTwoFiles) {
    TempDir dir;
    const std::string data = copyExample(dir);
    const std::string typeImage = text(readBytes(data + ".type"));

    // Standard output redirected to a log that is appended to: each command
    // adds to it, none replaces it.
    const std::string log = dir.file("log");
    writeBytes(log, {'H'});
    const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
    CliOptions toLog;
    toLog.stdoutFd = fd;
    EXPECT_EQ(runCli({"split", data, "/dev/stdout", "--piece", "0:4"}, toLog).code, 0);
    EXPECT_EQ(runCli({"split", data, "/dev/fd/1", "--piece", "4:8", "--append"}, toLog).code, 0);
    EXPECT_EQ(
        runCli({"write-type", VM_SOURCE_DIR "/examples/sensors.json", "/dev/stdout"}, toLog).code,
        0);
    CliRun cut =
        runCli({"cut-blank", data, "-o", "/dev/stdout", "--type-out", dir.file("c.type")}, toLog);
    EXPECT_EQ(cut.code, 0) << cut.err;
    ::close(fd);
    const std::string logged = text(readBytes(log));
    const Bytes bytes = readBytes(data);
    const std::string head = text(Bytes(bytes.begin(), bytes.begin() + 8));
    ASSERT_GT(logged.size(), 1 + 8 + typeImage.size());
    EXPECT_EQ(logged.substr(0, 1 + 8 + typeImage.size()), "H" + head + typeImage);
    EXPECT_TRUE(fileExists(dir.file("c.type")));

    // The data and its structure in one file, by one name or through a link:
    // refused before anything is written.
    ASSERT_EQ(::symlink(dir.file("x.bin").c_str(), dir.file("link").c_str()), 0);
    for (const std::string& typeOut :
         {dir.file("x.bin"), dir.file("link"), dir.path() + "/./x.bin"}) {
        CliRun r = runCli({"cut-blank", data, "-o", dir.file("x.bin"), "--type-out", typeOut});
        EXPECT_EQ(r.code, 1) << typeOut;
        EXPECT_NE(r.err.find("are one file"), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(dir.file("x.bin")));
    }

    // A FIFO as the JSON input is refused at once, never waited on.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CliOptions quick;
    quick.timeoutSeconds = 5;
    CliRun r = runCli({"write-type", fifo, dir.file("w.type")}, quick);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("It is a FIFO"), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(dir.file("w.type")));
}

TEST(CliWriters, FindingsOfAnyNumberAreCheckedInLittleMemory) {
    // 1,600 fields on the same bytes: 1.28 million overlapping pairs, every
    // one a row of check and a reason for cut-blank to refuse.
    TempDir dir;
    const std::string data = dir.file("d.bin");
    writeBytes(data, Bytes(64, 0));
    SegmentList list;
    list.append(fixtures::seg("S", 0, 64, 64));
    for (int i = 0; i < 1600; ++i)
        list[0].entries.push_back(fixtures::entry(1, 0, 8, "f" + std::to_string(i)));
    ASSERT_TRUE(writeTypeFile(list, ViewSettings{}, DataHintFlags{}, data + ".type").ok);

    const int null = ::open("/dev/null", O_WRONLY);
    CliOptions small;
    small.stdoutFd = null;
    small.stderrFd = null;
    small.memoryLimit = rlim_t{24} << 20; // a list of the findings would need more than this
    EXPECT_EQ(runCli({"check", data}, small).code, 2);
    EXPECT_EQ(runCli({"cut-blank", data, "-o", dir.file("out.bin")}, small).code, 2);
    ::close(null);
    EXPECT_FALSE(fileExists(dir.file("out.bin")));

    // Every pair is there, each once.
    list[0].entries.resize(40);
    ASSERT_TRUE(writeTypeFile(list, ViewSettings{}, DataHintFlags{}, data + ".type").ok);
    const CliRun r = runCli({"check", data});
    std::size_t overlaps = 0;
    for (std::size_t at = r.out.find("\tOverlay\n"); at != std::string::npos;
         at = r.out.find("\tOverlay\n", at + 1))
        ++overlaps;
    EXPECT_EQ(overlaps, 40u * 39 / 2);
}
