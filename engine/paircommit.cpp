#include "paircommit.h"

#include <charconv>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "platformfile.h"
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "atomicfile.h"
#include "filelock.h"
#include "filestream.h"
#include "workingfile.h"

namespace vm {

namespace {

std::function<void(PairCommitStep)>& stepHook() {
    static std::function<void(PairCommitStep)> hook;
    return hook;
}

void reached(PairCommitStep step) {
    if (stepHook())
        stepHook()(step);
}

// ---- names -------------------------------------------------------------------

bool renameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return ::MoveFileExW(win::widePath(from).c_str(), win::widePath(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return ::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void removeName(const std::string& name) {
#ifdef _WIN32
    win::removeFile(name);
#else
    ::unlink(name.c_str());
#endif
}

bool linkName(const std::string& existing, const std::string& name) {
#ifdef _WIN32
    return ::CreateHardLinkW(win::widePath(name).c_str(), win::widePath(existing).c_str(),
                             nullptr) != 0;
#else
    return ::link(existing.c_str(), name.c_str()) == 0;
#endif
}

// A new name, or a name gone, survives a crash once its folder is flushed.
void syncFolder(const std::string& path) {
#ifdef _WIN32
    (void)path; // MOVEFILE_WRITE_THROUGH and the file flushes see to it
#else
    const int fd = ::open(parentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

std::string lastSystemError() {
#ifdef _WIN32
    return win::lastErrorText();
#else
    return systemErrorText(errno);
#endif
}

// Records name files absolutely: a recovery may run from any folder.
std::string absolutePath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p =
        std::filesystem::absolute(std::filesystem::u8path(path), ec).lexically_normal();
    if (ec)
        return path;
    const auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

bool hasId(const std::string& path, const FileId& id) {
    const std::optional<FileId> now = fileId(path);
    return now && *now == id;
}

// ---- the record --------------------------------------------------------------

struct Replacement {
    std::string target;
    std::string temp;
    FileId newId;
};

struct Record {
    Replacement first;
    Replacement second;
    bool hadOld = false; // the first target existed before
    std::string backup;  // a second name of the old first file; empty without one
    FileId oldId;
};

constexpr std::string_view kMagic = "vellomarque pair commit 1\n";
constexpr std::string_view kEnd = "end\n";

// Text fields carry their length, so that any byte of a path is kept.
void putText(std::string& out, const std::string& s) {
    out += std::to_string(s.size());
    out += ':';
    out += s;
    out += '\n';
}

void putId(std::string& out, const FileId& id) {
    out += std::to_string(id.device) + ' ' + std::to_string(id.index) + '\n';
}

std::string encode(const Record& r) {
    std::string out(kMagic);
    for (const Replacement* p : {&r.first, &r.second}) {
        putText(out, p->target);
        putText(out, p->temp);
        putId(out, p->newId);
    }
    out += r.hadOld ? "old\n" : "none\n";
    putText(out, r.backup);
    putId(out, r.oldId);
    out += kEnd;
    return out;
}

class Reader {
public:
    explicit Reader(std::string_view s) : m_s(s) {}
    bool literal(std::string_view what) {
        if (m_s.substr(0, what.size()) != what)
            return false;
        m_s.remove_prefix(what.size());
        return true;
    }
    bool number(std::uint64_t& v, char after) {
        const auto [p, ec] = std::from_chars(m_s.data(), m_s.data() + m_s.size(), v);
        if (ec != std::errc() || p == m_s.data() + m_s.size() || *p != after)
            return false;
        m_s.remove_prefix(static_cast<std::size_t>(p - m_s.data()) + 1);
        return true;
    }
    bool text(std::string& out) {
        std::uint64_t n = 0;
        if (!number(n, ':') || n + 1 > m_s.size() || m_s[n] != '\n')
            return false;
        out.assign(m_s.substr(0, n));
        m_s.remove_prefix(n + 1);
        return true;
    }
    bool id(FileId& out) { return number(out.device, ' ') && number(out.index, '\n'); }
    bool atEnd() const { return m_s.empty(); }

private:
    std::string_view m_s;
};

// Nothing for a record cut short: its writer died before any rename.
std::optional<Record> decode(std::string_view s) {
    Reader in(s);
    Record r;
    if (!in.literal(kMagic))
        return std::nullopt;
    for (Replacement* p : {&r.first, &r.second})
        if (!in.text(p->target) || !in.text(p->temp) || !in.id(p->newId))
            return std::nullopt;
    r.hadOld = in.literal("old\n");
    if ((!r.hadOld && !in.literal("none\n")) || !in.text(r.backup) || !in.id(r.oldId) ||
        !in.literal(kEnd) || !in.atEnd())
        return std::nullopt;
    return r;
}

// Only files of the kind a commit makes are ever renamed or removed on the
// word of a record: temporary names beside their own targets.
bool plausible(const Record& r, const std::string& recordName) {
    return !r.first.target.empty() && !r.second.target.empty() &&
           absolutePath(commitRecordName(r.first.target)) == absolutePath(recordName) &&
           isReplacementTempOf(r.first.temp, r.first.target) &&
           isReplacementTempOf(r.second.temp, r.second.target) &&
           (r.backup.empty() || isReplacementTempOf(r.backup, r.first.target));
}

// A record held open and locked by the commit that wrote it, or by a recovery.
class HeldRecord {
public:
    ~HeldRecord() { m_stream.close(); }

    // Writes the whole record before anyone can see its name where the
    // system allows it. taken: a record is already there.
    bool create(const std::string& name, const std::string& content, std::string* error,
                bool* taken) {
        *taken = false;
        const auto bytes = std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
#ifndef _WIN32
        FileStream s;
        if (s.createAnonymous(parentFolder(name)) && s.lockExclusive()) {
            if (!s.writeAt(0, bytes) || !s.flush()) {
                *error = s.lastError();
                return false;
            }
            if (!s.linkAs(name)) {
                *taken = s.lastErrorCode() == EEXIST;
                *error = s.lastError();
                return false;
            }
            m_stream = std::move(s);
            m_name = name;
            syncFolder(name);
            return true;
        }
#endif
        FileStream s2;
        if (!createLockedFile(s2, name, error, taken))
            return false;
        // Locked from its creation: a recovery never reads it half written.
        if (!s2.writeAt(0, bytes) || !s2.flush()) {
            *error = s2.lastError();
            s2.close();
            removeName(name);
            return false;
        }
        m_stream = std::move(s2);
        m_name = name;
        syncFolder(name);
        return true;
    }

    enum class Opened { Absent, Busy, Ours, Foreign };
    // Takes an existing record for a recovery.
    Opened open(const std::string& name) {
#ifdef _WIN32
        if (!win::nameTaken(name))
            return Opened::Absent;
        if (!win::isPlainFile(name))
            return Opened::Foreign;
        // Its writer holds it open with no sharing of writes: that is its lock.
        if (!m_stream.open(name, FileStream::Mode::ReadWrite))
            return m_stream.lastErrorCode() == ERROR_SHARING_VIOLATION ? Opened::Busy
                                                                       : Opened::Foreign;
#else
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0)
            return Opened::Absent;
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            return Opened::Foreign; // never acted on: someone else's word
        if (!m_stream.open(name, FileStream::Mode::ReadWriteNoFollow))
            return Opened::Foreign;
        if (!m_stream.lockExclusive()) {
            m_stream.close();
            return Opened::Busy;
        }
        const std::optional<FileId> named = fileId(name);
        if (!named || *named != fileId(m_stream)) {
            m_stream.close();
            return Opened::Busy; // replaced at this moment: someone is at work
        }
#endif
        m_name = name;
        return Opened::Ours;
    }

    std::string content() const {
        const std::int64_t size = m_stream.size();
        if (size <= 0 || size > (1 << 20))
            return {};
        std::string s(static_cast<std::size_t>(size), '\0');
        const std::size_t n = m_stream.readAt(
            0, std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(s.data()), s.size()));
        s.resize(n);
        return s;
    }

    // Gone for good; the lock goes with it.
    void remove() {
        if (m_name.empty())
            return;
#ifdef _WIN32
        m_stream.close(); // Windows deletes no file that is open
        removeName(m_name);
#else
        if (hasId(m_name, fileId(m_stream).value_or(FileId{})))
            removeName(m_name);
        m_stream.close();
#endif
        syncFolder(m_name);
        m_name.clear();
    }

    // Left as it is for another try, unlocked.
    void letGo() {
        m_stream.close();
        m_name.clear();
    }

private:
    FileStream m_stream;
    std::string m_name;
};

// What a recovery did, for the user.
CommitRecovery told(CommitRecovery::Outcome outcome, const Record& r, const std::string& what) {
    return {outcome, "An interrupted save of " + r.first.target + " and " + r.second.target + " " +
                         what};
}

// Finishes or undoes the commit the held record describes, then removes it.
CommitRecovery settle(HeldRecord& held, const Record& r) {
    const bool firstNew = hasId(r.first.target, r.first.newId);
    const bool secondNew = hasId(r.second.target, r.second.newId);
    const bool firstReady = firstNew || hasId(r.first.temp, r.first.newId);
    const bool secondReady = secondNew || hasId(r.second.temp, r.second.newId);
    const bool oldKept = !r.backup.empty() && hasId(r.backup, r.oldId);
    if (firstReady && secondReady) {
        // Both new files are complete and flushed: the commit goes forward.
        bool renamed = false;
        for (const Replacement* p : {&r.first, &r.second}) {
            if (hasId(p->target, p->newId))
                continue;
            if (!renameOver(p->temp, p->target)) {
                held.letGo();
                return told(CommitRecovery::Outcome::Failed, r,
                            "could not be completed: " + p->target + ": " + lastSystemError());
            }
            syncFolder(p->target);
            renamed = true;
        }
        if (oldKept)
            removeName(r.backup);
        held.remove();
        if (!renamed)
            return {};
        return told(CommitRecovery::Outcome::Completed, r,
                    "was completed: both files hold the new contents");
    }
    // A replacement is gone: the new pair cannot be made whole, so the old
    // one comes back. The second file is replaced last, so it is still old.
    if (firstNew) {
        bool back = false;
        if (oldKept) {
            back = renameOver(r.backup, r.first.target);
        } else if (!r.hadOld) {
            removeName(r.first.target); // there was none
            back = true;
        }
        if (!back) {
            const std::string why =
                oldKept ? lastSystemError() : "its old contents are no longer there";
            held.letGo();
            return told(CommitRecovery::Outcome::Failed, r,
                        "could not be undone: " + r.first.target + ": " + why);
        }
        syncFolder(r.first.target);
    } else if (oldKept) {
        removeName(r.backup);
    }
    for (const Replacement* p : {&r.first, &r.second})
        if (hasId(p->temp, p->newId))
            removeName(p->temp);
    held.remove();
    if (!firstNew)
        return {};
    return told(CommitRecovery::Outcome::PutBack, r,
                "could not be completed: both files were put back as they were");
}

CommitRecovery recoverAt(const std::string& recordName) {
    CommitRecovery out;
    HeldRecord held;
    switch (held.open(recordName)) {
    case HeldRecord::Opened::Absent:
    case HeldRecord::Opened::Foreign:
        return out;
    case HeldRecord::Opened::Busy:
        out.outcome = CommitRecovery::Outcome::Busy;
        return out;
    case HeldRecord::Opened::Ours:
        break;
    }
    const std::optional<Record> r = decode(held.content());
    if (!r) {
        // Cut short while it was written: no file was replaced yet, and its
        // temporary files are ordinary leftovers now.
        held.remove();
        return out;
    }
    if (!plausible(*r, recordName)) {
        held.letGo();
        return out;
    }
    return settle(held, *r);
}

// The data files whose records a file's recovery looks at: its own, and for
// "X.type" that of X (through links as well as by the name given).
std::vector<std::string> recordNamesFor(const std::string& file) {
    std::vector<std::string> names;
    auto add = [&](const std::string& data) {
        const std::string name = commitRecordName(replacementTarget(data));
        for (const std::string& n : names)
            if (n == name)
                return;
        names.push_back(name);
    };
    add(file);
    constexpr std::string_view kType = ".type";
    for (const std::string& f : {file, replacementTarget(file)})
        if (f.size() > kType.size() && f.compare(f.size() - kType.size(), kType.size(), kType) == 0)
            add(f.substr(0, f.size() - kType.size()));
    return names;
}

} // namespace

void setPairCommitHook(std::function<void(PairCommitStep step)> hook) {
    stepHook() = std::move(hook);
}

CommitRecovery recoverPendingCommit(const std::string& file) {
    CommitRecovery result;
    for (const std::string& name : recordNamesFor(file)) {
        CommitRecovery r = recoverAt(name);
        if (r.outcome == CommitRecovery::Outcome::None)
            continue;
        if (!result.message.empty() && !r.message.empty())
            r.message = result.message + "\n" + r.message;
        else if (r.message.empty())
            r.message = result.message;
        result = std::move(r);
    }
    return result;
}

bool commitPending(const std::string& target) {
    for (const std::string& name : recordNamesFor(target))
        if (fileExists(name))
            return true;
    return false;
}

bool PairEdit::begin(const std::string& dataFile, const std::string& typeFile,
                     std::string* notice) {
    m_dataFile = dataFile;
    m_typeFile = typeFile;
    m_error.clear();
    auto tell = [&](const CommitRecovery& r) {
        if (notice && !r.message.empty())
            *notice += (notice->empty() ? "" : "\n") + r.message;
        if (r.outcome == CommitRecovery::Outcome::Failed)
            m_error = r.message;
        return r.outcome != CommitRecovery::Outcome::Failed;
    };
    // A recovery renames files, so the lock is taken on what it leaves; a
    // record that turns up meanwhile is settled first and the lock taken anew.
    for (int round = 0; round < 3; ++round) {
        if (!tell(recoverPendingCommit(dataFile)) ||
            (typeFile != dataFile + ".type" && !tell(recoverPendingCommit(typeFile))))
            return false;
        if (!m_lock.acquire(dataFile, FileLock::Kind::Exclusive)) {
            m_error = m_lock.error();
            return false;
        }
        if (round == 2 || !commitPending(replacementTarget(dataFile)))
            break;
        const CommitRecovery again = recoverPendingCommit(dataFile);
        if (again.outcome == CommitRecovery::Outcome::None ||
            again.outcome == CommitRecovery::Outcome::Busy)
            break; // nothing renamed: the lock still holds the file under the name
        m_lock.release();
        if (!tell(again))
            return false;
    }
    m_dataStamp = fileStamp(dataFile);
    m_typeStamp = fileStamp(typeFile);
    return true;
}

std::string PairEdit::changedSinceRead() const {
    for (const auto& [name, stamp] :
         {std::pair{&m_dataFile, &m_dataStamp}, std::pair{&m_typeFile, &m_typeStamp}})
        if (fileStamp(*name) != *stamp)
            return *name + " was changed by another program since it was read: nothing was "
                           "written, run the edit again";
    return {};
}

bool PairEdit::commit(ReplaceFile& data, ReplaceFile& type, std::string* error, bool* refused) {
    *refused = false;
    return commitBoth(data, type, error, [&] {
        std::string why = changedSinceRead();
        if (!why.empty())
            *refused = true;
        else
            m_lock.beforeReplace();
        return why;
    });
}

bool PairEdit::commitType(ReplaceFile& type, std::string* error, bool* refused) {
    *refused = false;
    if (!type.prepareCommit()) {
        *error = type.target() + ": " + type.error();
        return false;
    }
    if (std::string why = changedSinceRead(); !why.empty()) {
        *refused = true;
        *error = std::move(why);
        type.discard();
        return false;
    }
    if (!type.finishCommit()) {
        *error = type.target() + ": " + type.error();
        return false;
    }
    return true;
}

bool commitBoth(ReplaceFile& first, ReplaceFile& second, std::string* error,
                const std::function<std::string()>& beforeReplace) {
    std::string backup;
    HeldRecord held;
    auto failedWith = [&](const std::string& text) {
        if (error)
            *error = text;
        if (!backup.empty())
            removeName(backup);
        first.discard();
        second.discard();
        held.remove();
        return false;
    };
    auto failed = [&](ReplaceFile& f) { return failedWith(f.target() + ": " + f.error()); };
    if (!first.prepareCommit())
        return failed(first);
    if (!second.prepareCommit())
        return failed(second);
    // The record names both new files. A file that has no name yet (Linux)
    // gets it only once the record is there: a writer killed before leaves
    // nothing behind, one killed after leaves what the record names.
    Record record;
    std::string planned[2];
    int i = 0;
    for (auto [file, rep] :
         {std::pair{&first, &record.first}, std::pair{&second, &record.second}}) {
        if (file->tempPath().empty())
            planned[i] = replacementTempName(file->target());
        rep->target = absolutePath(file->target());
        rep->temp = absolutePath(planned[i].empty() ? file->tempPath() : planned[i]);
        ++i;
        const std::optional<FileId> id = fileId(file->stream());
        if (!id) {
            file->m_error = lastSystemError();
            return failed(*file);
        }
        rep->newId = *id;
    }
    // The old first file keeps a second name until the second file is in
    // place, so that it can be put back if that fails. The name goes into
    // the record now; the link is made once the commit is sure to go ahead
    // (Windows keeps no name of a file another writer holds from going
    // away). Where the file system has no hard links it is replaced without
    // that way back.
    record.hadOld = first.m_targetExisted;
    std::string backupName;
    if (first.m_targetExisted) {
        if (const std::optional<FileId> id = fileId(first.target())) {
            backupName = replacementTempName(first.target());
            record.oldId = *id;
            record.backup = absolutePath(backupName);
        }
    }

    // The record: a commit killed by accident, and one of another writer
    // still at work, are both found here.
    const std::string recordName = commitRecordName(first.target());
    const std::string content = encode(record);
    const auto deadline = std::chrono::steady_clock::now() + FileLock::kWait;
    for (;;) {
        std::string why;
        bool taken = false;
        if (held.create(recordName, content, &why, &taken))
            break;
        if (!taken)
            return failedWith(recordName + ": " + why);
        const CommitRecovery r = recoverAt(recordName);
        if (r.outcome == CommitRecovery::Outcome::Failed)
            return failedWith(r.message);
        if (r.outcome == CommitRecovery::Outcome::Busy) {
            if (std::chrono::steady_clock::now() >= deadline)
                return failedWith(beingChangedText(first.target()));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    reached(PairCommitStep::RecordWritten);
    if (beforeReplace) {
        if (std::string refusal = beforeReplace(); !refusal.empty())
            return failedWith(refusal);
    }
    if (!backupName.empty() && linkName(first.target(), backupName))
        backup = backupName;
    i = 0;
    for (ReplaceFile* file : {&first, &second}) {
        const std::string& name = planned[i++];
        if (name.empty())
            continue;
        if (!file->m_stream.linkAs(name))
            return failedWith(file->target() + ": " + file->m_stream.lastError());
        file->m_temp = name;
    }

    if (!first.finishCommit())
        return failed(first);
    reached(PairCommitStep::FirstReplaced);
    if (!second.finishCommit()) {
        const std::string text = second.target() + ": " + second.error();
        if (!backup.empty()) {
            renameOver(backup, first.target());
            backup.clear();
        } else if (!first.m_targetExisted) {
            removeName(first.target());
        }
        return failedWith(text);
    }
    reached(PairCommitStep::SecondReplaced);
    if (!backup.empty())
        removeName(backup);
    held.remove();
    return true;
}

} // namespace vm
