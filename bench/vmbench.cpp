// vmbench: times the engine's file rewrites, text output and checks against a
// plain `cp` of the same file measured in the same run.
//
//   vmbench [FOLDER [SECTIONS]]   (default: the system's temporary folder, all
//                                  sections; SECTIONS e.g. "35" runs 3 and 5)
//
// Section 6 times `vellomarque-cli export-text` to standard output against
// `xxd` of the same file, both written to /dev/null.
//
// Needs about 3 GiB free in FOLDER; every file it makes is deleted at the end.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "checks.h"
#include "filestream.h"
#include "rewrite.h"
#include "textoutput.h"
#include "typefile.h"
#include "workingfile.h"

using namespace vm;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(const std::function<void()>& f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Best of n runs; prepare runs untimed before each.
double best(int n, const std::function<void()>& prepare, const std::function<void()>& run) {
    double b = 1e100;
    for (int i = 0; i < n; ++i) {
        if (prepare)
            prepare();
        b = std::min(b, seconds(run));
    }
    return b;
}

void die(const std::string& what) {
    std::fprintf(stderr, "vmbench: %s\n", what.c_str());
    std::exit(1);
}

void runCp(const std::string& from, const std::string& to) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execlp("cp", "cp", from.c_str(), to.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        die("cp failed");
}

// Runs a program with its standard output on outFd; returns its exit status.
int runTo(const std::vector<std::string>& argv, int outFd) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFd, 1);
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

// Bytes a program writes to its standard output.
std::int64_t outputBytes(const std::vector<std::string>& argv) {
    int fds[2];
    if (::pipe(fds) != 0)
        die("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::_exit(runTo(argv, fds[1]));
    }
    ::close(fds[1]);
    std::vector<char> buf(1 << 20);
    std::int64_t n = 0;
    for (ssize_t got; (got = ::read(fds[0], buf.data(), buf.size())) > 0;)
        n += got;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        die(argv[0] + " failed");
    return n;
}

void makeFile(const std::string& path, std::int64_t size) {
    FileStream f;
    if (!f.open(path, FileStream::Mode::Create))
        die("cannot create " + path + ": " + f.lastError());
    std::vector<std::uint8_t> buf(std::size_t{8} << 20);
    std::uint32_t x = 12345;
    for (auto& b : buf) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    for (std::int64_t at = 0; at < size; at += static_cast<std::int64_t>(buf.size())) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(size - at, static_cast<std::int64_t>(buf.size())));
        buf[0] = static_cast<std::uint8_t>(at >> 20); // blocks differ from each other
        if (!f.writeAt(at, std::span<const std::uint8_t>(buf.data(), n)))
            die("cannot write " + path + ": " + f.lastError());
    }
}

void removeWorkingFiles(const std::string& dir) {
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string n = e.path().filename().string();
        if (n.rfind("~qzt", 0) == 0)
            std::filesystem::remove(e.path());
    }
}

TypeEntry field(int kind, std::uint16_t start, std::uint16_t length) {
    TypeEntry e;
    e.kind = static_cast<std::uint8_t>(kind);
    e.start = start;
    e.length = length;
    return e;
}

// A record segment from offset 0 over records of recordLength bytes.
void addSegment(SegmentList& list, const char* name, std::int64_t records, int recordLength,
                std::vector<TypeEntry> fields) {
    auto s = std::make_unique<Segment>();
    s->name = name;
    s->recordLength = recordLength;
    s->length = static_cast<std::int32_t>(records * recordLength);
    s->entries = std::move(fields);
    list.append(std::move(s));
}

void report(const char* what, double t, double ref, double target, bool atMost = true) {
    const double ratio = t / ref;
    std::printf("%-44s %8.3f s  ref %7.3f s  ratio %5.2f  (target %s %.1f)  %s\n", what, t, ref,
                ratio, atMost ? "<=" : ">=", target,
                (atMost ? ratio <= target : ratio >= target) ? "ok" : "MISSED");
}

} // namespace

