#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "bytesource.h"

namespace vm {

// A file opened for positioned reads (and writes when asked). The working file
// of the document is one; so is a second file being compared or split.
// Errors are returned as flags; lastError() holds the system's text.
class FileStream : public ByteSource {
public:
    enum class Mode {
        Read,
        ReadWrite,
        Create,    // create or truncate, read-write
        CreateNew, // a new file only: never an existing name, never through a link; owner-only
        ReadWriteNoFollow, // read-write, never through a link (names in shared folders)
        // Writes only, each one at the file's end as it is at that moment, so
        // that other programs appending at the same time lose nothing.
        Append
    };

    FileStream() = default;
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    FileStream(FileStream&& other) noexcept;
    FileStream& operator=(FileStream&& other) noexcept;

    // Only regular files are opened: a FIFO, a device or a socket is refused at
    // once (never waited on), with a text saying what it is.
    bool open(const std::string& path, Mode mode);
    // Takes an exclusive advisory lock, so that a second instance treats the
    // file as in use (see isFileInUse).
    bool lockExclusive();
    // A new file in folder with no name yet, read-write and owner-only, where
    // the system has such files (O_TMPFILE); false (error set) elsewhere. A
    // file that never gets a name leaves nothing behind when the program dies.
    bool createAnonymous(const std::string& folder);
    bool isAnonymous() const { return m_fd >= 0 && m_path.empty(); }
    // Gives an anonymous file its name; never replaces or follows anything
    // already there (false, lastErrorCode() EEXIST).
    bool linkAs(const std::string& name);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

    std::int64_t size() const override;
    std::size_t readAt(std::int64_t pos, std::span<std::uint8_t> out) const override;
    // Reads exactly out.size() bytes; false on a short read or an error.
    bool readExact(std::int64_t pos, std::span<std::uint8_t> out) const;
    // Writes every byte or fails.
    bool writeAt(std::int64_t pos, std::span<const std::uint8_t> data);
    bool truncate(std::int64_t size);
    bool flush();
    // Append mode: writes every byte at the end of the file and says where
    // they went: begin of the first write, end of the last (set as soon as
    // something is written, failure or not; a writer in between may have
    // added bytes among them).
    bool append(std::span<const std::uint8_t> data, std::int64_t* begin = nullptr,
                std::int64_t* end = nullptr);

    const std::string& lastError() const { return m_error; }
    // The system's code of the last failure of open (errno, or GetLastError on
    // Windows); 0 when it was ours (a file that is not regular).
    int lastErrorCode() const { return m_errorCode; }
    int fd() const { return m_fd; }

private:
    void setError(int err) const;

    int m_fd = -1;
    std::string m_path;
    mutable std::string m_error;
    int m_errorCode = 0;
};

// The system's text for an errno value.
std::string systemErrorText(int err);

// Writes every byte of from into to at the same positions, the fastest way the
// system offers: an empty target becomes a clone where the file system shares
// extents, else the kernel copies where it can. progress hears the share
// done and may stop the copy. towardsDisk: to will be flushed afterwards, so
// its blocks go to the disk while the copy runs. false with the reason in error.
bool copyAll(const FileStream& from, FileStream& to, const std::function<bool(double)>& progress,
             std::string& error, bool towardsDisk = false);

// The error text of a copy stopped through its progress callback.
inline constexpr const char* kStoppedByUser = "Stopped by the user";

// The folder part of a path ("." for a bare name).
std::string parentFolder(const std::string& path);
// True when two open streams are one file.
bool sameOpenFile(const FileStream& a, const FileStream& b);

// Why the file at path cannot be read or written as a regular file ("It is a
// FIFO, not a regular file"); empty when it is one, or when nothing is there.
std::string fileTypeProblem(const std::string& path);

bool fileExists(const std::string& path);
// Size of a file, or -1 when it cannot be read.
std::int64_t fileSize(const std::string& path);

// Which file a name leads to: the device and inode (the volume and file
// index on Windows). A file replaced under the same name gets another one.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};
// The file's identity; nothing when it cannot be read.
std::optional<FileId> fileId(const std::string& path);
std::optional<FileId> fileId(const FileStream& stream);

// What the user's file looked like when the program last read or wrote it, so
// that a save can notice another program's changes in between: new contents
// (size, time) or another file put in its place (identity).
struct FileStamp {
    bool exists = false; // a regular file is there
    std::int64_t size = 0;
    std::int64_t modified = 0; // modification time, in the system's finest unit
    FileId id;
    bool operator==(const FileStamp&) const = default;
};
FileStamp fileStamp(const std::string& path);
// The stamp of the file an open stream reads.
FileStamp fileStamp(const FileStream& stream);
// True when a regular file is there now and its size or time differs from the
// stamp (a file that was absent and now exists counts as changed too).
bool changedSince(const FileStamp& stamp, const std::string& path);

} // namespace vm
