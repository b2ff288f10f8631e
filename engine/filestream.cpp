#include "filestream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

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
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#endif

namespace vm {

std::string systemErrorText(int err) {
    return std::strerror(err);
}

std::string parentFolder(const std::string& path) {
#ifdef _WIN32
    const std::size_t slash = path.find_last_of("/\\");
#else
    const std::size_t slash = path.rfind('/'); // a backslash is part of a name here
#endif
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return path.substr(0, 1);
    return path.substr(0, slash);
}

bool sameOpenFile(const FileStream& a, const FileStream& b) {
    if (!a.isOpen() || !b.isOpen())
        return false;
#ifdef _WIN32
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return ::GetFileInformationByHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(a.fd())), &x) &&
           ::GetFileInformationByHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(b.fd())), &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
#else
    struct stat x {
    }, y{};
    return ::fstat(a.fd(), &x) == 0 && ::fstat(b.fd(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
#endif
}

#ifndef _WIN32
namespace {

// Why a name that is no regular file cannot be used as one.
std::string notRegularText(mode_t mode) {
    if (S_ISDIR(mode))
        return systemErrorText(EISDIR);
    const char* what = S_ISFIFO(mode)   ? "a FIFO"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "a special file";
    return std::string("It is ") + what + ", not a regular file";
}

} // namespace

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

std::string fileTypeProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    return notRegularText(st.st_mode);
}

namespace {

FileStamp stampOf(const struct stat& st) {
    FileStamp s;
    if (!S_ISREG(st.st_mode))
        return s;
    s.exists = true;
    s.size = static_cast<std::int64_t>(st.st_size);
    s.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return s;
}

} // namespace

FileStamp fileStamp(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? stampOf(st) : FileStamp{};
}

FileStamp fileStamp(const FileStream& stream) {
    struct stat st {};
    return stream.isOpen() && ::fstat(stream.fd(), &st) == 0 ? stampOf(st) : FileStamp{};
}

std::optional<FileId> fileId(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<FileId> fileId(const FileStream& stream) {
    struct stat st {};
    if (!stream.isOpen() || ::fstat(stream.fd(), &st) != 0)
        return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}
#endif

bool changedSince(const FileStamp& stamp, const std::string& path) {
    const FileStamp now = fileStamp(path);
    return now.exists && now != stamp;
}

FileStream::~FileStream() {
    close();
}

FileStream::FileStream(FileStream&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)),
      m_error(std::move(other.m_error)), m_errorCode(other.m_errorCode) {}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_error = std::move(other.m_error);
        m_errorCode = other.m_errorCode;
    }
    return *this;
}

void FileStream::setError(int err) const {
    m_error = systemErrorText(err);
}

#ifndef _WIN32
bool FileStream::open(const std::string& path, Mode mode) {
    close();
    // O_NONBLOCK: opening a FIFO or a device must never wait for a partner;
    // such a file is refused just below anyway.
    int flags = O_CLOEXEC | O_NONBLOCK;
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
    case Mode::ReadWriteNoFollow:
        flags |= O_RDWR | O_NOFOLLOW;
        break;
    case Mode::Append:
        flags |= O_WRONLY | O_APPEND;
        break;
    }
    struct stat st {};
    // Truncating opens no device: whatever is not a regular file is refused
    // before it is opened at all (and checked again once it is).
    if (mode == Mode::Create && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        m_errorCode = S_ISDIR(st.st_mode) ? EISDIR : 0;
        m_error = notRegularText(st.st_mode);
        return false;
    }
    const int fd = ::open(path.c_str(), flags, mode == Mode::CreateNew ? 0600 : 0644);
    if (fd < 0) {
        m_errorCode = errno;
        setError(m_errorCode);
        return false;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        m_errorCode = S_ISDIR(st.st_mode) ? EISDIR : 0;
        m_error = st.st_mode == 0 ? systemErrorText(err) : notRegularText(st.st_mode);
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_path = path;
    m_error.clear();
    m_errorCode = 0;
    return true;
}

bool FileStream::createAnonymous(const std::string& folder) {
    close();
#ifdef O_TMPFILE
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        m_fd = fd;
        m_path.clear();
        m_error.clear();
        m_errorCode = 0;
        return true;
    }
    m_errorCode = errno;
#else
    m_errorCode = EOPNOTSUPP;
#endif
    setError(m_errorCode);
    return false;
}

