#pragma once

#include <cstdint>
#include <memory>
#include <string>
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

} // namespace fixtures
