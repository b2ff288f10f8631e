#include <limits>

#include <gtest/gtest.h>

#include "cutblank.h"
#include "fixtures.h"
#include "tempdir.h"

using namespace vm;
using fixtures::seg;
using fixtures::Work;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Raw-byte fields: cut blank moves bytes whatever their kind.
TypeEntry entry(std::uint16_t start, std::uint16_t length, std::string memo = "") {
    return fixtures::entry(15, start, length, std::move(memo));
}

Bytes counting(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i);
    return b;
}

ViewSettings settings() {
    ViewSettings v;
    v.setPositionFormat(2);
    return v;
}

} // namespace

TEST(CutBlank, KeepsOnlyTheBytesOfFields) {
    const Bytes data = counting(100);
    Work w(data);
    SegmentList list;
    list.append(seg("S", 10, 20, 10));
    list[0].entries = {entry(2, 4, "f")};
    list.setCurrent(&list[0]);
    const CutBlankResult r = cutBlank(w.wf, list, settings());
    ASSERT_FALSE(r.refused);
    ASSERT_TRUE(r.file.ok) << r.file.error;
    EXPECT_EQ(r.file.delta, -92);
    EXPECT_EQ(w.bytes(), (Bytes{12, 13, 14, 15, 22, 23, 24, 25}));
    const Segment& s = list[0];
    EXPECT_EQ(s.begin, 0);
    EXPECT_EQ(s.recordLength, 4);
    EXPECT_EQ(s.length, 8);
    EXPECT_EQ(s.recordCount, 2);
    EXPECT_EQ(s.entries[0].start, 0);
    EXPECT_EQ(list.current(), nullptr);
}

TEST(CutBlank, SortsSegmentsAndFieldsAndLaysThemEndToEnd) {
    const Bytes data = counting(70);
    Work w(data);
    SegmentList list;
    list.append(seg("Late", 50, 10, 5)); // 2 records, fields listed out of order
    list[0].entries = {entry(3, 2, "b"), entry(0, 1, "a")};
    list.append(seg("Empty", 30, 10, 10)); // no fields: no bytes
    list.append(seg("Early", 0, 10, 10));
    list[2].entries = {entry(0, 10, "all")};
    const CutBlankResult r = cutBlank(w.wf, list, settings());
    ASSERT_TRUE(r.file.ok) << r.file.error;
    EXPECT_EQ(w.bytes(), (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 50, 53, 54, 55, 58, 59}));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "Early");
    EXPECT_EQ(list[0].begin, 0);
    EXPECT_EQ(list[0].length, 10);
    EXPECT_EQ(list[1].name, "Empty");
    EXPECT_EQ(list[1].begin, 10);
    EXPECT_EQ(list[1].length, 0);
    EXPECT_EQ(list[2].name, "Late");
    EXPECT_EQ(list[2].begin, 10);
    EXPECT_EQ(list[2].length, 6);
    EXPECT_EQ(list[2].recordLength, 3);
    EXPECT_EQ(list[2].entries[0].memo, "a");
    EXPECT_EQ(list[2].entries[1].start, 1);
}

TEST(CutBlank, AnomalySegmentIsOneRecord) {
    const Bytes data = counting(40);
    Work w(data);
    SegmentList list;
    list.append(seg("H", 4, 20, 7));
    list[0].anomaly = true;
    list[0].entries = {entry(0, 2), entry(10, 3)};
    ASSERT_TRUE(cutBlank(w.wf, list, settings()).file.ok);
    EXPECT_EQ(w.bytes(), (Bytes{4, 5, 14, 15, 16}));
    EXPECT_EQ(list[0].length, 5);
    EXPECT_EQ(list[0].recordLength, 5);
    EXPECT_EQ(list[0].entries[1].start, 2);
}

