#include "filestream.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vm {

std::string systemErrorText(int err) {
    return std::strerror(err);
}

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
    }
    const int fd = ::open(path.c_str(), flags, 0644);
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

bool FileStream::readExact(std::int64_t pos, std::span<std::uint8_t> out) const {
    const std::size_t n = readAt(pos, out);
    if (n != out.size()) {
        if (m_error.empty())
            m_error = "Unexpected end of file";
        return false;
    }
    return true;
}

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

} // namespace vm
