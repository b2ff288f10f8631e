#include "workingfile.h"

#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>

#include "platformfile.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vm {

namespace {

std::function<void(const std::string&)>& createHook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

std::function<void(double, const std::atomic<bool>&)>& fillHook() {
    static std::function<void(double, const std::atomic<bool>&)> hook;
    return hook;
}

// A bound only so that a folder we cannot write never hangs the program.
constexpr long kMaxNames = 1000000;

std::string withSeparator(const std::string& dir) {
    if (dir.empty() || dir.back() == '/')
        return dir;
#ifdef _WIN32
    if (dir.back() == '\\')
        return dir;
#endif
    return dir + '/';
}

std::string workingName(const std::string& dir, long n) {
    return dir + "~qzt" + std::to_string(n) + ".tmp";
}

// Anything under the name, a dangling link included: creating through a link
// would make a file wherever it points.
bool nameTaken(const std::string& name) {
#ifdef _WIN32
    return win::nameTaken(name);
#else
    struct stat st {};
    return ::lstat(name.c_str(), &st) == 0;
#endif
}

#ifndef _WIN32
// Whether name still leads to the file open as fd, and not through a link.
bool nameLeadsTo(const std::string& name, int fd) {
    struct stat named {
    }, opened{};
    return ::lstat(name.c_str(), &named) == 0 && ::fstat(fd, &opened) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}
#endif

// Deletes a working file nobody holds. It is locked first and its name
// checked to still lead to it, so a file another instance takes at the same
// moment is never deleted under it; only plain files of our own are touched.
bool removeLeftover(const std::string& name) {
#ifdef _WIN32
    return win::isPlainFile(name) && !isFileInUse(name) && win::removeFile(name);
#else
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    const int fd = ::open(name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool removed =
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && nameLeadsTo(name, fd) && ::unlink(name.c_str()) == 0;
    ::close(fd);
    return removed;
#endif
}

} // namespace

std::int64_t defaultUndoBudget(const std::string& tempDir, std::int64_t kept) {
    std::error_code ec;
    const std::filesystem::space_info space =
        std::filesystem::space(std::filesystem::u8path(tempDir.empty() ? "." : tempDir), ec);
    if (ec)
        return 0; // a folder that cannot say: no space to spend on undo
    const auto free = static_cast<std::int64_t>(
        std::min<std::uintmax_t>(space.available, std::uintmax_t{1} << 62));
    return std::min(kMaxUndoBudget, (free + std::max<std::int64_t>(kept, 0)) / 4);
}

std::string systemTempFolder() {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::temp_directory_path(ec);
    if (ec)
        return "./";
    const auto u8 = p.u8string();
    return withSeparator(std::string(u8.begin(), u8.end()));
}

void setWorkingFileCreateHook(std::function<void(const std::string& name)> hook) {
    createHook() = std::move(hook);
}

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
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    // A link, a FIFO or a device is nothing we could use: never opened through.
    if (!S_ISREG(st.st_mode))
        return true;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return true; // exists but cannot be opened for reading and writing
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd); // releases our own lock at once
    return locked;
}
#endif

std::string newWorkingFileName(const std::string& tempDir, bool reuse) {
    const std::string dir = withSeparator(tempDir);
    for (long n = 0; n < kMaxNames; ++n) {
        std::string name = workingName(dir, n);
        if (!nameTaken(name) || (reuse && removeLeftover(name)))
            return name;
    }
    return {};
}

bool createLockedFile(FileStream& out, const std::string& name, std::string* error, bool* taken) {
    if (taken)
        *taken = false;
    if (createHook())
        createHook()(name);
    FileStream s;
#ifndef _WIN32
    // Best: a file with no name is locked, then linked under the name, so no
    // one ever sees it unlocked.
    if (s.createAnonymous(parentFolder(name)) && s.lockExclusive()) {
        if (s.linkAs(name)) {
            out = std::move(s);
            return true;
        }
        if (s.lastErrorCode() == EEXIST) {
            if (taken)
                *taken = true;
            if (error)
                *error = s.lastError();
            return false;
        }
        // No O_TMPFILE or no /proc: an exclusive create by name instead.
    }
#endif
    if (!s.open(name, FileStream::Mode::CreateNew)) {
#ifdef _WIN32
        const bool exists =
            s.lastErrorCode() == ERROR_FILE_EXISTS || s.lastErrorCode() == ERROR_ALREADY_EXISTS;
#else
        const bool exists = s.lastErrorCode() == EEXIST;
#endif
        if (taken)
            *taken = exists;
        if (error)
            *error = s.lastError();
        return false;
    }
    // On Windows the open itself shares nothing but reading, which is the lock.
    if (!s.lockExclusive()) {
        if (error)
            *error = s.lastError();
        s.close();
#ifndef _WIN32
        ::unlink(name.c_str());
#endif
        return false;
    }
    out = std::move(s);
    return true;
}

