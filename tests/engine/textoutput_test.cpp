#include <gtest/gtest.h>

#include "filestream.h"
#include "fixtures.h"
#include "tempdir.h"
#include "textoutput.h"

using namespace vm;
using fixtures::seg;
using fixtures::entry;


namespace {

const std::string kBanner =
    "This File is Made of With Vellomarque. See it at http://www.vellomarque.net/";

std::string render(SegmentList& list, const std::vector<std::uint8_t>& data, bool showIndex,
                   bool hex) {
    ViewSettings v;
    v.setShowIndexNum(showIndex);
    v.setPositionFormat(hex ? 1 : 2);
    std::string out;
    const MemorySource src(data);
    EXPECT_TRUE(writeTextOutput(allSegments(list), src, v, [&](std::string_view t) {
        out.append(t);
        return true;
    }));
    return out;
}

} // namespace

TEST(TextOutput, SmallSegmentTable) {
    SegmentList list;
    list.append(seg("Seg0", 0, 4, 2));
    list[0].entries = {entry(1, 0, 1, "v")};
    const std::vector<std::uint8_t> data = {7, 0, 9, 0};
    EXPECT_EQ(render(list, data, true, false), kBanner +
                                                   "\r\nSegment 0 Name:Seg0  Begin:0 Length:4\r\n"
                                                   "index   type       start  length   memo\r\n"
                                                   "   0    1Bunsigned     0       1   v\r\n"
                                                   "index 0  \r\n"
                                                   "0 0 7  \r\n"
                                                   "1 2 9  \r\n");
    // Without the index column the rows start with the blank; the header keeps its width.
    EXPECT_EQ(render(list, data, false, false), kBanner +
                                                    "\r\nSegment 0 Name:Seg0  Begin:0 Length:4\r\n"
                                                    "index   type       start  length   memo\r\n"
                                                    "   0    1Bunsigned     0       1   v\r\n"
                                                    "index 0  \r\n"
                                                    " 0 7  \r\n"
                                                    " 2 9  \r\n");
}

TEST(TextOutput, PositionsIndexWidthAndSeveralFields) {
    SegmentList list;
    list.append(seg("T", 3, 36, 3)); // 12 records, ends at 39
    list[0].entries = {entry(5, 0, 2, "w"), entry(3, 2, 1, "c")};
    std::vector<std::uint8_t> data(40, 0);
    for (int r = 0; r < 12; ++r) {
        data[static_cast<std::size_t>(3 + r * 3)] = static_cast<std::uint8_t>(r);
        data[static_cast<std::size_t>(5 + r * 3)] = static_cast<std::uint8_t>('A' + r);
    }
    const std::string dec = render(list, data, true, false);
    EXPECT_NE(dec.find("index 0      1\r\n"), std::string::npos) << dec; // I 2 + W 2 + 1
    EXPECT_NE(dec.find("\r\n 0  3 0      A\r\n"), std::string::npos) << dec;
    EXPECT_NE(dec.find("\r\n11 36 11     L\r\n"), std::string::npos) << dec;
    const std::string hex = render(list, data, true, true);
    EXPECT_NE(hex.find("index   0      1\r\n"), std::string::npos) << hex; // W 4
    EXPECT_NE(hex.find("\r\n11 0024 11     L\r\n"), std::string::npos) << hex;
}

