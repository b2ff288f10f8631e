// check, export-text and cut-blank: the structure of a data file at work.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#ifdef _WIN32
#include <windows.h>

#include "platformfile.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "checks.h"
#include "commands.h"
#include "cp1252.h"
#include "cutblank.h"
#include "filestream.h"
#include "textoutput.h"
#include "typefile.h"
#include "workingfile.h"

namespace vmcli {

namespace {

struct StructureArgs {
    std::string data;
    std::string type;
    std::optional<std::string> out;
};

// DATAFILE [-o OUTFILE] [--type TYPEFILE]; the error text when they do not parse.
std::optional<std::string> parseArgs(const Args& args, StructureArgs& sa) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--type" || a == "-o") {
            if (i + 1 >= args.size())
                return a + " needs a file name";
            if (a == "-o")
                sa.out = args[i + 1];
            else
                sa.type = args[i + 1];
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

// Whether two paths name the same existing file.
bool sameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
    return vm::win::sameFile(a, b); // the paths are UTF-8, not the ANSI code page
#else
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
#endif
}

// The input files are only ever read: an output that names one is refused.
std::optional<int> refuseOverwrite(const StructureArgs& sa, const std::string& out) {
    if (sameFile(out, sa.data) || sameFile(out, sa.type))
        return fail("The output " + out + " would overwrite an input file");
    return std::nullopt;
}

struct Loaded {
    std::int64_t dataSize = 0;
    vm::TypeFileContent content;
};

// The data file's size and its structure; exit code and message on failure.
std::optional<int> load(const StructureArgs& sa, Loaded& l) {
    l.dataSize = vm::fileSize(sa.data);
    if (l.dataSize < 0 || !vm::fileExists(sa.data))
        return fail("Cannot open data file " + sa.data);
    if (!vm::fileExists(sa.type))
        return fail("Type file not found: " + sa.type);
    vm::TypeReadResult r = vm::readTypeFile(sa.type, l.dataSize);
    if (!r.ok)
        return fail(vm::cp1252ToUtf8(r.message));
    l.content = std::move(r.content);
    return std::nullopt;
}

std::string rowLine(const vm::MessageRow& row) {
    std::string s = row.finding.isSegment ? "segment" : "field";
    for (const std::string* f :
         {&row.caption, &row.firstName, &row.secondName, &row.collide, &row.message}) {
        s += '\t';
        s += vm::cp1252ToUtf8(*f);
    }
    return s;
}

// Every row, and after an expandable row the field rows that expanding it lists.
void printRows(std::ostream& os, const vm::MessageList& list, const vm::SegmentList& segments,
               std::int64_t dataSize, bool hex) {
    for (const vm::MessageRow& row : list.rows) {
        os << rowLine(row) << '\n';
        if (!row.finding.expandable || row.finding.first < 0 ||
            static_cast<std::size_t>(row.finding.first) >= segments.size())
            continue;
        vm::MessageList fields;
        vm::checkTypeEntries(&segments[static_cast<std::size_t>(row.finding.first)], dataSize, hex,
                             &fields);
        for (const vm::MessageRow& f : fields.rows)
            os << rowLine(f) << '\n';
    }
}

} // namespace

int cmdCheck(const Args& args) {
    StructureArgs sa;
    if (auto e = parseArgs(args, sa))
        return fail(*e);
    if (sa.out)
        return fail("check takes no -o");
    Loaded l;
    if (auto code = load(sa, l))
        return *code;
    const bool hex = l.content.settings.hexPositions();
    vm::MessageList list;
    vm::checkSegments(l.content.segments, l.dataSize, hex, &list);
    printRows(std::cout, list, l.content.segments, l.dataSize, hex);
    std::cout.flush();
    if (list.hasErrors)
        return 2;
    return list.rows.empty() ? 0 : 1;
}

int cmdExportText(const Args& args) {
    StructureArgs sa;
    if (auto e = parseArgs(args, sa))
        return fail(*e);
    Loaded l;
    if (auto code = load(sa, l))
        return *code;
    vm::FileStream data;
    if (!data.open(sa.data, vm::FileStream::Mode::Read))
        return fail("Cannot open data file " + sa.data + ": " + data.lastError());
    const auto segments = vm::allSegments(l.content.segments);
    if (sa.out) {
        if (auto code = refuseOverwrite(sa, *sa.out))
            return *code;
        const vm::TextOutputResult r =
            vm::writeTextOutput(segments, data, l.content.settings, *sa.out);
        if (!r.ok)
            return fail("Cannot write " + *sa.out + ": " + r.error);
        return 0;
    }
    // The bytes go out exactly as they are: no conversion of single-byte text.
    const vm::TextSink toStdout = [](std::string_view text) {
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    };
    if (!vm::writeTextOutput(segments, data, l.content.settings, toStdout) ||
        std::fflush(stdout) != 0)
        return fail("Cannot write the text output");
    return 0;
}

