#include "atomicfile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "platformfile.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "paircommit.h"
#include "workingfile.h"

namespace vm {

namespace {

std::atomic<unsigned> g_counter{0};

std::function<void(const std::string&)>& commitHook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

std::string nameOf(const std::string& path) {
    const std::string folder = parentFolder(path);
    const std::size_t skip =
        path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0
            ? folder.size() + 1
            : 0;
    return path.substr(std::min(skip, path.size()));
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

std::string tempNameFor(const std::string& target, unsigned long pid) {
#ifdef _WIN32
    const char sep = '\\';
#else
    const char sep = '/';
#endif
    return parentFolder(target) + sep + tempPrefix(target) + std::to_string(pid) + "-" +
           std::to_string(g_counter++) + kTempSuffix;
}

} // namespace

std::string replacementTempName(const std::string& target) {
#ifdef _WIN32
    return tempNameFor(target, ::GetCurrentProcessId());
#else
    return tempNameFor(target, static_cast<unsigned long>(::getpid()));
#endif
}

bool isReplacementTempOf(const std::string& name, const std::string& target) {
    const std::string folder = parentFolder(target);
    if (parentFolder(name) != folder)
        return false;
    const std::string own = nameOf(name);
    const std::string prefix = tempPrefix(target);
    return own.size() > prefix.size() + 4 && own.compare(0, prefix.size(), prefix) == 0 &&
           own.compare(own.size() - 4, 4, kTempSuffix) == 0;
}

std::string commitRecordName(const std::string& target) {
#ifdef _WIN32
    const char sep = '\\';
#else
    const char sep = '/';
#endif
    std::string tag = tempPrefix(target);
    tag.pop_back(); // the dash that leads to a number in temporary names
    return parentFolder(target) + sep + tag + ".commit";
}

void setReplaceFileCommitHook(std::function<void(const std::string& tempName)> hook) {
    commitHook() = std::move(hook);
}

ReplaceFile::~ReplaceFile() {
    discard();
}

bool ReplaceFile::fail(int err) {
    return failText(systemErrorText(err));
}

bool ReplaceFile::createTemporary(unsigned long pid) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = tempNameFor(m_target, pid);
        std::string why;
        bool taken = false;
        if (createLockedFile(m_stream, name, &why, &taken)) {
            m_temp = name;
            return true;
        }
        if (!taken)
            return failText(why);
    }
    return failText("No free name for a temporary file beside the target");
}

bool ReplaceFile::failText(const std::string& reason) {
    m_error = reason.empty() ? std::string("Unknown error") : reason;
    discard();
    return false;
}

bool ReplaceFile::append(std::string_view text) {
    if (!m_stream.writeAt(m_appended,
                          std::span<const std::uint8_t>(
                              reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))) {
        m_error = m_stream.lastError();
        return false;
    }
    m_appended += static_cast<std::int64_t>(text.size());
    return true;
}

bool ReplaceFile::copyFrom(const FileStream& source, const std::function<bool(double)>& progress) {
    if (sameOpenFile(source, m_stream)) {
        m_error = "The source and the target are the same file";
        return false;
    }
    return copyAll(source, m_stream, progress, m_error, true);
}

bool ReplaceFile::commit() {
    return prepareCommit() && finishCommit();
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
            next = parentFolder(current) + "/" + next;
        current = next;
    }
    return current;
}

// The process's umask, read where that changes nothing (another thread may be
// creating files); the umask() round trip only where the system cannot say.
unsigned currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<unsigned>(std::strtoul(line.c_str() + 6, nullptr, 8));
    const mode_t m = ::umask(0);
    ::umask(m);
    return static_cast<unsigned>(m);
}

bool nameLeadsTo(const std::string& name, int fd) {
    struct stat named {
    }, opened{};
    return ::lstat(name.c_str(), &named) == 0 && ::fstat(fd, &opened) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

// Removes the temporary files of earlier saves of the same target that nobody
// holds any more: every writer keeps its temporary file locked until it is
// renamed or removed, so an unlocked one belongs to a killed save. Each is
// locked before it goes and its name checked to still lead to it.
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
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && nameLeadsTo(path, fd))
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(dir);
}

} // namespace

