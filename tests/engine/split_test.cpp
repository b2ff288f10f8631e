#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "fixtures.h"
#include "split.h"
#include "tempdir.h"

using namespace vm;
using fixtures::counting;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes range(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(to));
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(Split, MemoAndTargetLengthFollowThePieces) {
    EXPECT_EQ(splitMemo({10, 20}, 100), "");
    EXPECT_EQ(splitMemo({80, 120}, 100), kMemoEndPastSource);
    EXPECT_EQ(splitMemo({30, 20}, 100), kMemoEndBeforeBegin);
    EXPECT_EQ(splitMemo({130, 120}, 100), kMemoEndBeforeBegin); // wins over the end
    const std::vector<SplitPiece> pieces{{10, 20}, {80, 120}, {30, 20}, {150, 160}, {50, 60}};
    const SplitTargetLayout l = splitTargetLayout(pieces, 100, 4);
    EXPECT_EQ(l.length, 40);
    EXPECT_EQ(l.selectedBegin, 30);
    EXPECT_EQ(l.selectedEnd, 40);
    EXPECT_EQ(splitTargetLayout(pieces, 100, 2).selectedBegin,
              splitTargetLayout(pieces, 100, 2).selectedEnd);
}

TEST(Split, WritesThePiecesInListOrderAndReplacesOrAppends) {
    TempDir dir;
    const Bytes src = counting(100);
    writeBytes(dir.file("src"), src);
    writeBytes(dir.file("dst"), Bytes(500, 0xEE));
    const std::vector<SplitPiece> pieces{{50, 60}, {80, 120}, {30, 20}, {10, 20}};
    FileResult r = splitFiles(dir.file("src"), dir.file("dst"), pieces, false);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.delta, 40);
    const Bytes expected =
        concat(concat(range(src, 50, 60), range(src, 80, 100)), range(src, 10, 20));
    EXPECT_EQ(readBytes(dir.file("dst")), expected);

    r = splitFiles(dir.file("src"), dir.file("dst"), std::vector<SplitPiece>{{0, 2}}, true);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(readBytes(dir.file("dst")), concat(expected, range(src, 0, 2)));
    // Appending to a file that is not there makes it.
    ASSERT_TRUE(
        splitFiles(dir.file("src"), dir.file("new"), std::vector<SplitPiece>{{98, 99}}, true).ok);
    EXPECT_EQ(readBytes(dir.file("new")), Bytes{98});
}

TEST(Split, RefusalsAndFailuresLeaveEveryFileAsItWas) {
    TempDir dir;
    writeBytes(dir.file("src"), counting(10));
    const std::vector<SplitPiece> one{{0, 5}};
    FileResult r = splitFiles(dir.file("src"), dir.file("src"), one, true);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("same file"), std::string::npos);
    EXPECT_FALSE(splitFiles(dir.file("src"), dir.path() + "/./src", one, false).ok);
    r = splitFiles(dir.file("src"), dir.file("dst"), std::vector<SplitPiece>{{-3, 5}}, false);
    EXPECT_NE(r.error.find("-3"), std::string::npos);
    r = splitFiles(dir.file("missing"), dir.file("dst"), one, false);
    EXPECT_NE(r.error.find(dir.file("missing")), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("dst")));
    // No folder to write in: the error names the target, nothing appears.
    r = splitFiles(dir.file("src"), dir.file("none/dst"), one, false);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(dir.file("none/dst")), std::string::npos);
    EXPECT_EQ(readBytes(dir.file("src")), counting(10));
#ifndef _WIN32
    if (::geteuid() != 0) {
        writeBytes(dir.file("dst"), Bytes{1, 2, 3});
        ::chmod(dir.path().c_str(), 0500);
        r = splitFiles(dir.file("src"), dir.file("dst"), one, false);
        ::chmod(dir.path().c_str(), 0700);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(readBytes(dir.file("dst")), (Bytes{1, 2, 3}));
    }
    // A full disk while appending (a file-size limit in a child process):
    // the system's reason comes back and the target keeps its old length.
    writeBytes(dir.file("dst"), Bytes{1, 2, 3});
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{5, 5};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        const FileResult full = splitFiles(dir.file("src"), dir.file("dst"), one, true);
        const bool reasoned = full.error.find(systemErrorText(EFBIG)) != std::string::npos;
        ::_exit(!full.ok && reasoned ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readBytes(dir.file("dst")), (Bytes{1, 2, 3}));
#endif
}

TEST(Split, AnAppendLosesNoOneElsesBytesAndTakesBackOnlyItsOwn) {
    TempDir dir;
    const Bytes src = counting(30);
    writeBytes(dir.file("src"), src);
    const std::string dst = dir.file("dst");
    const Bytes head{'H'}, other{'X'};
    const std::vector<SplitPiece> pieces{{0, 10}, {10, 20}, {20, 30}};
    FileStream in;
    ASSERT_TRUE(in.open(dir.file("src"), FileStream::Mode::Read));
    // A program appending on its own (a shell's >>) after the piece
    // `otherAfter`; the append stops after the piece `stopAfter` (-1: never).
    const auto run = [&](int otherAfter, int stopAfter) {
        writeBytes(dst, head);
        int piece = 0;
        return splitToFile(in, dst, pieces, true, [&](double) {
            if (piece == otherAfter) {
                FileStream shell;
                EXPECT_TRUE(shell.open(dst, FileStream::Mode::Append) && shell.append(other));
            }
            return piece++ != stopAfter;
        });
    };
    const Bytes p0 = range(src, 0, 10), p1 = range(src, 10, 20), p2 = range(src, 20, 30);
    ASSERT_TRUE(run(0, -1).ok);
    EXPECT_EQ(readBytes(dst), concat(concat(concat(concat(head, p0), other), p1), p2));
    // A failed append takes back its bytes after the other program's...
    FileResult r = run(0, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(readBytes(dst), concat(concat(head, p0), other));
    EXPECT_NE(r.error.find("another program has written after it"), std::string::npos) << r.error;
    // ...and none once the other program has written after them.
    r = run(1, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(readBytes(dst), concat(concat(concat(head, p0), p1), other));
}

TEST(Split, IntoTheWorkingCopyReadsItAsItWasAndSwitchesOnlyWhenDone) {
    const Bytes data = counting(64);
    fixtures::Work w(data);
    const std::string oldName = w.wf.name;
    const std::vector<SplitPiece> pieces{{40, 48}, {0, 4}};
    FileResult r = splitIntoWorkingFile(w.wf, nullptr, pieces, false);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_NE(w.wf.name, oldName);
    const Bytes once = concat(range(data, 40, 48), range(data, 0, 4));
    EXPECT_EQ(readBytes(w.wf.name), once);
    EXPECT_EQ(w.wf.stream.size(), 12);

    // Appending from another file keeps what the working copy held.
    writeBytes(w.dir.file("other"), counting(8, 200));
    FileStream other;
    ASSERT_TRUE(other.open(w.dir.file("other"), FileStream::Mode::Read));
    r = splitIntoWorkingFile(w.wf, &other, std::vector<SplitPiece>{{6, 8}}, true);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(readBytes(w.wf.name), concat(once, Bytes{206, 207}));

    r = splitIntoWorkingFile(w.wf, nullptr, std::vector<SplitPiece>{{-1, 3}}, false);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(w.wf.stream.size(), 14);
}
