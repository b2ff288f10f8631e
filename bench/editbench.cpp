// editbench: the edits and saves of a 1 GiB file, and the one-condition find,
// against the shell commands that do the same amount of work, all measured in
// one run:
//
//   - each vellomarque-cli edit (add-records, delete-records, add-field,
//     delete-fields, change-kind) against `cp FILE COPY && sync COPY`, and
//     against the same followed by `mv COPY` over a cached file of that size
//     (an edit replaces its data file, and freeing the old one is not free);
//   - an edit that changes nothing (add-records of 0 records);
//   - the program's Save File (the working copy put over the data file
//     through ReplaceFile) against the same cp + sync;
//   - `vellomarque-cli find` of one 4-byte value against `cat FILE > /dev/null`;
//   - on an XFS (else btrfs) image made and loop-mounted here, the working
//     copy of a newly opened file and Save File (skipped, saying why, where
//     the image cannot be made or mounted).
//
//   editbench [FOLDER [SECTIONS]]   (default: the system's temporary folder;
//                                    SECTIONS from "esfx", all by default)
//
// EDITBENCH_RUNS sets the runs of each figure (7); EDITBENCH_REFERENCE_CLI
// names another build of the tool whose edits are timed alike.
//
// Needs about 4 GiB free in FOLDER; every file it makes is deleted at the end.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "atomicfile.h"
#include "benchfiles.h"
#include "filestream.h"
#include "segment.h"
#include "typefile.h"
#include "workingfile.h"

using namespace vm;
using benchfiles::die;
using benchfiles::field;
using benchfiles::makeFile;
using benchfiles::seconds;

