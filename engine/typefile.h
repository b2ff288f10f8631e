#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kinds.h"
#include "segment.h"

namespace vm {

inline constexpr std::int32_t kTypeFileMagic = 35467;
inline constexpr std::int32_t kOwnVersion = 110;
inline constexpr std::int32_t kLowestCurrentLayoutVersion = 110;
inline constexpr const char* kMakerAddress = "http://www.vellomarque.net/";

// Everything a type file holds.
struct TypeFileContent {
    ViewSettings settings;
    DataHintFlags dataHint{};
    SegmentList segments;
    bool legacy = false; // read from the layout of writer versions below 110
};

struct TypeReadResult {
    bool ok = false;
    // The user's message when !ok.
    std::string message;
    // The file was opened, so it belongs in the recent type files list even if
    // it was then refused.
    bool opened = false;
    TypeFileContent content;
};

// Reads a type file. dataFileSize is the open data file's size (0 when none),
// which the legacy layout needs for its one segment. Never throws; a hostile
// file never makes it allocate more than the file holds.
TypeReadResult readTypeFile(const std::string& path, std::int64_t dataFileSize);

struct TypeWriteResult {
    bool ok = false;
    std::string message; // path + " Write Error" and the system's text apart
    std::string systemError;
};

// Writes the structure. The new content goes to a temporary file beside the
// target first; the target is replaced only when that file is complete, so a
// failed write leaves the old type file as it was.
TypeWriteResult writeTypeFile(const SegmentList& segments, const ViewSettings& settings,
                              const DataHintFlags& dataHint, const std::string& path);

// The whole type file image, as writeTypeFile stores it.
std::string typeFileImage(const SegmentList& segments, const ViewSettings& settings,
                          const DataHintFlags& dataHint);

// Pairing of a path with its data file and type file: a path ending in exactly
// ".type" names the type file and its data file is the path without it.
struct DataTypePair {
    std::string dataFile;
    std::string typeFile;
};
DataTypePair pairDataAndType(const std::string& path);

// installDir ends with its separator.
std::string defaultTypeFilePath(const std::string& installDir);

// The main window caption. dataFile is empty when no data file is open.
std::string captionText(const std::string& dataFile, const std::string& typeFileName,
                        const std::string& defaultTypeFile);

// "x.TYPE" becomes "x.TYPE.type": the extension test is exact and case-sensitive.
std::string withTypeExtension(const std::string& path);

} // namespace vm
