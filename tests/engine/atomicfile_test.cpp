// The one replacement of a user's file, outputs written in place, working
// files made in a shared folder, and inputs that are not regular files.
#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "atomicfile.h"
#include "filestream.h"
#include "fixtures.h"
#include "rewrite.h"
#include "outputfile.h"
#include "tempdir.h"
#include "textoutput.h"
#include "typefile.h"
#include "workingfile.h"

using namespace vm;
using Bytes = std::vector<std::uint8_t>;

namespace {

bool replaceWith(const std::string& target, const std::string& text, std::string* error = nullptr) {
    ReplaceFile f;
    const bool ok = f.begin(target) && f.append(text) && f.commit();
    if (error)
        *error = f.error();
    return ok;
}

std::string readText(const std::string& path) {
    const Bytes b = readBytes(path);
    return std::string(b.begin(), b.end());
}

// Names in the folder other than the ones given: what a save left behind.
std::vector<std::string> strays(const TempDir& dir, const std::vector<std::string>& expected) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        if (std::find(expected.begin(), expected.end(), name) == expected.end())
            out.push_back(name);
    }
    return out;
}

// Holds the hooks for one test only.
struct Hooks {
    ~Hooks() {
        setReplaceFileCommitHook({});
        setWorkingFileCreateHook({});
    }
};

#ifndef _WIN32
// Runs fn in a child process, as another user when we are root (so that file
// modes bind), with files limited to fileLimit bytes when given (a full
// disk). The child's exit code, or 100 + signal when it was killed.
template <typename Fn>
int inChild(Fn fn, const TempDir* asOwnerOf = nullptr, rlim_t fileLimit = RLIM_INFINITY) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        if (fileLimit != RLIM_INFINITY) {
            const rlimit rl{fileLimit, fileLimit};
            ::setrlimit(RLIMIT_FSIZE, &rl);
        }
        if (asOwnerOf && ::geteuid() == 0) {
            constexpr uid_t nobody = 65534;
            if (::chown(asOwnerOf->path().c_str(), nobody, nobody) != 0 || ::setgid(nobody) != 0 ||
                ::setuid(nobody) != 0)
                ::_exit(99);
        }
        ::_exit(fn());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (asOwnerOf && ::geteuid() == 0)
        (void)!::chown(asOwnerOf->path().c_str(), 0, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}
#endif

} // namespace

TEST(ReplaceFile, ReplacesWholeKeepsNoTemporaryAndTakesTheLongestNames) {
    TempDir dir;
    // A name of 255 bytes, the most a folder entry holds: the temporary name
    // beside it must not be longer.
    const std::string longName(255, 'n');
    const std::string target = dir.file(longName);
    writeBytes(target, Bytes(1000, 7));
    ASSERT_TRUE(replaceWith(target, "short"));
    EXPECT_EQ(readText(target), "short");
    EXPECT_TRUE(strays(dir, {longName}).empty());

    // The type file takes such names too, and a new file gets made.
    const std::string typeName = std::string(250, 't') + ".type";
    const TypeWriteResult w =
        writeTypeFile(SegmentList(), ViewSettings(), DataHintFlags{}, dir.file(typeName));
    EXPECT_TRUE(w.ok) << w.systemError;
    EXPECT_TRUE(strays(dir, {longName, typeName}).empty());

    // Nothing is written until the commit; a discard leaves the old file.
    ReplaceFile f;
    ASSERT_TRUE(f.begin(target));
    ASSERT_TRUE(f.append("never"));
    f.discard();
    EXPECT_EQ(readText(target), "short");
    EXPECT_TRUE(strays(dir, {longName, typeName}).empty());
}

