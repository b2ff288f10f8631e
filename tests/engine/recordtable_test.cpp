#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cellformat.h"
#include "codec.h"
#include "cp1252.h"
#include "fixtures.h"
#include "kinds.h"
#include "tableexport.h"
#include "tableimport.h"
#include "tempdir.h"

using namespace vm;
using fixtures::entry;
using fixtures::seg;
using fixtures::Work;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr TableFormat kFormats[] = {TableFormat::Csv, TableFormat::Tsv, TableFormat::JsonLines};

std::string exportTable(Segment& s, const Bytes& data, TableFormat format, bool exact,
                        const Locale& loc = defaultLocale()) {
    std::string out;
    const MemorySource src(data);
    TableExportOptions o;
    o.format = format;
    o.exact = exact;
    EXPECT_TRUE(writeRecordTable(
        s, src, o,
        [&](std::string_view t) {
            out.append(t);
            return true;
        },
        loc, {}, TextOutputBlocks{3, 2})); // several blocks on several threads
    return out;
}

struct Imported {
    TableImportResult result;
    std::vector<TableValueReport> reports;
};

Imported importTable(Work& w, SegmentList& list, Segment& s, const std::string& table,
                     TableImportOptions o, const Locale& loc = defaultLocale(),
                     const Progress& progress = {}) {
    Imported im;
    const MemorySource src(Bytes(table.begin(), table.end()));
    im.result = readRecordTable(
        w.wf, list, s, src, o, [&](const TableValueReport& r) { im.reports.push_back(r); }, loc,
        progress);
    return im;
}

TableImportOptions as(TableFormat f) {
    TableImportOptions o;
    o.format = f;
    o.blocks = {2, 3}; // stretches of rows on several threads
    return o;
}

// Field bytes that are values of their kind as often as not, and otherwise
// anything: NaN payloads, dates that are none, junk after a string's end,
// characters a cell cannot show.
void fillField(std::mt19937_64& rng, int kind, std::uint8_t* p, std::size_t n) {
    auto any = [&] {
        for (std::size_t i = 0; i < n; ++i)
            p[i] = static_cast<std::uint8_t>(rng());
    };
    if (rng() % 2 == 0) {
        any();
        return;
    }
    std::memset(p, 0, n);
    auto put = [&](auto v) { std::memcpy(p, &v, std::min(n, sizeof v)); };
    if (rng() % 5 == 0) { // the ends of the ranges
        using F = std::numeric_limits<float>;
        using D = std::numeric_limits<double>;
        const float floats[] = {F::max(), -F::max(), F::min(), F::denorm_min(), -0.0f};
        const double doubles[] = {D::max(), -D::max(), D::min(),        D::denorm_min(),
                                  -0.0,     -693593.0, 2958465.99999999};
        const std::int64_t wholes[] = {INT64_MIN, INT64_MAX, INT32_MIN, INT32_MAX,
                                       std::int64_t{INT32_MAX} + 1};
        if (kind == 9)
            put(floats[rng() % std::size(floats)]);
        else if (kind == 11 || kind == 12)
            put(doubles[rng() % std::size(doubles)]);
        else
            put(wholes[rng() % std::size(wholes)]);
        return;
    }
    switch (kind) {
    case 9:
        put(static_cast<float>(
            static_cast<double>(static_cast<std::int32_t>(rng() % 2000001) - 1000000) /
            std::pow(10.0, static_cast<double>(rng() % 6))));
        break;
    case 11:
        put(static_cast<double>(static_cast<std::int64_t>(rng() % 2000000001) - 1000000000) /
            std::pow(10.0, static_cast<double>(rng() % 12)));
        break;
    case 12: { // a day from year 1 to 9999 and a time: whole seconds, milliseconds or any
        const double day = static_cast<double>(rng() % 3652059) - 693593.0;
        const double frac = rng() % 3 == 0   ? static_cast<double>(rng() % 86400) / 86400.0
                            : rng() % 2 == 0 ? static_cast<double>(rng() % 86400000) / 86400000.0
                                             : std::ldexp(static_cast<double>(rng() >> 11), -53);
        put(day < 0 ? day - frac : day + frac);
        break;
    }
    case 13:
        put(static_cast<std::int64_t>(rng() % 2000000000000) - 1000000000000);
        break;
    case 3:
    case 14: { // printable text with the characters that tables escape
        static const char kChars[] = "aZ9 ,;\"'\t\n\r\\{}[]:\x80\xE9\x9D";
        const std::size_t len = kind == 3 ? 1 : rng() % (n + 1);
        for (std::size_t i = 0; i < len; ++i)
            p[i] = static_cast<std::uint8_t>(kChars[rng() % (sizeof kChars - 1)]);
        break;
    }
    default:
        any();
        break;
    }
}