bool createWorkingFile(WorkingFile& wf, std::string* error) {
    const std::string dir = withSeparator(wf.tempDir);
    for (long n = 0; n < kMaxNames; ++n) {
        const std::string name = workingName(dir, n);
        if (nameTaken(name) && !removeLeftover(name))
            continue;
        FileStream s;
        bool taken = false;
        std::string why;
        if (createLockedFile(s, name, &why, &taken)) {
            wf.stream = std::move(s);
            wf.name = name;
            return true;
        }
        if (!taken) {
            if (error)
                *error = why;
            return false;
        }
        // Someone took the name between the look and the create: the next one.
    }
    if (error)
        *error = "No free working file name in " + wf.tempDir;
    return false;
}

FileResult fillWorkingFile(FileStream& target, const std::string& source,
                           const Progress& progress) {
    FileStream in;
    if (!in.open(source, FileStream::Mode::Read)) {
        FileResult r;
        r.error = in.lastError();
        return r;
    }
    return fillWorkingFile(target, in, progress);
}

FileResult fillWorkingFile(FileStream& target, const FileStream& source, const Progress& progress) {
    FileResult r;
    if (sameOpenFile(source, target)) {
        r.error = "The source and the target are the same file";
        return r;
    }
    const FileStream* in = &source;
    FileStream reopened;
    const std::string& name = source.path();
    for (int attempt = 0; attempt < kFillAttempts; ++attempt) {
        const FileStamp before = fileStamp(*in);
        if (attempt > 0 && !target.truncate(0)) {
            r.error = target.lastError();
            return r;
        }
        if (!copyAll(*in, target, progress, r.error))
            return r;
        const FileStamp after = fileStamp(*in);
        const FileStamp named = name.empty() ? after : fileStamp(name);
        if (after == before && named == before) {
            r.ok = true;
            r.delta = after.size;
            r.recopied = attempt;
            r.source = after;
            return r;
        }
        // Written meanwhile, or replaced: what the name holds now is copied.
        if (named.exists && named.id != before.id) {
            if (!reopened.open(name, FileStream::Mode::Read)) {
                r.error = reopened.lastError();
                return r;
            }
            in = &reopened;
        }
    }
    r.error = (name.empty() ? std::string("The file") : name) +
              " kept changing while its working copy was made; try again once the program "
              "writing it is done";
    return r;
}

void setWorkingFileFillHook(
    std::function<void(double fraction, const std::atomic<bool>& stopping)> hook) {
    fillHook() = std::move(hook);
}

WorkingFileFill::WorkingFileFill(FileStream target, FileStream source, Progress progress,
                                 std::function<void()> ended)
    : m_target(std::move(target)), m_source(std::move(source)), m_progress(std::move(progress)),
      m_ended(std::move(ended)) {
    try {
        m_thread = std::thread(&WorkingFileFill::run, this);
    } catch (const std::system_error&) {
        run(); // no thread to be had: the copy is made here and now
    }
}

WorkingFileFill::~WorkingFileFill() {
    stop();
}

void WorkingFileFill::stop() {
    m_stop = true;
    wait();
}

void WorkingFileFill::wait() {
    if (m_thread.joinable())
        m_thread.join();
}

void WorkingFileFill::run() {
    const auto report = [this](double fraction) {
        if (fillHook())
            fillHook()(fraction, m_stop);
        if (m_stop)
            return false;
        return !m_progress || m_progress(fraction);
    };
    if (report(0.0)) {
        m_result = fillWorkingFile(m_target, m_source, report);
    } else {
        m_result = FileResult{};
        m_result.error = kStoppedByUser;
    }
    m_source.close();
    if (m_ended)
        m_ended();
}

bool makeWorkingCopy(WorkingFile& wf, const std::string& source, std::string* error,
                     const Progress& progress) {
    WorkingFile made;
    made.tempDir = wf.tempDir;
    if (!createWorkingFile(made, error))
        return false;
    const FileResult r = fillWorkingFile(made.stream, source, progress);
    if (!r.ok) {
        discardWorkingFile(made); // a half copy is of no use to anyone
        if (error)
            *error = r.error;
        return false;
    }
    wf.stream = std::move(made.stream);
    wf.name = std::move(made.name);
    return true;
}

