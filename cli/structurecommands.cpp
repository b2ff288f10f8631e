// check, export-text and cut-blank: the structure of a data file at work.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#ifdef _WIN32
#include "platformfile.h"
#endif

#include "atomicfile.h"
#include "checks.h"
#include "commands.h"
#include "cp1252.h"
#include "cutblank.h"
#include "filestream.h"
#include "inputfiles.h"
#include "outputfile.h"
#include "textoutput.h"
#include "typefile.h"
#include "workingfile.h"

namespace vmcli {

namespace {

struct StructureArgs {
    std::string data;
    std::string type;
    std::optional<std::string> out;
    std::optional<std::string> typeOut;
};

// DATAFILE [-o OUTFILE] [--type TYPEFILE] [--type-out TYPEFILE]; the error
// text when they do not parse.
std::optional<std::string> parseArgs(const Args& args, StructureArgs& sa) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--type" || a == "-o" || a == "--type-out") {
            if (i + 1 >= args.size())
                return a + " needs a file name";
            if (a == "-o")
                sa.out = args[i + 1];
            else if (a == "--type")
                sa.type = args[i + 1];
            else
                sa.typeOut = args[i + 1];
            ++i;
        } else if (sa.data.empty() && !(a.size() > 1 && a[0] == '-')) {
            sa.data = a;
        } else {
            return "Unexpected argument: " + a;
        }
    }
    if (sa.data.empty())
        return std::string("A data file is needed");
    if (sa.type.empty())
        sa.type = sa.data + ".type";
    return std::nullopt;
}

// Single-byte text of the type file as UTF-8, without a copy when it is ASCII.
void appendText(std::string& out, std::string_view cp1252) {
    for (const char c : cp1252)
        if (static_cast<unsigned char>(c) >= 0x80) {
            out += vm::cp1252ToUtf8(cp1252);
            return;
        }
    out += cp1252;
}

void appendRow(std::string& out, const vm::MessageRowTexts& t) {
    out += t.isSegment ? "segment" : "field";
    for (const std::string_view f : {t.caption, t.firstName, t.secondName, t.collide, t.message}) {
        out += '\t';
        appendText(out, f);
    }
    out += '\n';
}

// Every row, and after an expandable row the field rows that expanding it
// lists. Millions of rows go out in large pieces.
bool printRows(std::FILE* to, const vm::MessageList& list, const vm::SegmentList& segments,
               std::int64_t dataSize, bool hex) {
    std::string buf;
    auto flushIf = [&](std::size_t at) {
        if (buf.size() < at)
            return true;
        const bool ok = std::fwrite(buf.data(), 1, buf.size(), to) == buf.size();
        buf.clear();
        return ok;
    };
    for (std::size_t i = 0; i < list.size(); ++i) {
        const vm::MessageRowTexts t = list.texts(i);
        appendRow(buf, t);
        if (t.expandable && t.first >= 0 && static_cast<std::size_t>(t.first) < segments.size()) {
            vm::MessageList fields;
            vm::checkTypeEntries(&segments[static_cast<std::size_t>(t.first)], dataSize, hex,
                                 &fields);
            for (std::size_t k = 0; k < fields.size(); ++k)
                appendRow(buf, fields.texts(k));
        }
        if (!flushIf(std::size_t{1} << 20))
            return false;
    }
    return flushIf(0) && std::fflush(to) == 0;
}

} // namespace

int cmdCheck(const Args& args) {
    StructureArgs sa;
    if (auto e = parseArgs(args, sa))
        return fail(*e);
    if (sa.out || sa.typeOut)
        return fail("check takes no -o");
    Loaded l;
    if (auto code = load(sa.data, sa.type, l))
        return *code;
    const bool hex = l.content.settings.hexPositions();
    vm::MessageList list;
    vm::checkSegments(l.content.segments, l.dataSize, hex, &list);
    if (!printRows(stdout, list, l.content.segments, l.dataSize, hex))
        return fail("Cannot write the findings to standard output");
    if (list.hasErrors)
        return 2;
    return list.empty() ? 0 : 1;
}

