#include <atomic>
#include <limits>
#include <memory>
#include <numeric>
#include <thread>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "codec.h"
#include "kinds.h"
#include "rewrite.h"
#include "fixtures.h"
#include "tempdir.h"
#include "workingfile.h"

using namespace vm;
using fixtures::entry;
using fixtures::Work;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<Segment> seg(std::int32_t begin, std::int32_t recLen, std::int32_t count,
                             std::string name = "S") {
    auto s = std::make_unique<Segment>();
    s->begin = begin;
    s->recordLength = recLen;
    s->recordCount = count;
    s->length = recLen * count;
    s->name = std::move(name);
    return s;
}

// Everything of a segment that a rewrite may change, as bytes.
std::string snapshot(const Segment& s) {
    const SegmentImage img = s.toImage();
    std::string out(img.begin(), img.end());
    for (const TypeEntry& e : s.entries) {
        const TypeEntryImage ei = e.toImage();
        out.append(ei.begin(), ei.end());
    }
    return out;
}

Bytes counting(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return b;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes slice(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(to));
}

} // namespace

TEST(WorkingFile, NamesSkipHeldFilesAndReuseLeftOvers) {
    TempDir dir;
    EXPECT_EQ(newWorkingFileName(dir.dir(), true), dir.dir() + "~qzt0.tmp");
    // A folder given without its separator still yields names inside it.
    EXPECT_EQ(newWorkingFileName(dir.path(), false), dir.dir() + "~qzt0.tmp");

    writeBytes(dir.file("~qzt0.tmp"), {1});
    writeBytes(dir.file("~qzt1.tmp"), {2});
    FileStream held;
    ASSERT_TRUE(held.open(dir.file("~qzt0.tmp"), FileStream::Mode::ReadWrite));
    ASSERT_TRUE(held.lockExclusive());

    EXPECT_FALSE(isFileInUse(dir.file("absent")));
    EXPECT_TRUE(isFileInUse(dir.file("~qzt0.tmp")));
    EXPECT_FALSE(isFileInUse(dir.file("~qzt1.tmp")));
    // Asking must not leave a lock behind.
    EXPECT_FALSE(isFileInUse(dir.file("~qzt1.tmp")));

    EXPECT_EQ(newWorkingFileName(dir.dir(), false), dir.dir() + "~qzt2.tmp");
    EXPECT_TRUE(fileExists(dir.file("~qzt1.tmp")));
    EXPECT_EQ(newWorkingFileName(dir.dir(), true), dir.dir() + "~qzt1.tmp");
    EXPECT_FALSE(fileExists(dir.file("~qzt1.tmp"))); // the leftover was deleted
    EXPECT_EQ(readBytes(dir.file("~qzt0.tmp")), Bytes{1});
}

TEST(WorkingFile, CopiesSmallAndLargeFilesExactly) {
    TempDir dir;
    for (std::size_t size : {std::size_t{0}, std::size_t{5}, (std::size_t{3} << 20) + 17}) {
        const Bytes data = counting(size);
        writeBytes(dir.file("src"), data);
        double last = -1;
        const FileResult r = copyWholeFile(dir.file("src"), dir.file("dst"), [&](double f) {
            EXPECT_GE(f, last);
            last = f;
            return true;
        });
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(readBytes(dir.file("dst")), data);
        EXPECT_DOUBLE_EQ(last, 1.0);
    }
    // A file copied onto itself would be emptied first.
    const FileResult self = copyWholeFile(dir.file("dst"), dir.file("dst"));
    EXPECT_FALSE(self.ok);
    EXPECT_EQ(readBytes(dir.file("dst")), counting((std::size_t{3} << 20) + 17));

    const FileResult missing = copyWholeFile(dir.file("nothing"), dir.file("dst"));
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.error.empty());

    std::string error;
    WorkingFile wf;
    wf.tempDir = dir.dir();
    EXPECT_FALSE(makeWorkingCopy(wf, dir.file("nothing"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fileExists(dir.file("~qzt0.tmp"))); // no half copy left behind

    ASSERT_TRUE(makeWorkingCopy(wf, dir.file("src"), &error));
    EXPECT_EQ(wf.name, dir.dir() + "~qzt0.tmp");
    EXPECT_EQ(readBytes(wf.name), counting((std::size_t{3} << 20) + 17));
}

#ifndef _WIN32 // the kernel copy and /dev/shm are Linux matters
TEST(WorkingFile, CopiesAcrossFileSystemsThroughTheBuffer) {
    // The kernel refuses to copy between different file systems; the copy
    // then goes through the buffer and must give the same bytes.
    const std::string shm = "/dev/shm/vm-copy-" + std::to_string(::getpid());
    const Bytes data = counting((std::size_t{9} << 20) + 3);
    writeBytes(shm, data);
    if (!fileExists(shm))
        GTEST_SKIP() << "no /dev/shm";
    TempDir dir;
    const FileResult r = copyWholeFile(shm, dir.file("copy"));
    ::unlink(shm.c_str());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(readBytes(dir.file("copy")), data);
}
#endif

TEST(WorkingFile, OpenedFileIsHeldAgainstOtherInstances) {
    Work w(counting(10));
    EXPECT_TRUE(isFileInUse(w.wf.name));
    WorkingFile other;
    std::string error;
    EXPECT_FALSE(openWorkingFile(other, w.wf.name, &error));
    EXPECT_FALSE(error.empty());
}

TEST(InsertRecords, BlankRecordsGoInAtTheIndex) {
    const Bytes data = counting(300);
    Work w(data);
    auto s = seg(100, 8, 4);
    const std::string before = w.wf.name;
    const FileResult r = insertRecords(w.wf, *s, 0, 2, false, true);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.delta, 16);
    EXPECT_EQ(w.bytes(), concat({slice(data, 0, 100), Bytes(16, 0), slice(data, 100, 300)}));
    EXPECT_EQ(s->recordCount, 6);
    EXPECT_EQ(s->length, 48);
    // The document moved to a new file and holds it; the old one stays behind,
    // still held (an undo may switch back to it) until the holder lets it go.
    EXPECT_NE(w.wf.name, before);
    EXPECT_TRUE(isFileInUse(w.wf.name));
    EXPECT_TRUE(isFileInUse(before));
    EXPECT_EQ(readBytes(before), data);
}

