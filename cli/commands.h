#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

// Each command takes its arguments (after the command word), prints its result
// on stdout and its message on stderr, and returns the process exit code.
namespace vmcli {

using Args = std::vector<std::string>;

int cmdDecode(const Args& args);
int cmdEncode(const Args& args);
int cmdConvert(const Args& args);
int cmdPrintType(const Args& args);
int cmdWriteType(const Args& args);

// Structure checks, text output and cut blank (structurecommands.cpp).
int cmdCheck(const Args& args);
int cmdExportText(const Args& args);
int cmdCutBlank(const Args& args);

// Field actions of edit mode (fieldcommands.cpp).
int cmdAddField(const Args& args);
int cmdDeleteFields(const Args& args);
int cmdChangeKind(const Args& args);

// Which codes parseKind takes besides the names: any byte (decode shows what
// an unknown code gives; callers that need a real kind check it), or only
// the codes of the 16 kinds.
enum class KindCodes { AnyByte, Known };
// A kind name or its code.
std::optional<int> parseKind(const std::string& text, KindCodes codes = KindCodes::AnyByte);
// Record insertion and deletion (recordcommands.cpp).
int cmdAddRecords(const Args& args);
int cmdDeleteRecords(const Args& args);
// The data hint readings, split, file information and locate (toolcommands2.cpp).
int cmdInspect(const Args& args);
int cmdSplit(const Args& args);
int cmdInfo(const Args& args);
int cmdLocate(const Args& args);
// find and compare (toolcommands.cpp).
int cmdFind(const Args& args);
int cmdCompare(const Args& args);
// A proposed structure from the bytes alone (describecommand.cpp).
int cmdDescribe(const Args& args);

// C headers in and out, Kaitai Struct out (bridgecommands.cpp).
int cmdImportStruct(const Args& args);
int cmdExportC(const Args& args);
int cmdExportKsy(const Args& args);

// A segment's records as a table and back (tablecommands.cpp).
int cmdExportTable(const Args& args);
int cmdImportTable(const Args& args);

// Prints message + newline on stderr (text is UTF-8) and returns code.
int fail(const std::string& message, int code = 1);

// Every command that reads or writes a data file or a type file first
// finishes a pair commit a killed writer left there, saying so on stderr.
void settlePendingCommit(const std::string& file);

// One row of the command table in main.cpp, from which dispatch, --help,
// COMMAND --help, the manual page and the shell completion are all made.
struct Command {
    const char* name;
    // The arguments as the usage line shows them; a command with several
    // forms has one a line. Upper-case words are what the user fills in:
    // DATAFILE, TYPEFILE and the like are files, SEGMENT a segment of the
    // data file's structure, KIND a kind; "--" words are options.
    const char* synopsis;
    // What it does, as one paragraph; the printers wrap it.
    const char* summary;
    int (*run)(const Args& args);
};

// What the command list says (manual.cpp).
void printHelp(std::ostream& out, std::span<const Command> commands);
void printCommandHelp(std::ostream& out, const Command& command);
// The manual page vellomarque-cli.1, in man(7) macros.
void printManPage(std::ostream& out, std::span<const Command> commands);
// A bash completion script: command names, files, kinds, options, and the
// segment names of the data file already on the line (through
// --complete-segments).
void printBashCompletion(std::ostream& out, std::span<const Command> commands);
// --complete-segments DATAFILE [TYPEFILE]: the segment names of the data
// file's structure, one a line; nothing (and exit 0) when there is none.
int cmdCompleteSegments(const Args& args);

} // namespace vmcli