int cmdExportText(const Args& args) {
    StructureArgs sa;
    if (auto e = parseArgs(args, sa))
        return fail(*e);
    if (sa.typeOut)
        return fail("export-text takes no --type-out");
    Loaded l;
    if (auto code = load(sa.data, sa.type, l))
        return *code;
    const std::string out = sa.out.value_or(std::string(vm::OutputFile::kStandardOutput));
    if (auto code = refuseOverwrite(sa.data, sa.type, out))
        return *code;
    // A FIFO nobody reads yet is waited for, as a shell's redirection would.
    const vm::TextOutputResult r =
        vm::writeTextOutput(vm::allSegments(l.content.segments), l.data, l.content.settings, out,
                            vm::defaultLocale(), {}, true);
    if (r.refused)
        return fail(vm::cp1252ToUtf8(r.error));
    if (!r.ok)
        return fail("Cannot write " + outputName(out) + ": " + r.error);
    return 0;
}

int cmdCutBlank(const Args& args) {
    StructureArgs sa;
    if (auto e = parseArgs(args, sa))
        return fail(*e);
    if (!sa.out)
        return fail("cut-blank needs -o OUTFILE");
    const std::string& out = *sa.out;
    const bool toStdout = isStandardOutput(out);
    if (toStdout && !sa.typeOut)
        return fail("cut-blank -o - needs --type-out TYPEFILE for the structure");
    const std::string typeOut = sa.typeOut.value_or(out + ".type");
    // The structure goes beside the data, and both replace their files
    // together: an output that is no regular file is refused.
    if (!toStdout) {
        if (const std::string why = vm::fileTypeProblem(out); !why.empty())
            return fail("Cannot write " + out + ": " + why);
    }
    if (const std::string why = vm::fileTypeProblem(typeOut); !why.empty())
        return fail("Cannot write " + typeOut + ": " + why);
    Loaded l;
    if (auto code = load(sa.data, sa.type, l))
        return *code;
    if (auto code = refuseOverwrite(sa.data, sa.type, out))
        return *code;
    if (auto code = refuseOverwrite(sa.data, sa.type, typeOut))
        return *code;
    const bool hex = l.content.settings.hexPositions();
    const vm::MessageList findings = vm::cutBlankFindings(l.content.segments, l.dataSize, hex);
    if (findings.hasErrors) {
        std::cerr << "Has any error in structure setting, please fix the error then try again.\n";
        std::cerr.flush();
        printRows(stderr, findings, l.content.segments, l.dataSize, hex);
        return 2;
    }

    // The data file stands in for the working file (cut blank only reads
    // it); the compacted data is made as a working file of our own.
    vm::WorkingFile wf;
    wf.tempDir = vm::systemTempFolder();
    wf.stream = std::move(l.data);
    wf.name = sa.data;
    const vm::CutBlankResult r = vm::cutBlank(wf, l.content.segments, l.content.settings);
    if (r.refused)
        return fail("Has any error in structure setting, please fix the error then try again.", 2);
    if (!r.file.ok)
        return fail("Cut blank failed: " + r.file.error);
    struct Made { // the compacted file goes when the command ends, whatever happens
        vm::WorkingFile& wf;
        ~Made() { vm::discardWorkingFile(wf); }
    } made{wf};

    vm::ReplaceFile type;
    if (!type.begin(typeOut) ||
        !type.append(vm::typeFileImage(l.content.segments, l.content.settings, l.content.dataHint)))
        return fail("Cannot write " + typeOut + ": " + type.error());
    if (toStdout) {
        vm::OutputFile data;
        if (!data.begin(out) || !data.copyFrom(wf.stream) || !data.commit())
            return fail("Cannot write standard output: " + data.error());
        if (!type.commit())
            return fail("Cannot write " + typeOut + ": " + type.error());
        return 0;
    }
    vm::ReplaceFile data;
    if (!data.begin(out) || !data.copyFrom(wf.stream))
        return fail("Cannot write " + out + ": " + data.error());
    std::string error;
    if (!vm::commitBoth(data, type, &error))
        return fail("Cannot write " + error);
    return 0;
}

} // namespace vmcli