TEST(Rewrite, TakesOverTheFirstLeftoverNobodyHolds) {
    const Bytes data = counting(40);
    Work w(data); // holds ~qzt0.tmp
    // ~qzt1.tmp is held by another instance; ~qzt2.tmp is a larger leftover.
    writeBytes(w.dir.file("~qzt1.tmp"), Bytes(5, 0xAB));
    FileStream other;
    ASSERT_TRUE(other.open(w.dir.file("~qzt1.tmp"), FileStream::Mode::ReadWrite));
    ASSERT_TRUE(other.lockExclusive());
    writeBytes(w.dir.file("~qzt2.tmp"), Bytes(100000, 0xCD));
    auto s = seg(0, 4, 10);
    ASSERT_TRUE(deleteRecords(w.wf, *s, 0, 1).ok);
    EXPECT_EQ(w.wf.name, w.dir.dir() + "~qzt2.tmp");
    EXPECT_EQ(w.bytes(), slice(data, 8, 40)); // nothing of the leftover remains
    EXPECT_EQ(readBytes(w.dir.file("~qzt1.tmp")), Bytes(5, 0xAB));
    EXPECT_TRUE(isFileInUse(w.wf.name));
    // The file the document just left is still held: the next rewrite takes
    // a new name, and it goes only when the holder lets it go.
    ASSERT_TRUE(deleteRecords(w.wf, *s, 0, 0).ok);
    EXPECT_EQ(w.wf.name, w.dir.dir() + "~qzt3.tmp");
    EXPECT_EQ(w.bytes(), slice(data, 12, 40));
    EXPECT_EQ(readBytes(w.dir.file("~qzt0.tmp")), data);
    removeSupersededCopies(w.wf);
    EXPECT_FALSE(fileExists(w.dir.file("~qzt0.tmp")));
    EXPECT_FALSE(fileExists(w.dir.file("~qzt2.tmp")));
}

TEST(InsertRecords, CopiesTheRecordAtTheIndexOrTheLastOne) {
    const Bytes data = counting(64);
    Work w(data);
    auto s = seg(8, 4, 3); // records at 8, 12, 16
    ASSERT_TRUE(insertRecords(w.wf, *s, 0, 1, true, false).ok);
    EXPECT_EQ(w.bytes(), concat({slice(data, 0, 20), slice(data, 16, 20), slice(data, 20, 64)}));
    EXPECT_EQ(s->recordCount, 4);

    const Bytes now = w.bytes();
    ASSERT_TRUE(insertRecords(w.wf, *s, 1, 3, false, false).ok);
    EXPECT_EQ(w.bytes(), concat({slice(now, 0, 12), slice(now, 12, 16), slice(now, 12, 16),
                                 slice(now, 12, 16), slice(now, 12, 68)}));
    EXPECT_EQ(s->recordCount, 7);
    EXPECT_EQ(s->length, 28);
}

TEST(InsertRecords, RecordsOfAnyLengthAreCopiedWithoutHoldingOne) {
    // Records of 3 MiB, larger than what is held in memory: each copy is
    // streamed from the file.
    const std::size_t rec = std::size_t{3} << 20;
    const Bytes data = counting(2 * rec + 100);
    Work w(data);
    auto s = seg(0, static_cast<std::int32_t>(rec), 2);
    ASSERT_TRUE(insertRecords(w.wf, *s, 0, 2, true, false).ok);
    const Bytes last = slice(data, rec, 2 * rec);
    EXPECT_EQ(w.bytes(),
              concat({slice(data, 0, 2 * rec), last, last, slice(data, 2 * rec, data.size())}));
#ifndef _WIN32
    // A record length from a damaged type file near 2 GiB: no count, not even
    // 0, ever allocates one such record.
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit rl{std::size_t{1} << 30, std::size_t{1} << 30};
        ::setrlimit(RLIMIT_AS, &rl);
        auto huge = seg(0, std::numeric_limits<std::int32_t>::max(), 0);
        const FileResult r = insertRecords(w.wf, *huge, 0, 0, false, false);
        ::_exit(r.ok && r.delta == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
#endif
}

TEST(DeleteRecords, RemovesTheRangeAndRoundTripsWithInsert) {
    const Bytes data = counting(100);
    Work w(data);
    auto s = seg(10, 6, 4); // records at 10, 16, 22, 28
    const std::string shape = snapshot(*s);
    ASSERT_TRUE(insertRecords(w.wf, *s, 2, 5, false, true).ok);
    ASSERT_TRUE(deleteRecords(w.wf, *s, 2, 6).ok);
    EXPECT_EQ(w.bytes(), data);
    EXPECT_EQ(snapshot(*s), shape);

    const FileResult r = deleteRecords(w.wf, *s, 1, 2);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.delta, -12);
    EXPECT_EQ(w.bytes(), concat({slice(data, 0, 16), slice(data, 28, 100)}));
    EXPECT_EQ(s->recordCount, 2);
    EXPECT_EQ(s->length, 12);

    EXPECT_FALSE(deleteRecords(w.wf, *s, 1, 2).ok); // record 2 no longer exists
    EXPECT_FALSE(insertRecords(w.wf, *s, 3, 1, false, true).ok);
    EXPECT_EQ(s->recordCount, 2);
}

