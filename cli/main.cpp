// vellomarque-cli: the engine in batch use. Text in arguments and output is
// UTF-8; single-byte text of data and type files goes through Windows-1252.
#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

#include "platformfile.h"
#endif

#include "commands.h"

namespace {

// Every command of the tool, in the order --help and the manual list them.
// Adding a command is adding its row: dispatch, both helps, the manual page
// and the completion follow.
const vmcli::Command kCommands[] = {
    {"decode", "KIND LENGTH HEX", "decode bytes (hex pairs) as a value of KIND", vmcli::cmdDecode},
    {"encode", "KIND LENGTH TEXT", "encode TEXT as KIND; prints the bytes in hex",
     vmcli::cmdEncode},
    {"convert", "FROMKIND FROMLENGTH TOKIND TOLENGTH HEX",
     "convert a value between kinds; prints the bytes", vmcli::cmdConvert},
    {"print-type", "TYPEFILE [--data-size N]", "print a type file as JSON", vmcli::cmdPrintType},
    {"write-type", "JSONFILE TYPEFILE", "write a type file from JSON", vmcli::cmdWriteType},
    {"check", "DATAFILE [--type TYPEFILE]",
     "run the structure checks; exit 0 clean, 1 warnings only, 2 errors", vmcli::cmdCheck},
    {"export-text", "DATAFILE [-o OUTFILE] [--type TYPEFILE]",
     "text output of every segment, to standard output without -o", vmcli::cmdExportText},
    {"cut-blank", "DATAFILE -o OUTFILE [--type TYPEFILE] [--type-out TYPEFILE]",
     "write the bytes the structure describes to OUTFILE and its structure to OUTFILE.type (or "
     "the --type-out file)",
     vmcli::cmdCutBlank},
    {"add-field",
     "DATAFILE SEGMENT KIND LENGTH [--at INDEX] [--memo TEXT] [--value TEXT | --from INDEX] "
     "[--type TYPEFILE]",
     "add a field to every record: at the end, or before field INDEX; filled with TEXT (or the "
     "kind's zero) or converted from field --from",
     vmcli::cmdAddField},
    {"delete-fields", "DATAFILE SEGMENT INDEX [INDEX...] [--type TYPEFILE]",
     "remove fields from every record", vmcli::cmdDeleteFields},
    {"change-kind", "DATAFILE SEGMENT INDEX KIND LENGTH [--type TYPEFILE]",
     "convert a field in every record; values that cannot be converted become zero bytes",
     vmcli::cmdChangeKind},
    {"add-records", "DATAFILE SEGMENT POSITION COUNT [--append] [--fill-near] [--type TYPEFILE]",
     "insert COUNT records before record POSITION (counted from 0): zero bytes, or copies of the "
     "neighbouring record with --fill-near",
     vmcli::cmdAddRecords},
    {"delete-records", "DATAFILE SEGMENT FIRST LAST [--type TYPEFILE]",
     "delete records FIRST to LAST (inclusive)", vmcli::cmdDeleteRecords},
    {"inspect",
     "--hex HEX [--kinds LIST]\n--value KIND TEXT [--kinds LIST]\nDATAFILE OFFSET [--kinds LIST]",
     "the bytes (typed, encoded from TEXT, or the ten at OFFSET) read as each kind of LIST (names "
     "or codes, comma-separated; all 16 without it): kind TAB reading",
     vmcli::cmdInspect},
    {"split", "SOURCE TARGET --piece BEGIN:END [--piece BEGIN:END ...] [--append]",
     "copy the pieces [BEGIN, END) of SOURCE in order into TARGET (replaced, or appended to); "
     "prints the bytes written (unless TARGET is standard output)",
     vmcli::cmdSplit},
    {"info", "DATAFILE [TYPEFILE]",
     "names, sizes, times and attributes: label TAB data file TAB type file (DATAFILE.type when "
     "there is one and none is given)",
     vmcli::cmdInfo},
    {"locate", "DATAFILE OFFSET [--in SEGMENT] [--type TYPEFILE]",
     "where OFFSET lies, as the goto window finds it: segment TAB record TAB index, the index "
     "being the first record starting at or after OFFSET (empty inside the last record); with "
     "--in, OFFSET counts from SEGMENT's start and names a place in it only; exit 1 with the "
     "status line's text when no segment holds it",
     vmcli::cmdLocate},
    {"find",
     "DATAFILE --cond KIND=VALUE [--cond KIND=VALUE ...] [--range R]\nDATAFILE --cond text=VALUE "
     "[--ignore-case] [--utf16] ...",
     "places where every value lies within R bytes (default 100) of the others; one line a "
     "condition: hit, kind, value, offset; an empty line after each hit of several conditions. A "
     "text condition finds VALUE anywhere, of any length, in Windows-1252 (UTF-16LE with --utf16), "
     "in any case with --ignore-case; the flags apply to the --cond before them",
     vmcli::cmdFind},
    {"compare", "DATAFILE OTHERFILE [--max M]",
     "differing bytes: index, byte, other file's byte, offset; at most M-1 lines (default 500), "
     "then \"differences\" and the count; exit 0 same, 1 different, 2 trouble",
     vmcli::cmdCompare},
    {"export-table",
     "DATAFILE SEGMENT [--format csv|tsv|jsonl] [--exact] [--records FIRST:LAST] [-o OUT] [--type "
     "TYPEFILE]",
     "the segment's records as a table: index, position, one column per field (format from OUT's "
     "extension, else csv); --exact writes every value so that it reads back to its very bytes "
     "(hex 0x... where no text does)",
     vmcli::cmdExportTable},
    {"import-table",
     "DATAFILE SEGMENT TABLE [--format csv|tsv|jsonl] [--dry-run|--strict] [--resize] [--type "
     "TYPEFILE]",
     "write a table's values into the records its index column names; values that do not fit are "
     "listed: line, record, column, cut or not written, value, why, what the field holds; "
     "--strict refuses them, --dry-run only lists, --resize appends records for rows past the end",
     vmcli::cmdImportTable},
    {"describe", "DATAFILE [--begin B] [--length L] [--top N] [--record-length R]",
     "propose a record length, header and fields from the bytes of [B, B+L) alone; prints the "
     "structure as print-type does (write-type makes a type file of it); --top N lists the N best "
     "record lengths on stderr: rank TAB record length TAB evidence TAB first record TAB records; "
     "--record-length describes R",
     vmcli::cmdDescribe},
    {"import-struct",
     "HEADER TYPENAME [--target TRIPLE] [-I DIR]... [-D NAME[=VALUE]]... [--into DATAFILE SEGMENT "
     "[--type TYPEFILE]]",
     "the fields of a C struct as the compiler lays it out for TRIPLE (default x86_64-linux-gnu; "
     "also i686-windows-msvc, x86_64-windows-msvc): printed as print-type's JSON, or with --into "
     "made SEGMENT's fields and record length",
     vmcli::cmdImportStruct},
    {"export-c", "DATAFILE [--type TYPEFILE]",
     "a C header: one packed struct per segment, its offsets and size checked by static_assert",
     vmcli::cmdExportC},
    {"export-ksy", "DATAFILE [--type TYPEFILE]", "a Kaitai Struct description of the structure",
     vmcli::cmdExportKsy},
};

// Options that make the tool's own documents; not listed, since nobody types
// them: the build writes the manual page and the completion script with them.
int runHidden(const std::string& word, const vmcli::Args& args) {
    if (word == "--man")
        vmcli::printManPage(std::cout, kCommands);
    else if (word == "--bash-completion")
        vmcli::printBashCompletion(std::cout, kCommands);
    else
        return vmcli::cmdCompleteSegments(args);
    return 0;
}

bool isHelp(const std::string& word) {
    return word == "--help" || word == "-h" || word == "help";
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The C runtime passes the arguments in the ANSI code page; the tool takes
    // UTF-8, so they are taken again from the wide command line.
    std::vector<std::string> utf8;
    std::vector<char*> utf8Argv;
    int wideCount = 0;
    if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &wideCount)) {
        for (int i = 0; i < wideCount; ++i)
            utf8.push_back(vm::win::narrowText(wide[i]));
        ::LocalFree(wide);
        for (std::string& a : utf8)
            utf8Argv.push_back(a.data());
        utf8Argv.push_back(nullptr);
        argc = wideCount;
        argv = utf8Argv.data();
    }
#endif
    if (argc < 2) {
        vmcli::printHelp(std::cout, kCommands);
        return 1;
    }
    const std::string word = argv[1];
    const vmcli::Args args(argv + 2, argv + argc);
    if (isHelp(word)) {
        vmcli::printHelp(std::cout, kCommands);
        return 0;
    }
    if (word == "--version") {
        std::cout << "vellomarque-cli " VM_VERSION "\n";
        return 0;
    }
    if (word == "--man" || word == "--bash-completion" || word == "--complete-segments")
        return runHidden(word, args);
    const auto* command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                       [&](const vmcli::Command& c) { return word == c.name; });
    if (command == std::end(kCommands))
        return vmcli::fail("Unknown command: " + word + " (see --help)");
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        vmcli::printCommandHelp(std::cout, *command);
        return 0;
    }
    return command->run(args);
}
