// check, export-text and cut-blank: the structure of a data file at work.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#include "atomicfile.h"
#include "checks.h"
#include "commands.h"
#include "cp1252.h"
#include "cutblank.h"
#include "filelock.h"
#include "filestream.h"
#include "model.h"
#include "inputfiles.h"
#include "outputfile.h"
#include "structureload.h"
#include "textoutput.h"
#include "typefile.h"
#include "workingfile.h"

namespace vmcli {

// DATAFILE [-o OUTFILE] [--type TYPEFILE] [--type-out TYPEFILE]; the error
// text when they do not parse.
std::optional<std::string> parseStructureArgs(const Args& args, StructureArgs& sa) {
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

namespace {

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

// Prints every finding the moment the checks make it, and after a segment's
// summary row the rows of its fields: a structure with billions of findings
// prints them all in the memory of its names.
class RowPrinter : public vm::FindingSink {
public:
    RowPrinter(std::FILE* to, const vm::SegmentList& segments, std::int64_t dataSize, bool hex)
        : m_to(to), m_segments(segments), m_dataSize(dataSize), m_hex(hex) {}

    std::uint32_t text(std::string_view s) override { return m_texts.number(s); }
    void add(const Compact& c) override {
        ++m_rows;
        if (c.flags & (vm::kIsOver | vm::kIsOverlay))
            m_errors = true;
        appendRow(m_buf, vm::compactTexts(c, m_texts[c.firstName], m_texts[c.secondName],
                                          m_texts[c.message]));
        if (m_buf.size() >= (std::size_t{1} << 20))
            flush();
        if (c.expandable && c.first >= 0 && static_cast<std::size_t>(c.first) < m_segments.size())
            vm::checkTypeEntries(&m_segments[static_cast<std::size_t>(c.first)], m_dataSize, m_hex,
                                 this);
    }
    // Everything out; false when the output failed.
    bool finish() {
        flush();
        return m_ok && std::fflush(m_to) == 0;
    }
    bool hasErrors() const { return m_errors; }
    bool empty() const { return m_rows == 0; }

private:
    void flush() {
        if (m_ok && !m_buf.empty())
            m_ok = std::fwrite(m_buf.data(), 1, m_buf.size(), m_to) == m_buf.size();
        m_buf.clear();
    }

    std::FILE* m_to;
    const vm::SegmentList& m_segments;
    std::int64_t m_dataSize;
    bool m_hex;
    vm::TextTable m_texts;
    std::string m_buf;
    std::uint64_t m_rows = 0;
    bool m_errors = false;
    bool m_ok = true;
};

} // namespace

int cmdCheck(const Args& args) {
    StructureArgs sa;
    if (auto e = parseStructureArgs(args, sa))
        return fail(*e);
    if (sa.out || sa.typeOut)
        return fail("check takes no -o");
    Loaded l;
    if (auto code = load(sa.data, sa.type, l))
        return *code;
    RowPrinter rows(stdout, l.content.segments, l.dataSize, l.content.settings.hexPositions());
    vm::checkSegments(l.content.segments, l.dataSize, l.content.settings.hexPositions(), &rows);
    if (!rows.finish())
        return fail("Cannot write the findings to standard output");
    if (rows.hasErrors())
        return 2;
    return rows.empty() ? 0 : 1;
}

int cmdExportText(const Args& args) {
    StructureArgs sa;
    if (auto e = parseStructureArgs(args, sa))
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
    if (auto e = parseStructureArgs(args, sa))
        return fail(*e);
    if (!sa.out)
        return fail("cut-blank needs -o OUTFILE");
    const std::string& out = *sa.out;
    // Standard output, a FIFO or a device is written in place; the structure
    // cannot go "beside" it.
    if (vm::writesInPlace(out) && !sa.typeOut)
        return fail("cut-blank -o " + out + " needs --type-out TYPEFILE for the structure");
    const std::string typeOut = sa.typeOut.value_or(out + ".type");
    for (const std::string* o : {&out, &typeOut})
        if (!vm::writesInPlace(*o))
            if (const std::string why = vm::fileTypeProblem(*o); !why.empty())
                return fail("Cannot write " + *o + ": " + why);
    if (vm::sameOutput(out, typeOut))
        return fail("The output " + out + " and the type output " + typeOut +
                    " are one file: the data and its structure need a file each");
    Loaded l;
    if (auto code = load(sa.data, sa.type, l))
        return *code;
    if (auto code = refuseOverwrite(sa.data, sa.type, out))
        return *code;
    if (auto code = refuseOverwrite(sa.data, sa.type, typeOut))
        return *code;
    if (vm::hasStructureErrors(l.content.segments, l.dataSize)) {
        std::cerr << "Has any error in structure setting, please fix the error then try again.\n";
        std::cerr.flush();
        RowPrinter rows(stderr, l.content.segments, l.dataSize, l.content.settings.hexPositions());
        vm::checkSegments(l.content.segments, l.dataSize, l.content.settings.hexPositions(), &rows);
        rows.finish();
        return 2;
    }
    // The output pair is replaced by one writer at a time.
    settlePendingCommit(out);
    vm::FileLock outLock;
    if (!vm::writesInPlace(out) && !outLock.acquire(out))
        return fail(outLock.busy() ? outLock.error()
                                   : "Cannot write " + out + ": " + outLock.error());

    // The data file stands in for the working file (cut blank only reads
    // it). The compacted data goes straight into the file that replaces
    // OUTFILE; only an output written in place gets it through a working
    // file of our own.
    vm::WorkingFile wf;
    wf.tempDir = vm::systemTempFolder();
    wf.stream = std::move(l.data);
    wf.name = sa.data;
    vm::OutputFile data;
    if (!vm::writesInPlace(out))
        wf.rewriteTarget = [&](vm::FileStream& stream, std::string& name, std::string& error) {
            if (!data.begin(out) || !data.replacement()) {
                error = "Cannot write " + out + ": " + data.error();
                return false;
            }
            stream = std::move(data.replacement()->stream());
            name = out;
            return true;
        };
    const vm::CutBlankResult r = vm::cutBlank(wf, l.content.segments, l.content.settings);
    // The input is no working file: it must never be removed as one.
    wf.superseded.clear();
    if (r.refused)
        return fail("Has any error in structure setting, please fix the error then try again.", 2);
    if (!r.file.ok)
        return fail("Cut blank failed: " + r.file.error);
    vm::fitToFilesEnd(l.content.segments, wf.stream.size());
    struct Made { // the compacted file goes when the command ends, whatever happens
        vm::WorkingFile& wf;
        ~Made() { vm::discardWorkingFile(wf); }
    } made{wf};

    // A FIFO nobody reads yet is waited for, as a shell's redirection would.
    vm::OutputFile type;
    if (!type.begin(typeOut, true) ||
        !type.write(vm::typeFileImage(l.content.segments, l.content.settings, l.content.dataHint)))
        return fail("Cannot write " + outputName(typeOut) + ": " + type.error());
    if (data.replacement())
        data.replacement()->stream() = std::move(wf.stream);
    else if (!data.begin(out, true) || !data.copyFrom(wf.stream))
        return fail("Cannot write " + outputName(out) + ": " + data.error());
    if (data.replacement() && type.replacement()) {
        std::string error;
        if (!vm::commitBoth(*data.replacement(), *type.replacement(), &error, [&] {
                outLock.beforeReplace();
                return std::string();
            }))
            return fail("Cannot write " + error);
        return 0;
    }
    // One of them is written in place: the other simply follows it.
    outLock.beforeReplace();
    if (!data.commit())
        return fail("Cannot write " + outputName(out) + ": " + data.error());
    if (!type.commit())
        return fail("Cannot write " + outputName(typeOut) + ": " + type.error());
    return 0;
}

} // namespace vmcli
