#pragma once

#include <string>
#include <string_view>

#include "atomicfile.h"

namespace vm {

// Where an output the user names goes (text output, and whatever else writes
// a stream of bytes to a name). A regular file, or a name not yet taken, is
// replaced through ReplaceFile, so a failed output keeps the old file.
// Standard output ("-", /dev/stdout, and likewise /dev/stderr and /dev/fd/N:
// through the program's own descriptor), a FIFO or a character device such as
// /dev/null is written where it is and never removed, truncated or replaced;
// anything else (a folder, a block device) is refused.
class OutputFile {
public:
    static constexpr std::string_view kStandardOutput = "-";

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens the output; false with error() set. A FIFO that no program reads
    // yet is waited for with waitForReader (as a shell's redirection does),
    // else refused at once.
    bool begin(const std::string& path, bool waitForReader = false);
    // Appends bytes; false with error() set (a full disk, a closed pipe).
    bool write(std::string_view bytes);
    // Appends every byte of source.
    bool copyFrom(const FileStream& source);
    // A replaced file is put in place; an output written in place is done.
    bool commit();
    // A replaced file keeps its old contents; what went to an output written
    // in place cannot be taken back.
    void discard();

    bool inPlace() const { return m_inPlace; }
    // The new contents of a replaced file while they are written (nullptr for
    // an output written in place), for a commit together with another file.
    ReplaceFile* replacement() { return m_open && !m_inPlace ? &m_replace : nullptr; }
    const std::string& error() const { return m_error; }

private:
    void closeInPlace();

    ReplaceFile m_replace;
    int m_fd = -1;
    bool m_ownFd = false;
    bool m_inPlace = false;
    bool m_open = false;
    std::string m_error;
};

// Whether an output named path would be written in place (standard output, a
// FIFO, a character device), as opposed to replaced.
bool writesInPlace(const std::string& path);
// Whether an output named path is the program's standard output ("-",
// /dev/stdout, /dev/fd/1): a command then prints nothing else there.
bool writesToStandardOutput(const std::string& path);
// Whether two outputs would end up in one file: the same file replaced (by
// any name or link), or the same file or device written in place.
bool sameOutput(const std::string& a, const std::string& b);

} // namespace vm
