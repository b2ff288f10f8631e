#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "filestream.h"

// What the scan benchmarks share: timing, giving up, and large files of
// random bytes.
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

} // namespace benchfiles