int main(int argc, char** argv) {
    const std::string base = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    const std::string dir = base + "/vmbench-" + std::to_string(::getpid()) + "/";
    std::filesystem::create_directories(dir);
    const std::int64_t GiB = std::int64_t{1} << 30;
    const Progress none;
    const std::string sections = argc > 2 ? argv[2] : "123456";
    auto wanted = [&](char c) { return sections.find(c) != std::string::npos; };

    const std::function<void()> clean = [&] {
        std::filesystem::remove(dir + "cp.bin");
        removeWorkingFiles(dir);
    };

    // The machine may be busy with other work: every figure is the best of
    // several runs, taken in turn with runs of its reference, so that both
    // see the same conditions.
    const int runs = 5;
    auto cpOnce = [&](const std::string& from) {
        std::filesystem::remove(dir + "cp.bin");
        return seconds([&] { runCp(from, dir + "cp.bin"); });
    };

    // 1. Whole-file copy.
    const std::string big = dir + "big.bin";
    if (wanted('1') || wanted('2')) {
        makeFile(big, GiB);
        runCp(big, dir + "warm.bin"); // the source in the page cache, as after opening
        std::filesystem::remove(dir + "warm.bin");
    }
    if (wanted('1')) {
        double ref = 1e100, t = 1e100;
        for (int i = 0; i < runs; ++i) {
            ref = std::min(ref, cpOnce(big));
            clean();
            t = std::min(t, seconds([&] {
                             if (makeWorkingCopy(dir, big).empty())
                                 die("makeWorkingCopy failed");
                         }));
            clean();
        }
        report("makeWorkingCopy 1 GiB", t, ref, 1.1);
    }

    // 2. Records inserted and deleted in the middle of 1 GiB.
    if (wanted('2')) {
        clean();
        WorkingFile wf;
        wf.tempDir = dir;
        if (!openWorkingFile(wf, makeWorkingCopy(dir, big)))
            die("cannot open the working file");
        Segment seg;
        seg.begin = 0;
        seg.recordLength = 16;
        seg.length = static_cast<std::int32_t>(GiB - 16);
        seg.recordCount = seg.length / 16;
        const std::int64_t mid = seg.recordCount / 2;
        double ref = 1e100, ins = 1e100, del = 1e100;
        for (int i = 0; i < runs; ++i) {
            ref = std::min(ref, cpOnce(big));
            ins = std::min(ins, seconds([&] {
                               if (!insertRecords(wf, seg, mid, 1000, false, false, none).ok)
                                   die("insertRecords failed");
                           }));
            del = std::min(del, seconds([&] {
                               if (!deleteRecords(wf, seg, mid, mid + 999, none).ok)
                                   die("deleteRecords failed");
                           }));
        }
        report("insertRecords (1000 x 16 B, middle of 1 GiB)", ins, ref, 1.3);
        report("deleteRecords (1000 x 16 B, middle of 1 GiB)", del, ref, 1.3);
    }
    clean();
    std::filesystem::remove(big);

    // 3. Field rewrites over 16 million records of 16 bytes.
    if (wanted('3')) {
        const std::int64_t records = 16 << 20;
        const std::string mid = dir + "records.bin";
        makeFile(mid, records * 16);
        WorkingFile wf;
        wf.tempDir = dir;
        if (!openWorkingFile(wf, makeWorkingCopy(dir, mid)))
            die("cannot open the working file");
        Segment seg;
        seg.begin = 0;
        seg.recordLength = 16;
        seg.length = static_cast<std::int32_t>(records * 16);
        seg.recordCount = static_cast<std::int32_t>(records);
        seg.entries = {field(7, 0, 4), field(7, 4, 4), field(11, 8, 8)};
        double ref = 1e100, ins = 1e100, del = 1e100, chg = 1e100;
        for (int i = 0; i < runs; ++i) {
            ref = std::min(ref, cpOnce(mid));
            ins = std::min(ins, seconds([&] {
                               if (!insertEntryBytes(wf, seg, {seg.entries[1]}, 4, 1, none).ok)
                                   die("insertEntryBytes failed");
                           }));
            del = std::min(del, seconds([&] {
                               if (!deleteEntryBytes(wf, seg, {1}, none).ok)
                                   die("deleteEntryBytes failed");
                           }));
            chg = std::min(
                chg, seconds([&] {
                    if (!changeEntryKind(wf, seg, 0, field(10, 0, 8), defaultLocale(), none).ok)
                        die("changeEntryKind failed");
                }));
            if (!changeEntryKind(wf, seg, 0, field(7, 0, 4), defaultLocale(), none).ok)
                die("changeEntryKind back failed");
        }
        report("insertEntryBytes (16M x 16 B records)", ins, ref, 3.0);
        report("deleteEntryBytes (16M x 16 B records)", del, ref, 3.0);
        report("changeEntryKind 4Bsigned->8Bsigned (16M)", chg, ref, 3.0);
        clean();
        std::filesystem::remove(mid);
    }

    // 4. Text output of 1 million records of 4 fields.
    if (wanted('4')) {
        const std::int64_t records = 1000000;
        const std::string src = dir + "text.bin";
        makeFile(src, records * 20);
        FileStream in;
        if (!in.open(src, FileStream::Mode::Read))
            die("cannot open " + src);
        SegmentList list;
        addSegment(list, "Text", records, 20,
                   {field(7, 0, 4), field(6, 4, 2), field(11, 6, 8), field(14, 14, 6)});
        ViewSettings v;
        v.setShowIndexNum(true);
        v.setPositionFormat(2);
        TextOutputResult r;
        const double t = best(
            3, nullptr, [&] { r = writeTextOutput(allSegments(list), in, v, dir + "out.txt"); });
        if (!r.ok)
            die("writeTextOutput failed: " + r.error);
        const double mb = static_cast<double>(fileSize(dir + "out.txt")) / 1e6;
        std::printf("%-44s %8.3f s  %.1f MB text  %.1f MB/s  (target >= 50)  %s\n",
                    "writeTextOutput 1M x 4 fields", t, mb, mb / t, mb / t >= 50 ? "ok" : "MISSED");
        std::filesystem::remove(dir + "out.txt");
        std::filesystem::remove(src);
    }

    // 5. Checks over 100,000 segments.
    if (wanted('5')) {
        SegmentList list;
        for (int i = 0; i < 100000; ++i) {
            auto s = std::make_unique<Segment>();
            s->name = "S" + std::to_string(i);
            s->begin = (i % 2 ? 100000 - i : i) * 100; // out of order, with overlaps and gaps
            s->length = 90 + (i % 7) * 5;
            s->recordLength = 10;
            s->entries = {field(1, 0, 4), field(1, 5, 5)};
            list.append(std::move(s));
        }
        MessageList m;
        StructureMap map;
        map.width = 1000;
        const double t = best(
            3, [&] { clearMessages(m); }, [&] { checkSegments(list, 10000000, true, &m, &map); });
        std::printf("%-44s %8.3f s  %zu rows  (target well under 1 s)  %s\n",
                    "checkSegments 100,000 segments", t, m.rows.size(), t < 0.5 ? "ok" : "MISSED");
    }
    // 6. Text output of 4 million records of 32 bytes, eight kinds, against xxd.
    if (wanted('6')) {
        const std::int64_t records = 4000000;
        const std::string src = dir + "kinds.bin";
        {
            // Values a user would have: dates within the calendar, ordinary
            // numbers, printable text, so every kind's whole path is taken.
            FileStream f;
            if (!f.open(src, FileStream::Mode::Create))
                die("cannot create " + src);
            std::vector<std::uint8_t> buf(static_cast<std::size_t>(records) * 32);
            std::uint64_t x = 88172645463325252ull;
            auto next = [&] {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                return x;
            };
            auto put = [&](std::size_t at, std::uint64_t v, int n) {
                for (int i = 0; i < n; ++i)
                    buf[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
            };
            for (std::int64_t r = 0; r < records; ++r) {
                const auto at = static_cast<std::size_t>(r) * 32;
                const std::uint64_t a = next(), b = next();
                put(at, static_cast<std::uint32_t>(a) - 0x40000000u, 4);
                put(at + 4, a >> 32, 3); // 2Bunsigned, 1BHex
                buf[at + 7] = static_cast<std::uint8_t>(32 + (a >> 56) % 95);
                put(at + 8, std::bit_cast<std::uint32_t>(static_cast<float>(b % 100000) / 7.0f), 4);
                put(at + 12, std::bit_cast<std::uint64_t>(static_cast<double>(b >> 11) * 1e-9), 8);
                const double date = 36000.0 + static_cast<double>(b % 20000) +
                                    static_cast<double>((b >> 20) % 86400) / 86400.0;
                put(at + 20, std::bit_cast<std::uint64_t>(date), 8);
                for (int i = 0; i < 4; ++i)
                    buf[at + 28 + static_cast<std::size_t>(i)] =
                        static_cast<std::uint8_t>('A' + (b >> (40 + 5 * i)) % 26);
            }
            if (!f.writeAt(0, buf))
                die("cannot write " + src);
        }
        SegmentList list;
        addSegment(list, "Kinds", records, 32,
                   {field(7, 0, 4), field(6, 4, 2), field(2, 6, 1), field(3, 7, 1), field(9, 8, 4),
                    field(11, 12, 8), field(12, 20, 8), field(14, 28, 4)});
        ViewSettings v;
        v.setShowIndexNum(true);
        v.setPositionFormat(1);
        if (!writeTypeFile(list, v, DataHintFlags{}, src + ".type").ok)
            die("cannot write the type file");
        const std::vector<std::string> ours = {VM_CLI_PATH, "export-text", src};
        const std::vector<std::string> xxd = {"xxd", src};
        const double ourBytes = static_cast<double>(outputBytes(ours));
        const double xxdBytes = static_cast<double>(outputBytes(xxd));
        const int null = ::open("/dev/null", O_WRONLY);
        double t = 1e100, ref = 1e100;
        for (int i = 0; i < runs; ++i) {
            ref = std::min(ref, seconds([&] {
                               if (runTo(xxd, null) != 0)
                                   die("xxd failed");
                           }));
            t = std::min(t, seconds([&] {
                             if (runTo(ours, null) != 0)
                                 die("export-text failed");
                         }));
        }
        ::close(null);
        const double rate = ourBytes / t, xxdRate = xxdBytes / ref;
        std::printf("%-44s %8.3f s  %.0f MB/s  xxd %.3f s %.0f MB/s  ratio %5.2f  (target >= 1.0)  "
                    "%s\n",
                    "export-text 4M x 32 B, 8 kinds", t, rate / 1e6, ref, xxdRate / 1e6,
                    rate / xxdRate, rate >= xxdRate ? "ok" : "MISSED");
        std::filesystem::remove(src);
        std::filesystem::remove(src + ".type");
    }

    std::filesystem::remove_all(dir);
    return 0;
}
