#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "filestream.h"
#include "workingfile.h"

namespace vm {

// One row of the split list: the bytes [begin, end) of the source.
struct SplitPiece {
    std::int32_t begin = 0;
    std::int32_t end = 0;
};

inline constexpr std::string_view kMemoEndPastSource = "end biger than sourse";
inline constexpr std::string_view kMemoEndBeforeBegin = "start min than end";

// The list's memo for a piece: an end before the begin wins over an end past
// the source; empty when neither holds.
std::string_view splitMemo(const SplitPiece& piece, std::int64_t sourceSize);
// Bytes the piece gives the target: its part inside the source, never negative.
std::int64_t splitPieceBytes(const SplitPiece& piece, std::int64_t sourceSize);

struct SplitTargetLayout {
    std::int64_t length = 0; // bytes the pieces give the target
    // Where the selected piece lands in them (both 0 without a selection).
    std::int64_t selectedBegin = 0;
    std::int64_t selectedEnd = 0;
};
SplitTargetLayout splitTargetLayout(std::span<const SplitPiece> pieces, std::int64_t sourceSize,
                                    int selected = -1);

// A request the split refuses before writing anything: a piece that begins
// before the start of the file. The message, or nothing.
std::optional<std::string> checkSplitPieces(std::span<const SplitPiece> pieces);

// True when both names lead to one existing file (links and other spellings
// of the path included).
bool isSameFile(const std::string& a, const std::string& b);
// Reading a file while writing it would copy bytes already overwritten: a
// source that is the target is refused. The message, or nothing.
std::optional<std::string> checkSplitNames(const std::string& source, const std::string& target);

// The split writes the pieces in list order. delta of the result is the number
// of bytes they gave the target; error is a whole message naming the file.

// Into the file named target. Unless appending to an existing file, the new
// contents are written beside it and replace it only once complete, so a
// failure leaves the old target (or none) as it was. Appending writes at the
// file's end; a failure cuts the file back to its old length.
FileResult splitToFile(const FileStream& source, const std::string& target,
                       std::span<const SplitPiece> pieces, bool append,
                       const Progress& progress = {});
// Opens source by name and refuses a source that is the target.
FileResult splitFiles(const std::string& source, const std::string& target,
                      std::span<const SplitPiece> pieces, bool append,
                      const Progress& progress = {});
// Into a document's working copy: a new working file receives the pieces
// (after the old contents when appending) and wf switches to it once it is
// complete. source nullptr reads the working copy itself, as it was before.
FileResult splitIntoWorkingFile(WorkingFile& wf, const FileStream* source,
                                std::span<const SplitPiece> pieces, bool append,
                                const Progress& progress = {});

} // namespace vm
