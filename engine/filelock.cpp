#include "filelock.h"

#include <cerrno>
#include <thread>

#ifdef _WIN32
#include <windows.h>

#include "platformfile.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "filestream.h"

namespace vm {

namespace {

std::function<void(const std::string&)>& busyHook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

constexpr std::chrono::milliseconds kRetryEvery{10};

// A copy is called: the hook may replace itself.
void noteBusy(const std::string& path) {
    if (const auto hook = busyHook())
        hook(path);
}

} // namespace

std::string beingChangedText(const std::string& path) {
    return path + " is being changed by another program";
}

void setFileLockBusyHook(std::function<void(const std::string& path)> hook) {
    busyHook() = std::move(hook);
}

FileLock::~FileLock() {
    release();
}

bool FileLock::acquire(const std::string& path, Kind kind, std::chrono::milliseconds wait) {
    release();
    m_busy = false;
    m_error.clear();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        bool again = false;
        if (tryOnce(path, kind, again))
            return true;
        if (!again)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            m_busy = true;
            m_error = beingChangedText(path);
            return false;
        }
        std::this_thread::sleep_for(kRetryEvery);
    }
}

#ifndef _WIN32

bool FileLock::held() const {
    return m_fd >= 0;
}

void FileLock::release() {
    if (m_fd >= 0)
        ::close(m_fd); // the lock goes with the descriptor
    m_fd = -1;
}

void FileLock::beforeReplace() {
    // A lock on the old file hinders no rename here: it stays until the new
    // file is in place, and waiters then find the name leads elsewhere.
}

bool FileLock::tryOnce(const std::string& path, Kind kind, bool& again) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true; // no file yet: whoever makes it replaces nothing
        m_error = systemErrorText(errno);
        return false;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        // FIFOs and devices are written in place, never replaced.
        ::close(fd);
        return true;
    }
    if (::flock(fd, (kind == Kind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK || err == EINTR) {
            noteBusy(path);
            again = true;
            return false;
        }
        // A file system without locks: nobody can hold one, so none is needed.
        return true;
    }
    struct stat named {};
    if (::stat(path.c_str(), &named) != 0 || named.st_dev != opened.st_dev ||
        named.st_ino != opened.st_ino) {
        // The holder replaced the file before letting go: lock the new one.
        ::close(fd);
        again = true;
        return false;
    }
    m_fd = fd;
    return true;
}

#else

namespace {

// Far past any data: the byte-range lock keeps writers of ours apart and
// never stands in the way of anyone's reads or writes.
OVERLAPPED lockRange() {
    OVERLAPPED o{};
    o.Offset = 0xFFFFFFFEu;
    o.OffsetHigh = 0x7FFFFFFFu;
    return o;
}

} // namespace

bool FileLock::held() const {
    return m_handle != nullptr;
}

void FileLock::release() {
    if (m_handle) {
        const HANDLE h = static_cast<HANDLE>(m_handle);
        OVERLAPPED o = lockRange();
        ::UnlockFileEx(h, 0, 1, 0, &o);
        ::CloseHandle(h);
    }
    m_handle = nullptr;
}

void FileLock::beforeReplace() {
    release();
}

bool FileLock::tryOnce(const std::string& path, Kind kind, bool& again) {
    const HANDLE h = ::CreateFileW(win::widePath(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            return true;
        m_error = win::errorText(err);
        return false;
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return true;
    }
    OVERLAPPED o = lockRange();
    const DWORD flags =
        LOCKFILE_FAIL_IMMEDIATELY | (kind == Kind::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (!::LockFileEx(h, flags, 0, 1, 0, &o)) {
        const DWORD err = ::GetLastError();
        ::CloseHandle(h);
        if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING) {
            noteBusy(path);
            again = true;
            return false;
        }
        return true; // no locks here: nobody can hold one
    }
    BY_HANDLE_FILE_INFORMATION opened{}, named{};
    if (!::GetFileInformationByHandle(h, &opened) || !win::fileInformation(path, named) ||
        opened.dwVolumeSerialNumber != named.dwVolumeSerialNumber ||
        opened.nFileIndexHigh != named.nFileIndexHigh ||
        opened.nFileIndexLow != named.nFileIndexLow) {
        ::UnlockFileEx(h, 0, 1, 0, &o);
        ::CloseHandle(h);
        again = true;
        return false;
    }
    m_handle = h;
    return true;
}

#endif

} // namespace vm
