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
                                  text output of every segment
  cut-blank DATAFILE -o OUTFILE [--type TYPEFILE]
                                  write the bytes the structure describes to
                                  OUTFILE and its structure to OUTFILE.type
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

KIND is a kind name (1Bsigned, 1Bunsigned, 1BHex, 1BChar, 1BBit, 2Bsigned,
2Bunsigned, 4Bsigned, 4Bunsigned, 4BFloat, 8Bsigned, 8BDouble, 8BDateTime,
8BCurrency, string, unKnow) or its code.
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
        {"find", vmcli::cmdFind},             {"compare", vmcli::cmdCompare},
    };
    const auto it = commands.find(cmd);
    if (it == commands.end())
        return vmcli::fail("Unknown command: " + cmd + " (see --help)");
    return it->second(args);
}
