#include "atomicfile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "platformfile.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vm {

namespace {

std::atomic<unsigned> g_counter{0};

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return path.substr(0, 1);
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Temporary names are short whatever the target's name (a name of 255 bytes
// must still save) and start with a tag derived from the target's name, so
// that a later save of the same file knows the leftovers of a killed one.
std::string tempPrefix(const std::string& target) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : nameOf(target)) {
        h ^= c;
        h *= 16777619u;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, ".vm%08x-", static_cast<unsigned>(h));
    return buf;
}

constexpr const char* kTempSuffix = ".tmp";

} // namespace

ReplaceFile::~ReplaceFile() {
    discard();
}

bool ReplaceFile::fail(int err) {
    return failText(systemErrorText(err));
}

bool ReplaceFile::failText(const std::string& reason) {
    m_error = reason;
    discard();
    return false;
}

#ifndef _WIN32

namespace {

// The file a name finally leads to; a dangling link leads to the name it
// points at, which is then created.
std::string resolveTarget(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
        if (n < 0)
            return current;
        std::string next(buf, static_cast<std::size_t>(n));
        if (next.empty() || next[0] != '/')
            next = folderOf(current) + "/" + next;
        current = next;
    }
    return current;
}

unsigned currentUmask() {
    const mode_t m = ::umask(0);
    ::umask(m);
    return static_cast<unsigned>(m);
}

// Removes the temporary files of earlier saves of the same target that nobody
// holds any more: every writer keeps its temporary file locked until it is
// renamed or removed, so an unlocked one belongs to a killed save.
void removeLeftovers(const std::string& folder, const std::string& prefix) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, kTempSuffix) != 0)
            continue;
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(dir);
}

} // namespace

bool ReplaceFile::begin(const std::string& target) {
    discard();
    m_error.clear();
    m_target = resolveTarget(target);
    struct stat st {};
    if (::stat(m_target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(EISDIR);
        if (!S_ISREG(st.st_mode))
            return failText("not a regular file");
        // Renaming over a file needs no right to write it; the user's refusal
        // of that right must still stop the save, as writing into it would.
        if (::access(m_target.c_str(), W_OK) != 0)
            return fail(errno);
        m_mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return fail(errno);
    } else {
        m_mode = 0666 & ~currentUmask();
    }
    const std::string folder = folderOf(m_target);
    const std::string prefix = tempPrefix(m_target);
    removeLeftovers(folder, prefix);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = folder + "/" + prefix + std::to_string(::getpid()) + "-" +
                                 std::to_string(g_counter++) + kTempSuffix;
        if (m_stream.open(name, FileStream::Mode::CreateNew)) {
            m_temp = name;
            if (!m_stream.lockExclusive())
                return failText(m_stream.lastError());
            return true;
        }
        if (errno != EEXIST)
            return failText(m_stream.lastError());
    }
    return fail(EEXIST);
}

bool ReplaceFile::prepareCommit() {
    if (!m_stream.isOpen())
        return failText(m_error.empty() ? systemErrorText(EBADF) : m_error);
    if (::fchmod(m_stream.fd(), static_cast<mode_t>(m_mode)) != 0)
        return fail(errno);
    if (!m_stream.flush())
        return failText(m_stream.lastError());
    return true;
}