bool FileStream::linkAs(const std::string& name) {
    if (m_fd < 0) {
        m_errorCode = EBADF;
        setError(EBADF);
        return false;
    }
    // The descriptor's own entry in /proc names the anonymous file; linkat
    // never replaces an existing name, link or not.
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        m_errorCode = errno;
        setError(m_errorCode);
        return false;
    }
    m_path = name;
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
namespace {

// Hands the bytes to write (a write call: what it took, or -1 with errno)
// until every one is taken; wrote hears of each piece. 0, or the error.
template <typename Write, typename Wrote>
int writeEvery(std::span<const std::uint8_t> data, Write&& write, Wrote&& wrote) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(data.data() + done, data.size() - done, done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        done += static_cast<std::size_t>(n);
        wrote(static_cast<std::size_t>(n));
    }
    return 0;
}

} // namespace

bool FileStream::writeAt(std::int64_t pos, std::span<const std::uint8_t> data) {
    if (m_fd < 0) {
        setError(EBADF);
        return false;
    }
    const int err = writeEvery(
        data,
        [&](const std::uint8_t* p, std::size_t n, std::size_t done) {
            return ::pwrite(m_fd, p, n, static_cast<off_t>(pos + static_cast<std::int64_t>(done)));
        },
        [](std::size_t) {});
    if (err != 0) {
        setError(err);
        return false;
    }
    return true;
}

bool FileStream::append(std::span<const std::uint8_t> data, std::int64_t* begin,
                        std::int64_t* end) {
    if (m_fd < 0) {
        setError(EBADF);
        return false;
    }
    bool first = true;
    const int err = writeEvery(
        data, [&](const std::uint8_t* p, std::size_t n, std::size_t) { return ::write(m_fd, p, n); },
        [&](std::size_t n) {
            // Each write lands at the end of the file and leaves the offset
            // just after its bytes.
            const auto after = static_cast<std::int64_t>(::lseek(m_fd, 0, SEEK_CUR));
            if (first && begin)
                *begin = after - static_cast<std::int64_t>(n);
            first = false;
            if (end)
                *end = after;
        });
    if (err != 0) {
        setError(err);
        return false;
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

std::string fileTypeProblem(const std::string& path) {
    const DWORD a = ::GetFileAttributesW(win::widePath(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return {};
    if ((a & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return win::errorText(ERROR_DIRECTORY);
    // Devices and pipes answer an attributes-only open; their type gives them away.
    const HANDLE h = ::CreateFileW(win::widePath(path).c_str(), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {};
    const DWORD type = ::GetFileType(h);
    ::CloseHandle(h);
    return type == FILE_TYPE_DISK ? std::string() : std::string("It is not a regular file");
}

namespace {

FileStamp stampOf(const BY_HANDLE_FILE_INFORMATION& d) {
    FileStamp s;
    if ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return s;
    s.exists = true;
    s.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) |
                                       d.nFileSizeLow);
    s.modified = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(d.ftLastWriteTime.dwHighDateTime) << 32) |
        d.ftLastWriteTime.dwLowDateTime);
    s.id = {d.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(d.nFileIndexHigh) << 32) | d.nFileIndexLow};
    return s;
}

} // namespace

FileStamp fileStamp(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION d{};
    return win::fileInformation(path, d) ? stampOf(d) : FileStamp{};
}

FileStamp fileStamp(const FileStream& stream) {
    BY_HANDLE_FILE_INFORMATION d{};
    return stream.isOpen() && ::GetFileInformationByHandle(handleOf(stream.fd()), &d) ? stampOf(d)
                                                                                      : FileStamp{};
}

std::optional<FileId> fileId(const std::string& path) {
    const FileStamp s = fileStamp(path);
    if (!s.exists)
        return std::nullopt;
    return s.id;
}

std::optional<FileId> fileId(const FileStream& stream) {
    const FileStamp s = fileStamp(stream);
    if (!s.exists)
        return std::nullopt;
    return s.id;
}

bool FileStream::open(const std::string& path, Mode mode) {
    close();
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = FILE_SHARE_READ;
    DWORD disposition = OPEN_EXISTING;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
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
    case Mode::ReadWriteNoFollow:
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
        break;
    case Mode::Append:
        // Others may append at the same time (every write goes to the end).
        access = GENERIC_WRITE;
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        crtFlags = _O_WRONLY | _O_BINARY;
        break;
    }
    const HANDLE h = ::CreateFileW(win::widePath(path).c_str(), access, share, nullptr, disposition,
                                   flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        m_errorCode = static_cast<int>(::GetLastError());
        m_error = win::errorText(static_cast<unsigned long>(m_errorCode));
        return false;
    }
    // Pipes and character devices (NUL, CON, COM1) are no data files.
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        m_errorCode = 0;
        m_error = "It is not a regular file";
        return false;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), crtFlags);
    if (fd < 0) {
        ::CloseHandle(h);
        m_errorCode = errno;
        setError(errno);
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_error.clear();
    m_errorCode = 0;
    return true;
}