TEST(EntryBytes, DeletingAFieldShrinksEveryRecordAndMovesLaterFields) {
    const Bytes data = counting(45); // 5 bytes, then 4 records of 10
    Work w(data);
    auto s = seg(5, 10, 4);
    s->entries = {entry(6, 0, 4, "a"), entry(5, 4, 2, "b"), entry(5, 6, 2, "c"),
                  entry(5, 8, 2, "d")};
    const FileResult r = deleteEntryBytes(w.wf, *s, {1});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.delta, -8);
    Bytes want = slice(data, 0, 5);
    for (int rec = 0; rec < 4; ++rec) {
        const std::size_t b = 5 + static_cast<std::size_t>(rec) * 10;
        want = concat({want, slice(data, b, b + 4), slice(data, b + 6, b + 10)});
    }
    EXPECT_EQ(w.bytes(), want);
    EXPECT_EQ(s->recordLength, 8);
    EXPECT_EQ(s->length, 32);
    ASSERT_EQ(s->entries.size(), 3u);
    EXPECT_EQ(s->entries[1].memo, "c");
    EXPECT_EQ(s->entries[1].start, 4);
    EXPECT_EQ(s->entries[2].start, 6);
}

TEST(EntryBytes, DeletingSeveralFieldsMovesEachByWhatLayBeforeIt) {
    const Bytes data = counting(30);
    Work w(data);
    auto s = seg(0, 10, 3);
    s->entries = {entry(1, 2, 2, "x"), entry(1, 6, 2, "y"), entry(1, 8, 2, "z")};
    ASSERT_TRUE(deleteEntryBytes(w.wf, *s, {1, 0}).ok);
    ASSERT_EQ(s->entries.size(), 1u);
    // z kept bytes 8-9 of each record; they now sit at 4-5 of a 6-byte record.
    EXPECT_EQ(s->entries[0].start, 4);
    EXPECT_EQ(s->recordLength, 6);
    const Bytes now = w.bytes();
    ASSERT_EQ(now.size(), 18u);
    for (std::size_t rec = 0; rec < 3; ++rec) {
        EXPECT_EQ(now[rec * 6 + 4], data[rec * 10 + 8]);
        EXPECT_EQ(now[rec * 6 + 5], data[rec * 10 + 9]);
    }
}

TEST(EntryBytes, InsertedFieldsAreCopiesAndDeletingThemRestoresTheFile) {
    const Bytes data = counting(53);
    Work w(data);
    auto s = seg(3, 8, 6); // 48 bytes, then 2 bytes after
    s->entries = {entry(6, 0, 2, "p"), entry(6, 2, 2, "q"), entry(8, 4, 4, "r")};
    const std::string shape = snapshot(*s);
    // Paste copies of q and r in front of r (offset 4, list position 2).
    const FileResult r = insertEntryBytes(w.wf, *s, {s->entries[1], s->entries[2]}, 4, 2);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.delta, 6 * 6);
    EXPECT_EQ(s->recordLength, 14);
    EXPECT_EQ(s->length, 84);
    ASSERT_EQ(s->entries.size(), 5u);
    EXPECT_EQ(s->entries[2].start, 4);  // copy of q
    EXPECT_EQ(s->entries[3].start, 6);  // copy of r
    EXPECT_EQ(s->entries[4].start, 10); // r itself moved
    EXPECT_EQ(s->entries[4].memo, "r");
    const Bytes now = w.bytes();
    for (std::size_t rec = 0; rec < 6; ++rec) {
        const std::size_t o = 3 + rec * 8, n = 3 + rec * 14;
        EXPECT_EQ(slice(now, n, n + 4), slice(data, o, o + 4));
        EXPECT_EQ(slice(now, n + 4, n + 6), slice(data, o + 2, o + 4));
        EXPECT_EQ(slice(now, n + 6, n + 10), slice(data, o + 4, o + 8));
        EXPECT_EQ(slice(now, n + 10, n + 14), slice(data, o + 4, o + 8));
    }
    EXPECT_EQ(slice(now, 87, 89), slice(data, 51, 53));

    ASSERT_TRUE(deleteEntryBytes(w.wf, *s, {2, 3}).ok);
    EXPECT_EQ(w.bytes(), data);
    EXPECT_EQ(snapshot(*s), shape);
}

