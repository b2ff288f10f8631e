#include "outputfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platformfile.h"
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vm {

namespace {

enum class OutputKind { Replace, InPlace, Refused };

constexpr const char* kNoReader = "No program is reading from the FIFO";

#ifdef _WIN32
OutputKind outputKind(const std::string& path, std::string* why) {
    if (path == OutputFile::kStandardOutput)
        return OutputKind::InPlace;
    const std::string problem = fileTypeProblem(path);
    if (problem.empty())
        return OutputKind::Replace;
    const DWORD a = ::GetFileAttributesW(win::widePath(path).c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return OutputKind::InPlace; // NUL, CON, a named pipe
    if (why)
        *why = problem;
    return OutputKind::Refused;
}
#else
// A descriptor the program already has, named by path: "-", /dev/stdout,
// /dev/stderr, /dev/fd/N, /proc/self/fd/N. It is written through that very
// descriptor, so a redirection keeps its position and its append mode (a new
// open of the same file would start at its beginning), and a file the shell
// opened is never replaced under it.
std::optional<int> namedDescriptor(const std::string& path) {
    if (path == OutputFile::kStandardOutput || path == "/dev/stdout")
        return STDOUT_FILENO;
    if (path == "/dev/stderr")
        return STDERR_FILENO;
    for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
            continue;
        int n = 0;
        for (std::size_t i = prefix.size(); i < path.size(); ++i) {
            if (path[i] < '0' || path[i] > '9' || n > 100000)
                return std::nullopt;
            n = n * 10 + (path[i] - '0');
        }
        return n;
    }
    return std::nullopt;
}

OutputKind outputKind(const std::string& path, std::string* why) {
    if (namedDescriptor(path))
        return OutputKind::InPlace;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return OutputKind::Replace; // a new name, or a file (through its links)
    if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))
        return OutputKind::InPlace;
    if (why)
        *why = fileTypeProblem(path);
    return OutputKind::Refused;
}
#endif

} // namespace

bool writesInPlace(const std::string& path) {
    return outputKind(path, nullptr) == OutputKind::InPlace;
}

bool writesToStandardOutput(const std::string& path) {
#ifdef _WIN32
    return path == OutputFile::kStandardOutput;
#else
    return namedDescriptor(path) == STDOUT_FILENO;
#endif
}

bool sameOutput(const std::string& a, const std::string& b) {
    // What each name leads to: the descriptor's file for a named one.
    const auto where = [](const std::string& path) {
#ifdef _WIN32
        return path == OutputFile::kStandardOutput ? std::string("CONOUT$") : path;
#else
        if (const std::optional<int> fd = namedDescriptor(path))
            return "/proc/self/fd/" + std::to_string(*fd);
        return path;
#endif
    };
    // A name not yet taken is compared by the place it would be made in,
    // folders and links of folders resolved.
    const auto place = [](const std::string& path) {
        std::error_code ec;
        const std::filesystem::path p =
            std::filesystem::weakly_canonical(std::filesystem::u8path(replacementTarget(path)), ec);
        const auto u8 = (ec ? std::filesystem::u8path(path) : p).u8string();
        return std::string(u8.begin(), u8.end());
    };
    const std::string x = where(a), y = where(b);
    if (x == y || place(x) == place(y))
        return true;
    const std::optional<FileId> ix = fileId(x), iy = fileId(y);
    return ix && iy && *ix == *iy;
}

OutputFile::~OutputFile() {
    discard();
}

