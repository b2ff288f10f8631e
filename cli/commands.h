#pragma once

#include <optional>
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

// A kind name or a code (0 to 255; callers that need a real kind check it).
std::optional<int> parseKind(const std::string& text);
// Record insertion and deletion (recordcommands.cpp).
int cmdAddRecords(const Args& args);
int cmdDeleteRecords(const Args& args);
// The data hint readings, split and file information (toolcommands2.cpp).
int cmdInspect(const Args& args);
int cmdSplit(const Args& args);
int cmdInfo(const Args& args);
// find and compare (toolcommands.cpp).
int cmdFind(const Args& args);
int cmdCompare(const Args& args);

// A segment's records as a table and back (tablecommands.cpp).
int cmdExportTable(const Args& args);
int cmdImportTable(const Args& args);

// Prints message + newline on stderr (text is UTF-8) and returns code.
int fail(const std::string& message, int code = 1);

} // namespace vmcli
