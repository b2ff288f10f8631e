// vellomarque-cli: the engine in batch use. Text in arguments and output is
// UTF-8; single-byte text of data and type files goes through Windows-1252.
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

#include "platformfile.h"
#endif

#include "commands.h"

namespace {

void printHelp() {
    std::cout <<
        R"(Usage: vellomarque-cli COMMAND [ARGS]

Commands:
  decode KIND LENGTH HEX          decode bytes (hex pairs) as a value of KIND
  encode KIND LENGTH TEXT         encode TEXT as KIND; prints the bytes in hex
  convert FROMKIND FROMLENGTH TOKIND TOLENGTH HEX
                                  convert a value between kinds; prints the bytes
  print-type TYPEFILE [--data-size N]
                                  print a type file as JSON
  write-type JSONFILE TYPEFILE    write a type file from JSON
  check DATAFILE [--type TYPEFILE]
                                  run the structure checks; exit 0 clean,
                                  1 warnings only, 2 errors
  export-text DATAFILE [-o OUTFILE] [--type TYPEFILE]
                                  text output of every segment, to standard
                                  output without -o
  cut-blank DATAFILE -o OUTFILE [--type TYPEFILE] [--type-out TYPEFILE]
                                  write the bytes the structure describes to
                                  OUTFILE and its structure to OUTFILE.type
                                  (or the --type-out file)
  add-field DATAFILE SEGMENT KIND LENGTH [--at INDEX] [--memo TEXT]
            [--value TEXT | --from INDEX] [--type TYPEFILE]
                                  add a field to every record: at the end, or
                                  before field INDEX; filled with TEXT (or the
                                  kind's zero) or converted from field --from
  delete-fields DATAFILE SEGMENT INDEX [INDEX...] [--type TYPEFILE]
                                  remove fields from every record
  change-kind DATAFILE SEGMENT INDEX KIND LENGTH [--type TYPEFILE]
                                  convert a field in every record; values that
                                  cannot be converted become zero bytes
  add-records DATAFILE SEGMENT POSITION COUNT [--append] [--fill-near]
              [--type TYPEFILE]   insert COUNT records before record POSITION
                                  (counted from 0): zero bytes, or copies of
                                  the neighbouring record with --fill-near
  delete-records DATAFILE SEGMENT FIRST LAST [--type TYPEFILE]
                                  delete records FIRST to LAST (inclusive)
  inspect --hex HEX [--kinds LIST]
  inspect --value KIND TEXT [--kinds LIST]
  inspect DATAFILE OFFSET [--kinds LIST]
                                  the bytes (typed, encoded from TEXT, or the
                                  ten at OFFSET) read as each kind of LIST
                                  (names or codes, comma-separated; all 16
                                  without it): kind TAB reading
  split SOURCE TARGET --piece BEGIN:END [--piece BEGIN:END ...] [--append]
                                  copy the pieces [BEGIN, END) of SOURCE in
                                  order into TARGET (replaced, or appended to);
                                  prints the bytes written
  info DATAFILE [TYPEFILE]        names, sizes, times and attributes: label
                                  TAB data file TAB type file (DATAFILE.type
                                  when there is one and none is given)

  find DATAFILE --cond KIND=VALUE [--cond KIND=VALUE ...] [--range R]
                                  places where every value lies within R bytes
                                  (default 100) of the others; one line a
                                  condition: hit, kind, value, offset; an empty
                                  line after each hit of several conditions
  compare DATAFILE OTHERFILE [--max M]
                                  differing bytes: index, byte, other file's
                                  byte, offset; at most M-1 lines (default 500),
                                  then "differences" and the count; exit 0 same,
                                  1 different, 2 trouble
  export-table DATAFILE SEGMENT [--format csv|tsv|jsonl] [--exact]
               [--records FIRST:LAST] [-o OUT] [--type TYPEFILE]
                                  the segment's records as a table: index,
                                  position, one column per field (format from
                                  OUT's extension, else csv); --exact writes
                                  every value so that it reads back to its very
                                  bytes (hex 0x... where no text does)
  import-table DATAFILE SEGMENT TABLE [--format csv|tsv|jsonl]
               [--dry-run|--strict] [--resize] [--type TYPEFILE]
                                  write a table's values into the records its
                                  index column names; values that do not fit
                                  are listed: line, record, column, cut or not
                                  written, value, why, what the field holds;
                                  --strict refuses them, --dry-run only lists,
                                  --resize appends records for rows past the end

-o - writes to standard output (cut-blank then needs --type-out). A FIFO or a
device such as /dev/null is written in place; a file is replaced only once its
new contents are complete, keeping its permissions, so a failed command leaves
it as it was. Files that are not regular (FIFOs, devices) are refused as inputs.

KIND is a kind name (1Bsigned, 1Bunsigned, 1BHex, 1BChar, 1BBit, 2Bsigned,
2Bunsigned, 4Bsigned, 4Bunsigned, 4BFloat, 8Bsigned, 8BDouble, 8BDateTime,
8BCurrency, string, unKnow) or its code. SEGMENT is a segment's name or #N,
its row in the segment list counted from 1. Fields are counted from 0. The
edits replace DATAFILE and its type file only once both are complete.
)";
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
        printHelp();
        return 1;
    }
    const std::string cmd = argv[1];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        printHelp();
        return 0;
    }
    const vmcli::Args args(argv + 2, argv + argc);
    static const std::map<std::string, int (*)(const vmcli::Args&)> commands = {
        {"decode", vmcli::cmdDecode},         {"encode", vmcli::cmdEncode},
        {"convert", vmcli::cmdConvert},       {"print-type", vmcli::cmdPrintType},
        {"write-type", vmcli::cmdWriteType},  {"check", vmcli::cmdCheck},
        {"export-text", vmcli::cmdExportText}, {"cut-blank", vmcli::cmdCutBlank},
        {"add-field", vmcli::cmdAddField},
        {"delete-fields", vmcli::cmdDeleteFields},
        {"change-kind", vmcli::cmdChangeKind},
        {"add-records", vmcli::cmdAddRecords},
        {"delete-records", vmcli::cmdDeleteRecords},
        {"inspect", vmcli::cmdInspect},       {"split", vmcli::cmdSplit},
        {"info", vmcli::cmdInfo},
        {"find", vmcli::cmdFind},             {"compare", vmcli::cmdCompare},
        {"export-table", vmcli::cmdExportTable},
        {"import-table", vmcli::cmdImportTable},
    };
    const auto it = commands.find(cmd);
    if (it == commands.end())
        return vmcli::fail("Unknown command: " + cmd + " (see --help)");
    return it->second(args);
}