bool ReplaceFile::finishCommit() {
    // The temporary file stays open, and so locked, until it has its new name:
    // another save of the same file must not take it for a leftover.
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0)
        return fail(errno);
    m_temp.clear();
    m_stream.close();
    // The new name itself survives a crash once the folder is flushed.
    const int dfd = ::open(folderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

void ReplaceFile::discard() {
    if (!m_temp.empty())
        ::unlink(m_temp.c_str());
    m_temp.clear();
    m_stream.close();
}

#else // _WIN32

namespace {

std::string resolveTarget(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::u8path(path);
    if (std::filesystem::is_symlink(p, ec)) {
        const std::filesystem::path real = std::filesystem::weakly_canonical(p, ec);
        if (!ec) {
            const auto u8 = real.u8string();
            return std::string(u8.begin(), u8.end());
        }
    }
    return path;
}

} // namespace

bool ReplaceFile::begin(const std::string& target) {
    discard();
    m_error.clear();
    m_target = resolveTarget(target);
    const std::wstring wide = win::widePath(m_target);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            (attributes & FILE_ATTRIBUTE_READONLY) != 0)
            return failText(win::errorText(ERROR_ACCESS_DENIED));
        if (!win::isPlainFile(m_target))
            return failText("not a regular file");
    }
    const std::string folder = folderOf(m_target);
    const std::string prefix = tempPrefix(m_target);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = folder + "\\" + prefix +
                                 std::to_string(::GetCurrentProcessId()) + "-" +
                                 std::to_string(g_counter++) + kTempSuffix;
        if (m_stream.open(name, FileStream::Mode::CreateNew)) {
            m_temp = name;
            return true;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS)
            return failText(m_stream.lastError());
    }
    return failText(win::errorText(ERROR_FILE_EXISTS));
}

bool ReplaceFile::prepareCommit() {
    if (!m_stream.isOpen())
        return failText(m_error.empty() ? win::errorText(ERROR_INVALID_HANDLE) : m_error);
    if (!m_stream.flush())
        return failText(m_stream.lastError());
    return true;
}

bool ReplaceFile::finishCommit() {
    // Windows renames only a file nobody holds open.
    m_stream.close();
    if (!::MoveFileExW(win::widePath(m_temp).c_str(), win::widePath(m_target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return failText(win::lastErrorText());
    m_temp.clear();
    return true;
}

void ReplaceFile::discard() {
    m_stream.close();
    if (!m_temp.empty())
        win::removeFile(m_temp);
    m_temp.clear();
}

#endif

bool ReplaceFile::copyFrom(const FileStream& source,
                           const std::function<bool(double)>& progress) {
    const std::int64_t total = source.size();
    constexpr std::int64_t kBlock = std::int64_t{8} << 20;
    std::vector<std::uint8_t> buf;
    std::int64_t pos = 0;
    while (pos < total) {
        const std::int64_t want = std::min(kBlock, total - pos);
#ifndef _WIN32
        // In the kernel where it can: no copy through our memory.
        off_t in = static_cast<off_t>(pos);
        off_t out = static_cast<off_t>(pos);
        const ssize_t n = ::copy_file_range(source.fd(), &in, m_stream.fd(), &out,
                                            static_cast<std::size_t>(want), 0);
        if (n > 0) {
            pos += n;
        } else if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL &&
                   errno != EOPNOTSUPP) {
            m_error = systemErrorText(errno);
            return false;
        } else
#endif
        {
            buf.resize(static_cast<std::size_t>(want));
            if (!source.readExact(pos, buf)) {
                m_error = source.lastError().empty() ? std::string("The file ended early")
                                                     : source.lastError();
                return false;
            }
            if (!m_stream.writeAt(pos, buf)) {
                m_error = m_stream.lastError();
                return false;
            }
            pos += want;
        }
        if (progress && !progress(static_cast<double>(pos) / static_cast<double>(total))) {
            m_error = "Stopped by the user";
            return false;
        }
    }
    return true;
}

bool ReplaceFile::commit() {
    return prepareCommit() && finishCommit();
}

bool commitBoth(ReplaceFile& first, ReplaceFile& second, std::string* error) {
    auto failed = [&](ReplaceFile& f) {
        if (error)
            *error = f.target() + ": " + f.error();
        first.discard();
        second.discard();
        return false;
    };
    if (!first.prepareCommit())
        return failed(first);
    if (!second.prepareCommit())
        return failed(second);
    if (!first.finishCommit())
        return failed(first);
    if (!second.finishCommit())
        return failed(second);
    return true;
}

} // namespace vm