bool OutputFile::begin(const std::string& path, bool waitForReader) {
    discard();
    m_error.clear();
    std::string why;
    switch (outputKind(path, &why)) {
    case OutputKind::Refused:
        m_error = why;
        return false;
    case OutputKind::Replace:
        if (!m_replace.begin(path)) {
            m_error = m_replace.error();
            return false;
        }
        m_inPlace = false;
        m_open = true;
        return true;
    case OutputKind::InPlace:
        break;
    }
#ifdef _WIN32
    (void)waitForReader;
    if (path == kStandardOutput) {
        // The bytes go out exactly as they are, with no line-end conversion.
        ::_setmode(1, _O_BINARY);
        m_fd = 1;
        m_ownFd = false;
    } else {
        const HANDLE h = ::CreateFileW(win::widePath(path).c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            m_error = win::lastErrorText();
            return false;
        }
        m_fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
        if (m_fd < 0) {
            ::CloseHandle(h);
            m_error = systemErrorText(errno);
            return false;
        }
        m_ownFd = true;
    }
#else
    if (const std::optional<int> own = namedDescriptor(path)) {
        if (::fcntl(*own, F_GETFD) == -1) {
            m_error = systemErrorText(errno);
            return false;
        }
        m_fd = *own;
        m_ownFd = false;
    } else {
        // Never waits by surprise: a FIFO with no reader fails at once with
        // ENXIO, and a device is opened without becoming our terminal.
        int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 && errno == ENXIO) {
            if (!waitForReader) {
                m_error = kNoReader;
                return false;
            }
            fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        }
        if (fd < 0) {
            m_error = systemErrorText(errno);
            return false;
        }
        // The name may have changed hands since it was looked at.
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
            ::close(fd);
            m_error = "The output changed while it was being opened";
            return false;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        m_fd = fd;
        m_ownFd = true;
    }
#endif
    m_inPlace = true;
    m_open = true;
    return true;
}

bool OutputFile::write(std::string_view bytes) {
    if (!m_open) {
        if (m_error.empty())
            m_error = systemErrorText(EBADF);
        return false;
    }
    if (!m_inPlace) {
        if (m_replace.append(bytes))
            return true;
        m_error = m_replace.error();
        return false;
    }
#ifdef _WIN32
    while (!bytes.empty()) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
        const int n = ::_write(m_fd, bytes.data(), chunk);
        if (n <= 0) {
            m_error = systemErrorText(n < 0 ? errno : ENOSPC);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
#else
    // A reader that goes away must give an error here, not end the program,
    // except on standard output, where ending quietly is what a pipe into
    // "head" expects.
    const bool quiet = m_fd != STDOUT_FILENO;
    sigset_t pipeSignal, old;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    if (quiet)
        ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
    int err = 0;
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, -1);
            continue;
        }
        err = n < 0 ? errno : ENOSPC;
        break;
    }
    if (quiet) {
        if (err == EPIPE) {
            const timespec now{};
            ::sigtimedwait(&pipeSignal, nullptr, &now); // the signal we kept from ending us
        }
        ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }
    if (err != 0) {
        m_error = systemErrorText(err);
        return false;
    }
    return true;
#endif
}

bool OutputFile::copyFrom(const FileStream& source) {
    if (m_open && !m_inPlace) {
        if (m_replace.copyFrom(source))
            return true;
        m_error = m_replace.error();
        return false;
    }
    std::vector<std::uint8_t> buf(std::size_t{4} << 20);
    const std::int64_t size = source.size();
    for (std::int64_t pos = 0; pos < size;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::int64_t>(size - pos, std::ssize(buf)));
        if (!source.readExact(pos, std::span<std::uint8_t>(buf.data(), want))) {
            m_error = source.lastError();
            return false;
        }
        if (!write(std::string_view(reinterpret_cast<const char*>(buf.data()), want)))
            return false;
        pos += static_cast<std::int64_t>(want);
    }
    return true;
}

void OutputFile::closeInPlace() {
    if (m_ownFd && m_fd >= 0) {
#ifdef _WIN32
        ::_close(m_fd);
#else
        ::close(m_fd);
#endif
    }
    m_fd = -1;
    m_ownFd = false;
}

bool OutputFile::commit() {
    if (!m_open) {
        if (m_error.empty())
            m_error = systemErrorText(EBADF);
        return false;
    }
    m_open = false;
    if (!m_inPlace) {
        if (m_replace.commit())
            return true;
        m_error = m_replace.error();
        return false;
    }
#ifdef _WIN32
    const bool closed = !m_ownFd || ::_close(m_fd) == 0;
#else
    const bool closed = !m_ownFd || ::close(m_fd) == 0;
#endif
    const int err = errno;
    m_fd = -1;
    m_ownFd = false;
    if (!closed) {
        m_error = systemErrorText(err);
        return false;
    }
    return true;
}

void OutputFile::discard() {
    if (m_inPlace)
        closeInPlace();
    else
        m_replace.discard();
    m_open = false;
    m_inPlace = false;
}

} // namespace vm
