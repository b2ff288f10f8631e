#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "segment.h"
#include "tempdir.h"
#include "workingfile.h"

// Small builders shared by the engine and command-line tests.
namespace fixtures {

inline std::unique_ptr<vm::Segment> seg(std::string name, std::int32_t begin, std::int32_t length,
                                        std::int32_t recLen) {
    auto s = std::make_unique<vm::Segment>();
    s->name = std::move(name);
    s->begin = begin;
    s->length = length;
    s->recordLength = recLen;
    return s;
}

inline vm::TypeEntry entry(int kind, std::uint16_t start, std::uint16_t length,
                           std::string memo = "") {
    vm::TypeEntry e;
    e.kind = static_cast<std::uint8_t>(kind);
    e.start = start;
    e.length = length;
    e.memo = std::move(memo);
    return e;
}

// The ranges [from, to) of src one after another: a file as a rewrite should
// leave it.
inline std::vector<std::uint8_t>
slices(const std::vector<std::uint8_t>& src,
       std::initializer_list<std::pair<std::size_t, std::size_t>> ranges) {
    std::vector<std::uint8_t> out;
    for (const auto& [from, to] : ranges)
        for (std::size_t i = from; i < to; ++i)
            out.push_back(src.at(i));
    return out;
}

// A document's working copy of `bytes` inside a fresh temporary folder.
struct Work {
    TempDir dir;
    vm::WorkingFile wf;

    explicit Work(const std::vector<std::uint8_t>& bytes) {
        writeBytes(dir.file("data.bin"), bytes);
        wf.tempDir = dir.dir();
        std::string error;
        EXPECT_TRUE(vm::makeWorkingCopy(wf, dir.file("data.bin"), &error)) << error;
    }
    std::vector<std::uint8_t> bytes() const { return readBytes(wf.name); }
};

// n bytes counting up from `from` (wrapping at 256).
inline std::vector<std::uint8_t> counting(std::size_t n, std::uint8_t from = 0) {
    std::vector<std::uint8_t> b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(from + i);
    return b;
}

// Seconds since 1970 of a local date and time.
inline std::int64_t localSeconds(int y, int mo, int d, int h, int mi, int s) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&t));
}

} // namespace fixtures
