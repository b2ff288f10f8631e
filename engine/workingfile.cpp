#include "workingfile.h"

#include <cerrno>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "platformfile.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "rewrite.h"

namespace vm {

namespace {

std::string withSeparator(const std::string& dir) {
    if (dir.empty() || dir.back() == '/')
        return dir;
#ifdef _WIN32
    if (dir.back() == '\\')
        return dir;
#endif
    return dir + '/';
}

} // namespace

#ifdef _WIN32
// On Windows a working file is held by an open handle (see FileStream), and an
// open that shares nothing fails while any other handle is open.
bool isFileInUse(const std::string& path) {
    if (!fileExists(path))
        return false;
    const HANDLE h = ::CreateFileW(win::widePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return true; // held, or exists but cannot be opened for reading and writing
    ::CloseHandle(h);
    return false;
}
#else
bool isFileInUse(const std::string& path) {
    if (!fileExists(path))
        return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return true; // exists but cannot be opened for reading and writing
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd); // releases our own lock at once
    return locked;
}
#endif

std::string newWorkingFileName(const std::string& tempDir, bool reuse) {
    const std::string dir = withSeparator(tempDir);
    // A bound only so that a folder we cannot write never hangs the program.
    for (long n = 0; n < 1000000; ++n) {
        std::string name = dir + "~qzt" + std::to_string(n) + ".tmp";
        // A dangling link counts as taken: creating through it would make a
        // file wherever it points.
#ifdef _WIN32
        if (!win::nameTaken(name))
            return name;
        if (reuse && !isFileInUse(name) && win::removeFile(name))
            return name;
#else
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0)
            return name;
        if (reuse && !isFileInUse(name) && ::unlink(name.c_str()) == 0)
            return name;
#endif
    }
    return {};
}

namespace {

// lock: the target is held while it is written, so that another instance
// looking for a working file sees it as in use and leaves it alone.
FileResult copyInto(const std::string& source, const std::string& target, const Progress& progress,
                    bool lock) {
    FileResult r;
    FileStream in;
    if (!in.open(source, FileStream::Mode::Read)) {
        r.error = in.lastError();
        return r;
    }
    // Creating the target truncates it: copying a file onto itself would
    // destroy it before a byte is read.
#ifdef _WIN32
    if (win::sameFile(source, target)) {
#else
    struct stat a {
    }, b{};
    if (::fstat(in.fd(), &a) == 0 && ::stat(target.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino) {
#endif
        r.error = "The source and the target are the same file";
        return r;
    }
    RewriteSink out;
    if (!out.create(target, lock)) {
        r.error = out.error();
        return r;
    }
    const std::int64_t size = in.size();
    out.setProgress(progress, size);
    if (!out.copyRest(in, 0) || !out.finish()) {
        r.error = out.error();
        return r;
    }
    r.ok = true;
    r.delta = out.written();
    return r;
}

} // namespace

#ifdef _WIN32
namespace {

DWORD CALLBACK copyProgress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER, LARGE_INTEGER,
                            DWORD, DWORD, HANDLE, HANDLE, LPVOID data) {
    const Progress& progress = *static_cast<const Progress*>(data);
    const double f = total.QuadPart > 0 ? static_cast<double>(done.QuadPart) /
                                              static_cast<double>(total.QuadPart)
                                        : 1.0;
    return progress(f) ? PROGRESS_CONTINUE : PROGRESS_CANCEL;
}

} // namespace

// The system's own copy: it picks the fastest path (server-side copies,
// block cloning) itself.
FileResult copyWholeFile(const std::string& source, const std::string& target,
                         const Progress& progress) {
    FileResult r;
    if (win::sameFile(source, target)) {
        r.error = "The source and the target are the same file";
        return r;
    }
    BOOL cancel = FALSE;
    const std::wstring from = win::widePath(source);
    const std::wstring to = win::widePath(target);
    const BOOL ok = progress ? ::CopyFileExW(from.c_str(), to.c_str(), copyProgress,
                                             const_cast<Progress*>(&progress), &cancel, 0)
                             : ::CopyFileW(from.c_str(), to.c_str(), FALSE);
    if (!ok) {
        const DWORD err = ::GetLastError();
        r.error = err == ERROR_REQUEST_ABORTED ? std::string("Stopped by the user")
                                               : win::errorText(err);
        return r;
    }
    if (progress && !progress(1.0)) {
        win::removeFile(target);
        r.error = "Stopped by the user";
        return r;
    }
    r.ok = true;
    r.delta = fileSize(target);
    return r;
}
#else
FileResult copyWholeFile(const std::string& source, const std::string& target,
                         const Progress& progress) {
    return copyInto(source, target, progress, false);
}
#endif

std::string makeWorkingCopy(const std::string& tempDir, const std::string& source,
                            std::string* error, const Progress& progress) {
    const std::string name = newWorkingFileName(tempDir, true);
    if (name.empty()) {
        if (error)
            *error = "No free working file name in " + tempDir;
        return {};
    }
    const FileResult r = copyInto(source, name, progress, true);
    if (!r.ok) {
#ifdef _WIN32
        win::removeFile(name); // a half copy is of no use to anyone
#else
        ::unlink(name.c_str()); // a half copy is of no use to anyone
#endif
        if (error)
            *error = r.error;
        return {};
    }
    return name;
}

bool openWorkingFile(WorkingFile& wf, const std::string& name, std::string* error) {
    FileStream s;
    if (!s.open(name, FileStream::Mode::ReadWrite)) {
        if (error)
            *error = s.lastError();
        return false;
    }
    if (!s.lockExclusive()) {
        if (error)
            *error = s.lastError();
        return false;
    }
    wf.stream = std::move(s);
    wf.name = name;
    return true;
}

} // namespace vm
