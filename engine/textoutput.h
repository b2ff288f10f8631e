#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "bytesource.h"
#include "segment.h"
#include "textlocale.h"
#include "workingfile.h"

namespace vm {

struct TextOutputResult {
    bool ok = false;
    std::string path;
    std::string error; // the system's text on failure
};

// Receives the text in large pieces; false stops the output (a write error).
using TextSink = std::function<bool(std::string_view)>;

// How record tables are cut into blocks formatted side by side. The text is
// the same whatever the values; zero lets the table and the machine decide.
struct TextOutputBlocks {
    std::int64_t records = 0; // records per block
    unsigned threads = 0;     // blocks formatted at once
};

// Writes the segments, their fields and every decoded value as a fixed-width
// text table (CR LF line ends, single-byte text as it is in the file). A
// segment that runs past the end of the data is cut to it and keeps the cut
// length. settings byte 2 shows the index column, byte 3 picks hexadecimal
// positions. progress hears the share of records written and may stop the
// output (which then fails).
bool writeTextOutput(const std::vector<Segment*>& segments, const ByteSource& data,
                     const ViewSettings& settings, const TextSink& sink,
                     const Locale& loc = defaultLocale(), const Progress& progress = {},
                     const TextOutputBlocks& blocks = {});

// The same into a file, created or truncated. A failed or stopped output
// leaves no partial file behind. Opening the file in an editor is the
// caller's business.
TextOutputResult writeTextOutput(const std::vector<Segment*>& segments, const ByteSource& data,
                                 const ViewSettings& settings, const std::string& path,
                                 const Locale& loc = defaultLocale(),
                                 const Progress& progress = {});

// The error text of an output stopped through its progress callback.
inline constexpr const char* kTextOutputStopped = "Stopped by the user";

// Every segment of the list, in order.
std::vector<Segment*> allSegments(SegmentList& list);

} // namespace vm