// A data file: a head segment, a record segment with random fields (of every
// kind, lengths of their own or not, overlapping at times) and a tail.
struct Layout {
    SegmentList list;
    Segment* recs = nullptr;
    Bytes data;

    explicit Layout(std::mt19937_64& rng) {
        std::vector<TypeEntry> fields;
        const int n = 1 + static_cast<int>(rng() % 9);
        std::uint16_t at = 0;
        for (int k = 0; k < n; ++k) {
            const int kind = static_cast<int>(rng() % kKindCount);
            const KindInfo* info = kindInfo(kind);
            int length = info->defaultLength;
            if (info->variableLength)
                length = static_cast<int>(rng() % 6 == 0 ? 200 + rng() % 120 : rng() % 60);
            else if (rng() % 6 == 0)
                length = static_cast<int>(rng() % 10);
            const auto start =
                static_cast<std::uint16_t>(rng() % 5 == 0 && at > 0 ? rng() % at : at);
            fields.push_back(entry(kind, start, static_cast<std::uint16_t>(length),
                                   rng() % 4 == 0 ? "" : "f" + std::to_string(k % 3)));
            at = static_cast<std::uint16_t>(std::max<int>(at, start + length));
        }
        const std::int32_t recLen =
            std::max<std::int32_t>(at, 1) + static_cast<std::int32_t>(rng() % 3);
        const std::int32_t count = static_cast<std::int32_t>(rng() % 25);
        list.append(seg("Head", 0, 8, 8));
        recs = &list.append(seg("Recs", 8, count * recLen, recLen));
        recs->entries = fields;
        const std::int32_t tail = recs->begin + recs->length;
        list.append(seg("Tail", tail, 16, 4));
        data.resize(static_cast<std::size_t>(tail + 16));
        for (auto& b : data)
            b = static_cast<std::uint8_t>(rng());
        // Bytes of a record no field covers are zero, as a zeroed copy has them.
        std::vector<bool> covered(static_cast<std::size_t>(recLen));
        for (const TypeEntry& e : fields)
            for (int i = e.start; i < e.start + e.length; ++i)
                covered[static_cast<std::size_t>(i)] = true;
        for (std::int32_t r = 0; r < count; ++r) {
            std::uint8_t* rec = data.data() + recs->recordOffset(r);
            for (const TypeEntry& e : fields)
                fillField(rng, e.kind, rec + e.start, e.length);
            for (std::int32_t i = 0; i < recLen; ++i)
                if (!covered[static_cast<std::size_t>(i)])
                    rec[i] = 0;
        }
    }

    Bytes zeroedRecords() const {
        Bytes z = data;
        std::fill(z.begin() + recs->begin, z.begin() + recs->begin + recs->length, 0);
        return z;
    }
};

Locale commaLocale() {
    Locale loc;
    loc.decimalSeparator = ',';
    loc.dateSeparator = '.';
    loc.shortDate = "dd/mm/yyyy";
    loc.longTime = "h:nn:ss";
    return loc;
}

std::string describe(const std::vector<TableValueReport>& reports) {
    std::string s;
    for (const auto& r : reports)
        s += "line " + std::to_string(r.line) + " " + r.column + " \"" + r.text +
             "\": " + r.reason + "\n";
    return s;
}

} // namespace