TEST(TextOutput, AnomalySegmentListsOneLinePerField) {
    SegmentList list;
    list.append(seg("Head", 2, 12, 0));
    list[0].anomaly = true;
    list[0].entries = {entry(6, 0, 2, "ver"), entry(14, 2, 5, "tag")};
    const std::vector<std::uint8_t> data = {0, 0, 0x34, 0x12, 'a', 'b', 'c', 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(render(list, data, true, false),
              kBanner + "\r\nSegment 0 Name:Head  Begin:2 Length:12\r\n"
                        "Index                     Value Type          Start Length   Memo\r\n\r\n"
                        " 0  2                    4660 2Bunsigned        0      2   ver\r\n"
                        " 1  4                     abc string            2      5   tag\r\n");
}

TEST(TextOutput, SegmentPastTheEndIsCutAndKeepsTheCut) {
    SegmentList list;
    list.append(seg("Long", 2, 100, 4));
    list[0].entries = {entry(1, 0, 1, "b")};
    list.append(seg("Zero", 0, 0, 0));
    list.append(seg("Away", 50, 10, 2));
    std::vector<std::uint8_t> data(11, 1);
    const std::string out = render(list, data, true, false);
    EXPECT_NE(out.find("Segment 0 Name:Long  Begin:2 Length:9\r\n"), std::string::npos) << out;
    EXPECT_EQ(list[0].length, 9);
    EXPECT_NE(out.find("\r\n1  6 1  \r\n\r\nSegment 1"), std::string::npos)
        << out; // two whole records
    // A segment with no record length gets no table.
    EXPECT_NE(out.find("Segment 1 Name:Zero  Begin:0 Length:0\r\nindex   type       start  length  "
                       " memo\r\n\r\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(list[2].length, 0); // starts past the end: nothing left, never negative

    SegmentList none;
    EXPECT_EQ(render(none, data, true, false), kBanner);
}

TEST(TextOutput, LargeSegmentToAFile) {
    // More records than one read block holds; every row must still be right.
    TempDir dir;
    const int n = 1500000;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(n) * 4);
    for (int r = 0; r < n; ++r) {
        const auto u = static_cast<std::uint32_t>(r * 3);
        for (int b = 0; b < 4; ++b)
            bytes[static_cast<std::size_t>(r * 4 + b)] = static_cast<std::uint8_t>(u >> (8 * b));
    }
    writeBytes(dir.file("d.bin"), bytes);
    FileStream data;
    ASSERT_TRUE(data.open(dir.file("d.bin"), FileStream::Mode::Read));
    SegmentList list;
    list.append(seg("Big", 0, n * 4, 4));
    list[0].entries = {entry(8, 0, 4, "u")};
    ViewSettings v;
    v.setShowIndexNum(true);
    v.setPositionFormat(2);
    const TextOutputResult r = writeTextOutput(allSegments(list), data, v, dir.file("out.txt"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.path, dir.file("out.txt"));
    const std::vector<std::uint8_t> text = readBytes(dir.file("out.txt"));
    const std::string s(text.begin(), text.end());
    EXPECT_NE(s.find("\r\n1048576 4194304 3145728   \r\n"), std::string::npos);
    const std::string last = "1499999 5999996 4499997   \r\n";
    ASSERT_GE(s.size(), last.size());
    EXPECT_EQ(s.substr(s.size() - last.size()), last);

    const TextOutputResult bad =
        writeTextOutput(allSegments(list), data, v, dir.file("no/such/dir.txt"));
    EXPECT_FALSE(bad.ok);
    EXPECT_FALSE(bad.error.empty());
}

namespace {

// Data whose reads stop short after `good` bytes although it is longer.
class FailingSource : public ByteSource {
public:
    FailingSource(std::vector<std::uint8_t> bytes, std::int64_t good)
        : m_src(std::move(bytes)), m_good(good) {}
    std::int64_t size() const override { return m_src.size(); }
    std::size_t readAt(std::int64_t pos, std::span<std::uint8_t> out) const override {
        if (pos >= m_good)
            return 0;
        const auto n = std::min<std::int64_t>(static_cast<std::int64_t>(out.size()), m_good - pos);
        return m_src.readAt(pos, out.first(static_cast<std::size_t>(n)));
    }

private:
    MemorySource m_src;
    std::int64_t m_good;
};

} // namespace

TEST(TextOutput, AReadErrorFailsTheOutput) {
    // Zeros in place of unreadable data would be a wrong table, not a short one.
    SegmentList list;
    list.append(seg("T", 0, 40, 4));
    list[0].entries = {entry(8, 0, 4, "u")};
    list.append(seg("A", 0, 40, 0));
    list[1].anomaly = true;
    list[1].entries = {entry(8, 30, 4, "late")};
    ViewSettings v;
    v.setPositionFormat(2);
    for (std::size_t which = 0; which < 2; ++which) {
        const FailingSource src(std::vector<std::uint8_t>(40, 1), 20);
        std::vector<Segment*> one = {&list[which]};
        std::string out;
        EXPECT_FALSE(writeTextOutput(one, src, v, [&](std::string_view t) {
            out.append(t);
            return true;
        })) << which;
        // The same data read in full gives a table.
        const MemorySource whole(std::vector<std::uint8_t>(40, 1));
        EXPECT_TRUE(writeTextOutput(one, whole, v, [](std::string_view) { return true; }));
    }
    TempDir dir;
    const FailingSource src(std::vector<std::uint8_t>(40, 1), 20);
    const TextOutputResult r = writeTextOutput(allSegments(list), src, v, dir.file("out.txt"));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
}

TEST(TextOutput, ProgressRisesToTheEndAndStopLeavesNoFile) {
    // Enough records for several read blocks, so progress is heard more than once.
    const std::vector<std::uint8_t> data(12u << 20, 0x41);
    const MemorySource src(data);
    SegmentList list;
    list.append(seg("Big", 0, static_cast<std::int32_t>(data.size()), 16));
    list[0].entries = {entry(1, 0, 1, "a")};
    ViewSettings v;
    v.setPositionFormat(2);

    std::vector<double> heard;
    std::string text;
    ASSERT_TRUE(writeTextOutput(
        allSegments(list), src, v,
        [&](std::string_view t) {
            text.append(t);
            return true;
        },
        defaultLocale(), [&](double f) {
            heard.push_back(f);
            return true;
        }));
    ASSERT_GE(heard.size(), 2u);
    EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end()));
    EXPECT_DOUBLE_EQ(heard.back(), 1.0);
    EXPECT_NE(text.find(" 12582896 65"), std::string::npos); // the last record is there

    TempDir dir;
    const std::string out = dir.file("out.txt");
    int calls = 0;
    const TextOutputResult r =
        writeTextOutput(allSegments(list), src, v, out, defaultLocale(), [&](double) {
            return ++calls < 2;
        });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, kTextOutputStopped);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(TextOutput, BlocksOnSeveralThreadsGiveTheTextOfOneBlock) {
    // Odd record length, a field reaching past its record, every kind, a second
    // segment starting mid-record: block edges must not show in the text.
    std::vector<std::uint8_t> data(8000);
    std::uint32_t x = 7;
    for (auto& b : data) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    SegmentList list;
    list.append(seg("Mixed", 5, 7400, 37));
    for (int k = 0; k < 16; ++k)
        list[0].entries.push_back(entry(k, static_cast<std::uint16_t>(k * 2), 9));
    list[0].entries.push_back(entry(14, 30, 40, "past the record"));
    list.append(seg("Small", 1001, 300, 3));
    list[1].entries = {entry(6, 1, 2)};
    ViewSettings v;
    Locale comma;
    comma.decimalSeparator = ',';
    comma.shortDate = "dd/mm/yyyy";
    comma.dateSeparator = '.';
    auto render = [&](TextOutputBlocks blocks, const ByteSource& src, std::string& out) {
        out.clear();
        return writeTextOutput(
            allSegments(list), src, v,
            [&](std::string_view t) {
                out.append(t);
                return true;
            },
            comma, {}, blocks);
    };
    const MemorySource src(data);
    for (const bool hex : {false, true}) {
        v.setShowIndexNum(!hex);
        v.setPositionFormat(hex ? 1 : 2);
        std::string one, many;
        ASSERT_TRUE(render({1 << 30, 1}, src, one));
        for (const TextOutputBlocks b :
             {TextOutputBlocks{1, 2}, TextOutputBlocks{7, 3}, TextOutputBlocks{100, 8}}) {
            ASSERT_TRUE(render(b, src, many));
            EXPECT_TRUE(many == one) << b.records << " records on " << b.threads << " threads";
        }
        if (!hex) { // the last record of Mixed, with its index
            EXPECT_NE(one.find("\r\n199 7368 "), std::string::npos);
        }
    }

    // A read failing in a later block: what went before is the text so far, in
    // order, and the output fails.
    const FailingSource failing(data, 4000);
    std::string one, part;
    ASSERT_TRUE(render({1 << 30, 1}, src, one));
    EXPECT_FALSE(render({10, 3}, failing, part));
    EXPECT_GT(part.size(), 10000u);
    EXPECT_TRUE(one.compare(0, part.size(), part) == 0);
}

namespace {

// 1.5 GB of data that is never held: byte i is i % 251. Counts the bytes asked for.
class VastSource : public ByteSource {
public:
    std::int64_t size() const override { return 1500000000; }
    std::size_t readAt(std::int64_t pos, std::span<std::uint8_t> out) const override {
        const auto n = static_cast<std::size_t>(
            std::clamp<std::int64_t>(size() - pos, 0, static_cast<std::int64_t>(out.size())));
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<std::uint8_t>((pos + static_cast<std::int64_t>(i)) % 251);
        asked += static_cast<std::int64_t>(out.size());
        return n;
    }
    mutable std::int64_t asked = 0;
};

} // namespace

TEST(TextOutput, HugeRecordsAreReadOnlyWhereTheirFieldsLie) {
    // Three records of 500 MB with two small fields: reading whole records
    // would take gigabytes of memory for a table of three lines.
    const VastSource src;
    SegmentList list;
    list.append(seg("Vast", 0, 1500000000, 500000000));
    list[0].entries = {entry(1, 0, 1, "a"), entry(1, 1000, 1, "b")};
    list.append(seg("Bare", 0, 1500000000, 700000000)); // no fields at all
    ViewSettings v;
    v.setShowIndexNum(true);
    v.setPositionFormat(2);
    std::string out;
    ASSERT_TRUE(writeTextOutput(allSegments(list), src, v, [&](std::string_view t) {
        out.append(t);
        return true;
    }));
    // Record 2 starts at 1e9: 1e9 % 251 = 187, (1e9 + 1000) % 251 = 183.
    EXPECT_NE(out.find("\r\n2 1000000000 187 183\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\r\n1  700000000\r\n"), std::string::npos) << out;
    EXPECT_LT(src.asked, 100000);
}
