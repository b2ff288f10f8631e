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
    std::exception_ptr failure;
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

unsigned formattingThreads(unsigned asked) {
    const unsigned n = asked ? asked : std::thread::hardware_concurrency();
    return std::clamp(n, 1u, kMaxThreads);
}

constexpr std::size_t kFlushAt = std::size_t{1} << 20;

} // namespace

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
    std::vector<RecordBlock> batch(threads), done(threads);
    std::size_t doneCount = 0;
    std::int64_t next = 0;
    bool readFailed = false;
    bool stopped = false;
    for (;;) {
        std::size_t count = 0;
        while (count < threads && next < N && !readFailed) {
            RecordBlock& b = batch[count];
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
                break;
            next += b.count;
            ++count;
        }
        {
            Joiner join;
            auto formatBlock = [&format, stride](RecordBlock& b) {
                try {
                    b.text.clear();
                    format(b.bytes.data(), stride, b.first, b.count, b.text);
                } catch (...) {
                    b.failure = std::current_exception();
                }
            };
            for (std::size_t i = 1; i < count; ++i) {
                try {
                    join.threads.emplace_back(formatBlock, std::ref(batch[i]));
                } catch (const std::system_error&) {
                    formatBlock(batch[i]); // no thread to be had: this one does it
                }
            }
            // The previous batch goes out while this one is formatted.
            for (std::size_t i = 0; i < doneCount && !stopped; ++i)
                stopped = !emit(done[i].text.view(), done[i].count);
            if (count > 0 && !stopped)
                formatBlock(batch[0]);
        }
        for (std::size_t i = 0; i < count; ++i)
            if (batch[i].failure)
                std::rethrow_exception(std::exchange(batch[i].failure, nullptr));
        std::swap(batch, done);
        doneCount = count;
        if (count == 0 || stopped)
            break;
    }
    if (stopped)
        return RecordRunEnd::Stopped;
    return readFailed ? RecordRunEnd::ReadFailed : RecordRunEnd::Done;
}

} // namespace vm
