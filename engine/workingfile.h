#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "filestream.h"

namespace vm {

// Progress of a long operation: fraction done in [0, 1]. Returning false asks
// the operation to stop; a stopped operation fails and changes nothing.
using Progress = std::function<bool(double fraction)>;

// The document's working copy: the temporary folder (with its trailing
// separator), the working file's name and its open read-write stream, which
// holds an exclusive lock so other instances see the file as in use.
struct WorkingFile {
    std::string tempDir;
    std::string name;
    FileStream stream;
};

// The outcome of a copy or a rewrite. error is the system's text on failure.
struct FileResult {
    bool ok = false;
    std::string error;
    std::int64_t delta = 0; // bytes added to the file by a rewrite (negative when removed)
};

// True when the file exists and another holder keeps it locked.
bool isFileInUse(const std::string& path);
// tempDir + "~qzt" + n + ".tmp" for the first n whose file does not exist; with
// reuse, an existing file that is not in use is deleted and its name taken.
std::string newWorkingFileName(const std::string& tempDir, bool reuse);
// Copies every byte with the fastest path the system offers.
FileResult copyWholeFile(const std::string& source, const std::string& target,
                         const Progress& progress = {});
// A fresh working copy of source in tempDir; its name, or empty (error set) on failure.
std::string makeWorkingCopy(const std::string& tempDir, const std::string& source,
                            std::string* error = nullptr, const Progress& progress = {});
// Opens (and locks) a working file as the document's stream.
bool openWorkingFile(WorkingFile& wf, const std::string& name, std::string* error = nullptr);

} // namespace vm
