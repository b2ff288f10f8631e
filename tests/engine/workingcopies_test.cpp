// Working copies: none left behind, and never a mix of a source's old and new
// bytes.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <tuple>
#include <string>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "fixtures.h"
#include "rewrite.h"
#include "tempdir.h"
#include "workingfile.h"

using namespace vm;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::vector<std::string> namesIn(const TempDir& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(WorkingCopies, EveryCopyNobodyHoldsGoesAndNothingElse) {
    TempDir dir;
    WorkingFile held;
    held.tempDir = dir.dir();
    ASSERT_TRUE(createWorkingFile(held)); // ~qzt0.tmp, held as a running instance holds it
    for (const char* name : {"~qzt7.tmp", "~qzt123456.tmp", "~qztx.tmp", "~qzt.tmp", "keep.tmp"})
        writeBytes(dir.file(name), {1});
    std::vector<std::string> expected{"keep.tmp", "~qzt.tmp", "~qzt0.tmp", "~qztx.tmp"};
#ifndef _WIN32
    // Another user's copy in a shared folder is theirs to remove.
    if (::geteuid() == 0) {
        writeBytes(dir.file("~qzt8.tmp"), {1});
        ASSERT_EQ(::chown(dir.file("~qzt8.tmp").c_str(), 65534, 65534), 0);
        expected.push_back("~qzt8.tmp");
    }
#endif
    EXPECT_EQ(removeLeftoverWorkingFiles(dir.dir()), 2);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(dir), expected);

    // A rewrite's predecessor stays held (no sweep takes it) until its holder
    // lets it go; a name that is no working file of the folder (an input
    // standing in for one) is never removed.
    fixtures::Work w(fixtures::counting(10));
    const std::string first = w.wf.name;
    auto seg = fixtures::seg("S", 0, 10, 1);
    seg->recordCount = 10;
    ASSERT_TRUE(deleteRecords(w.wf, *seg, 0, 0).ok);
    ASSERT_EQ(w.wf.superseded.size(), 1u);
    EXPECT_EQ(w.wf.superseded[0].name, first);
    EXPECT_TRUE(isFileInUse(first));
    EXPECT_EQ(removeLeftoverWorkingFiles(w.wf.tempDir), 0);
    removeSupersededCopies(w.wf);
    EXPECT_FALSE(fileExists(first));
    ASSERT_TRUE(deleteRecords(w.wf, *seg, 0, 0).ok);
    w.wf.superseded.push_back({w.dir.file("data.bin"), {}});
    discardWorkingFile(w.wf);
    EXPECT_EQ(namesIn(w.dir), std::vector<std::string>{"data.bin"});
}

TEST(WorkingCopies, ASourceWrittenDuringTheCopyIsCopiedAgainOrRefused) {
    TempDir dir;
    const std::string src = dir.file("src");
    writeBytes(src, fixtures::counting(100));
    // Another program at work while the copy runs: each change lands just
    // as a copy has read the last byte.
    const auto fill = [&](int changes, const std::function<void(int)>& change) {
        WorkingFile wf;
        wf.tempDir = dir.dir();
        EXPECT_TRUE(createWorkingFile(wf));
        int done = 0;
        const FileResult r = fillWorkingFile(wf.stream, src, [&](double f) {
            if (f >= 1.0 && done < changes)
                change(done++);
            return true;
        });
        const Bytes copy = readBytes(wf.name);
        discardWorkingFile(wf);
        return std::pair{r, copy};
    };
    const auto grow = [&](int i) {
        FileStream f;
        ASSERT_TRUE(f.open(src, FileStream::Mode::Append));
        ASSERT_TRUE(f.append(Bytes{static_cast<std::uint8_t>(200 + i)}));
    };
    auto [r, copy] = fill(1, grow);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.recopied, 1);
    EXPECT_EQ(copy, readBytes(src));

#ifndef _WIN32 // Windows puts no file in the place of one that is open
    // A file put in the source's place is copied from its name.
    const auto replace = [&](int) {
        writeBytes(dir.file("new"), Bytes(40, 7));
        std::filesystem::rename(dir.file("new"), src);
    };
    std::tie(r, copy) = fill(1, replace);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(copy, Bytes(40, 7));
#endif

    std::tie(r, copy) = fill(kFillAttempts, grow);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(src + " kept changing"), std::string::npos) << r.error;
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"src"});
}