// The property the whole feature rests on: a table written exactly restores
// every byte of every record, in every format and with any locale; and a
// table of the shown texts, imported into its own file, changes nothing.
TEST(RecordTable, ExactTablesRestoreEveryByteAndShownTablesChangeNothing) {
    for (unsigned seed = 0; seed < 60; ++seed) {
        std::mt19937_64 rng(seed);
        Layout layout(rng);
        const Locale loc = seed % 3 == 0 ? commaLocale() : defaultLocale();
        for (const TableFormat f : kFormats) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " format " +
                         std::to_string(static_cast<int>(f)));
            const std::string exact = exportTable(*layout.recs, layout.data, f, true, loc);
            if (f == TableFormat::JsonLines) { // valid JSON to an independent reader
                std::istringstream lines(exact);
                for (std::string line; std::getline(lines, line);)
                    EXPECT_TRUE(nlohmann::json::accept(line)) << line;
            }
            Work zeroed(layout.zeroedRecords());
            const Imported back = importTable(zeroed, layout.list, *layout.recs, exact, as(f), loc);
            ASSERT_TRUE(back.result.ok) << back.result.error << "\n" << exact;
            EXPECT_TRUE(back.reports.empty()) << describe(back.reports) << exact;
            ASSERT_EQ(zeroed.bytes(), layout.data) << exact;

            const std::string shown = exportTable(*layout.recs, layout.data, f, false, loc);
            Work same(layout.data);
            const std::string working = same.wf.name;
            const Imported again = importTable(same, layout.list, *layout.recs, shown, as(f), loc);
            EXPECT_EQ(same.wf.name, working); // no copy made to stand for no change
            ASSERT_TRUE(again.result.ok) << again.result.error;
            EXPECT_TRUE(again.reports.empty()) << describe(again.reports);
            EXPECT_EQ(again.result.written, 0);
            ASSERT_EQ(same.bytes(), layout.data) << shown;
        }
    }
}

