// scanbench: times the find and compare scans over 1 GiB files against
// references measured in the same run: reading the file(s) with the scans'
// own buffers, memmem over those buffers, and cmp.
//
//   scanbench [FOLDER [SECTIONS]]   (default: the system's temporary folder;
//                                    SECTIONS "f" find, "c" compare, both by default)
//
// Needs about 3 GiB free in FOLDER; every file it makes is deleted at the end.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "benchfiles.h"
#include "comparescan.h"
#include "filestream.h"
#include "findscan.h"
#include "findtext.h"

using namespace vm;
using benchfiles::die;
using benchfiles::makeFile;
using benchfiles::seconds;

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20; // the scans' block

// Best of several runs, each figure taken in turn with its references so that
// all see the same load on a shared machine.
struct Best {
    double t = 1e100;
    void take(double s) { t = std::min(t, s); }
};

FileStream openRead(const std::string& path) {
    FileStream f;
    if (!f.open(path, FileStream::Mode::Read))
        die("cannot open " + path);
    return f;
}

// Reads every block; returns a byte sum so the reads are not optimised away.
std::uint64_t readAll(const std::vector<const FileStream*>& files) {
    std::vector<std::uint8_t> buf(kBlock);
    std::uint64_t sum = 0;
    const std::int64_t size = files[0]->size();
    for (std::int64_t at = 0; at < size; at += static_cast<std::int64_t>(kBlock))
        for (const FileStream* f : files)
            sum += f->readAt(at, buf) > 0 ? buf[0] : 0;
    return sum;
}

// memmem over the same blocks, the needle's length - 1 bytes overlapping.
std::int64_t memmemCount(const FileStream& f, const std::vector<std::uint8_t>& needle) {
    std::vector<std::uint8_t> buf(kBlock + needle.size());
    std::int64_t count = 0;
    const std::int64_t size = f.size();
    for (std::int64_t at = 0; at < size; at += static_cast<std::int64_t>(kBlock)) {
        const std::size_t n = f.readAt(at, buf);
        const std::uint8_t* p = buf.data();
        const std::uint8_t* end = buf.data() + n;
        while (p < end) {
            const void* h =
                ::memmem(p, static_cast<std::size_t>(end - p), needle.data(), needle.size());
            if (!h)
                break;
            const auto* hit = static_cast<const std::uint8_t*>(h);
            if (hit - buf.data() < static_cast<std::ptrdiff_t>(kBlock))
                ++count;
            p = hit + 1;
        }
    }
    return count;
}

std::int64_t findHits(const FileStream& f, std::vector<FindPattern> patterns, std::int64_t range) {
    FindScan scan(f.size(), std::move(patterns), range);
    FindEvents events;
    events.scanned = [](int, std::int64_t, std::int64_t) {};
    events.hit = [](std::int64_t, std::span<const std::int64_t>) {};
    scan.run(f, events);
    return scan.hits();
}

std::int64_t findHits(const FileStream& f, const std::vector<std::vector<std::uint8_t>>& patterns,
                      std::int64_t range) {
    return findHits(f, std::vector<FindPattern>(patterns.begin(), patterns.end()), range);
}

std::int64_t compareCount(const FileStream& a, const FileStream& b) {
    CompareScan scan(a.size(), 500, 1000);
    CompareEvents events;
    events.listed = [](std::int64_t, std::int64_t, std::uint8_t, std::optional<std::uint8_t>) {};
    events.columns = [](int, int, bool) {};
    scan.run(a, b, events);
    return scan.differences();
}

void shell(const std::string& command) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
        die("failed: " + command);
}

long maxRssKiB() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void line(const char* what, double t, double ref, const char* refName, double target, bool atMost) {
    const double ratio = t / ref;
    const bool ok = atMost ? ratio <= target : ratio >= target;
    std::printf("%-46s %7.3f s  %-12s %7.3f s  ratio %5.2f  (target %s %.1f)  %s\n", what, t,
                refName, ref, ratio, atMost ? "<=" : ">=", target, ok ? "ok" : "MISSED");
}

} // namespace

