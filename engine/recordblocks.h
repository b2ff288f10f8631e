#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "bytesource.h"
#include "codec.h"
#include "workingfile.h"

namespace vm {

// How record tables are cut into blocks formatted side by side. The text is
// the same whatever the values; zero lets the table and the machine decide.
struct TextOutputBlocks {
    std::int64_t records = 0; // records per block
    unsigned threads = 0;     // blocks formatted at once
};

// A character buffer written through a raw cursor: room for a whole row is
// made once, then the cells are formatted straight into it.
class TextBuffer {
public:
    char* room(std::size_t n) {
        if (m_used + n > m_buf.size())
            m_buf.resize(std::max(m_buf.size() * 2, m_used + n));
        return m_buf.data() + m_used;
    }
    void commit(const char* end) { m_used = static_cast<std::size_t>(end - m_buf.data()); }
    void clear() { m_used = 0; }
    std::string_view view() const { return {m_buf.data(), m_used}; }

private:
    std::string m_buf;
    std::size_t m_used = 0;
};

// Receives the text in large pieces; false stops the output (a write error).
using TextSink = std::function<bool(std::string_view)>;

// Takes the text of the next block, in order, with the records it holds;
// false ends the run.
using RecordEmitter = std::function<bool(std::string_view text, std::int64_t records)>;

// Reads n bytes at pos into buf, zeros past the end of the data (and before
// its start); false when the read stopped short inside the data.
bool readZeroFilled(const ByteSource& data, std::int64_t pos, std::uint8_t* buf, std::size_t n);

// Consecutive records of a segment that a table shows, one row each.
struct RecordRun {
    std::int64_t begin = 0; // offset of the first record
    std::int64_t recordLength = 0;
    std::int64_t count = 0;
    std::int64_t fields = 0;     // bytes from a record's start that its fields reach
    std::int64_t textPerRow = 0; // about how many characters a row takes
};

// Formats the rows of count records whose bytes lie at block, one record
// every stride bytes; first is the place of the block's first record in the
// run. Called on several threads at once, so it may touch nothing shared.
using RecordFormatter =
    std::function<void(const std::uint8_t* block, std::int64_t stride, std::int64_t first,
                       std::int64_t count, TextBuffer& out)>;
// Threads to make a table's pieces with: as many as asked, else as the
// machine has cores, at most 8.
unsigned formattingThreads(unsigned asked);

// Runs items through three steps, a batch of `threads` items at a time:
// prepare (on the calling thread, in order: reading, say), make (on threads of
// their own, the items of a batch side by side: formatting, say; it may touch
// nothing shared) and take (on the calling thread, in order), the items of a
// batch taken while the next batch is made. The steps get a slot, 0 to
// 2 * threads - 1, where the caller keeps the item. prepare returns false when
// there is no further item (or it cannot be had): the items prepared before
// are still made and taken. take returns false to end the run. With
// callerMakes the calling thread makes one item of each batch itself (when
// taking is light); otherwise it only prepares and takes.
void runPipeline(unsigned threads, const std::function<bool(std::size_t slot)>& prepare,
                 const std::function<void(std::size_t slot)>& make,
                 const std::function<bool(std::size_t slot)>& take, bool callerMakes = true);

enum class RecordRunEnd { Done, Stopped, ReadFailed };

// Reads the records in blocks, formats the blocks of a batch on threads of
// their own and hands the texts on in order while the next batch is
// formatted. Each block holds its records' bytes up to `fields` (a field may
// reach past its record); records far longer than their fields are read
// field window by field window, so that a few fields over records of
// hundreds of megabytes neither read nor hold whole records.
RecordRunEnd formatRecordRun(const ByteSource& data, const RecordRun& run,
                             const RecordFormatter& format, const RecordEmitter& emit,
                             const TextOutputBlocks& tuning = {});

// Text gathered in a large buffer and handed on to a sink in big pieces,
// with the share of records written heard by a progress callback.
class TextWriter {
public:
    TextWriter(const TextSink& sink, const Progress& progress, std::int64_t totalRecords);

    bool ok() const { return m_ok && !m_readFailed && !m_stopped; }
    bool stopped() const { return m_stopped; }
    // n more records written; asks the progress callback whether to go on.
    void advance(std::int64_t n);
    // A read of the data failed inside the data: the text would show zeros
    // that are not in the file, so the output stops.
    void readFailed() { m_readFailed = true; }
    bool hasReadFailed() const { return m_readFailed; }
    void put(std::string_view s);
    void pad(std::string_view s, std::size_t width, PadSide side);
    // A formatted block: small ones join the buffer, large ones go on as they are.
    void putBlock(std::string_view text);
    bool flush();
    // The rows of a run of records, formatted by format (see formatRecordRun);
    // a failed read stops the output.
    void putRecords(const ByteSource& data, const RecordRun& run, const RecordFormatter& format,
                    const TextOutputBlocks& tuning);

private:
    const TextSink& m_sink;
    const Progress& m_progress;
    std::int64_t m_total = 0;
    std::int64_t m_done = 0;
    std::string m_buf;
    bool m_ok = true;
    bool m_readFailed = false;
    bool m_stopped = false;
};

} // namespace vm
