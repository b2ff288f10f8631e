#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "filestream.h"

namespace vm {

// Progress of a long operation: fraction done in [0, 1]. Returning false asks
// the operation to stop; a stopped operation fails and changes nothing.
using Progress = std::function<bool(double fraction)>;

// A working file a rewrite replaced. Its stream stays open, and so locked,
// until its holder decides: no name search of a later rewrite takes it over
// and no sweep of another instance deletes it, so an undo can switch back.
struct SupersededCopy {
    std::string name;
    FileStream stream;
};

// The document's working copy: the temporary folder (with its trailing
// separator), the working file's name and its open read-write stream, which
// holds an exclusive lock so other instances see the file as in use.
struct WorkingFile {
    std::string tempDir;
    std::string name;
    FileStream stream;
    // Working files the rewrites replaced, oldest first, still held:
    // removeSupersededCopies deletes them (an undo keeping one takes it out
    // of the list first).
    std::vector<SupersededCopy> superseded;
    // When set, the next rewrite writes its new file into the stream this
    // hands over (written from position 0; name says which file it becomes,
    // for messages) instead of a new working file in tempDir, or fails with
    // error. The command-line edits give it the replacement file beside the
    // data file, so that an edit reads the data once and writes its result
    // once. Such a file is no working file: wf keeps no name for it and never
    // removes it; it is taken to be flushed once complete, so its blocks go
    // towards the disk while it is written. The rewrite that takes it clears it.
    std::function<bool(FileStream& out, std::string& name, std::string& error)> rewriteTarget;
    // With rewriteTarget: what that rewrite writes replaces the file it reads,
    // so the source's cached pages may be let go as they are read.
    bool rewriteReplacesSource = false;
};

// The outcome of a copy or a rewrite. error is the system's text on failure.
struct FileResult {
    bool ok = false;
    std::string error;
    std::int64_t delta = 0; // bytes added to the file by a rewrite (negative when removed)
    // A working copy whose source changed while it was copied is made again:
    // how many times that happened (the user hears of it).
    int recopied = 0;
    // A working copy: its source as the finished copy holds it, which is what
    // a later "changed since it was opened" check compares with.
    FileStamp source;
};

// Copies made of a source that keeps changing before the copy gives up.
inline constexpr int kFillAttempts = 3;

// True when the file exists and another holder keeps it locked (or it is no
// plain file of ours: a link, a device, something we cannot open).
bool isFileInUse(const std::string& path);
// tempDir + "~qzt" + n + ".tmp" for the first n whose file does not exist; with
// reuse, an existing file that is not in use is deleted and its name taken.
// Only a name: createWorkingFile is what makes a working file safely.
std::string newWorkingFileName(const std::string& tempDir, bool reuse);

// Makes a new file under name in a shared folder: never over an existing
// name, never through a link planted there, readable by its owner only, and
// locked before anyone else can open it. On failure taken tells whether the
// name was already in use (the caller then tries the next one).
bool createLockedFile(FileStream& out, const std::string& name, std::string* error,
                      bool* taken = nullptr);

// Creates the document's next working file in wf.tempDir ("~qzt" + n +
// ".tmp", leftovers nobody holds taken over) and holds it: created, locked,
// empty and open in wf.stream, with its name in wf.name. Filling it is a
// separate step, which may run elsewhere while the caller keeps the file.
bool createWorkingFile(WorkingFile& wf, std::string* error = nullptr);
// Copies every byte of the file source into target (a created working file),
// which ends up the same size. Touches nothing but target, so it may run on
// another thread while the holder of target waits.
//
// Another program may write the source meanwhile: its size, modification
// time and identity are compared before and after, and a copy of a source
// that changed (a mix of old and new bytes) is made again from what the name
// holds now, kFillAttempts times at most; then the copy fails, saying so.
FileResult fillWorkingFile(FileStream& target, const std::string& source,
                           const Progress& progress = {});
// The same from a source already open for reading (by its name, which the
// stream keeps: a source replaced under it is opened again by that name).
FileResult fillWorkingFile(FileStream& target, const FileStream& source,
                           const Progress& progress = {});

// Fills a created working file from its source on a thread of its own, so
// that the program can show the source while the copy is made. Nothing but
// the two streams it was given is touched there; the caller keeps the file's
// name and gets the stream back once the thread has ended.
class WorkingFileFill {
public:
    // progress runs on the filling thread and hears the share done (false
    // stops the fill); ended runs there too, once, as the thread's last act.
    WorkingFileFill(FileStream target, FileStream source, Progress progress,
                    std::function<void()> ended);
    ~WorkingFileFill();
    WorkingFileFill(const WorkingFileFill&) = delete;
    WorkingFileFill& operator=(const WorkingFileFill&) = delete;