TEST(EntryBytes, ChangingAKindConvertsEveryRecord) {
    Bytes data = {0xAA};
    for (std::int16_t v : {300, -2, 7}) {
        data.push_back(static_cast<std::uint8_t>(v & 0xFF));
        data.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        data.push_back(0x55);
    }
    data.push_back(0xBB);
    Work w(data);
    auto s = seg(1, 3, 3);
    s->entries = {entry(5, 0, 2, "v"), entry(2, 2, 1, "h")};
    TypeEntry to = entry(1, 9, 1, "small"); // start is taken from the old field
    const FileResult r = changeEntryKind(w.wf, *s, 0, to);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.delta, -3);
    EXPECT_EQ(w.bytes(), (Bytes{0xAA, 0x2C, 0x55, 0xFE, 0x55, 0x07, 0x55, 0xBB}));
    EXPECT_EQ(s->recordLength, 2);
    EXPECT_EQ(s->length, 6);
    EXPECT_EQ(s->entries[0].kind, 1);
    EXPECT_EQ(s->entries[0].start, 0);
    EXPECT_EQ(s->entries[0].memo, "small");
    EXPECT_EQ(s->entries[1].start, 1);

    // Into raw bytes the value is kept as it is, zero padded to the new length.
    const FileResult raw = changeEntryKind(w.wf, *s, 0, entry(15, 0, 3, "raw"));
    ASSERT_TRUE(raw.ok) << raw.error;
    EXPECT_EQ(w.bytes(), (Bytes{0xAA, 0x2C, 0, 0, 0x55, 0xFE, 0, 0, 0x55, 0x07, 0, 0, 0x55, 0xBB}));

    // A value that does not convert becomes zeros.
    Work t(Bytes{'a', 'b', '1', '2'});
    auto st = seg(0, 2, 2);
    st->entries = {entry(14, 0, 2, "s")};
    ASSERT_TRUE(changeEntryKind(t.wf, *st, 0, entry(1, 0, 1)).ok);
    EXPECT_EQ(t.bytes(), (Bytes{0, 12}));
}

TEST(EntryBytes, FieldsLongerThanTheValueBufferAreRefused) {
    const Bytes data = counting(600);
    Work w(data);
    auto s = seg(0, 300, 2);
    s->entries = {entry(14, 0, 256, "long"), entry(1, 256, 1)};
    const std::string shape = snapshot(*s);
    const std::string name = w.wf.name;
    FileResult r = changeEntryKind(w.wf, *s, 0, entry(15, 0, 256));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    r = changeEntryKind(w.wf, *s, 1, entry(14, 0, 300));
    EXPECT_FALSE(r.ok);
    r = insertNewEntry(w.wf, *s, entry(14, 0, 256), {}, nullptr);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(w.wf.name, name);
    EXPECT_EQ(snapshot(*s), shape);
    EXPECT_FALSE(fileExists(w.dir.file("~qzt1.tmp"))); // nothing was written
}

TEST(EntryBytes, NewFieldTakesADefaultOrAConvertedValue) {
    const Bytes data = {9, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    Work w(data);
    auto s = seg(1, 3, 3);
    s->entries = {entry(1, 0, 1, "a"), entry(1, 2, 1, "c")}; // byte 1 of each record has no field
    const std::uint8_t def[] = {0xEE, 0xFF};
    const FileResult r = insertNewEntry(w.wf, *s, entry(6, 1, 2, "n"), def, nullptr);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.delta, 6);
    EXPECT_EQ(w.bytes(), (Bytes{9, 1, 0xEE, 0xFF, 2, 3, 4, 0xEE, 0xFF, 5, 6, 7, 0xEE, 0xFF, 8, 9}));
    ASSERT_EQ(s->entries.size(), 3u);
    // No field started at 1, so the new one is appended, and c still follows its byte.
    EXPECT_EQ(s->entries[2].memo, "n");
    EXPECT_EQ(s->entries[1].start, 4);
    EXPECT_EQ(s->recordLength, 5);
    EXPECT_EQ(s->length, 15);

    // From a source field: a's byte as a 2-byte signed value, inserted before a.
    const TypeEntry a = s->entries[0];
    ASSERT_TRUE(insertNewEntry(w.wf, *s, entry(5, 0, 2, "w"), {}, &a).ok);
    EXPECT_EQ(w.bytes(), (Bytes{9,    1,    0, 1, 0xEE, 0xFF, 2, 3,    4,    0, 4,
                                0xEE, 0xFF, 5, 6, 7,    0,    7, 0xEE, 0xFF, 8, 9}));
    EXPECT_EQ(s->entries[0].memo, "w");
    EXPECT_EQ(s->entries[1].start, 2);
}

TEST(EntryBytes, UnconvertibleSourceFailsTheNewField) {
    const Bytes data = {'1', '2', 'x', 'y'};
    Work w(data);
    auto s = seg(0, 2, 2);
    s->entries = {entry(14, 0, 2, "s")};
    const std::string shape = snapshot(*s);
    const std::string name = w.wf.name;
    const TypeEntry src = s->entries[0];
    const FileResult r = insertNewEntry(w.wf, *s, entry(1, 0, 1, "n"), {}, &src);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("cannot be converted"), std::string::npos) << r.error;
    EXPECT_EQ(w.wf.name, name);
    EXPECT_EQ(w.bytes(), data);
    EXPECT_EQ(snapshot(*s), shape);
}