TEST(CutBlank, ErrorsRefuseAndChangeNothing) {
    const Bytes data = counting(50);
    Work w(data);
    SegmentList list;
    list.append(seg("A", 0, 20, 10));
    list.append(seg("B", 15, 10, 10));
    list[0].entries = {entry(0, 4)};
    const std::string name = w.wf.name;
    const CutBlankResult r = cutBlank(w.wf, list, settings());
    EXPECT_TRUE(r.refused);
    EXPECT_FALSE(r.file.ok);
    EXPECT_EQ(w.wf.name, name);
    EXPECT_EQ(w.bytes(), data);
    EXPECT_EQ(list[1].begin, 15);
    EXPECT_EQ(list[0].entries[0].start, 0);

    // An error among the fields refuses as well: overlapping fields would
    // otherwise be written twice.
    SegmentList fields;
    fields.append(seg("F", 0, 50, 10));
    fields[0].entries = {entry(0, 4), entry(2, 4)};
    EXPECT_TRUE(cutBlank(w.wf, fields, settings()).refused);
    EXPECT_EQ(w.bytes(), data);
}

TEST(CutBlank, StoppedCutKeepsTheStructure) {
    const Bytes data = counting(std::size_t{10} << 20);
    Work w(data);
    SegmentList list;
    list.append(seg("S", 0, 10 << 20, 16));
    list[0].entries = {entry(0, 15)};
    const std::string name = w.wf.name;
    const CutBlankResult r = cutBlank(w.wf, list, settings(), [](double f) { return f < 0.3; });
    EXPECT_FALSE(r.refused);
    EXPECT_FALSE(r.file.ok);
    EXPECT_EQ(w.wf.name, name);
    EXPECT_EQ(list[0].recordLength, 16);
    EXPECT_EQ(list[0].entries[0].length, 15);
    EXPECT_EQ(readBytes(name).size(), data.size());
}

TEST(CutBlank, ResultBeyondWhatBeginsCanAddressIsRefused) {
    // A sparse data file of 3 GiB, described end to end by two segments: the
    // second would be re-laid at a begin past 32 bits.
    TempDir dir;
    const std::string data = dir.file("~qzt0.tmp");
    const std::int64_t size = std::int64_t{3} << 30;
    {
        FileStream f;
        ASSERT_TRUE(f.open(data, FileStream::Mode::Create));
        ASSERT_TRUE(f.truncate(size));
    }
    WorkingFile wf;
    wf.tempDir = dir.dir();
    ASSERT_TRUE(openWorkingFile(wf, data));
    const std::int32_t rec = 65535;
    const std::int32_t firstRecords = std::numeric_limits<std::int32_t>::max() / rec;
    SegmentList list;
    list.append(seg("A", 0, firstRecords * rec, rec));
    list[0].entries = {entry(0, rec)};
    const std::int32_t second = firstRecords * rec;
    const auto rest = static_cast<std::int32_t>((size - second) / rec);
    list.append(seg("B", second, rest * rec, rec));
    list[1].entries = {entry(0, rec)};
    ASSERT_FALSE(hasStructureErrors(list, size));

    int progressCalls = 0;
    const CutBlankResult r = cutBlank(wf, list, settings(), [&](double) {
        ++progressCalls;
        return false; // never let the copy run here
    });
    EXPECT_FALSE(r.refused);
    EXPECT_FALSE(r.file.ok);
    EXPECT_EQ(progressCalls, 0) << r.file.error; // refused before any byte is written
    EXPECT_NE(r.file.error.find("2 GiB"), std::string::npos) << r.file.error;
    EXPECT_EQ(wf.name, data);
    EXPECT_EQ(list[1].begin, second);
    EXPECT_EQ(list[1].recordLength, rec);
}

TEST(CutBlank, NegativeNumbersAreRefusedWithTheirSegmentsName) {
    const Bytes data = counting(40);
    Work w(data);
    SegmentList list;
    list.append(seg("Fine", 0, 20, 10));
    list[0].entries = {entry(0, 4)};
    list.append(seg("Broken", -8, 8, 4));
    list[1].entries = {entry(0, 4)};
    const std::string name = w.wf.name;
    const CutBlankResult r = cutBlank(w.wf, list, settings());
    EXPECT_FALSE(r.file.ok);
    EXPECT_NE(r.file.error.find("Broken"), std::string::npos) << r.file.error;
    EXPECT_EQ(w.wf.name, name);
    EXPECT_EQ(w.bytes(), data);
    EXPECT_EQ(list[0].name, "Fine"); // not even sorted
    EXPECT_EQ(list[1].begin, -8);
}
