#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace vm {

// The lock every writer of a user's file holds from reading it to replacing
// it (the command-line edits, the program's saves, split's appends), so that
// two writers never interleave: the second one waits a little and then gives
// up, touching nothing. It is advisory: programs that do not ask for it are
// not kept out (the "changed since read" checks catch those).
//
// The lock sits on the file itself (flock on Linux, LockFileEx on a byte far
// past any data on Windows, so reads and writes of others are never
// blocked). A replaced file is another file: a waiter that gets the lock of a
// file no longer under the name lets go and locks the one there now.
class FileLock {
public:
    enum class Kind {
        Exclusive, // a writer: alone
        Shared,    // a reader of a pair: with other readers, never while a writer works
    };
    // How long a second writer waits before it gives up.
    static constexpr std::chrono::milliseconds kWait{2000};

    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Locks the file that path leads to, waiting up to wait for another
    // holder. A name with no file behind it needs no lock: true, nothing held.
    // false with error() set: busy() when another holder kept it all along
    // (the message then is "X is being changed by another program").
    bool acquire(const std::string& path, Kind kind = Kind::Exclusive,
                 std::chrono::milliseconds wait = kWait);
    void release();
    bool held() const;
    bool busy() const { return m_busy; }
    const std::string& error() const { return m_error; }

    // Called just before the locked file is replaced by a rename. Windows
    // cannot rename over a file anyone holds open, so the lock goes there
    // (the pair commit's record keeps other writers out until both files
    // are in place); elsewhere it stays until release().
    void beforeReplace();

private:
    bool tryOnce(const std::string& path, Kind kind, bool& again);

#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
    bool m_busy = false;
    std::string m_error;
};

// "X is being changed by another program"
std::string beingChangedText(const std::string& path);

// For tests: called once each time a lock attempt finds another holder, with
// the path, so that a test can let go of its own lock at that very moment.
void setFileLockBusyHook(std::function<void(const std::string& path)> hook);

} // namespace vm