int main(int argc, char** argv) {
    const std::string base = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    const std::string dir = base + "/scanbench-" + std::to_string(::getpid()) + "/";
    std::filesystem::create_directories(dir);
    const std::int64_t GiB = std::int64_t{1} << 30;
    const int runs = 5;
    const std::string sections = argc > 2 ? argv[2] : "fc";

    const std::string a = dir + "a.bin";
    const std::string b = dir + "b.bin";
    makeFile(a, GiB);
    {
        // The text the find's text conditions look for, as typed, in other
        // cases and in UTF-16: each condition knows how many it must find.
        FileStream w;
        if (!w.open(a, FileStream::Mode::ReadWrite))
            die("cannot write " + a);
        const std::string typed = "Temperature";
        const std::string other = "tEMPERATURE";
        std::vector<std::uint8_t> wide;
        for (const char c : std::string("TEMPERATURE")) {
            wide.push_back(static_cast<std::uint8_t>(c));
            wide.push_back(0);
        }
        const auto bytes = [](const std::string& t) {
            return std::span(reinterpret_cast<const std::uint8_t*>(t.data()), t.size());
        };
        if (!w.writeAt(GiB / 3, bytes(typed)) || !w.writeAt(GiB / 2 + 1, bytes(other)) ||
            !w.writeAt(GiB / 4 * 3, wide))
            die("cannot write " + a);
    }
    const FileStream fa = openRead(a);
    readAll({&fa}); // in the page cache, as a working copy is after opening
    const long rssBefore = maxRssKiB();

    if (sections.find('f') != std::string::npos) {
        // Find: one "4Bunsigned" condition; then three conditions within 100 bytes.
        const std::vector<std::uint8_t> needle = findPattern(8, "123456789");
        const std::vector<std::vector<std::uint8_t>> three = {
            findPattern(6, "4660"), findPattern(1, "7"), findPattern(8, "123456789")};
        // The same three with the one found every 256 bytes first: the search
        // turns to the others, 100 bytes back, very often.
        const std::vector<std::vector<std::uint8_t>> busyFirst = {three[1], three[0], three[2]};
        Best read, cat, mm, one, multi, busy;
        std::int64_t hitsOne = 0, hitsMm = 0, hitsMulti = 0, hitsBusy = 0;
        for (int i = 0; i < runs; ++i) {
            read.take(seconds([&] { readAll({&fa}); }));
            cat.take(seconds([&] { shell("cat '" + a + "' > /dev/null"); }));
            mm.take(seconds([&] { hitsMm = memmemCount(fa, needle); }));
            one.take(seconds([&] { hitsOne = findHits(fa, {needle}, 100); }));
            multi.take(seconds([&] { hitsMulti = findHits(fa, three, 100); }));
            busy.take(seconds([&] { hitsBusy = findHits(fa, busyFirst, 100); }));
        }
        if (hitsOne != hitsMm)
            die("find and memmem disagree: " + std::to_string(hitsOne) + " and " +
                std::to_string(hitsMm));
        std::printf("find, 1 GiB of random bytes (%lld hits of one condition, %lld of three)\n",
                    static_cast<long long>(hitsOne), static_cast<long long>(hitsMulti));
        line("  one 4Bunsigned: speed vs memmem", mm.t / one.t, 1.0, "(speed)", 0.5, false);
        std::printf("    find %.3f s (%.2f GB/s), memmem %.3f s\n", one.t, GiB / one.t / 1e9, mm.t);
        line("  one 4Bunsigned: time vs reading", one.t, read.t, "read", 1.5, true);
        line("  one 4Bunsigned: time vs cat > /dev/null", one.t, cat.t, "cat", 1.2, true);
        std::printf("  three conditions, range 100: %.3f s (%.2f GB/s), %.2f x the time of one\n",
                    multi.t, GiB / multi.t / 1e9, multi.t / one.t);
        std::printf("  the same, the frequent one first: %.3f s (%.2f GB/s), %.2f x, %lld hits\n",
                    busy.t, GiB / busy.t / 1e9, busy.t / one.t, static_cast<long long>(hitsBusy));

        // One text condition of 11 letters, against the one-condition find.
        const FindPattern typed = *textPattern("Temperature", TextEncoding::Windows1252, false);
        const FindPattern anyCase = *textPattern("Temperature", TextEncoding::Windows1252, true);
        const FindPattern wide = *textPattern("Temperature", TextEncoding::Utf16LE, true);
        Best oneAgain, tTyped, tAnyCase, tWide;
        std::int64_t hTyped = 0, hAnyCase = 0, hWide = 0;
        for (int i = 0; i < runs; ++i) {
            oneAgain.take(seconds([&] { findHits(fa, {needle}, 100); }));
            tTyped.take(seconds([&] { hTyped = findHits(fa, {typed}, 100); }));
            tAnyCase.take(seconds([&] { hAnyCase = findHits(fa, {anyCase}, 100); }));
            tWide.take(seconds([&] { hWide = findHits(fa, {wide}, 100); }));
        }
        if (hTyped != 1 || hAnyCase != 2 || hWide != 1)
            die("text find: " + std::to_string(hTyped) + ", " + std::to_string(hAnyCase) + ", " +
                std::to_string(hWide) + " hits, expected 1, 2, 1");
        line("  text, case as typed: time vs one 4Bunsigned", tTyped.t, oneAgain.t, "find", 1.2,
             true);
        line("  text, any case: time vs one 4Bunsigned", tAnyCase.t, oneAgain.t, "find", 1.2, true);
        line("  text, any case, UTF-16: time vs one 4Bunsigned", tWide.t, oneAgain.t, "find", 1.2,
             true);
    }
    if (sections.find('c') != std::string::npos) {
        // Compare: identical files, then 1,000 scattered differences.
        std::filesystem::copy_file(a, b);
        const FileStream fb = openRead(b);
        readAll({&fb});
        Best readBoth, cmp, same;
        std::int64_t d = -1;
        for (int i = 0; i < runs; ++i) {
            readBoth.take(seconds([&] { readAll({&fa, &fb}); }));
            cmp.take(seconds([&] { shell("cmp -s '" + a + "' '" + b + "'"); }));
            same.take(seconds([&] { d = compareCount(fa, fb); }));
        }
        if (d != 0)
            die("identical files differ");
        {
            FileStream w;
            if (!w.open(b, FileStream::Mode::ReadWrite))
                die("cannot write " + b);
            std::mt19937_64 rng(99);
            for (int i = 0; i < 1000; ++i) {
                std::uint8_t x = 0;
                const auto at = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(GiB));
                w.readAt(at, {&x, 1});
                x = static_cast<std::uint8_t>(x ^ 0x5A);
                w.writeAt(at, {&x, 1});
            }
        }
        Best cmpl, diff;
        for (int i = 0; i < runs; ++i) {
            cmpl.take(seconds([&] { shell("cmp -l '" + a + "' '" + b + "' | wc -l >/dev/null"); }));
            diff.take(seconds([&] { d = compareCount(fa, fb); }));
        }
        std::printf("compare, two 1 GiB files (%lld differences found of 1000 made)\n",
                    static_cast<long long>(d));
        line("  identical: time vs cmp", same.t, cmp.t, "cmp", 0.5, true);
        line("  identical: time vs reading both", same.t, readBoth.t, "read both", 1.5, true);
        line("  1000 differences: time vs cmp -l | wc -l", diff.t, cmpl.t, "cmp -l", 0.5, true);
        line("  1000 differences: time vs reading both", diff.t, readBoth.t, "read both", 1.5,
             true);
        std::printf("  memory: the process grew by %ld KiB while scanning (peak %ld KiB)\n",
                    maxRssKiB() - rssBefore, maxRssKiB());
    }

    std::filesystem::remove_all(dir);
    return 0;
}
