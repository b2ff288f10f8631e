#pragma once

#include <cstdint>
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
        Create,   // create or truncate, read-write
        CreateNew // a new file only: never an existing name, never through a link; owner-only
    };

    FileStream() = default;
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    FileStream(FileStream&& other) noexcept;
    FileStream& operator=(FileStream&& other) noexcept;

    bool open(const std::string& path, Mode mode);
    // Takes an exclusive advisory lock, so that a second instance treats the
    // file as in use (see isFileInUse).
    bool lockExclusive();
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

    const std::string& lastError() const { return m_error; }
    int fd() const { return m_fd; }

private:
    void setError(int err) const;

    int m_fd = -1;
    std::string m_path;
    mutable std::string m_error;
};

// The system's text for an errno value.
std::string systemErrorText(int err);

bool fileExists(const std::string& path);
// Size of a file, or -1 when it cannot be read.
std::int64_t fileSize(const std::string& path);

} // namespace vm
