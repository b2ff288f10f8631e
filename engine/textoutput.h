#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "bytesource.h"
#include "segment.h"
#include "textlocale.h"

namespace vm {

struct TextOutputResult {
    bool ok = false;
    std::string path;
    std::string error; // the system's text on failure
};

// Receives the text in large pieces; false stops the output (a write error).
using TextSink = std::function<bool(std::string_view)>;

// Writes the segments, their fields and every decoded value as a fixed-width
// text table (CR LF line ends, single-byte text as it is in the file). A
// segment that runs past the end of the data is cut to it and keeps the cut
// length. settings byte 2 shows the index column, byte 3 picks hexadecimal
// positions.
bool writeTextOutput(const std::vector<Segment*>& segments, const ByteSource& data,
                     const ViewSettings& settings, const TextSink& sink,
                     const Locale& loc = defaultLocale());

// The same into a file, created or truncated. Opening the file in an editor is
// the caller's business.
TextOutputResult writeTextOutput(const std::vector<Segment*>& segments, const ByteSource& data,
                                 const ViewSettings& settings, const std::string& path,
                                 const Locale& loc = defaultLocale());

// Every segment of the list, in order.
std::vector<Segment*> allSegments(SegmentList& list);

} // namespace vm
