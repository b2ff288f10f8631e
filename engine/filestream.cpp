#include "filestream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platformfile.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vm {

std::string systemErrorText(int err) {
    return std::strerror(err);
}

#ifndef _WIN32
bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::int64_t fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}
#endif

FileStream::~FileStream() {
    close();
}

FileStream::FileStream(FileStream&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)),
      m_error(std::move(other.m_error)) {}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_error = std::move(other.m_error);
    }
    return *this;
}

void FileStream::setError(int err) const {
    m_error = systemErrorText(err);
}

#ifndef _WIN32
bool FileStream::open(const std::string& path, Mode mode) {
    close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read:
        flags |= O_RDONLY;
        break;
    case Mode::ReadWrite:
        flags |= O_RDWR;
        break;
    case Mode::Create:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    case Mode::CreateNew:
        flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
        break;
    }
    const int fd = ::open(path.c_str(), flags, mode == Mode::CreateNew ? 0600 : 0644);
    if (fd < 0) {
        setError(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        setError(EISDIR);
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_error.clear();
    return true;
}

bool FileStream::lockExclusive() {
    if (m_fd < 0)
        return false;
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        setError(errno);
        return false;
    }
    return true;
}

void FileStream::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

std::int64_t FileStream::size() const {
    if (m_fd < 0)
        return 0;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        setError(errno);
        return 0;
    }
    return static_cast<std::int64_t>(st.st_size);
}
#endif

#ifndef _WIN32
std::size_t FileStream::readAt(std::int64_t pos, std::span<std::uint8_t> out) const {
    if (m_fd < 0 || pos < 0)
        return 0;
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(m_fd, out.data() + done, out.size() - done,
                                  static_cast<off_t>(pos + static_cast<std::int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            setError(errno);
            break;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}
#endif

bool FileStream::readExact(std::int64_t pos, std::span<std::uint8_t> out) const {
    const std::size_t n = readAt(pos, out);
    if (n != out.size()) {
        if (m_error.empty())
            m_error = "Unexpected end of file";
        return false;
    }
    return true;
}

#ifndef _WIN32
bool FileStream::writeAt(std::int64_t pos, std::span<const std::uint8_t> data) {
    if (m_fd < 0) {
        setError(EBADF);
        return false;
    }
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::pwrite(m_fd, data.data() + done, data.size() - done,
                                   static_cast<off_t>(pos + static_cast<std::int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            setError(errno);
            return false;
        }
        if (n == 0) {
            setError(ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool FileStream::truncate(std::int64_t size) {
    if (m_fd < 0 || ::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
        setError(m_fd < 0 ? EBADF : errno);
        return false;
    }
    return true;
}

bool FileStream::flush() {
    if (m_fd < 0 || ::fsync(m_fd) != 0) {
        setError(m_fd < 0 ? EBADF : errno);
        return false;
    }
    return true;
}

#endif

#ifdef _WIN32
// Windows: the stream keeps a C runtime descriptor over a handle of our own
// opening, so that the sharing can be chosen. Readers share everything. A
// stream that writes shares reading only: no other program or instance writes
// or deletes the file under it, the document's own save can still copy its
// working file by name, and the in-use test of working files (an open that
// shares nothing) fails on it. That makes lockExclusive a check that the
// stream is open.

namespace {

HANDLE handleOf(int fd) {
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// Bytes asked of one ReadFile or WriteFile call.
DWORD chunk(std::size_t n) {
    return static_cast<DWORD>(std::min<std::size_t>(n, std::size_t{1} << 30));
}

OVERLAPPED at(std::int64_t pos) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(pos) & 0xFFFFFFFFu);
    o.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(pos) >> 32);
    return o;
}

} // namespace

bool fileExists(const std::string& path) {
    const DWORD a = ::GetFileAttributesW(win::widePath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::int64_t fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA d{};
    if (!::GetFileAttributesExW(win::widePath(path).c_str(), GetFileExInfoStandard, &d))
        return -1;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) |
                                     d.nFileSizeLow);
}

bool FileStream::open(const std::string& path, Mode mode) {
    close();
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = FILE_SHARE_READ;
    DWORD disposition = OPEN_EXISTING;
    int crtFlags = _O_RDWR | _O_BINARY;
    switch (mode) {
    case Mode::Read:
        access = GENERIC_READ;
        share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        crtFlags = _O_RDONLY | _O_BINARY;
        break;
    case Mode::ReadWrite:
        break;
    case Mode::Create:
        disposition = CREATE_ALWAYS;
        break;
    case Mode::CreateNew:
        disposition = CREATE_NEW;
        break;
    }
    const HANDLE h = ::CreateFileW(win::widePath(path).c_str(), access, share, nullptr, disposition,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        m_error = win::lastErrorText();
        return false;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), crtFlags);
    if (fd < 0) {
        ::CloseHandle(h);
        setError(errno);
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_error.clear();
    return true;
}

bool FileStream::lockExclusive() {
    return m_fd >= 0;
}

void FileStream::close() {
    if (m_fd >= 0) {
        ::_close(m_fd); // closes the handle too
        m_fd = -1;
    }
}

std::int64_t FileStream::size() const {
    LARGE_INTEGER n{};
    if (m_fd < 0)
        return 0;
    if (!::GetFileSizeEx(handleOf(m_fd), &n)) {
        m_error = win::lastErrorText();
        return 0;
    }
    return static_cast<std::int64_t>(n.QuadPart);
}

std::size_t FileStream::readAt(std::int64_t pos, std::span<std::uint8_t> out) const {
    if (m_fd < 0 || pos < 0)
        return 0;
    std::size_t done = 0;
    while (done < out.size()) {
        OVERLAPPED o = at(pos + static_cast<std::int64_t>(done));
        DWORD n = 0;
        if (!::ReadFile(handleOf(m_fd), out.data() + done, chunk(out.size() - done), &n, &o)) {
            const DWORD err = ::GetLastError();
            if (err != ERROR_HANDLE_EOF)
                m_error = win::errorText(err);
            break;
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

bool FileStream::writeAt(std::int64_t pos, std::span<const std::uint8_t> data) {
    if (m_fd < 0) {
        setError(EBADF);
        return false;
    }
    std::size_t done = 0;
    while (done < data.size()) {
        OVERLAPPED o = at(pos + static_cast<std::int64_t>(done));
        DWORD n = 0;
        if (!::WriteFile(handleOf(m_fd), data.data() + done, chunk(data.size() - done), &n, &o)) {
            m_error = win::lastErrorText();
            return false;
        }
        if (n == 0) {
            setError(ENOSPC);
            return false;
        }
        done += n;
    }
    return true;
}

bool FileStream::truncate(std::int64_t size) {
    if (m_fd < 0) {
        setError(EBADF);
        return false;
    }
    LARGE_INTEGER to{};
    to.QuadPart = size;
    const HANDLE h = handleOf(m_fd);
    if (!::SetFilePointerEx(h, to, nullptr, FILE_BEGIN) || !::SetEndOfFile(h)) {
        m_error = win::lastErrorText();
        return false;
    }
    return true;
}

bool FileStream::flush() {
    if (m_fd < 0) {
        setError(EBADF);
        return false;
    }
    if (!::FlushFileBuffers(handleOf(m_fd))) {
        m_error = win::lastErrorText();
        return false;
    }
    return true;
}
#endif

} // namespace vm
