#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "filestream.h"
#include "segment.h"

// What the benchmarks share: timing, giving up, large files of random bytes
// and record segments to lay over them.
namespace benchfiles {

inline double seconds(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

[[noreturn]] inline void die(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::exit(1);
}

// Runs a program with its standard output on outFd (and its errors on errFd
// when given); returns its exit status.
inline int runTo(const std::vector<std::string>& argv, int outFd, int errFd = -1) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFd, 1);
        if (errFd >= 0)
            ::dup2(errFd, 2);
        std::vector<char*> a;
        for (const std::string& s : argv)
            a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        ::execvp(a[0], a.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// size bytes of random data, 8 MiB at a time; each piece starts with its
// number (so pieces differ) and, unless marker is 0, has it at its byte 4096
// (so two files made with different markers differ once a piece).
inline void makeFile(const std::string& path, std::int64_t size, std::uint8_t marker = 0) {
    vm::FileStream f;
    if (!f.open(path, vm::FileStream::Mode::Create))
        die("cannot create " + path + ": " + f.lastError());
    std::vector<std::uint8_t> buf(std::size_t{8} << 20);
    std::mt19937 rng(12345);
    for (auto& b : buf)
        b = static_cast<std::uint8_t>(rng());
    for (std::int64_t at = 0; at < size; at += static_cast<std::int64_t>(buf.size())) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(size - at, static_cast<std::int64_t>(buf.size())));
        buf[0] = static_cast<std::uint8_t>(at >> 20);
        if (marker != 0)
            buf[4096] = marker;
        if (!f.writeAt(at, std::span<const std::uint8_t>(buf.data(), n)))
            die("cannot write " + path + ": " + f.lastError());
    }
}

// A record segment from offset 0 over records of recordLength bytes.
inline void addSegment(vm::SegmentList& list, const char* name, std::int64_t records,
                       int recordLength, std::vector<vm::TypeEntry> fields) {
    auto s = std::make_unique<vm::Segment>();
    s->name = name;
    s->recordLength = recordLength;
    s->length = static_cast<std::int32_t>(records * recordLength);
    s->entries = std::move(fields);
    list.append(std::move(s));
}

inline vm::TypeEntry field(int kind, std::uint16_t start, std::uint16_t length) {
    vm::TypeEntry e;
    e.kind = static_cast<std::uint8_t>(kind);
    e.start = start;
    e.length = length;
    return e;
}

} // namespace benchfiles
