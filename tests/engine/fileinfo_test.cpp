#include <chrono>
#include <ctime>
#include <filesystem>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include "platformfile.h"
#else
#include <sys/stat.h>
#endif

#include "fileinfo.h"
#include "fixtures.h"
#include "tempdir.h"

using namespace vm;

TEST(FileInfo, TimesShowInLocalTimeWithTheLocalesSeparators) {
    TempDir dir;
    const std::string path = dir.file("data.bin");
    writeBytes(path, std::vector<std::uint8_t>(1234, 7));
    const std::int64_t when = fixtures::localSeconds(2006, 3, 4, 9, 5, 3);
    std::filesystem::last_write_time(
        std::filesystem::path(path),
        std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(when))));
    const FileFactsResult r = readFileFacts(path);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.facts.size, 1234);
    EXPECT_EQ(r.facts.modified, when);
    EXPECT_EQ(formatFileTime(r.facts.modified), "2006/03/04  09:05:03");
    Locale dotted;
    dotted.dateSeparator = '-';
    dotted.timeSeparator = '.';
    EXPECT_EQ(formatFileTime(when, dotted), "2006-03-04  09.05.03");
    EXPECT_EQ(formatFileDate(when), "2006/03/04 ");
}

TEST(FileInfo, ReadOnlyHiddenFileAndAPlainOne) {
    TempDir dir;
    const std::string plain = dir.file("plain.bin");
    const std::string hidden = dir.file(".hidden.bin");
    writeBytes(plain, {1});
    writeBytes(hidden, {1});
#ifdef _WIN32
    ::SetFileAttributesW(win::widePath(plain).c_str(), FILE_ATTRIBUTE_NORMAL);
    ::SetFileAttributesW(win::widePath(hidden).c_str(),
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
#else
    ::chmod(hidden.c_str(), 0444);
#endif
    FileFacts f = readFileFacts(hidden).facts;
    EXPECT_TRUE(f.readOnly);
    EXPECT_TRUE(f.hidden);
#ifdef _WIN32
    EXPECT_TRUE(f.system);
#else
    // Unix has neither bit.
    EXPECT_FALSE(f.system);
    EXPECT_FALSE(f.archive);
#endif
    f = readFileFacts(plain).facts;
    EXPECT_FALSE(f.readOnly);
    EXPECT_FALSE(f.hidden);
#ifdef _WIN32
    ::SetFileAttributesW(win::widePath(hidden).c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
}

TEST(FileInfo, MissingFileIsAnErrorNamingIt) {
    TempDir dir;
    const FileFactsResult r = readFileFacts(dir.file("gone.bin"));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(dir.file("gone.bin")), std::string::npos);
}
