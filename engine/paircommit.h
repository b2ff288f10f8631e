#pragma once

#include <functional>
#include <string>

#include "atomicfile.h"
#include "filelock.h"
#include "filestream.h"

namespace vm {

// What became of a pair commit that a writer left unfinished (see commitBoth).
struct CommitRecovery {
    enum class Outcome {
        None,      // nothing was pending (or only a record with nothing to do)
        Completed, // both new files are in place now
        PutBack,   // a new file was missing: the old pair is back
        Busy,      // a writer is replacing the pair right now
        Failed,    // the files could not be renamed; the record stays for another try
    };
    Outcome outcome = Outcome::None;
    // What was done, for stderr or the status line; empty when nothing was.
    std::string message;
};

// Finds the record of an unfinished pair commit of file (a data file, or a
// type file named after its data file: "X.type" looks for X's record too)
// and finishes it: both replacements complete, so both go in place; or, when
// one of them is missing, the old pair is put back. Every program that opens
// or edits a data file or type file calls this first.
CommitRecovery recoverPendingCommit(const std::string& file);

// True when a record of an unfinished commit lies beside target (or beside
// the data file of a type file target): the temporary files of that commit
// must not be taken for leftovers.
bool commitPending(const std::string& target);

// A writer of a data file and its type file from reading to replacing (the
// command-line edits): it finishes what a killed writer left, holds the data
// file's lock throughout, and replaces the pair only if both files are still
// what it read. Either both of two concurrent edits land, one after the
// other, or one is refused: never one lost while reported done.
class PairEdit {
public:
    // Recovers a pending commit of the pair (notice says what was done),
    // takes the data file's lock (waiting FileLock::kWait for another writer)
    // and stamps both files; the files are to be read after this. false with
    // error() set ("X is being changed by another program" when busy).
    bool begin(const std::string& dataFile, const std::string& typeFile, std::string* notice);
    // Empty while both files are as begin found them; else why not.
    std::string changedSinceRead() const;
    // Replaces both (commitBoth) unless changedSinceRead says otherwise, which
    // sets refused. error as commitBoth gives it.
    bool commit(ReplaceFile& data, ReplaceFile& type, std::string* error, bool* refused);
    // The same for an edit that changed only the type file: the data file is
    // left alone (a single rename needs no record), still under the lock.
    bool commitType(ReplaceFile& type, std::string* error, bool* refused);
    void end() { m_lock.release(); }
    const std::string& error() const { return m_error; }

private:
    std::string m_dataFile;
    std::string m_typeFile;
    FileLock m_lock;
    FileStamp m_dataStamp;
    FileStamp m_typeStamp;
    std::string m_error;
};

// For tests: the steps of commitBoth, so that a writer can be killed at each.
enum class PairCommitStep {
    RecordWritten, // both replacements complete, the record flushed; on Linux the
                   // new files get their names only after this step
    FirstReplaced,
    SecondReplaced, // record not yet removed
};
void setPairCommitHook(std::function<void(PairCommitStep step)> hook);

} // namespace vm
