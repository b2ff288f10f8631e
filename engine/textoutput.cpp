#include "textoutput.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>

#include "codec.h"
#include "kinds.h"
#include "outputfile.h"
#include "typefile.h"

namespace vm {

namespace {

constexpr std::size_t kFlushAt = std::size_t{1} << 20;
constexpr std::int64_t kReadBlock = std::int64_t{4} << 20;
constexpr const char* kCrLf = "\r\n";

// Text gathered in a large buffer and handed on in big pieces.
class Writer {
public:
    Writer(const TextSink& sink, const Progress& progress, std::int64_t totalRecords)
        : m_sink(sink), m_progress(progress), m_total(totalRecords) {
        m_buf.reserve(kFlushAt + 4096);
    }

    bool ok() const { return m_ok && !m_readFailed && !m_stopped; }
    bool stopped() const { return m_stopped; }
    // n more records written; asks the progress callback whether to go on.
    void advance(std::int64_t n) {
        m_done += n;
        if (m_progress && m_total > 0 &&
            !m_progress(static_cast<double>(m_done) / static_cast<double>(m_total)))
            m_stopped = true;
    }
    // A read of the data failed inside the data: the text would show zeros
    // that are not in the file, so the output stops.
    void readFailed() { m_readFailed = true; }
    bool hasReadFailed() const { return m_readFailed; }
    void put(std::string_view s) {
        m_buf.append(s);
        if (m_buf.size() >= kFlushAt)
            flush();
    }
    void pad(std::string_view s, std::size_t width, PadSide side) {
        if (side == PadSide::Left && s.size() < width)
            m_buf.append(width - s.size(), ' ');
        m_buf.append(s);
        if (side == PadSide::Right && s.size() < width)
            m_buf.append(width - s.size(), ' ');
        if (m_buf.size() >= kFlushAt)
            flush();
    }
    bool flush() {
        if (m_ok && !m_buf.empty())
            m_ok = m_sink(m_buf);
        m_buf.clear();
        return ok();
    }

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

// Reads n bytes at pos into buf, zeros past the end of the data; false when
// the read stopped short inside the data.
bool readZeroFilled(const ByteSource& data, std::int64_t pos, std::uint8_t* buf, std::size_t n) {
    const std::size_t got = data.readAt(pos, std::span<std::uint8_t>(buf, n));
    if (got < n)
        std::memset(buf + got, 0, n - got);
    // Nothing lies before the start of the data either (a malformed begin).
    return got == n || pos < 0 || pos + static_cast<std::int64_t>(got) >= data.size();
}

struct Num {
    std::array<char, 24> buf{};
    std::size_t n = 0;
    explicit Num(std::int64_t v) {
        n = static_cast<std::size_t>(std::to_chars(buf.data(), buf.data() + buf.size(), v).ptr -
                                     buf.data());
    }
    std::string_view view() const { return {buf.data(), n}; }
};

std::string hexDigits(std::int64_t v, std::size_t minDigits) {
    const std::uint64_t u = v < 0 && v >= std::numeric_limits<std::int32_t>::min()
                                ? static_cast<std::uint32_t>(v)
                                : static_cast<std::uint64_t>(v);
    std::array<char, 24> b{};
    auto r = std::to_chars(b.data(), b.data() + b.size(), u, 16);
    std::string s(b.data(), r.ptr);
    for (char& c : s)
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    if (s.size() < minDigits)
        s.insert(0, minDigits - s.size(), '0');
    return s;
}

// Position text of one segment: hexadecimal with at least W digits, or decimal
// padded on the left to W characters.
struct Positions {
    bool hex = false;
    std::size_t width = 0;