// Edits made by a script (nlohmann-json, an independent reader and writer of
// the JSON) read back as the edit says; values that do not fit are written
// as far as they go and reported with what the field then holds.
TEST(RecordTable, EditedValuesReadBackAndCutsAreReported) {
    SegmentList list;
    Segment& s = list.append(seg("Recs", 0, 5 * 22, 22));
    s.entries = {entry(7, 0, 4, "count"), entry(11, 4, 8, "price"), entry(14, 12, 6, "name"),
                 entry(6, 18, 2, "small"), entry(4, 20, 1, "bits")};
    Bytes data(110);
    const char* names[] = {"ab", "cdef", "", "x y", "q"};
    for (int r = 0; r < 5; ++r) {
        std::uint8_t* rec = data.data() + r * 22;
        const std::int32_t count = r * 7 - 3;
        const double price = 0.1 * (r + 1) + 1e-9 * r;
        const std::uint16_t small = static_cast<std::uint16_t>(r * 20);
        std::memcpy(rec, &count, 4);
        std::memcpy(rec + 4, &price, 8);
        std::memcpy(rec + 12, names[r], std::strlen(names[r]));
        std::memcpy(rec + 18, &small, 2);
        rec[20] = static_cast<std::uint8_t>(r);
    }
    std::string table;
    std::istringstream lines(exportTable(s, data, TableFormat::JsonLines, true));
    for (std::string line; std::getline(lines, line);) {
        nlohmann::json row = nlohmann::json::parse(line);
        row["count"] = row["count"].get<std::int64_t>() * 3;
        row["price"] = row["price"].get<double>() * 0.5;
        row["name"] = row["name"].get<std::string>() + "ÉXYZ"; // past 6 characters from "cdef"
        row["small"] = row["small"].get<std::int64_t>() * 1000;
        // Bits as a spreadsheet gives them back, leading zeros dropped: the
        // same value; the last row's is another value, too short to trust.
        const std::string bits = row["bits"].get<std::string>();
        row["bits"] =
            row["index"] == 4 ? "1" : bits.substr(std::min(bits.find('1'), bits.size() - 1));
        if (row["index"] == 1)
            row.erase("bits"); // a partial row leaves the field alone
        table += row.dump() + "\n";
    }
    Work w(data);
    const Imported im = importTable(w, list, s, table, as(TableFormat::JsonLines));
    ASSERT_TRUE(im.result.ok) << im.result.error;
    const Bytes after = w.bytes();
    std::vector<std::string> expected;
    for (int r = 0; r < 5; ++r) {
        const std::uint8_t* rec = after.data() + r * 22;
        std::int32_t count;
        double price;
        std::uint16_t small;
        std::memcpy(&count, rec, 4);
        std::memcpy(&price, rec + 4, 8);
        std::memcpy(&small, rec + 18, 2);
        EXPECT_EQ(count, (r * 7 - 3) * 3);
        EXPECT_EQ(price, (0.1 * (r + 1) + 1e-9 * r) * 0.5);
        const std::string name = std::string(names[r]) + "\xC9XYZ";
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec + 12),
                              std::min<std::size_t>(6, name.size())),
                  name.substr(0, 6));
        EXPECT_EQ(small, static_cast<std::uint16_t>(r * 20 * 1000));
        EXPECT_EQ(rec[20], r);
        if (name.size() > 6)
            expected.push_back(std::to_string(r) + " name " + cp1252ToUtf8(name.substr(0, 6)));
        if (r * 20 * 1000 > 65535)
            expected.push_back(std::to_string(r) + " small " +
                               std::to_string(static_cast<std::uint16_t>(r * 20 * 1000)));
        if (r == 4)
            expected.push_back("4 bits 00000100");
    }
    std::vector<std::string> got;
    for (const TableValueReport& r : im.reports) {
        EXPECT_EQ(r.fit, r.column == "bits" ? EncodeFit::NotEncoded : EncodeFit::Cut);
        EXPECT_EQ(r.line, r.record + 1);
        got.push_back(std::to_string(r.record) + " " + r.column + " " + r.holds);
    }
    std::sort(got.begin(), got.end()); // the script wrote the keys in its own order
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(im.result.cut, static_cast<std::int64_t>(expected.size()) - 1);
}

// A malformed table is refused with the line where it goes wrong, and
// neither the file nor the working file changes.
TEST(RecordTable, MalformedTablesAreRefusedWithTheirLineAndChangeNothing) {
    struct Case {
        TableFormat format;
        std::string table;
        std::int64_t line;
        std::string says;
    };
    const Case cases[] = {
        {TableFormat::Csv, "index,a,nope\r\n0,1,2\r\n", 1, "no column \"nope\""},
        {TableFormat::Csv, "a,b\r\n1,2\r\n", 1, "no index column"},
        {TableFormat::Csv, "index,a,a\n", 1, "appears twice"},
        {TableFormat::Csv, "index,a\r\n0,1\r\n1,2,3\r\n", 3, "3 values where the header has 2"},
        {TableFormat::Csv, "index,b\r\n0,\"x\r\ny\"\r\n1,ab\"c\r\n", 4, "a quote inside"},
        {TableFormat::Csv, "index,b\r\n0,\"x\"y\r\n", 2, "after the closing quote"},
        {TableFormat::Csv, "index,b\r\n\r\n0,x\r\n1,\"never\r\nclosed\r\n", 4, "never closed"},
        {TableFormat::Csv, "index,a\r\n0,1\r\n4,1\r\n", 3, "record 4 is not in segment S"},
        {TableFormat::Csv, "index,a\r\n-1,1\r\n", 2, "not a record number"},
        {TableFormat::Tsv, "index\tb\n0\tC:\\data\n", 2, "unknown escape \\d"},
        {TableFormat::JsonLines, "{\"index\":0}\n[1]\n", 2, "not a JSON object"},
        {TableFormat::JsonLines, "{\"index\":0,\"a\":1,\"a\":2}\n", 1, "appears twice"},
        {TableFormat::JsonLines, "{\"a\":1}\n", 1, "without an index"},
        {TableFormat::JsonLines, "\n{\"index\":0,\"a\":true}\n", 2, "a value must be"},
        {TableFormat::JsonLines, "{\"index\":0,\"b\":\"\\ud800\"}\n", 1, "half a character"},
    };
    SegmentList list;
    Segment& s = list.append(seg("S", 0, 8, 2));
    s.entries = {entry(1, 0, 1, "a"), entry(14, 1, 1, "b")};
    const Bytes data = fixtures::counting(8);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        Work w(data);
        const std::string name = w.wf.name;
        const Imported im = importTable(w, list, s, c.table, as(c.format));
        EXPECT_FALSE(im.result.ok);
        EXPECT_EQ(im.result.line, c.line);
        EXPECT_NE(im.result.error.find(c.says), std::string::npos) << im.result.error;
        EXPECT_EQ(w.wf.name, name);
        EXPECT_EQ(w.bytes(), data);
        EXPECT_EQ(s.recordCount, 4);
    }
}