// Windows has no file without a name; callers make a named one instead.
bool FileStream::createAnonymous(const std::string&) {
    close();
    m_errorCode = ERROR_NOT_SUPPORTED;
    m_error = win::errorText(ERROR_NOT_SUPPORTED);
    return false;
}

bool FileStream::linkAs(const std::string&) {
    m_errorCode = ERROR_NOT_SUPPORTED;
    m_error = win::errorText(ERROR_NOT_SUPPORTED);
    return false;
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

bool FileStream::append(std::span<const std::uint8_t> data, std::int64_t* begin,
                        std::int64_t* end) {
    if (m_fd < 0) {
        setError(EBADF);
        return false;
    }
    const HANDLE h = handleOf(m_fd);
    std::size_t done = 0;
    std::int64_t first = -1;
    LARGE_INTEGER after{};
    while (done < data.size()) {
        // Both offsets all ones: the system writes at the file's end as it is
        // then, as an append-only open would.
        OVERLAPPED o{};
        o.Offset = 0xFFFFFFFFu;
        o.OffsetHigh = 0xFFFFFFFFu;
        DWORD n = 0;
        if (!::WriteFile(h, data.data() + done, chunk(data.size() - done), &n, &o)) {
            m_error = win::lastErrorText();
            return false;
        }
        if (n == 0) {
            setError(ENOSPC);
            return false;
        }
        const LARGE_INTEGER zero{};
        ::SetFilePointerEx(h, zero, &after, FILE_CURRENT);
        if (first < 0) {
            first = static_cast<std::int64_t>(after.QuadPart) - n;
            if (begin)
                *begin = first;
        }
        done += n;
        if (end)
            *end = static_cast<std::int64_t>(after.QuadPart);
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

namespace vm {

bool copyAll(const FileStream& from, FileStream& to, const std::function<bool(double)>& progress,
             std::string& error, bool towardsDisk) {
    const std::int64_t total = from.size();
    // Steps between progress reports; the kernel's copy needs no buffer of ours.
    constexpr std::int64_t kStep = std::int64_t{16} << 20;
    constexpr std::int64_t kBuffer = std::int64_t{8} << 20;
    std::vector<std::uint8_t> buf;
    std::int64_t pos = 0;
#ifdef FICLONE
    // Where the file system shares extents (btrfs, XFS) an empty target
    // becomes a clone of the source: no byte is copied, whatever the size,
    // and blocks are copied only once either file is written. Elsewhere the
    // call fails at once and the copy below runs.
    if (total > 0 && to.size() == 0 && ::ioctl(to.fd(), FICLONE, from.fd()) == 0) {
        if (progress && !progress(1.0)) {
            error = kStoppedByUser;
            return false;
        }
        return true;
    }
#endif
#ifndef _WIN32
    bool kernel = true;
#endif
    while (pos < total) {
        const std::int64_t want = std::min(kStep, total - pos);
        std::int64_t done = 0;
#ifndef _WIN32
        while (kernel && done < want) {
            off_t in = static_cast<off_t>(pos + done);
            off_t out = in;
            const ssize_t n = ::copy_file_range(from.fd(), &in, to.fd(), &out,
                                                static_cast<std::size_t>(want - done), 0);
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL &&
                errno != EOPNOTSUPP && errno != EBADF && errno != ETXTBSY) {
                error = systemErrorText(errno);
                return false;
            }
            // This pair of files is not for the kernel's copy (or the source
            // ended early, which the buffered read below reports).
            kernel = false;
        }
#endif
        while (done < want) {
            const std::int64_t n = std::min(kBuffer, want - done);
            buf.resize(static_cast<std::size_t>(n));
            if (!from.readExact(pos + done, buf)) {
                error = from.lastError();
                return false;
            }
            if (!to.writeAt(pos + done, buf)) {
                error = to.lastError();
                return false;
            }
            done += n;
        }
#ifndef _WIN32
        // The disk starts on each step while the next one is copied, so the
        // flush at the end has little left to wait for.
        if (towardsDisk)
            ::sync_file_range(to.fd(), static_cast<off_t>(pos), static_cast<off_t>(want),
                              SYNC_FILE_RANGE_WRITE);
#else
        (void)towardsDisk; // Windows writes back on its own schedule
#endif
        pos += want;
        if (progress && !progress(static_cast<double>(pos) / static_cast<double>(total))) {
            error = kStoppedByUser;
            return false;
        }
    }
    if (total == 0 && progress && !progress(1.0)) {
        error = kStoppedByUser;
        return false;
    }
    return true;
}

} // namespace vm