TEST(ReplaceFile, WhatCannotBeReplacedIsRefusedAndLeftAlone) {
    TempDir dir;
    std::string error;
    // A folder in the way, and a folder that does not exist.
    EXPECT_FALSE(replaceWith(dir.path(), "x", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(replaceWith(dir.file("no/such/file"), "x", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(strays(dir, {}).empty());
#ifndef _WIN32
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(replaceWith(fifo, "x", &error));
    EXPECT_EQ(error, "It is a FIFO, not a regular file");
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A file its owner made read-only is not replaced, though renaming over
    // it would be allowed.
    const std::string locked = dir.file("locked");
    writeBytes(locked, {1, 2, 3});
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    EXPECT_EQ(inChild(
                  [&] {
                      std::string why;
                      if (replaceWith(locked, "new", &why))
                          return 1;
                      return why == systemErrorText(EACCES) ? 0 : 2;
                  },
                  &dir),
              0);
    EXPECT_EQ(readBytes(locked), (Bytes{1, 2, 3}));
    EXPECT_TRUE(strays(dir, {"fifo", "locked"}).empty());
#endif
}

#ifndef _WIN32
TEST(ReplaceFile, LinksAreFollowedAndModeAndOwnerKept) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("shared").c_str(), 0700), 0);
    const std::string real = dir.file("shared/real.type");
    writeBytes(real, {1});
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    // A relative link, and a link to that link.
    ASSERT_EQ(::symlink("shared/real.type", dir.file("link.type").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("link.type").c_str(), dir.file("link2.type").c_str()), 0);
    ASSERT_TRUE(
        writeTypeFile(SegmentList(), ViewSettings(), DataHintFlags{}, dir.file("link2.type")).ok);
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("link.type").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::lstat(dir.file("link2.type").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readTypeFile(real, 0).ok, true);

    // A link that leads nowhere yet: the file is made where it points.
    ASSERT_EQ(::symlink("shared/new.bin", dir.file("dangling").c_str()), 0);
    ASSERT_TRUE(replaceWith(dir.file("dangling"), "made"));
    EXPECT_EQ(readText(dir.file("shared/new.bin")), "made");
    EXPECT_TRUE(strays(dir, {"shared", "link.type", "link2.type", "dangling"}).empty());

    // Root saving another user's file leaves it theirs.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(real.c_str(), 65534, 65534), 0);
        ASSERT_TRUE(replaceWith(real, "theirs"));
        ASSERT_EQ(::stat(real.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
    }
}

TEST(ReplaceFile, FullDiskAndKilledSaveLeaveTheOldFileAndTheNextSaveCleansUp) {
    TempDir dir;
    const std::string target = dir.file("data.bin");
    const Bytes old(4096, 0x11);
    writeBytes(target, old);
    const std::string big(1 << 20, 'x');
    // The disk fills part-way: the system's reason, the old file, nothing left.
    EXPECT_EQ(inChild(
                  [&] {
                      std::string why;
                      if (replaceWith(target, big, &why))
                          return 1;
                      return why == systemErrorText(EFBIG) ? 0 : 2;
                  },
                  nullptr, 64 * 1024),
              0);
    EXPECT_EQ(readBytes(target), old);
    EXPECT_TRUE(strays(dir, {"data.bin"}).empty());

    // A save killed just before its new file takes the target's place.
    Hooks hooks;
    EXPECT_EQ(inChild([&] {
                  setReplaceFileCommitHook([](const std::string&) { ::raise(SIGKILL); });
                  replaceWith(target, "new");
                  return 0;
              }),
              100 + SIGKILL);
    EXPECT_EQ(readBytes(target), old);
    const std::vector<std::string> left = strays(dir, {"data.bin"});
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind(".vm", 0), 0u);
    // A leftover of another file's save stays; this file's goes.
    writeBytes(dir.file("other.bin"), {1});
    EXPECT_EQ(inChild([&] {
                  setReplaceFileCommitHook([](const std::string&) { ::raise(SIGKILL); });
                  replaceWith(dir.file("other.bin"), "new");
                  return 0;
              }),
              100 + SIGKILL);
    ASSERT_TRUE(replaceWith(target, "saved"));
    EXPECT_EQ(readText(target), "saved");
    const std::vector<std::string> after = strays(dir, {"data.bin", "other.bin"});
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NE(after[0], left[0]);
}

TEST(ReplaceFile, APairIsReplacedTogetherOrNotAtAll) {
    TempDir dir;
    const std::string data = dir.file("out.bin");
    const std::string type = dir.file("out.bin.type");
    writeBytes(data, {1});
    writeBytes(type, {2});
    Hooks hooks;
    // The second file's temporary name vanishes just before its rename.
    int calls = 0;
    setReplaceFileCommitHook([&](const std::string& temp) {
        if (++calls == 2)
            ::unlink(temp.c_str());
    });
    ReplaceFile a, b;
    ASSERT_TRUE(a.begin(data) && a.append("new data"));
    ASSERT_TRUE(b.begin(type) && b.append("new type"));
    std::string error;
    EXPECT_FALSE(commitBoth(a, b, &error));
    EXPECT_EQ(error.rfind(type + ": ", 0), 0u) << error;
    EXPECT_EQ(readBytes(data), Bytes{1}); // put back
    EXPECT_EQ(readBytes(type), Bytes{2});
    EXPECT_TRUE(strays(dir, {"out.bin", "out.bin.type"}).empty());

    // A pair whose first file is new: it does not stay behind alone.
    ::unlink(data.c_str());
    calls = 0;
    ASSERT_TRUE(a.begin(data) && a.append("new data"));
    ASSERT_TRUE(b.begin(type) && b.append("new type"));
    EXPECT_FALSE(commitBoth(a, b, &error));
    EXPECT_FALSE(fileExists(data));

    setReplaceFileCommitHook({});
    ASSERT_TRUE(a.begin(data) && a.append("new data"));
    ASSERT_TRUE(b.begin(type) && b.append("new type"));
    ASSERT_TRUE(commitBoth(a, b, &error)) << error;
    EXPECT_EQ(readText(data), "new data");
    EXPECT_EQ(readText(type), "new type");
    EXPECT_TRUE(strays(dir, {"out.bin", "out.bin.type"}).empty());
}

TEST(WorkingFile, ALinkPlantedAtTheMomentOfCreationIsNeverFollowed) {
    TempDir dir;
    writeBytes(dir.file("data.bin"), {1, 2, 3, 4});
    writeBytes(dir.file("victim"), {9, 9});
    Hooks hooks;
    // Between the look at the name and the create, someone plants a link to
    // the user's file, and a dangling one at the next name.
    bool planted = false;
    setWorkingFileCreateHook([&](const std::string& name) {
        if (planted)
            return;
        planted = true;
        ASSERT_EQ(::symlink(dir.file("victim").c_str(), name.c_str()), 0);
        ASSERT_EQ(::symlink(dir.file("nowhere").c_str(), dir.file("~qzt1.tmp").c_str()), 0);
    });
    WorkingFile wf;
    wf.tempDir = dir.dir();
    std::string error;
    ASSERT_TRUE(makeWorkingCopy(wf, dir.file("data.bin"), &error)) << error;
    EXPECT_EQ(wf.name, dir.file("~qzt2.tmp"));
    EXPECT_EQ(readBytes(dir.file("victim")), (Bytes{9, 9}));
    EXPECT_FALSE(fileExists(dir.file("nowhere")));
    EXPECT_EQ(readBytes(wf.name), (Bytes{1, 2, 3, 4}));

    // The rewrites' new files keep the same rule.
    planted = false;
    setWorkingFileCreateHook([&](const std::string& name) {
        if (!planted && name == dir.file("~qzt3.tmp")) {
            planted = true;
            ASSERT_EQ(::symlink(dir.file("victim").c_str(), name.c_str()), 0);
        }
    });
    auto seg = fixtures::seg("S", 0, 4, 1);
    seg->recordCount = 4;
    const FileResult r = deleteRecords(wf, *seg, 0, 0);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(planted);
    EXPECT_EQ(wf.name, dir.file("~qzt4.tmp"));
    EXPECT_EQ(readBytes(wf.name), (Bytes{2, 3, 4}));
    EXPECT_EQ(readBytes(dir.file("victim")), (Bytes{9, 9}));
}

TEST(WorkingFile, TwoInstancesOpeningAtOnceEachKeepTheirOwnCopy) {
    // Instance B opens its file while instance A's copy is under way (and
    // again at the very moment A creates its file): each ends up holding the
    // copy of its own data, under its own name.
    TempDir dir;
    const Bytes a(3u << 20, 0xAA);
    const Bytes b(1000, 0xBB);
    writeBytes(dir.file("a.bin"), a);
    writeBytes(dir.file("b.bin"), b);
    Hooks hooks;
    WorkingFile wa, wb, wc;
    wa.tempDir = wb.tempDir = wc.tempDir = dir.dir();
    bool racing = false;
    setWorkingFileCreateHook([&](const std::string&) {
        if (racing)
            return;
        racing = true; // B takes the very name A is about to create
        ASSERT_TRUE(makeWorkingCopy(wc, dir.file("b.bin")));
    });
    ASSERT_TRUE(makeWorkingCopy(wa, dir.file("a.bin"), nullptr, [&](double) {
        if (!wb.stream.isOpen()) {
            EXPECT_TRUE(makeWorkingCopy(wb, dir.file("b.bin")));
        }
        return true;
    }));
    EXPECT_NE(wa.name, wb.name);
    EXPECT_NE(wa.name, wc.name);
    EXPECT_NE(wb.name, wc.name);
    EXPECT_EQ(readBytes(wa.name), a);
    EXPECT_EQ(readBytes(wb.name), b);
    EXPECT_EQ(readBytes(wc.name), b);
    EXPECT_TRUE(isFileInUse(wa.name));
    EXPECT_TRUE(isFileInUse(wb.name));
    // A leftover search by a third instance takes none of them.
    WorkingFile wd;
    wd.tempDir = dir.dir();
    ASSERT_TRUE(createWorkingFile(wd));
    EXPECT_EQ(wd.name, dir.file("~qzt3.tmp"));
    EXPECT_EQ(readBytes(wa.name), a);
}

TEST(Inputs, FilesThatAreNotRegularAreRefusedAtOnce) {
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    FileStream f;
    // Each would wait for a writer forever if opened the ordinary way.
    for (const auto mode :
         {FileStream::Mode::Read, FileStream::Mode::ReadWrite, FileStream::Mode::Create}) {
        EXPECT_FALSE(f.open(fifo, mode));
        EXPECT_EQ(f.lastError(), "It is a FIFO, not a regular file");
    }
    EXPECT_FALSE(f.open("/dev/null", FileStream::Mode::Read));
    EXPECT_EQ(f.lastError(), "It is a character device, not a regular file");
    WorkingFile wf;
    wf.tempDir = dir.dir();
    std::string error;
    EXPECT_FALSE(makeWorkingCopy(wf, fifo, &error));
    EXPECT_EQ(error, "It is a FIFO, not a regular file");
    EXPECT_FALSE(fileExists(dir.file("~qzt0.tmp")));
}

TEST(Outputs, DevicesAndFifosAreWrittenInPlaceAndNeverReplaced) {
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    OutputFile out;
    // Nobody reads yet: refused at once rather than waited for.
    EXPECT_FALSE(out.begin(fifo));
    EXPECT_EQ(out.error(), "No program is reading from the FIFO");

    std::string got;
    std::thread reader([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);
        char buf[4096];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
            got.append(buf, static_cast<std::size_t>(n));
        ::close(fd);
    });
    ASSERT_TRUE(out.begin(fifo, true));
    EXPECT_TRUE(out.inPlace());
    ASSERT_TRUE(out.write("through the pipe"));
    ASSERT_TRUE(out.commit());
    reader.join();
    EXPECT_EQ(got, "through the pipe");

    // A reader that goes away is an error, not the end of the program, and
    // the FIFO stays.
    const int early = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_TRUE(out.begin(fifo));
    ::close(early);
    EXPECT_FALSE(out.write("nobody listens"));
    EXPECT_EQ(out.error(), systemErrorText(EPIPE));
    out.discard();
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    ASSERT_TRUE(out.begin("/dev/null"));
    EXPECT_TRUE(out.write("gone") && out.commit());
    ASSERT_EQ(::lstat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_TRUE(writesInPlace("-"));
    EXPECT_TRUE(writesInPlace("/dev/stdout"));
    EXPECT_FALSE(writesInPlace(dir.file("plain.txt")));
    // A folder is nothing to write.
    EXPECT_FALSE(out.begin(dir.path()));
}
#endif

TEST(Outputs, AFailedTextOutputKeepsTheOldFileAndASegmentBeforeTheFileIsRefused) {
    TempDir dir;
    const std::string path = dir.file("out.txt");
    writeBytes(path, {'o', 'l', 'd'});
    SegmentList list;
    list.append(fixtures::seg("Big", 0, 1 << 20, 16));
    list[0].entries = {fixtures::entry(1, 0, 1, "a")};
    const MemorySource src(Bytes(1 << 20, 1));
    const TextOutputResult stopped = writeTextOutput(allSegments(list), src, ViewSettings(), path,
                                                     defaultLocale(), [](double) { return false; });
    EXPECT_FALSE(stopped.ok);
    EXPECT_EQ(readText(path), "old");
    EXPECT_TRUE(strays(dir, {"out.txt"}).empty());
#ifndef _WIN32
    EXPECT_EQ(inChild(
                  [&] {
                      const TextOutputResult r =
                          writeTextOutput(allSegments(list), src, ViewSettings(), path);
                      return !r.ok && r.error == systemErrorText(EFBIG) ? 0 : 1;
                  },
                  nullptr, 64 * 1024),
              0);
    EXPECT_EQ(readText(path), "old");
    EXPECT_TRUE(strays(dir, {"out.txt"}).empty());
#endif

    // Records before the start of the file would be read from nowhere.
    list[0].begin = -16;
    const TextOutputResult r = writeTextOutput(allSegments(list), src, ViewSettings(), path);
    EXPECT_TRUE(r.refused);
    EXPECT_EQ(r.error, "Segment 0 (Big) begins before the start of the file");
    EXPECT_EQ(readText(path), "old");
    std::string text;
    EXPECT_FALSE(writeTextOutput(allSegments(list), src, ViewSettings(), [&](std::string_view t) {
        text.append(t);
        return true;
    }));
    EXPECT_TRUE(text.empty());
}
