// What the commands share about their input files and outputs.
#include "inputfiles.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include "platformfile.h"
#endif

#include "codec.h"
#include "commands.h"
#include "cp1252.h"
#include "outputfile.h"

namespace vmcli {

bool isStandardOutput(const std::string& path) {
    return path == vm::OutputFile::kStandardOutput;
}

std::string outputName(const std::string& path) {
    return isStandardOutput(path) ? std::string("standard output") : path;
}

bool sameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
    return vm::win::sameFile(a, b); // the paths are UTF-8, not the ANSI code page
#else
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
#endif
}

std::optional<int> refuseOverwrite(const std::string& data, const std::string& type,
                                   const std::string& out) {
    if (!isStandardOutput(out) && (sameFile(out, data) || sameFile(out, type)))
        return fail("The output " + out + " would overwrite an input file");
    return std::nullopt;
}

std::optional<int> load(const std::string& data, const std::string& type, Loaded& l) {
    if (!vm::fileExists(data))
        return fail("Cannot open data file " + data);
    if (!l.data.open(data, vm::FileStream::Mode::Read))
        return fail("Cannot open data file " + data + ": " + l.data.lastError());
    l.dataSize = l.data.size();
    if (!vm::fileExists(type))
        return fail("Type file not found: " + type);
    vm::TypeReadResult r = vm::readTypeFile(type, l.dataSize);
    if (!r.ok)
        return fail(r.message); // the path and our own words: already UTF-8
    l.content = std::move(r.content);
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
