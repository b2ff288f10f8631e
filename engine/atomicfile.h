#pragma once

#include <functional>
#include <string>

#include "filestream.h"

#ifdef _WIN32
// <windows.h> makes ReplaceFile a macro for its own ReplaceFileW; taken in
// here first and undone, so the name means the class below in every file.
#include <windows.h>
#undef ReplaceFile
#endif

namespace vm {

// The one way a user's file is written: Save File, the type file, text output,
// cut blank, split and the command-line edits. The new contents go to a
// temporary file beside the real target (a symbolic link is followed, so the
// shared file is updated and the link stays a link), and replace the target
// only once they are complete and flushed, keeping its permissions (and its
// owner where the system lets us). On any failure the old file is left exactly
// as it was and error() holds the system's reason (callers put the file's name
// in front).
//
// Where the system has files without a name (Linux), the new contents have no
// name until the commit, so a killed save leaves nothing behind. Otherwise the
// temporary file is ".vm<tag of the target's name>-<pid>-<n>.tmp", locked
// while it is written; the next save of the same target removes such
// leftovers that nobody holds.
class ReplaceFile {
public:
    ReplaceFile() = default;
    ~ReplaceFile();
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    // Resolves the target and creates the temporary file; false (error set)
    // when it cannot be made. A target that exists but is no regular file is
    // refused here, as is one the user may not write.
    bool begin(const std::string& target);
    // The new contents are written here, from position 0.
    FileStream& stream() { return m_stream; }
    // Writes text at the end of what was appended so far (starting at 0).
    bool append(std::string_view text);
    // Writes every byte of source into the new file (the fastest way the
    // system has); false with error() set, or when progress asked to stop.
    bool copyFrom(const FileStream& source, const std::function<bool(double)>& progress = {});
    // Flushes and puts the new file in the target's place.
    bool commit();
    // Removes the temporary file; the target stays as it was.
    void discard();

    // The file really replaced (a link's target), and the temporary name
    // (empty while the new contents have no name).
    const std::string& target() const { return m_target; }
    const std::string& tempPath() const { return m_temp; }
    const std::string& error() const { return m_error; }

    // Split in two for replacing two files together: flush both, then rename
    // both, so a failure while writing never leaves one new and one old.
    bool prepareCommit();
    bool finishCommit();

private:
    friend bool commitBoth(ReplaceFile& first, ReplaceFile& second, std::string* error,
                           const std::function<std::string()>& beforeReplace);

    bool fail(int err);
    bool failText(const std::string& reason);
    bool nameTemporary();
    // A temporary file beside the target under the next free name, locked.
    bool createTemporary(unsigned long pid);

    FileStream m_stream;
    std::string m_target;
    std::string m_temp;
    std::string m_error;
    std::int64_t m_appended = 0;
    unsigned m_mode = 0;
    bool m_targetExisted = false;
    unsigned m_uid = 0;
    unsigned m_gid = 0;
};

// Replaces two files together (cut blank's data file and its type file, the
// command-line edits): both are complete before either is replaced, and if
// the second cannot be put in place the first is put back as it was. error
// takes the failing file's name and reason.
//
// Two renames cannot be one step, so before the first a small record beside
// the first target names both complete, flushed replacements and the way
// back; it is removed after the second. A writer killed in between leaves it
// for recoverPendingCommit (paircommit.h), which finishes the pair or puts
// the old one back. The record is held while the pair is replaced, so two
// commits of one pair never interleave.
//
// beforeReplace, when given, runs once the record is held, just before the
// first rename: a non-empty answer refuses the commit (nothing is replaced,
// error is that answer). It is where a writer checks that the files are still
// what it read, and where a writer's lock lets go of a file Windows could not
// rename over.
bool commitBoth(ReplaceFile& first, ReplaceFile& second, std::string* error,
                const std::function<std::string()>& beforeReplace = {});

// The file a name finally leads to (links followed): what a ReplaceFile of
// that name replaces.
std::string replacementTarget(const std::string& path);
// A free temporary name beside target of the kind ReplaceFile uses; and
// whether name is one of those (the same folder, the target's tag).
std::string replacementTempName(const std::string& target);
bool isReplacementTempOf(const std::string& name, const std::string& target);
// Where the record of a pair commit whose first file is target lies.
std::string commitRecordName(const std::string& target);

// For tests: called with the temporary name just before it replaces the
// target, so that a save can be killed at that very moment. Empty: no hook.
void setReplaceFileCommitHook(std::function<void(const std::string& tempName)> hook);

} // namespace vm