TEST(SegmentBytes, PastedSegmentMovesTheFollowingOnes) {
    const Bytes data = counting(200);
    Work w(data);
    SegmentList list;
    list.append(seg(0, 10, 5, "first"));
    list.append(seg(100, 10, 2, "sel"));
    list.append(seg(120, 10, 3, "next"));
    auto copy = seg(10, 10, 5, "pasted"); // 50 bytes from offset 10
    const FileResult r = insertSegmentBytes(w.wf, list, *copy, 100);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.delta, 50);
    EXPECT_EQ(list[0].begin, 0);
    EXPECT_EQ(list[1].begin, 150);
    EXPECT_EQ(list[2].begin, 170);
    EXPECT_EQ(copy->begin, 100);
    EXPECT_EQ(w.bytes(), concat({slice(data, 0, 100), slice(data, 10, 60), slice(data, 100, 200)}));

    // Without an offset the copy goes to the end.
    auto tail = seg(0, 4, 1, "t");
    ASSERT_TRUE(insertSegmentBytes(w.wf, list, *tail, std::nullopt).ok);
    EXPECT_EQ(tail->begin, 250);
    EXPECT_EQ(w.bytes().size(), 254u);

    // Deleting the pasted bytes gives the file back.
    ASSERT_TRUE(deleteSegmentBytes(w.wf, *tail).ok);
    const FileResult d = deleteSegmentBytes(w.wf, *copy);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.delta, -50);
    EXPECT_EQ(w.bytes(), data);
}

TEST(Rewrite, LargeRecordsAreStreamedPieceByPiece) {
    // One Anomaly record of 5 MiB: larger than any buffer of the rewrite.
    const std::size_t size = (std::size_t{5} << 20) + 3;
    const Bytes data = counting(size + 10);
    Work w(data);
    auto s = std::make_unique<Segment>();
    s->anomaly = true;
    s->begin = 10;
    s->length = static_cast<std::int32_t>(size);
    s->entries = {entry(1, 0, 1), entry(6, 4, 2, "cut"), entry(1, 60000, 1, "late")};
    ASSERT_TRUE(deleteEntryBytes(w.wf, *s, {1}).ok);
    EXPECT_EQ(s->length, static_cast<std::int32_t>(size - 2));
    EXPECT_EQ(s->recordLength, s->length);
    EXPECT_EQ(s->entries[1].start, 59998);
    EXPECT_EQ(w.bytes(), concat({slice(data, 0, 14), slice(data, 16, data.size())}));
}

TEST(Rewrite, StoppedRewriteChangesNothing) {
    const Bytes data = counting((std::size_t{12} << 20) + 5);
    Work w(data);
    auto s = seg(0, 16, static_cast<std::int32_t>(data.size() / 16));
    s->entries = {entry(8, 0, 4), entry(8, 4, 4), entry(8, 8, 8)};
    const std::string shape = snapshot(*s);
    const std::string name = w.wf.name;
    int calls = 0;
    const FileResult r = deleteEntryBytes(w.wf, *s, {1}, [&](double f) {
        EXPECT_GE(f, 0.0);
        EXPECT_LE(f, 1.0);
        return ++calls < 2;
    });
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(w.wf.name, name);
    EXPECT_EQ(snapshot(*s), shape);
    EXPECT_FALSE(fileExists(w.dir.file("~qzt1.tmp"))); // the unfinished file is gone
    // The document still reads and writes its old file.
    EXPECT_TRUE(w.wf.stream.writeAt(0, Bytes{1}));
    EXPECT_EQ(w.bytes().size(), data.size());
}

#ifndef _WIN32 // a full disk is made with fork and setrlimit
namespace {

// Runs a rewrite in a child process whose files may not grow past `limit`
// bytes, as on a full disk. Exit code 0 when it failed cleanly.
template <typename Rewrite> int failsCleanlyUnderSizeLimit(std::int64_t limit, Rewrite rewrite) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        ::_exit(rewrite());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

} // namespace

TEST(Rewrite, FailedWriteKeepsTheOldFileAndStructure) {
    const Bytes data = counting((std::size_t{3} << 20) + 40);
    Work w(data);
    const std::string name = w.wf.name;
    auto perRecord = [&] {
        auto s = seg(8, 16, static_cast<std::int32_t>((data.size() - 8) / 16));
        s->entries = {entry(8, 0, 4), entry(6, 4, 2), entry(8, 8, 8)};
        const std::string shape = snapshot(*s);
        const FileResult r = changeEntryKind(w.wf, *s, 1, entry(7, 0, 4));
        if (r.ok)
            return 1;
        if (r.error != "File too large")
            return 2;
        if (w.wf.name != name || snapshot(*s) != shape)
            return 3;
        if (readBytes(name) != data)
            return 4;
        if (fileExists(w.dir.file("~qzt1.tmp")))
            return 5;
        return 0;
    };
    auto wholePieces = [&] {
        SegmentList list;
        list.append(seg(100, 4, 10));
        auto copy = seg(0, 1 << 20, 1);
        const FileResult r = insertSegmentBytes(w.wf, list, *copy, 100);
        if (r.ok)
            return 1;
        if (r.error.empty())
            return 2;
        if (w.wf.name != name || list[0].begin != 100 || copy->begin != 0)
            return 3;
        if (readBytes(name) != data)
            return 4;
        return fileExists(w.dir.file("~qzt1.tmp")) ? 5 : 0;
    };
    EXPECT_EQ(failsCleanlyUnderSizeLimit(2 << 20, perRecord), 0);
    EXPECT_EQ(failsCleanlyUnderSizeLimit(3 << 20, wholePieces), 0);
    // The same rewrite without the limit succeeds, so the limit was the cause.
    auto s = seg(8, 16, static_cast<std::int32_t>((data.size() - 8) / 16));
    s->entries = {entry(8, 0, 4), entry(6, 4, 2), entry(8, 8, 8)};
    EXPECT_TRUE(changeEntryKind(w.wf, *s, 1, entry(7, 0, 4)).ok);
}
#endif

