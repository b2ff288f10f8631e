#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "filestream.h"
#include "segment.h"
#include "typefile.h"

namespace vmcli {

// A data file opened for reading only, with its structure: what the commands
// that read a file and write something else start from.
struct Loaded {
    vm::FileStream data; // open for reading: a FIFO or a device never gets this far
    std::int64_t dataSize = 0;
    vm::TypeFileContent content;
};

// The data file, open, and its structure; the exit code (message on stderr)
// on failure.
std::optional<int> load(const std::string& data, const std::string& type, Loaded& l);

bool isStandardOutput(const std::string& path);
// How messages name an output.
std::string outputName(const std::string& path);
// The input files are only ever read: an output that names one is refused.
std::optional<int> refuseOverwrite(const std::string& data, const std::string& type,
                                   const std::string& out);

// A segment named on the command line: its name, or "#N" for the N-th row of
// the segment list (from 1). nullptr with the reason in error.
vm::Segment* findSegmentArg(vm::SegmentList& list, const std::string& arg, std::string& error);

} // namespace vmcli