namespace {

// "~qzt" + number + ".tmp": the only names the removals below ever touch.
bool isWorkingFileName(const std::string& fileName) {
    constexpr std::string_view head = "~qzt", tail = ".tmp";
    if (fileName.size() <= head.size() + tail.size() || fileName.rfind(head, 0) != 0 ||
        fileName.compare(fileName.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    for (std::size_t i = head.size(); i < fileName.size() - tail.size(); ++i)
        if (fileName[i] < '0' || fileName[i] > '9')
            return false;
    return true;
}

} // namespace

namespace {

// Closes the stream and deletes the file under name, if the name still leads
// to the file the stream held (another instance may have planted something
// there meanwhile, which is not ours to delete).
void removeHeld(const std::string& name, FileStream& stream) {
#ifdef _WIN32
    // Windows deletes no file that is open; the moment between the two steps
    // is covered by the in-use test of the removal.
    stream.close();
    if (!name.empty())
        removeLeftover(name);
#else
    if (stream.isOpen() && !name.empty() && nameLeadsTo(name, stream.fd()))
        ::unlink(name.c_str());
    stream.close();
#endif
}

// Only working files of the folder are ever deleted: a stand-in (the input
// of cut-blank, say) is no copy of ours.
bool isWorkingFileOf(const std::string& dir, const std::string& name) {
    return name.size() > dir.size() && name.compare(0, dir.size(), dir) == 0 &&
           isWorkingFileName(name.substr(dir.size()));
}

} // namespace

void removeHeldCopy(const std::string& tempDir, SupersededCopy& copy) {
    if (isWorkingFileOf(withSeparator(tempDir), copy.name))
        removeHeld(copy.name, copy.stream);
    copy.stream.close();
    copy.name.clear();
}

void removeSupersededCopies(WorkingFile& wf) {
    for (SupersededCopy& copy : wf.superseded)
        if (copy.name != wf.name)
            removeHeldCopy(wf.tempDir, copy);
    wf.superseded.clear();
}

int removeLeftoverWorkingFiles(const std::string& tempDir) {
    const std::string dir = withSeparator(tempDir);
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(std::filesystem::u8path(dir), ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const auto u8 = it->path().filename().u8string();
        const std::string fileName(u8.begin(), u8.end());
        if (isWorkingFileName(fileName))
            names.push_back(dir + fileName);
    }
    int removed = 0;
    for (const std::string& name : names)
        if (removeLeftover(name))
            ++removed;
    return removed;
}

void discardWorkingFile(WorkingFile& wf) {
    removeSupersededCopies(wf);
#ifdef _WIN32
    wf.stream.close(); // Windows deletes no file that is open
    if (!wf.name.empty())
        win::removeFile(wf.name);
#else
    removeHeld(wf.name, wf.stream);
#endif
    wf.name.clear();
}

#ifdef _WIN32
namespace {

DWORD CALLBACK copyProgress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER, LARGE_INTEGER,
                            DWORD, DWORD, HANDLE, HANDLE, LPVOID data) {
    const Progress& progress = *static_cast<const Progress*>(data);
    const double f = total.QuadPart > 0
                         ? static_cast<double>(done.QuadPart) / static_cast<double>(total.QuadPart)
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
        r.error = err == ERROR_REQUEST_ABORTED ? std::string(kStoppedByUser) : win::errorText(err);
        return r;
    }
    if (progress && !progress(1.0)) {
        win::removeFile(target);
        r.error = kStoppedByUser;
        return r;
    }
    r.ok = true;
    r.delta = fileSize(target);
    return r;
}
#else
FileResult copyWholeFile(const std::string& source, const std::string& target,
                         const Progress& progress) {
    FileResult r;
    FileStream in;
    if (!in.open(source, FileStream::Mode::Read)) {
        r.error = in.lastError();
        return r;
    }
    // Creating the target truncates it: copying a file onto itself would
    // destroy it before a byte is read.
    struct stat a {
    }, b{};
    if (::fstat(in.fd(), &a) == 0 && ::stat(target.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino) {
        r.error = "The source and the target are the same file";
        return r;
    }
    FileStream out;
    if (!out.open(target, FileStream::Mode::Create)) {
        r.error = out.lastError();
        return r;
    }
    if (!copyAll(in, out, progress, r.error))
        return r;
    r.ok = true;
    r.delta = in.size();
    return r;
}
#endif

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
