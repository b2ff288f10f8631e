// saveprobe: the program's Save File through the engine, for the kill loop
// (killloop.sh). It opens SOURCE as a document opens its data file (a
// working copy), then saves that copy over TARGET as "Save File" does: the
// target's lock held from the check to the replacement, the copy written
// beside it, flushed, and renamed into place.
//
//   saveprobe TARGET SOURCE
#include <cstdio>
#include <string>

#include "atomicfile.h"
#include "filelock.h"
#include "paircommit.h"
#include "workingfile.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: saveprobe TARGET SOURCE\n");
        return 2;
    }
    const std::string target = argv[1];
    const vm::CommitRecovery recovered = vm::recoverPendingCommit(target);
    if (!recovered.message.empty())
        std::fprintf(stderr, "%s\n", recovered.message.c_str());
    vm::WorkingFile wf;
    wf.tempDir = vm::systemTempFolder();
    std::string error;
    if (!vm::makeWorkingCopy(wf, argv[2], &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[2], error.c_str());
        return 1;
    }
    vm::FileLock lock;
    if (!lock.acquire(target)) {
        vm::discardWorkingFile(wf);
        std::fprintf(stderr, "%s\n", lock.error().c_str());
        return 1;
    }
    vm::ReplaceFile out;
    const bool saved =
        out.begin(target) && out.copyFrom(wf.stream) && (lock.beforeReplace(), out.commit());
    vm::discardWorkingFile(wf);
    if (!saved) {
        std::fprintf(stderr, "%s: %s\n", target.c_str(), out.error().c_str());
        return 1;
    }
    return 0;
}