    // Asks the fill to stop and waits until its thread has ended; a stopped
    // fill fails with kStoppedByUser unless it had already finished.
    void stop();
    // Waits until the thread has ended; result and takeTarget are valid then.
    void wait();
    const FileResult& result() const { return m_result; }
    FileStream takeTarget() { return std::move(m_target); }

private:
    void run();

    FileStream m_target;
    FileStream m_source;
    Progress m_progress;
    std::function<void()> m_ended;
    std::atomic<bool> m_stop{false};
    FileResult m_result;
    std::thread m_thread;
};

// For tests: called on the filling thread of every WorkingFileFill, with 0
// before the first byte and then with each share done, so that a test can
// hold a fill at a known point; a hook that holds it lets go once stopping
// turns true. Set it only while no fill runs.
void setWorkingFileFillHook(
    std::function<void(double fraction, const std::atomic<bool>& stopping)> hook);
// Both steps: a fresh working copy of source held in wf (whose tempDir is
// set). On failure the unfinished file is removed, wf keeps what it had and
// error holds the reason.
bool makeWorkingCopy(WorkingFile& wf, const std::string& source, std::string* error = nullptr,
                     const Progress& progress = {});
// Closes a working file the program holds and removes it (a copy that failed
// or was stopped, a document that closes), unless its name no longer leads to
// it. The copies its rewrites left go too.
void discardWorkingFile(WorkingFile& wf);
// Deletes the files listed in wf.superseded that are working files of
// wf.tempDir (the name still leading to the file held), and empties the list.
void removeSupersededCopies(WorkingFile& wf);
// Closes a copy held aside and deletes it, when it is a working file of
// tempDir and its name still leads to it.
void removeHeldCopy(const std::string& tempDir, SupersededCopy& copy);
// At start: deletes every working file of tempDir ("~qzt" + number + ".tmp",
// whatever the number) that belongs to this user and that no running
// instance holds locked. The number deleted.
int removeLeftoverWorkingFiles(const std::string& tempDir);

// How much disk the working copies kept for undoing rewrites may take by
// default: a quarter of the space the temporary folder would have free
// without them (kept: the bytes they take now), and never more than 4 GiB.
inline constexpr std::int64_t kMaxUndoBudget = std::int64_t{4} << 30;
std::int64_t defaultUndoBudget(const std::string& tempDir, std::int64_t kept);

// The system's temporary folder with its trailing separator ("./" when it
// cannot say), where the command-line tool keeps its working files.
std::string systemTempFolder();

// Copies every byte with the fastest path the system offers.
FileResult copyWholeFile(const std::string& source, const std::string& target,
                         const Progress& progress = {});
// Opens (and locks) an existing file as the document's stream.
bool openWorkingFile(WorkingFile& wf, const std::string& name, std::string* error = nullptr);

// For tests: called with each name just before createLockedFile creates a
// file under it (working files, the rewrites' new files), so that a race (a
// link planted, another instance taking the name) can be staged at exactly
// that moment. Empty: no hook.
void setWorkingFileCreateHook(std::function<void(const std::string& name)> hook);

} // namespace vm