    Positions(bool hexMode, std::int64_t end) : hex(hexMode) {
        if (hex)
            width = end < 65535 ? 4 : 8;
        else
            width = Num(end).n;
    }
    void write(Writer& w, std::int64_t p) const {
        if (hex)
            w.put(hexDigits(p, width));
        else
            w.pad(Num(p).view(), width, PadSide::Left);
    }
};

std::size_t valueBytes(const TypeEntry& e) {
    return std::min<std::size_t>(e.length, kMaxValueBytes);
}

void writeAnomaly(Writer& w, const Segment& seg, const ByteSource& data,
                  const ViewSettings& settings, const Positions& pos, const Locale& loc) {
    w.put("Index                     Value Type          Start Length   Memo");
    w.put(kCrLf);
    w.put(kCrLf);
    const std::size_t I = Num(seg.length).n;
    std::array<std::uint8_t, kMaxValueBytes> buf{};
    for (std::size_t k = 0; k < seg.entries.size(); ++k) {
        const TypeEntry& e = seg.entries[k];
        const std::size_t n = valueBytes(e);
        buf.fill(0);
        if (!readZeroFilled(data, std::int64_t{seg.begin} + e.start, buf.data(), n)) {
            w.readFailed();
            return;
        }
        if (settings.showIndexNum())
            w.pad(Num(static_cast<std::int64_t>(k)).view(), I, PadSide::Left);
        w.put(" ");
        pos.write(w, std::int64_t{seg.begin} + e.start);
        w.pad(decodeValue(std::span<const std::uint8_t>(buf.data(), n), e.kind, e.length, loc), 24,
              PadSide::Left);
        w.put(" ");
        w.pad(kindName(e.kind), 10, PadSide::Right);
        w.put(" ");
        w.pad(Num(e.start).view(), 8, PadSide::Left);
        w.put(" ");
        w.pad(Num(e.length).view(), 6, PadSide::Left);
        w.put("   ");
        w.put(e.memo);
        w.put(kCrLf);
    }
}

void writeRecordsTable(Writer& w, const Segment& seg, const ByteSource& data,
                       const ViewSettings& settings, const Positions& pos, const Locale& loc) {
    const std::int64_t S = seg.recordLength;
    const std::int64_t N = seg.length / S;
    const std::size_t I = Num(N - 1).n;
    std::vector<std::size_t> widths;
    std::int64_t window = S;
    for (const TypeEntry& e : seg.entries) {
        widths.push_back(
            static_cast<std::size_t>(std::max(entryDisplayWidth(e.kind, e.length), 0)));
        window = std::max<std::int64_t>(window, e.start + static_cast<std::int64_t>(valueBytes(e)));
    }
    w.pad("index", I + pos.width + 1, PadSide::Right);
    for (std::size_t k = 0; k < seg.entries.size(); ++k) {
        w.put(" ");
        w.pad(Num(static_cast<std::int64_t>(k)).view(), widths[k], PadSide::Right);
    }
    w.put(kCrLf);
    if (N <= 0)
        return;

    // Records are read in large blocks; a field may reach past its record, so
    // each block holds the last record's whole window.
    const std::int64_t perBlock = std::min(N, std::max<std::int64_t>(1, kReadBlock / S));
    std::vector<std::uint8_t> block(static_cast<std::size_t>((perBlock - 1) * S + window));
    const bool showIndex = settings.showIndexNum();
    for (std::int64_t r0 = 0; r0 < N && w.ok(); r0 += perBlock) {
        const std::int64_t k = std::min(perBlock, N - r0);
        const std::size_t want = static_cast<std::size_t>((k - 1) * S + window);
        if (!readZeroFilled(data, seg.begin + r0 * S, block.data(), want)) {
            w.readFailed();
            return;
        }
        for (std::int64_t r = 0; r < k; ++r) {
            const std::uint8_t* rec = block.data() + r * S;
            if (showIndex)
                w.pad(Num(r0 + r).view(), I, PadSide::Left);
            w.put(" ");
            pos.write(w, seg.begin + (r0 + r) * S);
            for (std::size_t f = 0; f < seg.entries.size(); ++f) {
                const TypeEntry& e = seg.entries[f];
                w.put(" ");
                w.pad(decodeValue(std::span<const std::uint8_t>(rec + e.start, valueBytes(e)),
                                  e.kind, e.length, loc),
                      widths[f], PadSide::Right);
            }
            w.put(kCrLf);
        }
        w.advance(k);
    }
}

// Records of every record table, for the share reported as progress.
std::int64_t countRecords(const std::vector<Segment*>& segments, std::int64_t size) {
    std::int64_t n = 0;
    for (const Segment* s : segments)
        if (!s->anomaly && s->recordLength > 0)
            n += std::max<std::int64_t>(std::min(s->end(), size) - s->begin, 0) / s->recordLength;
    return n;
}

} // namespace

std::vector<Segment*> allSegments(SegmentList& list) {
    std::vector<Segment*> v;
    v.reserve(list.size());
    for (auto& s : list)
        v.push_back(s.get());
    return v;
}

bool writeTextOutput(const std::vector<Segment*>& segments, const ByteSource& data,
                     const ViewSettings& settings, const TextSink& sink, const Locale& loc,
                     const Progress& progress) {
    if (textOutputRefusal(segments))
        return false;
    const std::int64_t size = data.size();
    Writer w(sink, progress, countRecords(segments, size));
    w.put("This File is Made of With Vellomarque. See it at ");
    w.put(kMakerAddress);
    for (std::size_t i = 0; i < segments.size() && w.ok(); ++i) {
        Segment& seg = *segments[i];
        // A segment that starts past the end gets length 0, never a negative one.
        if (seg.end() > size)
            seg.length = static_cast<std::int32_t>(std::max<std::int64_t>(size - seg.begin, 0));
        w.put(kCrLf);
        w.put("Segment ");
        w.put(Num(static_cast<std::int64_t>(i)).view());
        w.put(" Name:");
        w.put(seg.name);
        w.put(" ");
        w.put(" Begin:");
        w.put(Num(seg.begin).view());
        w.put(" Length:");
        w.put(Num(seg.length).view());
        w.put(kCrLf);
        const Positions pos(settings.hexPositions(), seg.end());
        if (seg.anomaly) {
            writeAnomaly(w, seg, data, settings, pos, loc);
            continue;
        }
        w.put("index   type       start  length   memo");
        w.put(kCrLf);
        for (std::size_t k = 0; k < seg.entries.size(); ++k) {
            const TypeEntry& e = seg.entries[k];
            w.pad(Num(static_cast<std::int64_t>(k)).view(), 4, PadSide::Left);
            w.put("    ");
            w.pad(kindName(e.kind), 10, PadSide::Right);
            w.put(" ");
            w.pad(Num(e.start).view(), 5, PadSide::Left);
            w.put("   ");
            w.pad(Num(e.length).view(), 5, PadSide::Left);
            w.put("   ");
            w.put(e.memo);
            w.put(kCrLf);
        }
        if (seg.recordLength > 0)
            writeRecordsTable(w, seg, data, settings, pos, loc);
    }
    return w.flush();
}

TextOutputResult writeTextOutput(const std::vector<Segment*>& segments, const ByteSource& data,
                                 const ViewSettings& settings, const std::string& path,
                                 const Locale& loc, const Progress& progress, bool waitForReader) {
    TextOutputResult r;
    r.path = path;
    if (auto refusal = textOutputRefusal(segments)) {
        r.refused = true;
        r.error = std::move(*refusal);
        return r;
    }
    OutputFile out;
    if (!out.begin(path, waitForReader)) {
        r.error = out.error();
        return r;
    }
    const TextSink sink = [&](std::string_view text) { return out.write(text); };
    bool stopped = false;
    const Progress watch = [&](double f) { return !(stopped = progress && !progress(f)); };
    if (!writeTextOutput(segments, data, settings, sink, loc, watch)) {
        // A write error carries the system's text; otherwise reading the data
        // failed or the user stopped. A replaced file keeps its old contents.
        if (stopped)
            r.error = kTextOutputStopped;
        else
            r.error = out.error().empty() ? std::string("Cannot read the data file") : out.error();
        out.discard();
        return r;
    }
    if (!out.commit()) {
        r.error = out.error();
        return r;
    }
    r.ok = true;
    return r;
}

std::optional<std::string> textOutputRefusal(const std::vector<Segment*>& segments) {
    for (std::size_t i = 0; i < segments.size(); ++i)
        if (segments[i]->begin < 0)
            return "Segment " + std::to_string(i) + " (" + segments[i]->name +
                   ") begins before the start of the file";
    return std::nullopt;
}

} // namespace vm