// Only a complete import changes anything: a dry run reports what the import
// would, strict refuses on the first value that does not fit, and a stop
// half way leaves the file and the structure as they were. With resize, rows
// past the end append records and the segments behind move.
TEST(RecordTable, DryRunStrictStopAndResize) {
    auto layout = [](SegmentList& list) {
        list.append(seg("S", 0, 6, 2)).entries = {entry(1, 0, 1, "a"), entry(0, 1, 1, "b")};
        list.append(seg("T", 6, 2, 2)).entries = {entry(1, 0, 1, "t")};
    };
    const Bytes data = fixtures::counting(8);
    const std::string table = "index,a,b\n0,7,200\n1,8,9\n4,5,6\n";
    {
        SegmentList list;
        layout(list);
        Work w(data);
        TableImportOptions o = as(TableFormat::Csv);
        o.dryRun = true;
        o.resize = true;
        const Imported dry = importTable(w, list, list[0], table, o);
        ASSERT_TRUE(dry.result.ok) << dry.result.error;
        ASSERT_EQ(dry.reports.size(), 1u);
        EXPECT_EQ(dry.reports[0].holds, "-56");
        EXPECT_EQ(dry.result.appended, 2);
        EXPECT_EQ(w.bytes(), data);
        EXPECT_EQ(list[1].begin, 6);

        o.dryRun = false;
        o.strict = true;
        const Imported strict = importTable(w, list, list[0], table, o);
        EXPECT_FALSE(strict.result.ok);
        EXPECT_EQ(strict.result.line, 2);
        EXPECT_EQ(strict.reports.size(), 1u);
        EXPECT_EQ(w.bytes(), data);
        EXPECT_EQ(list[0].recordCount, 3);

        o.strict = false;
        int calls = 0;
        const Imported stopped = importTable(w, list, list[0], table, o, defaultLocale(),
                                             [&](double) { return ++calls < 3; });
        EXPECT_FALSE(stopped.result.ok);
        EXPECT_EQ(stopped.result.error, kStoppedByUser);
        EXPECT_EQ(w.bytes(), data);
        EXPECT_EQ(list[0].recordCount, 3);
        EXPECT_EQ(list[1].begin, 6);

        const Imported done = importTable(w, list, list[0], table, o);
        ASSERT_TRUE(done.result.ok) << done.result.error;
        EXPECT_EQ(done.result.appended, 2);
        EXPECT_EQ(w.bytes(), (Bytes{7, 200, 8, 9, 4, 5, 0, 0, 5, 6, 6, 7}));
        EXPECT_EQ(list[0].recordCount, 5);
        EXPECT_EQ(list[0].length, 10);
        EXPECT_EQ(list[1].begin, 10);
    }
    {
        SegmentList list;
        layout(list);
        Work w(data);
        const Imported refused = importTable(w, list, list[0], table, as(TableFormat::Csv));
        EXPECT_FALSE(refused.result.ok);
        EXPECT_EQ(refused.result.line, 4);
        EXPECT_EQ(w.bytes(), data);
    }
}
