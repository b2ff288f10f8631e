// Writers of a data file and its type file: one at a time, never replacing
// what changed since they read it, and a pair that survives a writer killed
// between its two renames.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "atomicfile.h"
#include "filelock.h"
#include "filestream.h"
#include "paircommit.h"
#include "tempdir.h"

using namespace vm;

namespace {

std::string readText(const std::string& path) {
    const auto b = readBytes(path);
    return std::string(b.begin(), b.end());
}

void writeText(const std::string& path, const std::string& text) {
    writeBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Names in the folder other than the pair's: what a commit left behind.
std::string strays(const TempDir& dir) {
    std::string out;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        if (name != "d.bin" && name != "d.bin.type")
            out += name + " ";
    }
    return out;
}

struct Hooks {
    ~Hooks() {
        setPairCommitHook({});
        setFileLockBusyHook({});
    }
};

} // namespace

#ifndef _WIN32
namespace {

void commitPair(const std::string& data, const std::string& type) {
    ReplaceFile d, t;
    std::string error;
    if (d.begin(data) && d.append("new data") && t.begin(type) && t.append("new type"))
        commitBoth(d, t, &error);
}

} // namespace

TEST(PairCommit, AWriterKilledAtAnyStepLeavesAPairTheNextOpenMakesWhole) {
    const auto killedAt = [](const TempDir& dir, PairCommitStep step) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            setPairCommitHook([step](PairCommitStep s) {
                if (s == step)
                    ::raise(SIGKILL);
            });
            // Named from inside the folder; recovered below from elsewhere.
            if (::chdir(dir.path().c_str()) != 0)
                ::_exit(2);
            commitPair("d.bin", "d.bin.type");
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    };
    for (const PairCommitStep step : {PairCommitStep::RecordWritten, PairCommitStep::FirstReplaced,
                                      PairCommitStep::SecondReplaced}) {
        SCOPED_TRACE(static_cast<int>(step));
        TempDir dir;
        writeText(dir.file("d.bin"), "old data");
        writeText(dir.file("d.bin.type"), "old type");
        ASSERT_TRUE(killedAt(dir, step));
        // Found through the type file's name too. Killed before the new
        // files had names, the writer took them along: the old pair stays.
        const CommitRecovery r = recoverPendingCommit(dir.file("d.bin.type"));
        const bool completes = step == PairCommitStep::FirstReplaced;
        const bool stayedOld = step == PairCommitStep::RecordWritten;
        EXPECT_EQ(r.outcome,
                  completes ? CommitRecovery::Outcome::Completed : CommitRecovery::Outcome::None);
        EXPECT_EQ(readText(dir.file("d.bin")), stayedOld ? "old data" : "new data");
        EXPECT_EQ(readText(dir.file("d.bin.type")), stayedOld ? "old type" : "new type");
        EXPECT_EQ(strays(dir), "");
    }

    // One new file lost after the kill: the pair cannot be made new, so the
    // old one comes back, whether the data file existed before or not.
    for (const bool dataExisted : {true, false}) {
        TempDir dir;
        if (dataExisted)
            writeText(dir.file("d.bin"), "old data");
        writeText(dir.file("d.bin.type"), "old type");
        ASSERT_TRUE(killedAt(dir, PairCommitStep::FirstReplaced));
        EXPECT_EQ(readText(dir.file("d.bin")), "new data");
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (readText(e.path().string()) == "new type")
                std::filesystem::remove(e.path());
        // A save of the data file meanwhile keeps the way back.
        ReplaceFile probe;
        ASSERT_TRUE(probe.begin(dir.file("d.bin")));
        probe.discard();
        const CommitRecovery r = recoverPendingCommit(dir.file("d.bin"));
        EXPECT_EQ(r.outcome, CommitRecovery::Outcome::PutBack);
        EXPECT_NE(r.message.find("put back"), std::string::npos) << r.message;
        EXPECT_EQ(fileExists(dir.file("d.bin")), dataExisted);
        if (dataExisted) {
            EXPECT_EQ(readText(dir.file("d.bin")), "old data");
        }
        EXPECT_EQ(readText(dir.file("d.bin.type")), "old type");
        EXPECT_EQ(strays(dir), "");
    }
}
#endif

TEST(PairEdit, OneWriterAtATimeAndNothingReplacedThatChangedSinceItWasRead) {
    TempDir dir;
    const std::string data = dir.file("d.bin"), type = dir.file("d.bin.type");
    writeText(data, "old data");
    writeText(type, "old type");
    Hooks hooks;

    // The first writer replaces the file and lets go while the second waits:
    // the second then holds the file now under the name.
    FileLock first;
    ASSERT_TRUE(first.acquire(data));
    bool replaced = false;
    setFileLockBusyHook([&](const std::string&) {
        if (std::exchange(replaced, true))
            return;
        first.beforeReplace();
        ReplaceFile f;
        ASSERT_TRUE(f.begin(data) && f.append("first's data") && f.commit());
        first.release();
    });
    PairEdit edit;
    std::string notice;
    ASSERT_TRUE(edit.begin(data, type, &notice)) << edit.error();
    EXPECT_TRUE(notice.empty());
    EXPECT_EQ(readText(data), "first's data");
    FileLock other;
    for (const auto kind : {FileLock::Kind::Exclusive, FileLock::Kind::Shared}) {
        EXPECT_FALSE(other.acquire(data, kind, std::chrono::milliseconds(0)));
        EXPECT_TRUE(other.busy());
        EXPECT_EQ(other.error(), data + " is being changed by another program");
    }
    ReplaceFile d, t;
    ASSERT_TRUE(d.begin(data) && d.append("new data") && t.begin(type) && t.append("new type"));
    std::string error;
    bool refused = true;
    ASSERT_TRUE(edit.commit(d, t, &error, &refused)) << error;
    EXPECT_FALSE(refused);
    edit.end();
    EXPECT_TRUE(other.acquire(data, FileLock::Kind::Shared, std::chrono::milliseconds(0)));
    FileLock reader;
    EXPECT_TRUE(reader.acquire(data, FileLock::Kind::Shared, std::chrono::milliseconds(0)));
    other.release();
    reader.release();

    // Programs that take no lock: one writes the data file, one puts a new
    // type file in place. The edit's pair is refused and nothing replaced.
    const auto appendTo = [](const std::string& path) {
        FileStream f;
        ASSERT_TRUE(f.open(path, FileStream::Mode::Append));
        ASSERT_TRUE(f.append(std::vector<std::uint8_t>{'!'}));
    };
    const auto replaceBy = [&](const std::string& path) {
        writeText(dir.file("other"), "another program's");
        std::filesystem::rename(dir.file("other"), path);
    };
    using Change = std::pair<std::string, std::function<void(const std::string&)>>;
    for (const auto& [path, change] : {Change{data, appendTo}, Change{type, replaceBy}}) {
        PairEdit e;
        ASSERT_TRUE(e.begin(data, type, nullptr)) << e.error();
        change(path);
        const std::string dataNow = readText(data), typeNow = readText(type);
        ReplaceFile d2, t2;
        ASSERT_TRUE(d2.begin(data) && d2.append("lost") && t2.begin(type) && t2.append("lost"));
        EXPECT_FALSE(e.commit(d2, t2, &error, &refused));
        EXPECT_TRUE(refused);
        EXPECT_NE(error.find("was changed by another program since it was read"), std::string::npos)
            << error;
        EXPECT_EQ(readText(data), dataNow);
        EXPECT_EQ(readText(type), typeNow);
        EXPECT_EQ(strays(dir), "");
    }
}
