// What the commands share about their input files and outputs.
#include "inputfiles.h"

#include <filesystem>
#include <system_error>

#include "codec.h"
#include "commands.h"
#include "cp1252.h"
#include "filelock.h"
#include "model.h"
#include "outputfile.h"

namespace vmcli {

bool isStandardOutput(const std::string& path) {
    return path == vm::OutputFile::kStandardOutput;
}

std::string outputName(const std::string& path) {
    return isStandardOutput(path) ? std::string("standard output") : path;
}

std::optional<int> refuseOverwrite(const std::string& data, const std::string& type,
                                   const std::string& out) {
    if (!isStandardOutput(out) && (vm::sameOutput(out, data) || vm::sameOutput(out, type)))
        return fail("The output " + out + " would overwrite an input file");
    return std::nullopt;
}

// The pair is read under a shared lock, so that an edit replacing both files
// at that moment is not seen halfway.
std::optional<int> load(const std::string& data, const std::string& type, Loaded& l) {
    settlePendingCommit(data);
    if (type != data + ".type")
        settlePendingCommit(type);
    if (!vm::fileExists(data))
        return fail("Cannot open data file " + data);
    vm::FileLock lock;
    if (!lock.acquire(data, vm::FileLock::Kind::Shared))
        return fail(lock.busy() ? lock.error()
                                : "Cannot open data file " + data + ": " + lock.error());
    if (!l.data.open(data, vm::FileStream::Mode::Read))
        return fail("Cannot open data file " + data + ": " + l.data.lastError());
    l.dataSize = l.data.size();
    if (!vm::fileExists(type))
        return fail("Type file not found: " + type);
    vm::TypeReadResult r = vm::readTypeFile(type, l.dataSize);
    if (!r.ok)
        return fail(r.message); // the path and our own words: already UTF-8
    l.content = std::move(r.content);
    vm::fitToFilesEnd(l.content.segments, l.dataSize);
    return std::nullopt;
}

vm::Segment* findSegmentArg(vm::SegmentList& list, const std::string& arg, std::string& error) {
    if (arg.size() > 1 && arg[0] == '#') {
        const std::optional<std::int32_t> n = vm::parseInt32(arg.substr(1));
        if (!n || *n < 1 || static_cast<std::size_t>(*n) > list.size()) {
            error =
                "No segment " + arg + ": the list has " + std::to_string(list.size()) + " segments";
            return nullptr;
        }
        return &list[static_cast<std::size_t>(*n - 1)];
    }
    const std::string name = vm::utf8ToCp1252(arg);
    for (auto& seg : list)
        if (seg->name == name)
            return seg.get();
    error = "No segment named " + arg;
    return nullptr;
}

} // namespace vmcli