int cmdCutBlank(const Args& args) {
    StructureArgs sa;
    if (auto e = parseArgs(args, sa))
        return fail(*e);
    if (!sa.out)
        return fail("cut-blank needs -o OUTFILE");
    Loaded l;
    if (auto code = load(sa, l))
        return *code;
    if (auto code = refuseOverwrite(sa, *sa.out))
        return *code;
    if (auto code = refuseOverwrite(sa, *sa.out + ".type"))
        return *code;
    const bool hex = l.content.settings.hexPositions();
    const vm::MessageList findings = vm::cutBlankFindings(l.content.segments, l.dataSize, hex);
    if (findings.hasErrors) {
        std::cerr << "Has any error in structure setting, please fix the error then try again.\n";
        printRows(std::cerr, findings, l.content.segments, l.dataSize, hex);
        return 2;
    }

    // The data file stands in for the working file: cut blank only reads it.
    // The new file is made in a private folder beside the output, so that no
    // file of anyone else's is taken for a leftover, and a rename finishes it.
#ifdef _WIN32
    const std::filesystem::path outPath(std::u8string(sa.out->begin(), sa.out->end()));
    const std::u8string parent = outPath.parent_path().u8string();
    std::string folder = (outPath.has_parent_path() ? std::string(parent.begin(), parent.end())
                                                    : std::string(".")) +
                         "/.vmcut-XXXXXX";
#else
    const std::filesystem::path outPath(*sa.out);
    std::string folder =
        (outPath.has_parent_path() ? outPath.parent_path().string() : std::string(".")) +
        "/.vmcut-XXXXXX";
#endif
#ifdef _WIN32
    folder.resize(folder.size() - 6);
    const std::string base = folder + std::to_string(::GetCurrentProcessId()) + "-";
    for (unsigned n = 0;; ++n) {
        folder = base + std::to_string(n);
        if (::CreateDirectoryW(vm::win::widePath(folder).c_str(), nullptr))
            break;
        if (::GetLastError() != ERROR_ALREADY_EXISTS || n >= 1000)
            return fail("Cannot write " + *sa.out + ": " + vm::win::lastErrorText());
    }
#else
    if (!::mkdtemp(folder.data()))
        return fail("Cannot write " + *sa.out + ": " + vm::systemErrorText(errno));
#endif
    vm::WorkingFile wf;
    wf.tempDir = folder + "/";
    std::string made;
    std::string error;
    int code = 0;
    if (!wf.stream.open(sa.data, vm::FileStream::Mode::Read)) {
        error = "Cannot open data file " + sa.data + ": " + wf.stream.lastError();
        code = 1;
    } else {
        wf.name = sa.data;
        const vm::CutBlankResult r = vm::cutBlank(wf, l.content.segments, l.content.settings);
        if (r.refused) {
            error = "Has any error in structure setting, please fix the error then try again.";
            code = 2;
        } else if (!r.file.ok) {
            error = "Cut blank failed: " + r.file.error;
            code = 1;
        } else {
            made = wf.name;
            wf.stream.close();
#ifdef _WIN32
            if (!::MoveFileExW(vm::win::widePath(made).c_str(), vm::win::widePath(*sa.out).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
                error = "Cannot write " + *sa.out + ": " + vm::win::lastErrorText();
                code = 1;
                vm::win::removeFile(made);
            }
        }
    }
#else
            if (::rename(made.c_str(), sa.out->c_str()) != 0) {
                error = "Cannot write " + *sa.out + ": " + vm::systemErrorText(errno);
                code = 1;
                ::unlink(made.c_str());
            } else {
                // It was made as a private working file; the output gets the
                // mode of any new file.
                const mode_t mask = ::umask(0);
                ::umask(mask);
                ::chmod(sa.out->c_str(), 0666 & ~mask);
            }
        }
    }
#endif
    wf.stream.close();
#ifdef _WIN32
    ::RemoveDirectoryW(vm::win::widePath(folder).c_str());
#else
    ::rmdir(folder.c_str());
#endif
    if (code != 0)
        return fail(error, code);
    const vm::TypeWriteResult t = vm::writeTypeFile(l.content.segments, l.content.settings,
                                                    l.content.dataHint, *sa.out + ".type");
    if (!t.ok)
        return fail(vm::cp1252ToUtf8(t.message) + ": " + t.systemError);
    return 0;
}

} // namespace vmcli
