// How the engine's files behave on Windows: built into the cross-compiled
// engine tests only, and run under Wine.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <utility>

#include "atomicfile.h"
#include "filelock.h"
#include "filestream.h"
#include "fixtures.h"
#include "paircommit.h"
#include "platformfile.h"
#include "rewrite.h"
#include "tempdir.h"
#include "typefile.h"
#include "workingfile.h"

using namespace vm;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes counting(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 13 + i / 509);
    return b;
}

// A raw open as another program (or another instance) would make it; the
// sharing rules apply between handles alike, whichever process holds them.
struct RawHandle {
    HANDLE h = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    RawHandle(const std::string& path, DWORD access, DWORD share) {
        h = ::CreateFileW(win::widePath(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            error = ::GetLastError();
    }
    ~RawHandle() {
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
    }
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool writeFile(const std::string& path, const Bytes& bytes) {
    FileStream f;
    return f.open(path, FileStream::Mode::Create) && f.writeAt(0, bytes);
}

Bytes readFile(const std::string& path) {
    FileStream f;
    if (!f.open(path, FileStream::Mode::Read))
        return {};
    Bytes b(static_cast<std::size_t>(f.size()));
    return f.readExact(0, b) ? b : Bytes{};
}

int filesIn(const std::string& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

TypeFileContent sample() {
    TypeFileContent c;
    auto s = fixtures::seg("Header", 0, 16, 4);
    s->entries = {fixtures::entry(8, 0, 4, "id"), fixtures::entry(8, 4, 4, "value")};
    c.segments.append(std::move(s));
    return c;
}

} // namespace

TEST(WindowsWorkingFile, HeldWorkingFileIsInUseForASecondInstance) {
    fixtures::Work w(counting(4096));
    const std::string held = w.wf.name;
    ASSERT_EQ(held, w.dir.dir() + "~qzt0.tmp");

    // What a second instance sees: the share-none probe fails, so the name is
    // skipped and the file is neither deleted nor taken over.
    EXPECT_TRUE(isFileInUse(held));
    EXPECT_EQ(newWorkingFileName(w.dir.dir(), true), w.dir.dir() + "~qzt1.tmp");
    EXPECT_EQ(readFile(held), counting(4096));
    WorkingFile second;
    std::string error;
    EXPECT_FALSE(openWorkingFile(second, held, &error));
    EXPECT_FALSE(error.empty());

    // No one else writes or deletes it while the document holds it...
    EXPECT_EQ(RawHandle(held, GENERIC_WRITE, kShareAll).error, DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_EQ(RawHandle(held, GENERIC_READ | GENERIC_WRITE, 0).error,
              DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_FALSE(win::removeFile(held));
    // ...but it can be read.
    EXPECT_TRUE(RawHandle(held, GENERIC_READ, kShareAll).ok());
    const FileResult saved = copyWholeFile(held, w.dir.file("saved.bin"));
    ASSERT_TRUE(saved.ok) << saved.error;
    EXPECT_EQ(readFile(w.dir.file("saved.bin")), counting(4096));
    // The document still writes its file.
    EXPECT_TRUE(w.wf.stream.writeAt(0, Bytes{0xEE}));
}

TEST(WindowsWorkingFile, LeftoverNobodyHoldsIsReused) {
    fixtures::Work w(counting(100));
    const std::string left = w.wf.name;
    w.wf.stream.close(); // the instance that held it is gone
    EXPECT_FALSE(isFileInUse(left));
    EXPECT_FALSE(isFileInUse(left)); // asking leaves no handle behind
    EXPECT_EQ(newWorkingFileName(w.dir.dir(), false), w.dir.dir() + "~qzt1.tmp");
    EXPECT_EQ(newWorkingFileName(w.dir.dir(), true), left);
    EXPECT_FALSE(fileExists(left)); // deleted so that the name can be made anew

    // A file some other program merely reads is still in use: it is skipped,
    // never deleted under the reader.
    ASSERT_TRUE(writeFile(left, {1, 2, 3}));
    {
        RawHandle reader(left, GENERIC_READ, kShareAll);
        ASSERT_TRUE(reader.ok());
        EXPECT_TRUE(isFileInUse(left));
        EXPECT_EQ(newWorkingFileName(w.dir.dir(), true), w.dir.dir() + "~qzt1.tmp");
        EXPECT_TRUE(fileExists(left));
    }
    // A fresh working copy takes the leftover's name once it is free.
    WorkingFile copy;
    copy.tempDir = w.dir.dir();
    ASSERT_TRUE(makeWorkingCopy(copy, w.dir.file("data.bin")));
    EXPECT_EQ(copy.name, left);
    EXPECT_TRUE(isFileInUse(copy.name)); // held from its creation on
    EXPECT_EQ(copy.stream.size(), 100);
}

TEST(WindowsWorkingFile, RewriteTakesOverOnlyLeftoversNobodyOpened) {
    const Bytes data = counting(40);
    fixtures::Work w(data); // holds ~qzt0.tmp
    ASSERT_TRUE(writeFile(w.dir.file("~qzt1.tmp"), Bytes(50, 0xAB)));
    ASSERT_TRUE(writeFile(w.dir.file("~qzt2.tmp"), Bytes(60, 0xCD)));
    RawHandle reader(w.dir.file("~qzt1.tmp"), GENERIC_READ, kShareAll);
    ASSERT_TRUE(reader.ok());
    auto s = fixtures::seg("S", 0, 40, 4);
    s->recordCount = 10;
    const FileResult r = deleteRecords(w.wf, *s, 0, 1);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(w.wf.name, w.dir.file("~qzt2.tmp"));
    EXPECT_EQ(readFile(w.wf.name), Bytes(data.begin() + 8, data.end()));
    EXPECT_EQ(readFile(w.dir.file("~qzt1.tmp")), Bytes(50, 0xAB));
    EXPECT_TRUE(isFileInUse(w.wf.name));
    // The file left behind stays held (an undo may switch back to it) until
    // its holder lets it go; then it goes.
    EXPECT_TRUE(isFileInUse(w.dir.file("~qzt0.tmp")));
    removeSupersededCopies(w.wf);
    EXPECT_FALSE(fileExists(w.dir.file("~qzt0.tmp")));
}

TEST(WindowsWorkingFile, FolderSpelledWithBackslashes) {
    TempDir dir;
    std::string back = dir.path();
    for (char& c : back)
        if (c == '/')
            c = '\\';
    ASSERT_TRUE(writeFile(dir.file("src"), counting(10)));
    // With its trailing separator the folder is used as given...
    EXPECT_EQ(newWorkingFileName(back + "\\", true), back + "\\~qzt0.tmp");
    WorkingFile first;
    first.tempDir = back + "\\";
    ASSERT_TRUE(makeWorkingCopy(first, dir.file("src")));
    EXPECT_EQ(first.name, back + "\\~qzt0.tmp");
    first.stream.close(); // left behind
    EXPECT_EQ(readFile(dir.file("~qzt0.tmp")), counting(10));
    // ...and without it the names still land inside it.
    WorkingFile wf;
    wf.tempDir = back;
    ASSERT_TRUE(makeWorkingCopy(wf, dir.file("src")));
    EXPECT_EQ(wf.name, back + "/~qzt0.tmp");
    EXPECT_EQ(filesIn(dir.path()), 2);
    wf.tempDir = back + "\\";
    auto s = fixtures::seg("S", 0, 10, 2);
    s->recordCount = 5;
    ASSERT_TRUE(deleteRecords(wf, *s, 0, 0).ok);
    EXPECT_EQ(wf.name, back + "\\~qzt1.tmp");
    const Bytes ten = counting(10);
    EXPECT_EQ(readFile(dir.file("~qzt1.tmp")), Bytes(ten.begin() + 2, ten.end()));
    EXPECT_EQ(filesIn(dir.path()), 3);
}

TEST(WindowsCopy, CopiesExactlyAndReplacesALongerTarget) {
    TempDir dir;
    for (std::size_t size : {std::size_t{0}, std::size_t{7}, (std::size_t{5} << 20) + 11}) {
        ASSERT_TRUE(writeFile(dir.file("src"), counting(size)));
        ASSERT_TRUE(writeFile(dir.file("dst"), Bytes((std::size_t{6} << 20), 0xAA)));
        const FileResult r = copyWholeFile(dir.file("src"), dir.file("dst"));
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.delta, static_cast<std::int64_t>(size));
        EXPECT_EQ(readFile(dir.file("dst")), counting(size));
    }
}

TEST(WindowsCopy, ProgressStopAndFailures) {
    TempDir dir;
    const Bytes data = counting(std::size_t{3} << 20);
    ASSERT_TRUE(writeFile(dir.file("src"), data));
    double last = -1;
    FileResult r = copyWholeFile(dir.file("src"), dir.file("dst"), [&](double f) {
        EXPECT_GE(f, last);
        EXPECT_LE(f, 1.0);
        last = f;
        return true;
    });
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(last, 1.0);
    EXPECT_EQ(readFile(dir.file("dst")), data);

    // Stopped: a failure, and no part copy is left.
    r = copyWholeFile(dir.file("src"), dir.file("stopped"), [](double) { return false; });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Stopped by the user");
    EXPECT_FALSE(fileExists(dir.file("stopped")));

    // The same file under another spelling is refused before anything is touched.
    std::string other = dir.file("src");
    for (char& c : other)
        if (c == '/')
            c = '\\';
    r = copyWholeFile(dir.file("src"), other);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(readFile(dir.file("src")), data);

    r = copyWholeFile(dir.file("missing"), dir.file("dst2"));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_FALSE(fileExists(dir.file("dst2")));
}

TEST(WindowsPaths, Utf8NamesReachTheSystemIntact) {
    TempDir dir;
    // "Données-€-数据.bin" in UTF-8: outside any single-byte code page.
    const std::string name = dir.file("Donn\xC3\xA9"
                                      "es-\xE2\x82\xAC-\xE6\x95\xB0\xE6\x8D\xAE.bin");
    ASSERT_TRUE(writeFile(name, counting(300)));
    EXPECT_TRUE(fileExists(name));
    EXPECT_EQ(fileSize(name), 300);
    // The name on disk is the wide form of the UTF-8 text, not a mangled one.
    const std::wstring wide = L"Donn\u00E9es-\u20AC-\u6570\u636E.bin";
    bool found = false;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        found = found || e.path().filename().wstring() == wide;
    EXPECT_TRUE(found);

    const FileResult r = copyWholeFile(name, name + ".copy");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(readFile(name + ".copy"), counting(300));
    WorkingFile work;
    work.tempDir = dir.dir();
    ASSERT_TRUE(makeWorkingCopy(work, name));
    EXPECT_EQ(work.stream.size(), 300);

    const TypeFileContent c = sample();
    ASSERT_TRUE(writeTypeFile(c.segments, c.settings, c.dataHint, name + ".type").ok);
    const TypeReadResult t = readTypeFile(name + ".type", 300);
    ASSERT_TRUE(t.ok) << t.message;
    EXPECT_EQ(t.content.segments.size(), 1u);
}

TEST(WindowsTypeFile, ReplacesAnExistingFileWhole) {
    TempDir dir;
    const std::string path = dir.file("data.bin.type");
    ASSERT_TRUE(writeFile(path, Bytes(5000, 0x55))); // longer than the new image
    const TypeFileContent c = sample();
    const TypeWriteResult w = writeTypeFile(c.segments, c.settings, c.dataHint, path);
    ASSERT_TRUE(w.ok) << w.systemError;
    const std::string image = typeFileImage(c.segments, c.settings, c.dataHint);
    const Bytes got = readFile(path);
    EXPECT_EQ(std::string(got.begin(), got.end()), image);
    EXPECT_EQ(filesIn(dir.path()), 1); // no temporary file left beside it
    // A reader of the old file (as the program reads one) does not stop the next save.
    const TypeReadResult r = readTypeFile(path, 64);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.content.segments.size(), 1u);
}

TEST(WindowsTypeFile, FailedReplaceKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.file("keep.type");
    const Bytes old = {9, 9, 9};
    ASSERT_TRUE(writeFile(path, old));
    const TypeFileContent c = sample();

    {
        // Held open with no sharing by another program.
        RawHandle holder(path, GENERIC_READ, 0);
        ASSERT_TRUE(holder.ok());
        const TypeWriteResult w = writeTypeFile(c.segments, c.settings, c.dataHint, path);
        EXPECT_FALSE(w.ok);
        EXPECT_EQ(w.message, path + " Write Error");
        EXPECT_FALSE(w.systemError.empty());
    }
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(filesIn(dir.path()), 1);

    // A read-only file is not replaced behind the user's back.
    ASSERT_TRUE(::SetFileAttributesW(win::widePath(path).c_str(), FILE_ATTRIBUTE_READONLY));
    const TypeWriteResult w = writeTypeFile(c.segments, c.settings, c.dataHint, path);
    EXPECT_FALSE(w.ok);
    ::SetFileAttributesW(win::widePath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(filesIn(dir.path()), 1);

    // A folder in the way is refused.
    EXPECT_FALSE(writeTypeFile(c.segments, c.settings, c.dataHint, dir.path()).ok);
    EXPECT_EQ(filesIn(dir.path()), 1);
}

TEST(WindowsFileStream, ReadsAndWritesAtPositionsPastFourGiB) {
    // Offsets are split into the two halves the system takes; a wrong split
    // would land the bytes near the start.
    TempDir dir;
    FileStream f;
    ASSERT_TRUE(f.open(dir.file("big"), FileStream::Mode::Create));
    const std::int64_t beyond = (std::int64_t{1} << 32) + 5;
    ASSERT_TRUE(f.writeAt(beyond, Bytes{1, 2, 3}));
    EXPECT_EQ(f.size(), beyond + 3);
    Bytes back(3);
    ASSERT_TRUE(f.readExact(beyond, back));
    EXPECT_EQ(back, (Bytes{1, 2, 3}));
    Bytes start(8, 0xFF);
    ASSERT_TRUE(f.readExact(0, start));
    EXPECT_EQ(start, Bytes(8, 0));
    // Reads past the end stop there.
    Bytes tail(10);
    EXPECT_EQ(f.readAt(beyond + 1, tail), 2u);
    EXPECT_FALSE(f.readExact(beyond + 1, tail));
    ASSERT_TRUE(f.truncate(10));
    EXPECT_EQ(f.size(), 10);
    ASSERT_TRUE(f.flush());
}

TEST(WindowsReplaceFile, LeftoversOfKilledSavesGoButASaveUnderWayStays) {
    TempDir dir;
    const std::string target = dir.file("data.bin");
    ASSERT_TRUE(writeFile(target, {1}));
    // The name a save of this file uses, left behind as by a killed save.
    std::string left;
    {
        ReplaceFile probe;
        ASSERT_TRUE(probe.begin(target));
        left = probe.tempPath();
    }
    ASSERT_FALSE(left.empty());
    ASSERT_TRUE(writeFile(left, Bytes(500, 7)));
    ReplaceFile underWay;
    ASSERT_TRUE(underWay.begin(target));
    ReplaceFile save;
    ASSERT_TRUE(save.begin(target) && save.append("new") && save.commit()) << save.error();
    EXPECT_FALSE(fileExists(left));
    EXPECT_TRUE(fileExists(underWay.tempPath()));
    const Bytes got = readFile(target);
    EXPECT_EQ(std::string(got.begin(), got.end()), "new");
    underWay.discard();
    EXPECT_EQ(filesIn(dir.path()), 1);
}

TEST(WindowsWriters, TheLockKeepsWritersApartAndLetsTheFileBeReplaced) {
    TempDir dir;
    const std::string data = dir.file("d.bin"), type = dir.file("d.bin.type");
    ASSERT_TRUE(writeFile(data, {1}));
    ASSERT_TRUE(writeFile(type, {2}));
    PairEdit edit;
    ASSERT_TRUE(edit.begin(data, type, nullptr)) << edit.error();
    // Others read and write the file as before; another writer of ours waits.
    RawHandle reader(data, GENERIC_READ | GENERIC_WRITE, kShareAll);
    EXPECT_TRUE(reader.ok());
    FileLock other;
    EXPECT_FALSE(other.acquire(data, FileLock::Kind::Shared, std::chrono::milliseconds(0)));
    EXPECT_EQ(other.error(), data + " is being changed by another program");
    ::CloseHandle(std::exchange(reader.h, INVALID_HANDLE_VALUE));
    // The pair goes in place although the lock held the data file open.
    ReplaceFile d, t;
    ASSERT_TRUE(d.begin(data) && d.append("new data") && t.begin(type) && t.append("new type"));
    std::string error;
    bool refused = true;
    ASSERT_TRUE(edit.commit(d, t, &error, &refused)) << error;
    edit.end();
    const Bytes got = readFile(data);
    EXPECT_EQ(std::string(got.begin(), got.end()), "new data");
    EXPECT_EQ(filesIn(dir.path()), 2);

    // Two appenders: each write lands at the end as it is then.
    FileStream a, b;
    ASSERT_TRUE(a.open(data, FileStream::Mode::Append) && b.open(data, FileStream::Mode::Append));
    std::int64_t begin = -1, end = -1;
    ASSERT_TRUE(a.append(Bytes{'A'}, &begin, &end));
    EXPECT_EQ(begin, 8);
    EXPECT_EQ(end, 9);
    ASSERT_TRUE(b.append(Bytes{'B', 'B'}, &begin, &end));
    EXPECT_EQ(begin, 9);
    EXPECT_EQ(end, 11);
    const Bytes appended = readFile(data);
    EXPECT_EQ(std::string(appended.begin(), appended.end()), "new dataABB");
}

namespace {

// The pair commit of the child process below, killed at a step.
constexpr const char* kChildVariable = "VM_PAIR_COMMIT_CHILD";

} // namespace

// Runs only as the child of the next test: commits a pair in the folder it is
// given and ends its process abruptly at the step it is given.
TEST(WindowsPairCommitChild, CommitsAndIsKilled) {
    const char* order = std::getenv(kChildVariable);
    if (!order)
        GTEST_SKIP() << "run by WindowsPairCommit.AKilledWriterIsMadeWhole";
    const std::string s = order;
    const std::string folder = s.substr(2);
    const int step = s[0] - '0';
    setPairCommitHook([step](PairCommitStep at) {
        if (static_cast<int>(at) == step)
            ::TerminateProcess(::GetCurrentProcess(), 9);
    });
    ReplaceFile d, t;
    ASSERT_TRUE(d.begin(folder + "\\d.bin") && d.append("new data") &&
                t.begin(folder + "\\d.bin.type") && t.append("new type"));
    std::string error;
    commitBoth(d, t, &error);
}

TEST(WindowsPairCommit, AKilledWriterIsMadeWhole) {
    wchar_t exe[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
    for (int step = 0; step < 3; ++step) {
        SCOPED_TRACE(step);
        TempDir dir;
        ASSERT_TRUE(writeFile(dir.file("d.bin"), {'o', 'l', 'd'}));
        ASSERT_TRUE(writeFile(dir.file("d.bin.type"), {'o', 'l', 'd'}));
        std::string folder = dir.path();
        std::replace(folder.begin(), folder.end(), '/', '\\');
        ::SetEnvironmentVariableA(kChildVariable, (std::to_string(step) + "|" + folder).c_str());
        std::wstring command =
            std::wstring(L"\"") + exe + L"\" --gtest_filter=WindowsPairCommitChild.*";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &si, &pi));
        ::WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        ::SetEnvironmentVariableA(kChildVariable, nullptr);
        ASSERT_EQ(code, 9u);
        const CommitRecovery r = recoverPendingCommit(dir.file("d.bin"));
        EXPECT_EQ(r.outcome,
                  step == 2 ? CommitRecovery::Outcome::None : CommitRecovery::Outcome::Completed)
            << r.message;
        const Bytes data = readFile(dir.file("d.bin")), type = readFile(dir.file("d.bin.type"));
        EXPECT_EQ(std::string(data.begin(), data.end()), "new data");
        EXPECT_EQ(std::string(type.begin(), type.end()), "new type");
        EXPECT_EQ(filesIn(dir.path()), 2);
    }
}
