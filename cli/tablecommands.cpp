// export-table and import-table: a segment's records out to CSV, TSV or JSON
// Lines and back, for spreadsheets and scripts.
#include <cstdio>
#include <optional>
#include <string>

#include "commands.h"
#include "cp1252.h"
#include "editsession.h"
#include "filestream.h"
#include "inputfiles.h"
#include "outputfile.h"
#include "tableexport.h"
#include "tableimport.h"

namespace vmcli {

namespace {

struct TableArgs {
    std::vector<std::string> positional;
    std::string type;
    std::optional<std::string> out;
    std::optional<vm::TableFormat> format;
    std::optional<std::string> records;
    bool exact = false;
    bool dryRun = false;
    bool strict = false;
    bool resize = false;
};

// The options a command takes are named in `takes`; the error text when the
// arguments do not parse.
std::optional<std::string> parseTableArgs(const Args& args, std::string_view takes,
                                          std::size_t positionals, const char* usage,
                                          TableArgs& ta) {
    auto takesOption = [&](std::string_view name) {
        return takes.find(std::string(name) + " ") != std::string_view::npos;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool valued = a == "--type" || a == "-o" || a == "--format" || a == "--records";
        if (valued || a == "--exact" || a == "--dry-run" || a == "--strict" || a == "--resize") {
            if (!takesOption(a))
                return "Unknown option: " + a;
            if (valued && i + 1 >= args.size())
                return a + " needs a value";
            if (a == "--type")
                ta.type = args[++i];
            else if (a == "-o")
                ta.out = args[++i];
            else if (a == "--records")
                ta.records = args[++i];
            else if (a == "--format") {
                ta.format = vm::tableFormatNamed(args[++i]);
                if (!ta.format)
                    return "Unknown format: " + args[i] + " (csv, tsv or jsonl)";
            } else {
                (a == "--exact"     ? ta.exact
                 : a == "--dry-run" ? ta.dryRun
                 : a == "--strict"  ? ta.strict
                                    : ta.resize) = true;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return "Unknown option: " + a;
        } else {
            ta.positional.push_back(a);
        }
    }
    if (ta.positional.size() != positionals)
        return std::string(usage);
    if (ta.type.empty())
        ta.type = ta.positional[0] + ".type";
    return std::nullopt;
}

// FIRST:LAST, either side left out for the first or the last record.
bool parseRecordRange(const std::string& text, vm::TableExportOptions& o) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string first = text.substr(0, colon);
    const std::string last = text.substr(colon + 1);
    const auto f = first.empty() ? std::optional<std::int64_t>(0) : vm::parseInteger(first);
    const auto l = last.empty() ? std::optional<std::int64_t>(-1) : vm::parseInteger(last);
    if (!f || !l || *f < 0 || (!last.empty() && *l < 0))
        return false;
    o.first = *f;
    o.last = *l;
    return true;
}

// Standard output in large pieces.
class Lines {
public:
    ~Lines() { flush(); }
    std::string& text() { return m_text; }
    bool maybeFlush() { return m_text.size() < (std::size_t{1} << 20) || flush(); }
    bool flush() {
        const bool ok = std::fwrite(m_text.data(), 1, m_text.size(), stdout) == m_text.size();
        m_text.clear();
        return ok && std::fflush(stdout) == 0;
    }

private:
    std::string m_text;
};

} // namespace

int cmdExportTable(const Args& args) {
    TableArgs ta;
    if (auto e = parseTableArgs(args, "--type -o --format --exact --records ", 2,
                                "Usage: export-table DATAFILE SEGMENT [--format csv|tsv|jsonl] "
                                "[--exact] [--records FIRST:LAST] [-o OUT] [--type TYPEFILE]",
                                ta))
        return fail(*e);
    vm::TableExportOptions options;
    options.exact = ta.exact;
    if (ta.records && !parseRecordRange(*ta.records, options))
        return fail("--records takes FIRST:LAST (record numbers from 0): " + *ta.records);
    const std::string out = ta.out.value_or(std::string(vm::OutputFile::kStandardOutput));
    options.format =
        ta.format ? *ta.format : vm::tableFormatOfPath(out).value_or(vm::TableFormat::Csv);
    Loaded l;
    if (auto code = load(ta.positional[0], ta.type, l))
        return *code;
    std::string error;
    vm::Segment* seg = findSegmentArg(l.content.segments, ta.positional[1], error);
    if (!seg)
        return fail(error);
    if (auto code = refuseOverwrite(ta.positional[0], ta.type, out))
        return *code;
    // A FIFO nobody reads yet is waited for, as a shell's redirection would.
    const vm::TextOutputResult r =
        vm::writeRecordTable(*seg, l.data, options, out, vm::defaultLocale(), {}, true);
    if (r.refused)
        return fail(vm::cp1252ToUtf8(r.error));
    if (!r.ok)
        return fail("Cannot write " + outputName(out) + ": " + r.error);
    return 0;
}

int cmdImportTable(const Args& args) {
    TableArgs ta;
    if (auto e = parseTableArgs(args, "--type --format --dry-run --strict --resize ", 3,
                                "Usage: import-table DATAFILE SEGMENT TABLE [--format "
                                "csv|tsv|jsonl] [--dry-run|--strict] [--resize] [--type TYPEFILE]",
                                ta))
        return fail(*e);
    if (ta.dryRun && ta.strict)
        return fail("--dry-run and --strict do not go together: a dry run reports every value");
    const std::string& tablePath = ta.positional[2];
    vm::TableImportOptions options;
    options.format =
        ta.format ? *ta.format : vm::tableFormatOfPath(tablePath).value_or(vm::TableFormat::Csv);
    options.dryRun = ta.dryRun;
    options.strict = ta.strict;
    options.resize = ta.resize;
    vm::FileStream table;
    if (!vm::fileExists(tablePath))
        return fail("Cannot open table " + tablePath);
    if (!table.open(tablePath, vm::FileStream::Mode::Read))
        return fail("Cannot open table " + tablePath + ": " + table.lastError());

    EditSession session;
    if (auto code = session.open(ta.positional[0], ta.type))
        return *code;
    std::string error;
    vm::Segment* seg = session.findSegment(ta.positional[1], error);
    if (!seg)
        return fail(error);
    Lines lines;
    bool printed = true;
    const vm::TableImportResult r =
        vm::readRecordTable(session.working(), session.segments(), *seg, table, options,
                            [&](const vm::TableValueReport& report) {
                                vm::appendTableReport(lines.text(), report);
                                printed = lines.maybeFlush() && printed;
                            });
    printed = lines.flush() && printed;
    if (!r.ok)
        return fail(r.line > 0 ? tablePath + ", " + vm::cp1252ToUtf8(r.error)
                               : "Cannot import " + tablePath + ": " + vm::cp1252ToUtf8(r.error));
    if (!printed)
        return fail("Cannot write the report to standard output");
    if (const std::int64_t n = r.cut + r.notWritten; n > 0)
        std::fprintf(stderr, "%lld %s not fit: %lld cut, %lld not written\n",
                     static_cast<long long>(n), n == 1 ? "value did" : "values did",
                     static_cast<long long>(r.cut), static_cast<long long>(r.notWritten));
    if (options.dryRun) {
        std::fprintf(stderr,
                     "Dry run, nothing written: %lld rows, %lld values would change, %lld records "
                     "would be appended\n",
                     static_cast<long long>(r.rows), static_cast<long long>(r.written),
                     static_cast<long long>(r.appended));
        return 0;
    }
    // Every value already what its field holds: the pair stays as it was.
    if (r.written == 0 && r.appended == 0)
        return session.unchanged();
    if (r.appended > 0) {
        // As after the program's record insertion, which needs "Can Edit
        // Structure" and so turns "Can Reset Structure" off.
        session.content().settings.setCanEditStructure(true);
        session.content().settings.setCanResetStructure(false);
    }
    return session.save();
}

} // namespace vmcli
