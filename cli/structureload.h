#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "commands.h"
#include "filestream.h"
#include "inputfiles.h"
#include "typefile.h"

// A data file and its structure, read for a command that only reads them.
namespace vmcli {

struct StructureArgs {
    std::string data;
    std::string type;
    std::optional<std::string> out;
    std::optional<std::string> typeOut;
};

// DATAFILE [-o OUTFILE] [--type TYPEFILE] [--type-out TYPEFILE]; the error
// text when they do not parse.
std::optional<std::string> parseStructureArgs(const Args& args, StructureArgs& sa);

using LoadedStructure = Loaded;

// The data file, open, and its structure; exit code and message on failure.
inline std::optional<int> loadStructure(const StructureArgs& sa, LoadedStructure& l) {
    return load(sa.data, sa.type, l);
}

} // namespace vmcli
