// vmbench: times the engine's file rewrites, text output, checks and saves
// against a plain `cp` of the same file measured in the same run, and two
// commands of vellomarque-cli on hostile structures.
//
//   vmbench [FOLDER [SECTIONS]]   (default: the system's temporary folder, all
//                                  sections; SECTIONS e.g. "35" runs 3 and 5)
//
// Section b times `vellomarque-cli export-text` to standard output against
// `xxd` of the same file, both written to /dev/null. Section c runs check and
// cut-blank on hostile overlapping fields (not in the default run: minutes).
// Section d times
// `export-table` of 4 million records of eight number fields against
// `export-text` of the same, and `import-table` of that table in MB/s of its
// text, with the tool's peak memory for a table of a quarter that size too.
//
// Needs about 3 GiB free in FOLDER; every file it makes is deleted at the end.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "atomicfile.h"
#include "benchfiles.h"
#include "checks.h"
#include "filestream.h"
#include "locate.h"
#include "recordedits.h"
#include "rewrite.h"
#include "split.h"
#include "tableexport.h"
#include "tableimport.h"
#include "textoutput.h"
#include "typefile.h"
#include "workingfile.h"

using namespace vm;
using benchfiles::addSegment;
using benchfiles::field;
using benchfiles::runTo;

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

// n bytes of v, little-endian, at p.
void putLE(std::uint8_t* p, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A file of records whose values fill makes from two random numbers each.
void makeRecords(const std::string& path, std::int64_t records, std::size_t recordLength,
                 const std::function<void(std::uint8_t*, std::uint64_t, std::uint64_t)>& fill) {
    FileStream f;
    if (!f.open(path, FileStream::Mode::Create))
        die("cannot create " + path);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(records) * recordLength);
    std::uint64_t x = 88172645463325252ull;
    auto next = [&] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    for (std::int64_t r = 0; r < records; ++r) {
        const std::uint64_t a = next();
        fill(buf.data() + static_cast<std::size_t>(r) * recordLength, a, next());
    }
    if (!f.writeAt(0, buf))
        die("cannot write " + path);
}

void removeWorkingFiles(const std::string& dir) {
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string n = e.path().filename().string();
        if (n.rfind("~qzt", 0) == 0)
            std::filesystem::remove(e.path());
    }
}

struct CliRun {
    int code = -1;
    std::uint64_t lines = 0; // counted when the output went through a pipe
    double seconds = 0;
    double peakMB = 0;
    double cpuSeconds = 0; // user and system time of the tool
};

