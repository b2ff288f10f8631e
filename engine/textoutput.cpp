#include "textoutput.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>

#include "cellformat.h"
#include "codec.h"
#include "kinds.h"
#include "outputfile.h"
#include "recordblocks.h"
#include "typefile.h"

namespace vm {

namespace {

constexpr const char* kCrLf = "\r\n";

struct Num {
    std::array<char, 24> buf{};
    std::size_t n = 0;
    explicit Num(std::int64_t v) : n(formatSigned(buf.data(), v)) {}
    std::string_view view() const { return {buf.data(), n}; }
};

// v in decimal, blanks on the left up to width.
char* putPaddedNumber(char* p, std::int64_t v, std::size_t width) {
    const Num num(v);
    if (num.n < width) {
        std::memset(p, ' ', width - num.n);
        p += width - num.n;
    }
    std::memcpy(p, num.buf.data(), num.n);
    return p + num.n;
}

// Upper-case hexadecimal with at least minDigits digits; a negative 32-bit
// offset shows its 32-bit pattern.
char* putHex(char* p, std::int64_t v, std::size_t minDigits) {
    std::uint64_t u = v < 0 && v >= std::numeric_limits<std::int32_t>::min()
                          ? static_cast<std::uint32_t>(v)
                          : static_cast<std::uint64_t>(v);
    char digits[16];
    std::size_t n = 0;
    do {
        digits[15 - n++] = "0123456789ABCDEF"[u & 15];
        u >>= 4;
    } while (u != 0);
    if (n < minDigits) {
        std::memset(p, '0', minDigits - n);
        p += minDigits - n;
    }
    std::memcpy(p, digits + 16 - n, n);
    return p + n;
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
    // Characters write() may need.
    std::size_t room() const { return std::max<std::size_t>(width, 24); }
    char* write(char* p, std::int64_t pos) const {
        return hex ? putHex(p, pos, width) : putPaddedNumber(p, pos, width);
    }
    void write(TextWriter& w, std::int64_t pos) const {
        std::array<char, 32> b{};
        w.put(
            std::string_view(b.data(), static_cast<std::size_t>(write(b.data(), pos) - b.data())));
    }
};

std::size_t valueBytes(const TypeEntry& e) {
    return std::min<std::size_t>(e.length, kMaxValueBytes);
}

void writeAnomaly(TextWriter& w, const Segment& seg, const ByteSource& data,
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
        char text[kCellTextRoom];
        const std::size_t len =
            formatCell(text, std::span<const std::uint8_t>(buf.data(), n), e.kind, e.length, loc);
        w.pad(std::string_view(text, len), 24, PadSide::Left);
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

// The rows of a record table. Formatting a block touches nothing shared, so
// blocks can be formatted on several threads at once.
struct RecordRows {
    struct Column {
        int kind;
        int length;
        std::size_t start;
        std::size_t bytes;
        std::size_t width;
    };
    std::int64_t begin = 0;
    std::int64_t recordLength = 0;
    bool showIndex = false;
    std::size_t indexWidth = 0;
    const Positions* pos = nullptr;
    const CellFormat* cell = nullptr;
    std::vector<Column> columns;
    std::size_t rowRoom = 0; // most characters a row can take

    // Rows first .. first + count - 1, whose bytes start at block, one
    // record every stride bytes.
    void format(const std::uint8_t* block, std::int64_t stride, std::int64_t first,
                std::int64_t count, TextBuffer& out) const {
        for (std::int64_t r = 0; r < count; ++r) {
            char* p = out.room(rowRoom);
            if (showIndex)
                p = putPaddedNumber(p, first + r, indexWidth);
            *p++ = ' ';
            p = pos->write(p, begin + (first + r) * recordLength);
            const std::uint8_t* rec = block + r * stride;
            for (const Column& c : columns) {
                *p++ = ' ';
                std::size_t n = (*cell)(p, std::span<const std::uint8_t>(rec + c.start, c.bytes),
                                        c.kind, c.length);
                if (n < c.width) {
                    std::memset(p + n, ' ', c.width - n);
                    n = c.width;
                }
                p += n;
            }
            *p++ = '\r';
            *p++ = '\n';
            out.commit(p);
        }
    }
};

void writeRecordsTable(TextWriter& w, const Segment& seg, const ByteSource& data,
                       const ViewSettings& settings, const Positions& pos, const Locale& loc,
                       const TextOutputBlocks& tuning) {
    const std::int64_t S = seg.recordLength;
    const std::int64_t N = seg.length / S;
    const std::size_t I = Num(N - 1).n;
    RecordRows rows;
    rows.begin = seg.begin;
    rows.recordLength = S;
    rows.showIndex = settings.showIndexNum();
    rows.indexWidth = I;
    rows.pos = &pos;
    const CellFormat cell(loc);
    rows.cell = &cell;
    rows.rowRoom = std::max<std::size_t>(I, 24) + 1 + pos.room() + 2;
    std::int64_t fields = 0; // bytes from a record's start its fields cover
    std::int64_t textPerRow = static_cast<std::int64_t>(I + pos.width) + 3;
    for (const TypeEntry& e : seg.entries) {
        const auto width =
            static_cast<std::size_t>(std::max(entryDisplayWidth(e.kind, e.length), 0));
        rows.columns.push_back({e.kind, e.length, e.start, valueBytes(e), width});
        rows.rowRoom += 1 + std::max(width, kCellTextRoom);
        textPerRow += static_cast<std::int64_t>(width) + 1;
        fields = std::max<std::int64_t>(fields, e.start + static_cast<std::int64_t>(valueBytes(e)));
    }
    w.pad("index", I + pos.width + 1, PadSide::Right);
    for (std::size_t k = 0; k < seg.entries.size(); ++k) {
        w.put(" ");
        w.pad(Num(static_cast<std::int64_t>(k)).view(), rows.columns[k].width, PadSide::Right);
    }
    w.put(kCrLf);
    if (N <= 0)
        return;

    const RecordRun run{seg.begin, S, N, fields, textPerRow};
    w.putRecords(data, run,
                 [&rows](const std::uint8_t* block, std::int64_t stride, std::int64_t first,
                         std::int64_t count,
                         TextBuffer& out) { rows.format(block, stride, first, count, out); },
                 tuning);
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
                     const Progress& progress, const TextOutputBlocks& blocks) {
    if (textOutputRefusal(segments))
        return false;
    const std::int64_t size = data.size();
    TextWriter w(sink, progress, countRecords(segments, size));
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
            writeRecordsTable(w, seg, data, settings, pos, loc, blocks);
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
    return writeTextFile(path, progress, waitForReader,
                         [&](const TextSink& sink, const Progress& watch) {
                             return writeTextOutput(segments, data, settings, sink, loc, watch);
                         });
}

TextOutputResult writeTextFile(const std::string& path, const Progress& progress,
                               bool waitForReader, const TextProducer& produce) {
    TextOutputResult r;
    r.path = path;
    OutputFile out;
    if (!out.begin(path, waitForReader)) {
        r.error = out.error();
        return r;
    }
    const TextSink sink = [&](std::string_view text) { return out.write(text); };
    bool stopped = false;
    const Progress watch = [&](double f) { return !(stopped = progress && !progress(f)); };
    if (!produce(sink, watch)) {
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
