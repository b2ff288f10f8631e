#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bytesource.h"
#include "recordblocks.h"
#include "segment.h"
#include "textlocale.h"
#include "workingfile.h"

namespace vm {

struct TextOutputResult {
    bool ok = false;
    std::string path;
    std::string error; // the system's text on failure, or why the output was refused
    // Refused before anything was written (error names the segment, its name
    // as stored in the type file).
    bool refused = false;
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

// The same into the output named path (see OutputFile: "-" is standard
// output; a FIFO or a device is written in place). A file is replaced only by
// a complete output: a failed or stopped one keeps the old file, or leaves no
// file where there was none. Opening the file in an editor is the caller's
// business.
TextOutputResult writeTextOutput(const std::vector<Segment*>& segments, const ByteSource& data,
                                 const ViewSettings& settings, const std::string& path,
                                 const Locale& loc = defaultLocale(), const Progress& progress = {},
                                 bool waitForReader = false);

// Writes the text that produce gives to its sink into the output named path,
// as writeTextOutput does: a file is replaced only by a complete output.
// produce returns false when it failed or was stopped through the progress
// it is handed.
using TextProducer = std::function<bool(const TextSink& sink, const Progress& progress)>;
TextOutputResult writeTextFile(const std::string& path, const Progress& progress,
                               bool waitForReader, const TextProducer& produce);

// Why a text output of these segments is refused, or nothing: a segment that
// begins before the start of the file has no records to read (the rewrites
// refuse it too). The sink form above writes nothing for such a list.
std::optional<std::string> textOutputRefusal(const std::vector<Segment*>& segments);

// The error text of an output stopped through its progress callback.
inline constexpr const char* kTextOutputStopped = "Stopped by the user";

// Every segment of the list, in order.
std::vector<Segment*> allSegments(SegmentList& list);

} // namespace vm
