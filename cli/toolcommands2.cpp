// inspect, split, info and locate: the data hint window, the split dialog, the
// file information window and the goto dialog without a window.
#include <iostream>
#include <optional>
#include <sstream>

#include "codec.h"
#include "commands.h"
#include "cp1252.h"
#include "datahint.h"
#include "fileinfo.h"
#include "filestream.h"
#include "inputfiles.h"
#include "kinds.h"
#include "locate.h"
#include "outputfile.h"
#include "split.h"

namespace vmcli {

namespace {

// Comma-separated kind names or codes; the error text when one is neither.
std::optional<std::string> parseKinds(const std::string& list, vm::DataHintFlags& shown) {
    shown.fill(false);
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ',')) {
        const auto k = parseKind(item, KindCodes::Known);
        if (!k)
            return "Unknown kind: " + item;
        shown[static_cast<std::size_t>(*k)] = true;
    }
    return std::nullopt;
}

void printReadings(const vm::HintBuffer& buf, const vm::DataHintFlags& shown) {
    for (const vm::HintReading& r : vm::hintReadings(buf, shown))
        std::cout << vm::kindName(r.kind) << '\t' << vm::cp1252ToUtf8(r.text) << '\n';
}

constexpr const char* kInspectUsage =
    "Usage: vellomarque-cli inspect (--hex HEX | --value KIND TEXT | DATAFILE OFFSET) "
    "[--kinds LIST]";

} // namespace

int cmdInspect(const Args& args) {
    vm::DataHintFlags shown{};
    for (int k = 0; k < vm::kKindCount; ++k)
        shown[static_cast<std::size_t>(k)] = true;
    Args rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--kinds") {
            rest.push_back(args[i]);
            continue;
        }
        if (i + 1 >= args.size())
            return fail(kInspectUsage);
        if (auto error = parseKinds(args[++i], shown))
            return fail(*error);
    }

    vm::HintBuffer buf;
    if (rest.size() == 2 && rest[0] == "--hex") {
        const bool valid = vm::setHintHex(buf, rest[1]);
        printReadings(buf, shown);
        return valid ? 0 : fail("Input Erro");
    }
    if (rest.size() == 3 && rest[0] == "--value") {
        const auto kind = parseKind(rest[1], KindCodes::Known);
        if (!kind)
            return fail("Unknown kind: " + rest[1]);
        bool textOk = true;
        const std::string text = vm::utf8ToCp1252(rest[2], &textOk);
        const vm::HintValue v = vm::hintHexOfValue(textOk ? text : std::string(), kind);
        vm::setHintHex(buf, v.hex);
        printReadings(buf, shown);
        if (!textOk || !v.encoded)
            return fail("Not a value of " + std::string(vm::kindName(*kind)) + ": " + rest[2]);
        return 0;
    }
    if (rest.size() == 2 && rest[0].rfind("--", 0) != 0) {
        const auto offset = vm::parseInteger(rest[1]);
        if (!offset || *offset < 0)
            return fail("Not an offset: " + rest[1]);
        settlePendingCommit(rest[0]);
        vm::FileStream data;
        if (!data.open(rest[0], vm::FileStream::Mode::Read))
            return fail("Cannot open data file " + rest[0] + ": " + data.lastError());
        const std::int64_t size = data.size();
        if (*offset >= size)
            return fail("Offset " + std::to_string(*offset) + " is past the end of " + rest[0] +
                        " (" + std::to_string(size) + " bytes)");
        vm::setHintHex(buf, vm::hintDump(data, *offset));
        printReadings(buf, shown);
        return 0;
    }
    return fail(kInspectUsage);
}