TEST(EntryBytes, IntegerKindChangesMatchTheCodec) {
    // The rewrite converts integers on a machine word; every pair of integer
    // kinds must give exactly the bytes the codec's conversion gives.
    const std::vector<Bytes> values = {
        {0, 0, 0, 0, 0, 0, 0, 0},
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
        {0x80, 0, 0, 0, 0, 0, 0, 0x80},
        {0x7F, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F},
        {0x2C, 0x01, 0x00, 0x80, 1, 2, 3, 4},
        {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0x01},
        {0, 0, 0, 0, 1, 0, 0, 0},
        {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    };
    Bytes data;
    for (const Bytes& v : values)
        data.insert(data.end(), v.begin(), v.end());
    for (int from : {0, 1, 2, 4, 5, 6, 7, 8, 10}) {
        for (int to : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10}) {
            Work w(data);
            const auto fromLen = static_cast<std::uint16_t>(kindInfo(from)->defaultLength);
            const auto toLen = static_cast<std::uint16_t>(kindInfo(to)->defaultLength);
            auto s = seg(0, 8, static_cast<std::int32_t>(values.size()));
            s->entries = {entry(from, 0, fromLen)};
            const std::string before = w.wf.name;
            ASSERT_TRUE(changeEntryKind(w.wf, *s, 0, entry(to, 0, toLen)).ok);
            // A change said to keep the bytes writes no new file: the codec
            // below is the judge of whether it really does keep them.
            EXPECT_EQ(w.wf.name == before,
                      conversionKeepsBytes(entry(from, 0, fromLen), entry(to, 0, toLen)))
                << kindName(from) << " to " << kindName(to);
            Bytes want;
            for (const Bytes& v : values) {
                std::array<std::uint8_t, kMaxValueBytes + 9> buf{};
                std::copy_n(v.begin(), fromLen, buf.begin());
                if (!convertValue(std::span<std::uint8_t>(buf), from, fromLen, to, toLen))
                    buf.fill(0);
                want.insert(want.end(), buf.begin(), buf.begin() + toLen);
                want.insert(want.end(), v.begin() + fromLen, v.end());
            }
            EXPECT_EQ(w.bytes(), want) << kindName(from) << " to " << kindName(to);
        }
    }
}

#ifdef __linux__
TEST(EntryBytes, AOnePassRewriteReadsItsSourceInPlaceAndFailsCleanlyWhenItIsCutShort) {
    // Several blocks read in place, the last one through the buffer, and
    // bytes before and after the segment.
    const Bytes data = counting((24 << 20) + 1000);
    const auto records = static_cast<std::int32_t>((24 << 20) / 16 - 1);
    auto convert = [&](WorkingFile& wf, const Progress& progress) {
        auto s = seg(3, 16, records);
        s->entries = {entry(7, 0, 4), entry(6, 4, 2)};
        return changeEntryKind(wf, *s, 1, entry(7, 0, 4), defaultLocale(), progress);
    };
    // What the edit writes into the file that will replace its source.
    auto onePass = [&](Work& w, const std::string& out, const Progress& progress) {
        w.wf.rewriteTarget = [out](FileStream& stream, std::string& name, std::string& error) {
            name = out;
            if (stream.open(out, FileStream::Mode::Create))
                return true;
            error = stream.lastError();
            return false;
        };
        w.wf.rewriteReplacesSource = true;
        return convert(w.wf, progress);
    };
    Work plain(data);
    ASSERT_TRUE(convert(plain.wf, {}).ok);
    Work mapped(data);
    const FileResult r = onePass(mapped, mapped.dir.file("out.bin"), {});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(readBytes(mapped.dir.file("out.bin")), plain.bytes());

    // Another program cuts the source short half way: an error, no crash.
    Work cut(data);
    bool once = false;
    const FileResult c = onePass(cut, cut.dir.file("out.bin"), [&](double) {
        if (!std::exchange(once, true)) {
            EXPECT_EQ(::truncate(cut.wf.name.c_str(), 1 << 20), 0);
        }
        return true;
    });
    EXPECT_TRUE(once);
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.error.find("was cut short by another program"), std::string::npos) << c.error;
}
#endif