bool ReplaceFile::begin(const std::string& target) {
    discard();
    m_error.clear();
    m_appended = 0;
    m_target = resolveTarget(target);
    m_targetExisted = false;
    struct stat st {};
    if (::stat(m_target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(EISDIR);
        if (!S_ISREG(st.st_mode))
            return failText(fileTypeProblem(m_target));
        // Renaming over a file needs no right to write it; the user's refusal
        // of that right must still stop the save, as writing into it would.
        if (::access(m_target.c_str(), W_OK) != 0)
            return fail(errno);
        m_mode = st.st_mode & 07777;
        m_uid = st.st_uid;
        m_gid = st.st_gid;
        m_targetExisted = true;
    } else if (errno != ENOENT) {
        return fail(errno);
    } else {
        m_mode = 0666 & ~currentUmask();
    }
    const std::string folder = parentFolder(m_target);
    // A pair commit a writer could not finish still needs its files.
    if (!commitPending(m_target))
        removeLeftovers(folder, tempPrefix(m_target));
    // A file with no name: nothing to clean up if the program dies. It gets a
    // name at the commit through /proc, so only where that is there.
    if (::access("/proc/self/fd", X_OK) == 0 && m_stream.createAnonymous(folder) &&
        m_stream.lockExclusive())
        return true;
    return createTemporary(static_cast<unsigned long>(::getpid()));
}

bool ReplaceFile::prepareCommit() {
    if (!m_stream.isOpen())
        return failText(m_error.empty() ? systemErrorText(EBADF) : m_error);
    // The owner first: changing it clears set-user-ID bits the mode then restores.
    // Only root may give a file away; anyone else keeps being its owner.
    if (m_targetExisted && (m_uid != ::geteuid() || m_gid != ::getegid()) &&
        ::fchown(m_stream.fd(), m_uid, m_gid) != 0)
        (void)!::fchown(m_stream.fd(), static_cast<uid_t>(-1), m_gid);
    if (::fchmod(m_stream.fd(), static_cast<mode_t>(m_mode)) != 0)
        return fail(errno);
    if (!m_stream.flush())
        return failText(m_stream.lastError());
    return true;
}

// An anonymous file gets a temporary name beside the target first: rename
// needs one, and nothing can replace a name from a descriptor.
bool ReplaceFile::nameTemporary() {
    if (!m_temp.empty())
        return true;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = tempNameFor(m_target, static_cast<unsigned long>(::getpid()));
        if (m_stream.linkAs(name)) {
            m_temp = name;
            return true;
        }
        if (m_stream.lastErrorCode() != EEXIST)
            return failText(m_stream.lastError());
    }
    return fail(EEXIST);
}

bool ReplaceFile::finishCommit() {
    if (!m_stream.isOpen())
        return failText(m_error.empty() ? systemErrorText(EBADF) : m_error);
    if (!nameTemporary())
        return false;
    if (commitHook())
        commitHook()(m_temp);
    // The temporary file stays open, and so locked, until it has its new name:
    // another save of the same file must not take it for a leftover.
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0)
        return fail(errno);
    m_temp.clear();
    m_stream.close();
    // The new name itself survives a crash once the folder is flushed.
    const int dfd = ::open(parentFolder(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

void ReplaceFile::discard() {
    if (!m_temp.empty() && m_stream.isOpen() && nameLeadsTo(m_temp, m_stream.fd()))
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

// Removes the temporary files of killed saves of the same target. A save
// under way holds its file open without sharing its deletion, so the system
// itself refuses to delete that one.
void removeLeftovers(const std::string& folder, const std::string& prefix) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::u8path(folder), ec)) {
        const auto u8 = e.path().filename().u8string();
        const std::string name(u8.begin(), u8.end());
        if (name.size() > prefix.size() + 4 && name.compare(0, prefix.size(), prefix) == 0 &&
            name.compare(name.size() - 4, 4, kTempSuffix) == 0 &&
            win::isPlainFile(folder + "\\" + name))
            win::removeFile(folder + "\\" + name);
    }
}

} // namespace

bool ReplaceFile::begin(const std::string& target) {
    discard();
    m_error.clear();
    m_appended = 0;
    m_target = resolveTarget(target);
    const std::wstring wide = win::widePath(m_target);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    m_targetExisted = attributes != INVALID_FILE_ATTRIBUTES;
    if (m_targetExisted) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            (attributes & FILE_ATTRIBUTE_READONLY) != 0)
            return failText(win::errorText(ERROR_ACCESS_DENIED));
        if (const std::string problem = fileTypeProblem(m_target); !problem.empty())
            return failText(problem);
    }
    if (!commitPending(m_target))
        removeLeftovers(parentFolder(m_target), tempPrefix(m_target));
    return createTemporary(::GetCurrentProcessId());
}

bool ReplaceFile::prepareCommit() {
    if (!m_stream.isOpen())
        return failText(m_error.empty() ? win::errorText(ERROR_INVALID_HANDLE) : m_error);
    if (!m_stream.flush())
        return failText(m_stream.lastError());
    return true;
}

bool ReplaceFile::nameTemporary() {
    return true; // Windows files always have their name
}

bool ReplaceFile::finishCommit() {
    if (commitHook())
        commitHook()(m_temp);
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

std::string replacementTarget(const std::string& path) {
    return resolveTarget(path);
}

} // namespace vm