namespace {

constexpr std::int64_t kGiB = std::int64_t{1} << 30;
// The machine's page cache makes single runs vary by several times: every
// figure is the best of this many (EDITBENCH_RUNS), each run of a figure
// taken in turn with a run of its reference.
const int kRuns =
    std::getenv("EDITBENCH_RUNS") ? std::max(1, std::atoi(std::getenv("EDITBENCH_RUNS"))) : 7;

struct Best {
    double t = 1e100;
    void take(double s) { t = std::min(t, s); }
};

// Runs a program (no shell) with its output and errors to /dev/null; its exit code.
int run(const std::vector<std::string>& args) {
    static const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    return benchfiles::runTo(args, null, null);
}

void mustRun(const std::vector<std::string>& args) {
    if (const int code = run(args); code != 0) {
        std::string line;
        for (const std::string& a : args)
            line += a + ' ';
        die("failed (" + std::to_string(code) + "): " + line);
    }
}

int shell(const std::string& command) {
    return run({"/bin/sh", "-c", command});
}

// The reference of every write: a copy that is on the disk when it ends
// (removed again afterwards, untimed).
double cpSync(const std::string& from, const std::string& to) {
    std::filesystem::remove(to);
    const double t = seconds([&] {
        mustRun({"sh", "-c", "cp '" + from + "' '" + to + "' && sync '" + to + "'"});
    });
    std::filesystem::remove(to);
    return t;
}

// The same copy then put in place of a cached 1 GiB file, as an edit replaces
// its data file: freeing the old file's cached pages and blocks is counted too,
// which on this kind of machine costs about as much as a third of the copy.
double cpSyncReplace(const std::string& from, const std::string& to, const std::string& old) {
    std::filesystem::remove(to);
    mustRun({"cp", from, old});
    mustRun({"sh", "-c", "cat '" + old + "' > /dev/null"});
    return seconds([&] {
        mustRun({"sh", "-c",
                 "cp '" + from + "' '" + to + "' && sync '" + to + "' && mv '" + to + "' '" + old +
                     "'"});
    });
}

void line(const char* what, double t, double ref, const char* refName, double target) {
    const double ratio = t / ref;
    std::printf("%-44s %7.3f s  %-9s %7.3f s  ratio %5.2f  (target <= %.2f)  %s\n", what, t,
                refName, ref, ratio, target, ratio <= target ? "ok" : "MISSED");
}

void absolute(const char* what, double t, double limit) {
    std::printf("%-44s %7.1f ms  (target < %.0f ms)  %s\n", what, t * 1000, limit * 1000,
                t < limit ? "ok" : "MISSED");
}

// 1 GiB of 64-byte records with four fields of 4 bytes in front.
void makePair(const std::string& data) {
    makeFile(data, kGiB);
    SegmentList list;
    benchfiles::addSegment(list, "Recs", kGiB / 64, 64,
                           {field(7, 0, 4), field(7, 4, 4), field(8, 8, 4), field(8, 12, 4)});
    if (!writeTypeFile(list, ViewSettings(), DataHintFlags{}, data + ".type").ok)
        die("cannot write the type file");
}

// The program's Save File: the working copy replaces target.
void saveFile(const FileStream& working, const std::string& target) {
    ReplaceFile out;
    if (!out.begin(target) || !out.copyFrom(working) || !out.commit())
        die("save failed: " + out.error());
}

// Edits through the command-line tool, each against cp + sync of the data file.
void edits(const std::string& dir, const std::string& cli) {
    const std::string data = dir + "edit.bin";
    makePair(data);
    const std::string mid = std::to_string(kGiB / 64 / 2);
    // Pairs that leave the file as it was, so every run starts from 1 GiB.
    struct Edit {
        const char* name;
        std::vector<std::string> args;
    };
    const std::vector<Edit> list = {
        {"add-records 1 record in the middle", {cli, "add-records", data, "Recs", mid, "1"}},
        {"delete-records 1 record", {cli, "delete-records", data, "Recs", mid, mid}},
        {"add-field 4 bytes at 3", {cli, "add-field", data, "Recs", "4Bsigned", "4", "--at", "3"}},
        {"delete-fields (the one added)", {cli, "delete-fields", data, "Recs", "3"}},
        // Same-size integers keep their bytes: only the type file changes.
        {"change-kind 4Bsigned -> 4Bunsigned",
         {cli, "change-kind", data, "Recs", "0", "4Bunsigned", "4"}},
        {"change-kind back", {cli, "change-kind", data, "Recs", "0", "4Bsigned", "4"}},
        // A conversion that rewrites every record.
        {"change-kind 4Bsigned -> 8Bsigned",
         {cli, "change-kind", data, "Recs", "0", "8Bsigned", "8"}},
        {"change-kind 8Bsigned -> 4Bsigned",
         {cli, "change-kind", data, "Recs", "0", "4Bsigned", "4"}},
    };
    // Another build of the tool (EDITBENCH_REFERENCE_CLI), timed alike.
    const char* other = std::getenv("EDITBENCH_REFERENCE_CLI");
    // Each edit has its own reference, a cp + sync run just before it: the
    // page cache and the host behind this machine's memory change from one
    // gibibyte written to the next, and both should meet the same state.
    std::vector<Best> times(list.size()), before(list.size()), refs(list.size());
    Best ref, refReplace;
    Best noop, noopBefore;
    for (int i = 0; i < kRuns; ++i) {
        ::sync();
        ref.take(cpSync(data, dir + "cp.bin"));
        ::sync();
        refReplace.take(cpSyncReplace(data, dir + "cp.bin", dir + "old.bin"));
        std::filesystem::remove(dir + "old.bin");
        for (std::size_t k = 0; k < list.size(); ++k) {
            ::sync();
            refs[k].take(cpSync(data, dir + "cp.bin"));
            ::sync();
            times[k].take(seconds([&] { mustRun(list[k].args); }));
        }
        noop.take(seconds([&] { mustRun({cli, "add-records", data, "Recs", mid, "0"}); }));
        if (!other)
            continue;
        for (std::size_t k = 0; k < list.size(); ++k) {
            std::vector<std::string> args = list[k].args;
            args[0] = other;
            ::sync();
            before[k].take(seconds([&] { mustRun(args); }));
        }
        noopBefore.take(seconds([&] { mustRun({other, "add-records", data, "Recs", mid, "0"}); }));
    }
    std::printf("vellomarque-cli edits of 1 GiB (64-byte records), best of %d, each against "
                "the cp + sync run just before it\n",
                kRuns);
    for (std::size_t k = 0; k < list.size(); ++k)
        line(list[k].name, times[k].t, refs[k].t, "cp+sync", 1.2);
    absolute("add-records of 0 records (changes nothing)", noop.t, 0.05);
    std::printf("the same against the best cp + sync (%.3f s), and cp + sync + mv over a "
                "cached 1 GiB file (%.3f s; the replaced file freed as an edit frees it)\n",
                ref.t, refReplace.t);
    for (std::size_t k = 0; k < list.size(); ++k)
        line(list[k].name, times[k].t, ref.t, "cp+sync", 1.2);
    for (std::size_t k = 0; k < list.size(); ++k)
        line(list[k].name, times[k].t, refReplace.t, "cp+s+mv", 1.2);
    if (other) {
        std::printf("the same with %s\n", other);
        for (std::size_t k = 0; k < list.size(); ++k)
            line(list[k].name, before[k].t, ref.t, "cp+sync", 1.2);
        absolute("add-records of 0 records (changes nothing)", noopBefore.t, 0.05);
    }
    std::filesystem::remove(data);
    std::filesystem::remove(data + ".type");
}

// Save File of 1 GiB from a working copy, against cp + sync.
void saves(const std::string& dir) {
    const std::string data = dir + "saved.bin";
    makeFile(data, kGiB);
    WorkingFile wf;
    wf.tempDir = dir;
    if (!makeWorkingCopy(wf, data))
        die("cannot make the working copy");
    Best ref, save;
    for (int i = 0; i < kRuns; ++i) {
        ::sync();
        ref.take(cpSync(data, dir + "cp.bin"));
        ::sync();
        save.take(seconds([&] { saveFile(wf.stream, data); }));
    }
    std::printf("Save File of 1 GiB, best of %d\n", kRuns);
    line("Save File over the data file", save.t, ref.t, "cp+sync", 1.1);
    discardWorkingFile(wf);
    std::filesystem::remove(data);
}

// One 4-byte value (found nowhere) in 1 GiB, against reading the file with cat.
void finds(const std::string& dir, const std::string& cli) {
    const std::string data = dir + "find.bin";
    makeFile(data, kGiB);
    shell("cat '" + data + "' > /dev/null");
    Best cat, find;
    for (int i = 0; i < kRuns; ++i) {
        cat.take(seconds([&] { mustRun({"sh", "-c", "cat '" + data + "' > /dev/null"}); }));
        find.take(seconds([&] { mustRun({cli, "find", data, "--cond", "4Bunsigned=305419896"}); }));
    }
    std::printf("find of one condition in 1 GiB (in the page cache), best of %d\n", kRuns);
    line("vellomarque-cli find 4Bunsigned=0x12345678", find.t, cat.t, "cat", 1.2);
    std::filesystem::remove(data);
}

// An image of the file system fs ("xfs" or "btrfs"); false when it cannot be made.
bool makeImage(const std::string& image, const std::string& fs) {
    std::filesystem::remove(image);
    if (shell("truncate -s 4G '" + image + "'") != 0)
        return false;
    const std::string options = fs == "xfs" ? " -q -f -m reflink=1 '" : " -q -f '";
    return shell("mkfs." + fs + options + image + "' >/dev/null 2>&1") == 0;
}

// On file systems that share extents: the working copy and Save File clone.
void clones(const std::string& dir) {
    const std::string image = dir + "fs.img";
    const std::string mnt = dir + "mnt";
    std::filesystem::create_directories(mnt);
    for (const std::string fs : {"xfs", "btrfs"}) {
        if (!makeImage(image, fs)) {
            std::printf("clones on %s: skipped, mkfs.%s cannot make an image here (apt-get "
                        "install xfsprogs btrfs-progs)\n",
                        fs.c_str(), fs.c_str());
            continue;
        }
        if (shell("mount -o loop '" + image + "' '" + mnt + "' >/dev/null 2>&1") != 0) {
            std::printf("clones on %s: skipped, the image cannot be mounted here (needs root "
                        "and loop devices)\n",
                        fs.c_str());
            continue;
        }
        const std::string data = mnt + "/data.bin";
        const std::string temp = mnt + "/tmp/";
        std::filesystem::create_directories(temp);
        makeFile(data, kGiB);
        shell("sync");
        Best copy, save;
        bool same = true;
        for (int i = 0; i < kRuns; ++i) {
            WorkingFile wf;
            wf.tempDir = temp;
            copy.take(seconds([&] {
                if (!makeWorkingCopy(wf, data))
                    die("cannot make the working copy");
            }));
            save.take(seconds([&] { saveFile(wf.stream, data); }));
            // A clone has every byte: the saved file and the copy are compared in full.
            if (i == 0)
                same =
                    shell("cmp -s '" + wf.name + "' '" + data + "'") == 0 && fileSize(data) == kGiB;
            discardWorkingFile(wf);
        }
        std::printf("on a loop-mounted %s image, 1 GiB, best of %d (%s)\n", fs.c_str(), kRuns,
                    same ? "copy and saved file hold the same bytes" : "THE BYTES DIFFER");
        absolute("  working copy of a newly opened file", copy.t, 0.05);
        absolute("  Save File", save.t, 0.05);
        shell("umount '" + mnt + "'");
    }
    std::filesystem::remove(image);
}

} // namespace

int main(int argc, char** argv) {
    const std::string base = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    const std::string sections = argc > 2 ? argv[2] : "esfx";
    const std::string dir = base + "/editbench-" + std::to_string(::getpid()) + "/";
    std::filesystem::create_directories(dir);
    // The tool's own working files, if any, are kept apart.
    ::setenv("TMPDIR", dir.c_str(), 1);
    const std::string cli = VM_CLI_PATH;
    if (sections.find('e') != std::string::npos)
        edits(dir, cli);
    if (sections.find('s') != std::string::npos)
        saves(dir);
    if (sections.find('f') != std::string::npos)
        finds(dir, cli);
    if (sections.find('x') != std::string::npos)
        clones(dir);
    std::filesystem::remove_all(dir);
    return 0;
}