TEST(EntryBytes, PastedFieldFromALongerRecordCopiesTheBytesAtItsOffset) {
    // Fields copied from a segment with longer records keep their offsets; in
    // a 4-byte record the bytes at offset 6 are those of the following record.
    const Bytes data = counting(20);
    Work w(data);
    auto s = seg(2, 4, 3); // records at 2, 6, 10; bytes up to 20 follow
    s->entries = {entry(6, 0, 2, "a")};
    const FileResult r = insertEntryBytes(w.wf, *s, {entry(6, 6, 2, "far")}, 4, -1);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.delta, 6);
    Bytes want = slice(data, 0, 2);
    for (std::size_t rec = 0; rec < 3; ++rec) {
        const std::size_t b = 2 + rec * 4;
        want = concat({want, slice(data, b, b + 4), slice(data, b + 6, b + 8)});
    }
    want = concat({want, slice(data, 14, 20)});
    EXPECT_EQ(w.bytes(), want);
    ASSERT_EQ(s->entries.size(), 2u);
    EXPECT_EQ(s->entries[1].start, 4);
    EXPECT_EQ(s->entries[0].start, 0); // appended: nothing moves
}

TEST(WorkingFile, CopyIsHeldFromItsCreationOnAndAfterwards) {
    TempDir dir;
    writeBytes(dir.file("src"), counting((std::size_t{2} << 20) + 1));
    int calls = 0;
    bool heldThroughout = true;
    WorkingFile wf;
    wf.tempDir = dir.dir();
    ASSERT_TRUE(makeWorkingCopy(wf, dir.file("src"), nullptr, [&](double) {
        ++calls;
        heldThroughout = heldThroughout && isFileInUse(dir.file("~qzt0.tmp"));
        return true;
    }));
    ASSERT_EQ(wf.name, dir.file("~qzt0.tmp"));
    EXPECT_GT(calls, 0);
    EXPECT_TRUE(heldThroughout); // a rewrite elsewhere would otherwise write over it
    // The lock is never let go between the copy and its use.
    EXPECT_TRUE(isFileInUse(wf.name));
}

TEST(WorkingFile, AFillOnItsOwnThreadCopiesEveryByteOrStopsUntouched) {
    TempDir dir;
    const Bytes data = counting((std::size_t{3} << 20) + 1);
    writeBytes(dir.file("src"), data);
    const auto start = [&](WorkingFile& wf, std::atomic<bool>& ended) {
        wf.tempDir = dir.dir();
        FileStream source;
        EXPECT_TRUE(source.open(dir.file("src"), FileStream::Mode::Read));
        EXPECT_TRUE(createWorkingFile(wf));
        return std::make_unique<WorkingFileFill>(std::move(wf.stream), std::move(source),
                                                 Progress{}, [&ended] { ended = true; });
    };
    WorkingFile done;
    std::atomic<bool> ended{false};
    auto fill = start(done, ended);
    fill->wait();
    ASSERT_TRUE(fill->result().ok) << fill->result().error;
    EXPECT_TRUE(ended);
    EXPECT_EQ(fill->result().delta, static_cast<std::int64_t>(data.size()));
    done.stream = fill->takeTarget();
    EXPECT_EQ(readBytes(done.name), data);
    EXPECT_TRUE(isFileInUse(done.name));

    // Held before its first byte, then stopped: nothing was written.
    setWorkingFileFillHook([](double, const std::atomic<bool>& stopping) {
        while (!stopping)
            std::this_thread::yield();
    });
    WorkingFile stopped;
    std::atomic<bool> stoppedEnded{false};
    auto held = start(stopped, stoppedEnded);
    held->stop();
    setWorkingFileFillHook({});
    EXPECT_FALSE(held->result().ok);
    EXPECT_EQ(held->result().error, kStoppedByUser);
    EXPECT_TRUE(stoppedEnded);
    EXPECT_EQ(fileSize(stopped.name), 0);
}

TEST(Rewrite, RequestsOutsideWhatTheFileCanHoldAreRefused) {
    const Bytes data = counting(64);
    Work w(data);
    auto s = seg(0, 8, 8);
    s->entries = {entry(14, 0, 8, "s")};
    const std::string shape = snapshot(*s);
    const std::string name = w.wf.name;
    // A count whose byte total does not fit 64 bits must not wrap into a small one.
    FileResult r = insertRecords(w.wf, *s, 0, std::int64_t{1} << 60, false, true);
    EXPECT_FALSE(r.ok);
    r = insertRecords(w.wf, *s, 0, (std::int64_t{1} << 61) + 1, false, true);
    EXPECT_FALSE(r.ok);
    // A source field longer than the value buffer cannot be converted from,
    // even when its kind would convert.
    const TypeEntry longSource = entry(1, 0, 300, "long");
    r = insertNewEntry(w.wf, *s, entry(1, 0, 1, "n"), {}, &longSource);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(w.wf.name, name);
    EXPECT_EQ(snapshot(*s), shape);
    EXPECT_EQ(w.bytes(), data);
    EXPECT_FALSE(fileExists(w.dir.file("~qzt1.tmp")));
}