int cmdSplit(const Args& args) {
    constexpr const char* usage = "Usage: vellomarque-cli split SOURCE TARGET --piece BEGIN:END "
                                  "[--piece BEGIN:END ...] [--append]";
    std::vector<std::string> names;
    std::vector<vm::SplitPiece> pieces;
    bool append = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--append") {
            append = true;
        } else if (a == "--piece") {
            if (i + 1 >= args.size())
                return fail(usage);
            const std::string& p = args[++i];
            const std::size_t colon = p.find(':');
            const auto begin =
                colon == std::string::npos ? std::nullopt : vm::parseInt32(p.substr(0, colon));
            const auto end =
                colon == std::string::npos ? std::nullopt : vm::parseInt32(p.substr(colon + 1));
            if (!begin || !end)
                return fail("Not a piece BEGIN:END: " + p);
            pieces.push_back({*begin, *end});
        } else {
            names.push_back(a);
        }
    }
    if (names.size() != 2 || pieces.empty())
        return fail(usage);
    settlePendingCommit(names[0]);
    settlePendingCommit(names[1]);
    const vm::FileResult r = vm::splitFiles(names[0], names[1], pieces, append);
    if (!r.ok)
        return fail(r.error);
    // The count would land among the bytes written to standard output.
    if (!vm::writesToStandardOutput(names[1]))
        std::cout << r.delta << '\n';
    return 0;
}

int cmdInfo(const Args& args) {
    if (args.empty() || args.size() > 2)
        return fail("Usage: vellomarque-cli info DATAFILE [TYPEFILE]");
    settlePendingCommit(args[0]);
    if (args.size() == 2)
        settlePendingCommit(args[1]);
    std::string typeFile;
    if (args.size() == 2)
        typeFile = args[1];
    else if (vm::fileExists(args[0] + ".type"))
        typeFile = args[0] + ".type";

    const vm::FileFactsResult data = vm::readFileFacts(args[0]);
    if (!data.ok)
        return fail(data.error);
    const vm::FileInfoTexts d = vm::fileInfoTexts(args[0], data.facts);
    vm::FileInfoTexts t;
    if (!typeFile.empty()) {
        const vm::FileFactsResult type = vm::readFileFacts(typeFile);
        if (!type.ok)
            return fail(type.error);
        t = vm::fileInfoTexts(typeFile, type.facts);
    }
    std::string attributes;
    const std::pair<bool, const char*> boxes[] = {{data.facts.readOnly, "ReadOnly"},
                                                  {data.facts.hidden, "Hidden"},
                                                  {data.facts.archive, "Archive"},
                                                  {data.facts.system, "System"}};
    for (const auto& [set, name] : boxes)
        if (set)
            attributes += (attributes.empty() ? "" : " ") + std::string(name);
    const std::pair<const char*, std::pair<const std::string*, const std::string*>> rows[] = {
        {"File Name:", {&d.name, &t.name}},
        {"File Size(bytes):", {&d.size, &t.size}},
        {"Create Time", {&d.created, &t.created}},
        {"Last Write Time:", {&d.modified, &t.modified}},
        {"Last Access Time:", {&d.accessed, &t.accessed}},
    };
    for (const auto& [label, values] : rows)
        std::cout << label << '\t' << *values.first << '\t' << *values.second << '\n';
    std::cout << "Attributes:\t" << attributes << "\t\n";
    return 0;
}

int cmdLocate(const Args& args) {
    const char* usage =
        "Usage: vellomarque-cli locate DATAFILE OFFSET [--in SEGMENT] [--type TYPEFILE]";
    std::vector<std::string> words;
    std::string type;
    std::optional<std::string> in;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--type" || args[i] == "--in") {
            if (i + 1 >= args.size())
                return fail(usage);
            if (args[i] == "--type")
                type = args[++i];
            else
                in = args[++i];
        } else {
            words.push_back(args[i]);
        }
    }
    if (words.size() != 2)
        return fail(usage);
    const auto offset = vm::parseInt32(words[1]);
    if (!offset)
        return fail("Not an offset: " + words[1]);
    Loaded l;
    if (auto code = load(words[0], type.empty() ? words[0] + ".type" : type, l))
        return *code;
    vm::Segment* counted = nullptr;
    if (in) {
        std::string error;
        counted = findSegmentArg(l.content.segments, *in, error);
        if (!counted)
            return fail(error);
    }
    const bool absolute = counted == nullptr;
    const vm::Location where =
        vm::locateOffset(l.content.segments, counted, *offset, l.dataSize, absolute);
    if (!where.segment)
        return fail(vm::cp1252ToUtf8(vm::locateMissText(where, *offset)));
    const auto index = vm::gotoIndex(where, *offset, l.dataSize, absolute);
    std::cout << vm::cp1252ToUtf8(where.segment->name) << '\t' << where.record << '\t'
              << (index ? std::to_string(*index) : std::string()) << '\n';
    return 0;
}

} // namespace vmcli
