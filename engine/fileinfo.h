#pragma once

#include <cstdint>
#include <string>

#include "textlocale.h"

namespace vm {

// What the file information window and `vellomarque-cli info` show of a file.
// Times are seconds since 1970-01-01 UTC.
struct FileFacts {
    std::int64_t size = 0;
    std::int64_t created = 0;
    // The file system keeps no creation time: created is the last status change.
    bool createdIsStatusChange = false;
    std::int64_t modified = 0;
    std::int64_t accessed = 0;
    // Windows' attribute bits. Elsewhere: ReadOnly when no write permission bit
    // is set, Hidden for a name with a leading dot; System and Archive stay clear.
    bool readOnly = false;
    bool hidden = false;
    bool system = false;
    bool archive = false;
};

struct FileFactsResult {
    bool ok = false;
    std::string error; // a whole message naming the file
    FileFacts facts;
};

// The facts of the file on disk; fails when it cannot be opened for reading.
FileFactsResult readFileFacts(const std::string& path);

// "yyyy/mm/dd  hh:nn:ss" (two blanks) in local time, "/" and ":" being the
// locale's separators.
std::string formatFileTime(std::int64_t seconds, const Locale& loc = defaultLocale());
// "yyyy/mm/dd " with its trailing blank: the date of the last access.
std::string formatFileDate(std::int64_t seconds, const Locale& loc = defaultLocale());

// The texts of one column of the file information window.
struct FileInfoTexts {
    std::string name;
    std::string size;
    std::string created;
    std::string modified;
    std::string accessed;
};
FileInfoTexts fileInfoTexts(const std::string& path, const FileFacts& facts,
                            const Locale& loc = defaultLocale());

} // namespace vm
