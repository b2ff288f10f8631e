#include "recordblocks.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace vm {

namespace {

constexpr std::int64_t kReadBlock = std::int64_t{4} << 20;
// Text of one block of records: large enough that handing blocks between
// threads costs nothing, small enough that progress is heard often.
constexpr std::int64_t kTextPerBlock = std::int64_t{2} << 20;
constexpr unsigned kMaxThreads = 8;
// Records longer than this are read only where their fields lie.
constexpr std::int64_t kSparseRecord = std::int64_t{64} << 10;

// Records read together and formatted by one thread.
struct RecordBlock {
    std::int64_t first = 0;
    std::int64_t count = 0;
    std::vector<std::uint8_t> bytes;
    TextBuffer text;
};

// Joins the formatting threads however the batch ends.
struct Joiner {
    std::vector<std::thread> threads;
    ~Joiner() {
        for (std::thread& t : threads)
            if (t.joinable())
                t.join();
    }
};

constexpr std::size_t kFlushAt = std::size_t{1} << 20;

} // namespace

unsigned formattingThreads(unsigned asked) {
    const unsigned n = asked ? asked : std::thread::hardware_concurrency();
    return std::clamp(n, 1u, kMaxThreads);
}

TextWriter::TextWriter(const TextSink& sink, const Progress& progress, std::int64_t totalRecords)
    : m_sink(sink), m_progress(progress), m_total(totalRecords) {
    m_buf.reserve(kFlushAt + 4096);
}

void TextWriter::advance(std::int64_t n) {
    m_done += n;
    if (m_progress && m_total > 0 &&
        !m_progress(static_cast<double>(m_done) / static_cast<double>(m_total)))
        m_stopped = true;
}

void TextWriter::put(std::string_view s) {
    m_buf.append(s);
    if (m_buf.size() >= kFlushAt)
        flush();
}

void TextWriter::pad(std::string_view s, std::size_t width, PadSide side) {
    if (side == PadSide::Left && s.size() < width)
        m_buf.append(width - s.size(), ' ');
    m_buf.append(s);
    if (side == PadSide::Right && s.size() < width)
        m_buf.append(width - s.size(), ' ');
    if (m_buf.size() >= kFlushAt)
        flush();
}

void TextWriter::putBlock(std::string_view text) {
    if (m_buf.size() + text.size() < kFlushAt) {
        m_buf.append(text);
        return;
    }
    flush();
    if (m_ok && !text.empty())
        m_ok = m_sink(text);
}

bool TextWriter::flush() {
    if (m_ok && !m_buf.empty())
        m_ok = m_sink(m_buf);
    m_buf.clear();
    return ok();
}

void TextWriter::putRecords(const ByteSource& data, const RecordRun& run,
                            const RecordFormatter& format, const TextOutputBlocks& tuning) {
    const RecordRunEnd end = formatRecordRun(
        data, run, format,
        [this](std::string_view text, std::int64_t records) {
            putBlock(text);
            advance(records);
            return ok();
        },
        tuning);
    if (end == RecordRunEnd::ReadFailed && ok())
        readFailed();
}

bool readZeroFilled(const ByteSource& data, std::int64_t pos, std::uint8_t* buf, std::size_t n) {
    const std::size_t got = data.readAt(pos, std::span<std::uint8_t>(buf, n));
    if (got < n)
        std::memset(buf + got, 0, n - got);
    // Nothing lies before the start of the data either (a malformed begin).
    return got == n || pos < 0 || pos + static_cast<std::int64_t>(got) >= data.size();
}

void runPipeline(unsigned threads, const std::function<bool(std::size_t)>& prepare,
                 const std::function<void(std::size_t)>& make,
                 const std::function<bool(std::size_t)>& take, bool callerMakes) {
    threads = std::max(threads, 1u);
    std::vector<std::exception_ptr> failures(2 * static_cast<std::size_t>(threads));
    std::size_t batch = 0, done = threads; // the first slots of the two halves
    std::size_t doneCount = 0;
    bool stopped = false;
    auto makeSlot = [&](std::size_t slot) {
        try {
            make(slot);
        } catch (...) {
            failures[slot] = std::current_exception();
        }
    };
    for (;;) {
        std::size_t count = 0;
        while (count < threads && prepare(batch + count))
            ++count;
        {
            Joiner join;
            for (std::size_t i = callerMakes ? 1 : 0; i < count; ++i) {
                try {
                    join.threads.emplace_back(makeSlot, batch + i);
                } catch (const std::system_error&) {
                    makeSlot(batch + i); // no thread to be had: this one does it
                }
            }
            // The previous batch is taken while this one is made.
            for (std::size_t i = 0; i < doneCount && !stopped; ++i)
                stopped = !take(done + i);
            if (callerMakes && count > 0 && !stopped)
                makeSlot(batch);
        }
        for (std::size_t i = 0; i < count; ++i)
            if (failures[batch + i])
                std::rethrow_exception(std::exchange(failures[batch + i], nullptr));
        std::swap(batch, done);
        doneCount = count;
        if (count == 0 || stopped)
            break;
    }
}

RecordRunEnd formatRecordRun(const ByteSource& data, const RecordRun& run,
                             const RecordFormatter& format, const RecordEmitter& emit,
                             const TextOutputBlocks& tuning) {
    const std::int64_t S = run.recordLength;
    const std::int64_t N = run.count;
    if (N <= 0)
        return RecordRunEnd::Done;
    const bool sparse = S > kSparseRecord && S > 2 * run.fields;
    const std::int64_t window =
        sparse ? std::max<std::int64_t>(run.fields, 1) : std::max(S, run.fields);
    const std::int64_t stride = sparse ? window : S;
    std::int64_t perBlock =
        tuning.records > 0
            ? tuning.records
            : std::clamp<std::int64_t>(kTextPerBlock / std::max<std::int64_t>(run.textPerRow, 1), 1,
                                       std::max<std::int64_t>(1, kReadBlock / stride));
    perBlock = std::min(perBlock, N);
    const unsigned threads = static_cast<unsigned>(
        std::min<std::int64_t>(formattingThreads(tuning.threads), (N + perBlock - 1) / perBlock));
    std::vector<RecordBlock> blocks(2 * static_cast<std::size_t>(threads));
    std::int64_t next = 0;
    bool readFailed = false;
    bool stopped = false;
    runPipeline(
        threads,
        [&](std::size_t slot) {
            if (next >= N || readFailed)
                return false;
            RecordBlock& b = blocks[slot];
            b.first = next;
            b.count = std::min(perBlock, N - next);
            b.bytes.resize(static_cast<std::size_t>((b.count - 1) * stride + window));
            if (sparse) {
                for (std::int64_t r = 0; r < b.count && !readFailed; ++r)
                    readFailed = !readZeroFilled(data, run.begin + (next + r) * S,
                                                 b.bytes.data() + r * window,
                                                 static_cast<std::size_t>(window));
            } else {
                readFailed =
                    !readZeroFilled(data, run.begin + next * S, b.bytes.data(), b.bytes.size());
            }
            if (readFailed)
                return false;
            next += b.count;
            return true;
        },
        [&](std::size_t slot) {
            RecordBlock& b = blocks[slot];
            b.text.clear();
            format(b.bytes.data(), stride, b.first, b.count, b.text);
        },
        [&](std::size_t slot) {
            stopped = !emit(blocks[slot].text.view(), blocks[slot].count);
            return !stopped;
        });
    if (stopped)
        return RecordRunEnd::Stopped;
    return readFailed ? RecordRunEnd::ReadFailed : RecordRunEnd::Done;
}

} // namespace vm