// User and system time this process has used.
double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Runs vellomarque-cli (or another build of it) with its standard output
// into a file, or without one through a pipe whose lines are counted; its
// wall time and its peak resident memory. Its standard error goes nowhere.
CliRun runCli(const std::vector<std::string>& args, const std::string& outFile,
              const std::string& tool = VM_CLI_PATH) {
    CliRun r;
    int pipeFds[2] = {-1, -1};
    if (outFile.empty() && ::pipe(pipeFds) != 0)
        die("no pipe");
    const auto t0 = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = outFile.empty()
                           ? pipeFds[1]
                           : ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        if (pipeFds[0] >= 0)
            ::close(pipeFds[0]);
        std::vector<std::string> copy = args;
        std::vector<char*> argv{const_cast<char*>(tool.c_str())};
        for (auto& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(tool.c_str(), argv.data());
        ::_exit(127);
    }
    if (pipeFds[0] >= 0) {
        ::close(pipeFds[1]);
        std::vector<char> buf(std::size_t{1} << 20);
        for (ssize_t n; (n = ::read(pipeFds[0], buf.data(), buf.size())) > 0;)
            r.lines += static_cast<std::uint64_t>(std::count(buf.data(), buf.data() + n, '\n'));
        ::close(pipeFds[0]);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.peakMB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    r.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
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
    const std::string sections = argc > 2 ? argv[2] : "123456789abd";
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
    if (wanted('1') || wanted('2') || wanted('8')) {
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
                             WorkingFile wf;
                             wf.tempDir = dir;
                             if (!makeWorkingCopy(wf, big))
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
        if (!makeWorkingCopy(wf, big))
            die("cannot make the working file");
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
    // 8. Save File: the working copy replaces the data file through ReplaceFile
    // (new file beside it, flushed to the disk, renamed over the old one),
    // against cp of the same file over the same kind of existing target, and
    // against cp to a new name.
    if (wanted('8')) {
        clean();
        WorkingFile wf;
        wf.tempDir = dir;
        if (!makeWorkingCopy(wf, big))
            die("cannot make the working file");
        const std::string saved = dir + "saved.bin";
        const std::string over = dir + "over.bin";
        runCp(big, saved);
        runCp(big, over);
        double fresh = 1e100, ref = 1e100, t = 1e100;
        // Each starts with nothing left to write back from the one before.
        for (int i = 0; i < runs; ++i) {
            ::sync();
            fresh = std::min(fresh, cpOnce(big));
            ::sync();
            ref = std::min(ref, seconds([&] { runCp(big, over); }));
            ::sync();
            t = std::min(t, seconds([&] {
                             ReplaceFile out;
                             if (!out.begin(saved) || !out.copyFrom(wf.stream) || !out.commit())
                                 die("save failed: " + out.error());
                         }));
        }
        report("Save File 1 GiB over the old file", t, ref, 1.1);
        report("  (the same against cp to a new name)", t, fresh, 1.1);
        std::filesystem::remove(saved);
        std::filesystem::remove(over);
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
        if (!makeWorkingCopy(wf, mid))
            die("cannot make the working file");
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
                    "checkSegments 100,000 segments", t, m.size(), t < 0.5 ? "ok" : "MISSED");
    }
    // 9. vellomarque-cli check on 5,000 identical segments: every pair
    // overlaps, 12,497,500 rows. Time and peak memory of the whole command,
    // and its output compared line by line with the rows the rules give.
    if (wanted('9')) {
        const int n = 5000;
        const std::string data = dir + "same.bin";
        makeFile(data, 100);
        SegmentList list;
        for (int i = 0; i < n; ++i) {
            auto s = std::make_unique<Segment>();
            s->name = "S" + std::to_string(i);
            s->length = 100;
            s->recordLength = 10;
            s->entries = {field(1, 0, 10)};
            list.append(std::move(s));
        }
        if (!writeTypeFile(list, ViewSettings(), DataHintFlags{}, data + ".type").ok)
            die("cannot write the type file");
        const std::string out = dir + "check.txt";
        const CliRun r = runCli({"check", data}, out);
        if (r.code != 2)
            die("check exited with " + std::to_string(r.code));
        std::FILE* f = std::fopen(out.c_str(), "rb");
        if (!f)
            die("no output");
        std::string line(256, '\0');
        std::size_t rows = 0, wrong = 0;
        for (int i = 0; i < n; ++i)
            for (int j = i + 1; j < n; ++j) {
                const std::string want = "segment\tError\tS" + std::to_string(i) + "\tS" +
                                         std::to_string(j) + "\tIsOverlay \tOverlay\n";
                if (!std::fgets(line.data(), static_cast<int>(line.size()), f) ||
                    want != line.c_str())
                    ++wrong;
                ++rows;
            }
        const bool ended = std::fgetc(f) == EOF;
        std::fclose(f);
        std::printf("%-44s %8.3f s  peak %6.0f MB  %zu rows %s  (target < 10 s, < 1024 MB)  %s\n",
                    "check, 5,000 identical segments", r.seconds, r.peakMB, rows,
                    wrong == 0 && ended ? "as the rules give" : "DIFFERENT",
                    r.seconds < 10 && r.peakMB < 1024 && wrong == 0 && ended ? "ok" : "MISSED");
        std::filesystem::remove(out);
        std::filesystem::remove(data);
        std::filesystem::remove(data + ".type");
    }

    // a. vellomarque-cli write-type with 100,000 fields and no memos (each
    // gets the first free "Mn"), and 4,000 for the growth.
    if (wanted('a')) {
        for (const int fields : {4000, 100000}) {
            const std::string json = dir + "fields.json";
            std::FILE* f = std::fopen(json.c_str(), "wb");
            std::fputs("{\"segments\":[{\"name\":\"Many\",\"recordLength\":100000,"
                       "\"fields\":[",
                       f);
            for (int i = 0; i < fields; ++i)
                std::fprintf(f, "%s{\"kind\":1,\"start\":%d,\"length\":1}", i ? "," : "",
                             i % 65536);
            std::fputs("]}]}", f);
            std::fclose(f);
            const CliRun r = runCli({"write-type", json, dir + "many.type"}, dir + "wt.txt");
            if (r.code != 0)
                die("write-type failed");
            const TypeReadResult t = readTypeFile(dir + "many.type", 0);
            const bool right =
                t.ok && t.content.segments.size() == 1 &&
                t.content.segments[0].entries.size() == static_cast<std::size_t>(fields) &&
                t.content.segments[0].entries.back().memo == "M" + std::to_string(fields - 1);
            std::printf("write-type, %6d fields %18.3f s  %s  (target < 2 s at 100,000)  %s\n",
                        fields, r.seconds, right ? "read back whole" : "WRONG",
                        right && r.seconds < 2 ? "ok" : "MISSED");
            std::filesystem::remove(json);
            std::filesystem::remove(dir + "many.type");
            std::filesystem::remove(dir + "wt.txt");
        }
    }
    // 6. A record edit as the program and the command line make it: records
    // into the middle of a segment of 512 MiB with 100,000 segments behind it
    // to move; then offsets located among those segments, as the position bar
    // does while it is dragged.
    if (wanted('6')) {
        const std::string file = dir + "edit.bin";
        makeFile(file, GiB);
        runCp(file, dir + "warm.bin");
        std::filesystem::remove(dir + "warm.bin");
        WorkingFile wf;
        wf.tempDir = dir;
        if (!makeWorkingCopy(wf, file))
            die("cannot open the working file");
        SegmentList list;
        auto first = std::make_unique<Segment>();
        first->recordLength = 16;
        first->length = 512 << 20;
        first->recordCount = first->length / 16;
        Segment& records = list.append(std::move(first));
        for (int i = 0; i < 100000; ++i) {
            auto s = std::make_unique<Segment>();
            s->begin = (512 << 20) + i * 5000;
            s->length = 5000;
            s->recordLength = 100;
            list.append(std::move(s));
        }
        AddRecordsRequest add;
        add.position = records.recordCount / 2;
        add.count = 1000;
        const DeleteRecordsRequest del{add.position, add.position + 999};
        double ref = 1e100, ins = 1e100, rem = 1e100;
        for (int i = 0; i < 3; ++i) {
            ref = std::min(ref, cpOnce(file));
            ins = std::min(ins, seconds([&] {
                               if (!addRecordsToSegment(wf, list, records, add).ok)
                                   die("addRecordsToSegment failed");
                           }));
            rem = std::min(rem, seconds([&] {
                               if (!deleteRecordsFromSegment(wf, list, records, del).ok)
                                   die("deleteRecordsFromSegment failed");
                           }));
        }
        report("addRecordsToSegment (+100,000 moved)", ins, ref, 1.3);
        report("deleteRecordsFromSegment (+100,000 moved)", rem, ref, 1.3);
        wf.stream.close();
        clean();
        std::filesystem::remove(file);

        // The last segment, the first one current: every segment is tried.
        const std::int64_t target = list[list.size() - 1].begin + 10;
        const int calls = 1000;
        Location hit;
        const double t = best(3, nullptr, [&] {
            for (int i = 0; i < calls; ++i)
                hit = locateOffset(list, &records, target + (i % 100), GiB);
        });
        if (hit.segment != &list[list.size() - 1])
            die("locateOffset found the wrong segment");
        std::printf("%-44s %8.3f ms a call  (target <= 2 ms, a screen refresh)  %s\n",
                    "locateOffset among 100,001 segments", t * 1000 / calls,
                    t * 1000 / calls <= 2 ? "ok" : "MISSED");
    }

    // 7. Split: three pieces covering nearly all of 1 GiB, in and out of order, into
    // a new file (written beside it, flushed, renamed) and into a working copy.
    if (wanted('7')) {
        const std::string src = dir + "split.bin";
        makeFile(src, GiB);
        runCp(src, dir + "warm.bin");
        std::filesystem::remove(dir + "warm.bin");
        const std::int32_t third = static_cast<std::int32_t>(GiB / 3);
        const SplitPiece a{1000, third}, b{third, 2 * third},
            c{2 * third, static_cast<std::int32_t>(GiB - 1)};
        WorkingFile wf;
        wf.tempDir = dir;
        if (!makeWorkingCopy(wf, src))
            die("cannot open the working file");
        // The new file is flushed before it replaces the target, so its
        // reference is a copy that is flushed too.
        auto cpSyncOnce = [&] {
            std::filesystem::remove(dir + "cp.bin");
            return seconds([&] {
                runCp(src, dir + "cp.bin");
                FileStream f;
                if (!f.open(dir + "cp.bin", FileStream::Mode::ReadWrite) || !f.flush())
                    die("cannot flush the copy");
            });
        };
        for (const auto& [name, pieces] :
             {std::pair{"in order", std::vector<SplitPiece>{a, b, c}},
              std::pair{"out of order", std::vector<SplitPiece>{c, a, b}}}) {
            double ref = 1e100, refSync = 1e100, file = 1e100, work = 1e100;
            for (int i = 0; i < runs; ++i) {
                ref = std::min(ref, cpOnce(src));
                refSync = std::min(refSync, cpSyncOnce());
                std::filesystem::remove(dir + "cp.bin");
                file = std::min(file, seconds([&] {
                                    if (!splitFiles(src, dir + "out.bin", pieces, false, none).ok)
                                        die("splitFiles failed");
                                }));
                std::filesystem::remove(dir + "out.bin");
                FileStream in;
                if (!in.open(src, FileStream::Mode::Read))
                    die("cannot open " + src);
                work = std::min(work, seconds([&] {
                                    if (!splitIntoWorkingFile(wf, &in, pieces, false, none).ok)
                                        die("splitIntoWorkingFile failed");
                                }));
            }
            report((std::string("split 1 GiB to a new file, ") + name + " (ref cp+flush)").c_str(),
                   file, refSync, 1.3);
            report((std::string("split 1 GiB to the working copy, ") + name).c_str(), work, ref,
                   1.3);
        }
        wf.stream.close();
        clean();
        std::filesystem::remove(src);
    }
    // b. Text output of 4 million records of 32 bytes, eight kinds, against xxd.
    if (wanted('b')) {
        const std::int64_t records = 4000000;
        const std::string src = dir + "kinds.bin";
        // Values a user would have: dates within the calendar, ordinary
        // numbers, printable text, so every kind's whole path is taken.
        makeRecords(src, records, 32, [](std::uint8_t* rec, std::uint64_t a, std::uint64_t b) {
            putLE(rec, static_cast<std::uint32_t>(a) - 0x40000000u, 4);
            putLE(rec + 4, a >> 32, 3); // 2Bunsigned, 1BHex
            rec[7] = static_cast<std::uint8_t>(32 + (a >> 56) % 95);
            putLE(rec + 8, std::bit_cast<std::uint32_t>(static_cast<float>(b % 100000) / 7.0f), 4);
            putLE(rec + 12, std::bit_cast<std::uint64_t>(static_cast<double>(b >> 11) * 1e-9), 8);
            const double date = 36000.0 + static_cast<double>(b % 20000) +
                                static_cast<double>((b >> 20) % 86400) / 86400.0;
            putLE(rec + 20, std::bit_cast<std::uint64_t>(date), 8);
            for (int i = 0; i < 4; ++i)
                rec[28 + i] = static_cast<std::uint8_t>('A' + (b >> (40 + 5 * i)) % 26);
        });
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

    // c. check and cut-blank on one segment of 40,000 and 80,000 fields that
    // start at i % 993, 16 bytes each: every field overlaps some 1,250
    // others, 25 and 100 million rows. check prints them all (counted
    // here through a pipe); cut-blank, refused, prints them to stderr.
    // Memory must not grow with the rows, time only in proportion to them.
    // VMBENCH_REFERENCE_CLI names another build of the tool to run alike.
    if (wanted('c')) {
        const std::string data = dir + "overlap.bin";
        makeFile(data, 2048);
        std::vector<std::pair<std::string, std::string>> tools{{"", VM_CLI_PATH}};
        if (const char* ref = std::getenv("VMBENCH_REFERENCE_CLI"))
            tools.emplace_back(" (reference)", ref);
        for (const int n : {40000, 80000}) {
            SegmentList list;
            auto s = std::make_unique<Segment>();
            s->name = "Overlap";
            s->length = 1100;
            s->recordLength = 1100;
            for (int i = 0; i < n; ++i)
                s->entries.push_back(field(15, i % 993, 16));
            list.append(std::move(s));
            if (!writeTypeFile(list, ViewSettings(), DataHintFlags{}, data + ".type").ok)
                die("cannot write the type file");
            for (const auto& [label, tool] : tools) {
                const CliRun c = runCli({"check", data}, "", tool);
                std::printf("check, %d overlapping fields%-12s %8.3f s  peak %6.0f MB  %llu rows  "
                            "%.1f ns/row  exit %d  (target < 200 MB)  %s\n",
                            n, label.c_str(), c.seconds, c.peakMB,
                            static_cast<unsigned long long>(c.lines),
                            c.lines ? c.seconds * 1e9 / static_cast<double>(c.lines) : 0.0, c.code,
                            c.code == 2 && c.peakMB < 200 ? "ok" : "MISSED");
                const CliRun b =
                    runCli({"cut-blank", data, "-o", dir + "cut.bin"}, "/dev/null", tool);
                std::printf("cut-blank, %d overlapping fields%-8s %8.3f s  peak %6.0f MB  exit %d  "
                            "(target < 100 MB, refused)  %s\n",
                            n, label.c_str(), b.seconds, b.peakMB, b.code,
                            b.code == 2 && b.peakMB < 100 ? "ok" : "MISSED");
                std::fflush(stdout);
            }
        }
        std::filesystem::remove(data);
        std::filesystem::remove(data + ".type");
    }

    // d. Record tables: 4 million records of eight number fields out as CSV
    // against the text output of the same, and back in.
    if (wanted('d')) {
        auto makeNumbers = [&](const std::string& path, std::int64_t records) {
            makeRecords(path, records, 40, [](std::uint8_t* rec, std::uint64_t a, std::uint64_t b) {
                putLE(rec, static_cast<std::uint32_t>(a) - 0x40000000u, 4);
                putLE(rec + 4, a >> 36, 4);
                putLE(rec + 8, a >> 16, 2);
                putLE(rec + 10, a >> 48, 2);
                putLE(rec + 12, std::bit_cast<std::uint32_t>(static_cast<float>(b % 100000) / 8.0f),
                      4);
                putLE(rec + 16, std::bit_cast<std::uint64_t>(static_cast<double>(b >> 11) * 1e-9),
                      8);
                putLE(rec + 24,
                      static_cast<std::uint64_t>(static_cast<std::int64_t>(b % 2000000) - 1000000),
                      8);
                putLE(rec + 32, (b >> 24) % 100000000000ull, 8);
            });
            SegmentList list;
            addSegment(list, "Numbers", records, 40,
                       {field(7, 0, 4), field(8, 4, 4), field(5, 8, 2), field(6, 10, 2),
                        field(9, 12, 4), field(11, 16, 8), field(10, 24, 8), field(13, 32, 8)});
            for (std::size_t k = 0; k < list[0].entries.size(); ++k)
                list[0].entries[k].memo = "v" + std::to_string(k);
            if (!writeTypeFile(list, ViewSettings{}, DataHintFlags{}, path + ".type").ok)
                die("cannot write the type file");
        };
        const std::int64_t records = 4000000;
        const std::string src = dir + "numbers.bin";
        makeNumbers(src, records);
        const std::vector<std::string> text = {VM_CLI_PATH, "export-text", src};
        const std::vector<std::string> csv = {VM_CLI_PATH, "export-table", src, "Numbers"};
        std::vector<std::string> exact = csv;
        exact.push_back("--exact");
        const int null = ::open("/dev/null", O_WRONLY);
        auto timeTo = [&](const std::vector<std::string>& argv) {
            double t = 1e100;
            for (int i = 0; i < runs; ++i)
                t = std::min(t, seconds([&] {
                                 if (runTo(argv, null) != 0)
                                     die(argv[1] + " failed");
                             }));
            return t;
        };
        const double tText = timeTo(text), tCsv = timeTo(csv), tExact = timeTo(exact);
        ::close(null);
        const double csvBytes = static_cast<double>(outputBytes(csv));
        std::printf("%-44s %8.3f s  %.0f MB/s  export-text %.3f s (%.0f MB of text)  speed ratio "
                    "%5.2f  (target >= 1.0)  %s\n",
                    "export-table 4M x 8 numbers, CSV", tCsv, csvBytes / tCsv / 1e6, tText,
                    static_cast<double>(outputBytes(text)) / 1e6, tText / tCsv,
                    tText >= tCsv ? "ok" : "MISSED");
        std::printf("%-44s %8.3f s  %.0f MB/s  speed ratio to export-text %5.2f\n",
                    "export-table --exact, same", tExact,
                    static_cast<double>(outputBytes(exact)) / tExact / 1e6, tText / tExact);

        // Import: the exact table into a copy whose records are zeroed, so
        // that every value is written.
        const std::string table = dir + "numbers.csv";
        const std::string target = dir + "target.bin";
        auto zeroedTarget = [&](const std::string& from, std::int64_t n) {
            std::filesystem::copy_file(from + ".type", target + ".type",
                                       std::filesystem::copy_options::overwrite_existing);
            std::vector<std::uint8_t> zeros(static_cast<std::size_t>(n) * 40);
            FileStream f;
            if (!f.open(target, FileStream::Mode::Create) || !f.writeAt(0, zeros))
                die("cannot write " + target);
        };
        double engineCpu = 1e100;
        auto importRun = [&](const std::string& from, std::int64_t n, double& engineSeconds,
                             CliRun& cli) {
            std::vector<std::string> out = {"export-table", from, "Numbers",
                                            "--exact",      "-o", table};
            if (runCli(out, "/dev/null").code != 0)
                die("export-table failed");
            engineSeconds = 1e100;
            for (int i = 0; i < runs; ++i) {
                zeroedTarget(from, n);
                WorkingFile wf;
                wf.tempDir = dir;
                if (!makeWorkingCopy(wf, target))
                    die("cannot copy " + target);
                TypeReadResult t = readTypeFile(target + ".type", wf.stream.size());
                FileStream in;
                if (!t.ok || !in.open(table, FileStream::Mode::Read))
                    die("cannot read the table");
                TableImportResult r;
                const double cpu0 = cpuSeconds();
                engineSeconds = std::min(engineSeconds, seconds([&] {
                                             r = readRecordTable(wf, t.content.segments,
                                                                 t.content.segments[0], in, {});
                                         }));
                engineCpu = std::min(engineCpu, cpuSeconds() - cpu0);
                if (!r.ok || r.cut + r.notWritten != 0)
                    die("import failed: " + r.error);
                wf.stream.close();
                clean();
            }
            cli.seconds = 1e100;
            for (int i = 0; i < runs; ++i) {
                zeroedTarget(from, n);
                const CliRun c = runCli({"import-table", target, "Numbers", table}, "/dev/null");
                if (c.code != 0)
                    die("import-table failed");
                if (c.seconds < cli.seconds)
                    cli = c;
            }
        };
        double engine4 = 0, engine1 = 0;
        CliRun cli4, cli1;
        importRun(src, records, engine4, cli4);
        const double tableMB = static_cast<double>(fileSize(table)) / 1e6;
        const CliRun exportRun = runCli({"export-table", src, "Numbers", "--exact"}, "/dev/null");
        // On a shared machine the wall time says more about the neighbours
        // than about us: the CPU time is given too.
        std::printf("%-44s %8.3f s  %.0f MB/s of text (%.0f MB)  (target >= 100)  %s;  CPU %.3f s: "
                    "%.0f MB/s\n",
                    "import-table engine, 4M x 8 numbers, CSV", engine4, tableMB / engine4, tableMB,
                    tableMB / engine4 >= 100 ? "ok" : "MISSED", engineCpu, tableMB / engineCpu);
        std::printf("%-44s %8.3f s  %.0f MB/s of text (CPU %.3f s), peak %.0f MB (export peak %.0f "
                    "MB)\n",
                    "vellomarque-cli import-table, same", cli4.seconds, tableMB / cli4.seconds,
                    cli4.cpuSeconds, cli4.peakMB, exportRun.peakMB);
        const std::string small = dir + "small.bin";
        makeNumbers(small, records / 4);
        importRun(small, records / 4, engine1, cli1);
        const CliRun exportSmall =
            runCli({"export-table", small, "Numbers", "--exact"}, "/dev/null");
        std::printf("%-44s peak %.0f MB (export peak %.0f MB): memory flat in the table's size\n",
                    "the same with 1M records", cli1.peakMB, exportSmall.peakMB);
        for (const std::string& f :
             {src, src + ".type", small, small + ".type", table, target, target + ".type"})
            std::filesystem::remove(f);
    }

    std::filesystem::remove_all(dir);
    return 0;
}