#ifndef _WIN32 // symbolic and hard links made with POSIX calls
TEST(Rewrite, LinksUnderWorkingFileNamesAreNeverWrittenThrough) {
    // The temporary folder is shared: a name may be a link to someone's file.
    const Bytes data = counting(40);
    Work w(data); // holds ~qzt0.tmp
    const Bytes victim = {1, 2, 3, 4, 5, 6, 7, 8};
    writeBytes(w.dir.file("victim"), victim);
    ASSERT_EQ(::symlink(w.dir.file("victim").c_str(), w.dir.file("~qzt1.tmp").c_str()), 0);
    ASSERT_EQ(::link(w.dir.file("victim").c_str(), w.dir.file("~qzt2.tmp").c_str()), 0);
    ASSERT_EQ(::symlink(w.dir.file("nowhere").c_str(), w.dir.file("~qzt3.tmp").c_str()), 0);
    auto s = seg(0, 4, 10);
    ASSERT_TRUE(deleteRecords(w.wf, *s, 0, 1).ok);
    EXPECT_EQ(w.wf.name, w.dir.file("~qzt4.tmp"));
    EXPECT_EQ(w.bytes(), slice(data, 8, 40));
    EXPECT_EQ(readBytes(w.dir.file("victim")), victim);
    EXPECT_FALSE(fileExists(w.dir.file("nowhere")));

    // A fresh working copy does not create a file through a dangling link either.
    ::unlink(w.dir.file("~qzt0.tmp").c_str());
    ASSERT_EQ(::symlink(w.dir.file("nowhere").c_str(), w.dir.file("~qzt0.tmp").c_str()), 0);
    WorkingFile fresh;
    fresh.tempDir = w.dir.dir();
    ASSERT_TRUE(makeWorkingCopy(fresh, w.dir.file("data.bin")));
    EXPECT_FALSE(fileExists(w.dir.file("nowhere")));
    EXPECT_EQ(readBytes(fresh.name), data);
}
#endif

#ifndef _WIN32 // POSIX file modes
TEST(WorkingFile, WorkingFilesAreReadableByTheirOwnerOnly) {
    // They hold the user's data in a folder every user can list.
    const auto privateMode = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 077) == 0;
    };
    const Bytes data = counting(64);
    Work w(data);
    ASSERT_EQ(::chmod(w.dir.file("data.bin").c_str(), 0644), 0);
    EXPECT_TRUE(privateMode(w.wf.name));
    // A leftover that was readable by others is taken over privately too.
    writeBytes(w.dir.file("~qzt1.tmp"), {1, 2, 3});
    ASSERT_EQ(::chmod(w.dir.file("~qzt1.tmp").c_str(), 0644), 0);
    auto s = seg(0, 4, 16);
    ASSERT_TRUE(deleteRecords(w.wf, *s, 0, 0).ok);
    removeSupersededCopies(w.wf); // their names free again
    EXPECT_EQ(w.wf.name, w.dir.file("~qzt1.tmp"));
    EXPECT_TRUE(privateMode(w.wf.name));
    ASSERT_TRUE(deleteRecords(w.wf, *s, 0, 0).ok);
    removeSupersededCopies(w.wf); // their names free again
    EXPECT_EQ(w.wf.name, w.dir.file("~qzt0.tmp"));
    EXPECT_TRUE(privateMode(w.wf.name));
    ASSERT_TRUE(deleteRecords(w.wf, *s, 0, 0).ok);
    removeSupersededCopies(w.wf); // their names free again
    EXPECT_EQ(w.wf.name, w.dir.file("~qzt1.tmp"));
    ::unlink(w.dir.file("~qzt0.tmp").c_str());
    ASSERT_TRUE(deleteRecords(w.wf, *s, 0, 0).ok); // a name made anew
    EXPECT_EQ(w.wf.name, w.dir.file("~qzt0.tmp"));
    EXPECT_TRUE(privateMode(w.wf.name));
}
#endif

TEST(Rewrite, SegmentsWithNegativeNumbersAreLeftAlone) {
    // A damaged type file can give any numbers; no rewrite may guess at them.
    const Bytes data = counting(64);
    Work w(data);
    const std::string name = w.wf.name;
    auto negLength = seg(8, 4, 4);
    negLength->anomaly = true;
    negLength->length = -16;
    negLength->entries = {entry(1, 0, 2, "a"), entry(1, 2, 2, "b")};
    auto negRecord = seg(8, 4, 4);
    negRecord->recordLength = -4;
    negRecord->entries = {entry(1, 0, 2, "a")};
    auto negBegin = seg(-8, 4, 4);
    negBegin->entries = {entry(1, 0, 2, "a")};
    for (Segment* s : {negLength.get(), negRecord.get(), negBegin.get()}) {
        const std::string shape = snapshot(*s);
        EXPECT_FALSE(deleteEntryBytes(w.wf, *s, {0}).ok);
        EXPECT_FALSE(insertEntryBytes(w.wf, *s, {s->entries[0]}, 0, 0).ok);
        EXPECT_FALSE(changeEntryKind(w.wf, *s, 0, entry(6, 0, 2)).ok);
        EXPECT_FALSE(insertNewEntry(w.wf, *s, entry(1, 0, 1), {}, nullptr).ok);
        EXPECT_FALSE(insertRecords(w.wf, *s, 0, 1, false, true).ok);
        EXPECT_FALSE(deleteRecords(w.wf, *s, 0, 0).ok);
        EXPECT_EQ(snapshot(*s), shape);
    }
    EXPECT_EQ(w.wf.name, name);
    EXPECT_EQ(w.bytes(), data);
}
