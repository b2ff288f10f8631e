// import-struct, export-c and export-ksy: the structure to and from the code
// our users already have, C headers and Kaitai Struct descriptions.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cimport.h"
#include "commands.h"
#include "cp1252.h"
#include "editsession.h"
#include "model.h"
#include "structexport.h"
#include "structureload.h"
#include "typejson.h"

namespace vmcli {

namespace {

constexpr const char* kImportUsage =
    "Usage: vellomarque-cli import-struct HEADER TYPENAME [--target TRIPLE] [-I DIR]... "
    "[-D NAME[=VALUE]]... [--into DATAFILE SEGMENT [--type TYPEFILE]]";

struct ImportArgs {
    std::vector<std::string> words;
    vm::CImportOptions options;
    std::vector<std::string> into; // DATAFILE SEGMENT
    std::optional<std::string> type;
};

// Options may stand anywhere; -I and -D also joined to their value, as a
// compiler takes them.
std::optional<std::string> parseImportArgs(const Args& args, ImportArgs& ia) {
    bool targetGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) -> std::optional<std::string> {
            if (i + 1 >= args.size())
                return a + " needs a value";
            out = args[++i];
            return std::nullopt;
        };
        std::string v;
        if (a == "--target") {
            if (targetGiven)
                return std::string("--target is given twice");
            targetGiven = true;
            if (auto e = value(ia.options.target))
                return e;
        } else if (a == "-I" || a == "-D") {
            if (auto e = value(v))
                return e;
            (a == "-I" ? ia.options.includeDirs : ia.options.defines).push_back(v);
        } else if (a.size() > 2 && (a.rfind("-I", 0) == 0 || a.rfind("-D", 0) == 0)) {
            (a[1] == 'I' ? ia.options.includeDirs : ia.options.defines).push_back(a.substr(2));
        } else if (a == "--into") {
            if (!ia.into.empty())
                return std::string("--into is given twice");
            if (i + 2 >= args.size())
                return std::string("--into needs a data file and a segment");
            ia.into = {args[i + 1], args[i + 2]};
            i += 2;
        } else if (a == "--type") {
            if (ia.type)
                return std::string("--type is given twice");
            if (auto e = value(v))
                return e;
            ia.type = v;
        } else if (a.size() > 1 && a[0] == '-') {
            return "Unknown option: " + a;
        } else {
            ia.words.push_back(a);
        }
    }
    if (ia.words.size() != 2)
        return std::string(kImportUsage);
    if (ia.type && ia.into.empty())
        return std::string("--type goes with --into");
    if (ia.options.target.empty())
        return std::string("--target needs a target triple");
    return std::nullopt;
}

// The export commands: DATAFILE [--type TYPEFILE], the record counts as the
// grid shows them.
std::optional<int> loadForExport(const Args& args, const char* command, LoadedStructure& l,
                                 StructureArgs& sa) {
    if (auto e = parseStructureArgs(args, sa))
        return fail(*e);
    if (sa.out || sa.typeOut)
        return fail(std::string(command) + " writes to standard output; it takes no -o");
    if (auto code = loadStructure(sa, l))
        return code;
    for (auto& seg : l.content.segments)
        vm::computeRecordCount(seg.get(), l.dataSize);
    return std::nullopt;
}

// The last part of a path, taken apart by hand: on Windows a std::filesystem
// path would read the UTF-8 bytes in the ANSI code page.
std::string fileName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int print(const std::string& text) {
    std::cout << text;
    std::cout.flush();
    if (!std::cout)
        return fail("Cannot write to standard output");
    return 0;
}

} // namespace

int cmdImportStruct(const Args& args) {
    ImportArgs ia;
    if (auto e = parseImportArgs(args, ia))
        return fail(*e);
    if (!vm::cImportBuiltIn())
        return fail(vm::kCImportNotBuiltIn);
    const vm::CStructImport r = vm::importCStruct({ia.words[0], std::nullopt}, ia.words[1], ia.options);
    if (!r.ok)
        return fail(r.error);
    if (ia.into.empty()) {
        // One segment of one record at the start: write-type takes it as it is.
        auto seg = vm::newSegment(vm::SegmentList(), 0);
        seg->setName(vm::utf8ToCp1252(ia.words[1]));
        seg->recordLength = r.recordLength;
        seg->length = r.recordLength;
        seg->recordCount = 1;
        seg->entries = r.fields;
        json out{{"segments", json::array({segmentJson(*seg)})}};
        return print(out.dump(2) + "\n");
    }
    // Only the description changes, as in reset mode: only the type file is
    // written, under the data file's lock.
    EditSession session;
    const std::string& data = ia.into[0];
    if (auto code = session.open(data, ia.type.value_or(data + ".type")))
        return *code;
    std::string error;
    vm::Segment* seg = session.findSegment(ia.into[1], error);
    if (!seg)
        return fail(error);
    vm::applyCStruct(*seg, r.fields, r.recordLength, session.dataSize());
    return session.save();
}

int cmdExportC(const Args& args) {
    StructureArgs sa;
    LoadedStructure l;
    if (auto code = loadForExport(args, "export-c", l, sa))
        return *code;
    return print(vm::exportCHeader(l.content.segments, fileName(sa.type)));
}

int cmdExportKsy(const Args& args) {
    StructureArgs sa;
    LoadedStructure l;
    if (auto code = loadForExport(args, "export-ksy", l, sa))
        return *code;
    return print(vm::exportKaitaiStruct(l.content.segments, vm::kaitaiIdOf(fileName(sa.data)),
                                        fileName(sa.type)));
}

} // namespace vmcli
