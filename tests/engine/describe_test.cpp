#include <algorithm>

#include <gtest/gtest.h>

#include "bytesource.h"
#include "describe.h"
#include "recordlayouts.h"

using namespace vm;
using recordlayouts::makeRecordFile;

namespace {

std::string layoutText(const std::vector<FieldProposal>& fields) {
    std::string s;
    for (const FieldProposal& f : fields)
        s += std::to_string(f.start) + "+" + std::to_string(f.length) + ":" +
             std::string(kindName(f.kind)) + " ";
    return s;
}

std::string layoutText(const std::vector<recordlayouts::TrueField>& fields) {
    std::string s;
    for (const auto& f : fields)
        s += std::to_string(f.start) + "+" + std::to_string(f.length) + ":" +
             std::string(kindName(static_cast<int>(f.kind))) + " ";
    return s;
}

} // namespace

// Files of random layouts whose fields the bytes show plainly: the record
// length (a counter in the record tempts a multiple of it), the header and
// every field's place and kind come back as they were made.
TEST(Describe, FindsRecordLengthHeaderAndFieldsOfKnownLayouts) {
    for (unsigned seed = 1; seed <= 24; ++seed) {
        const bool header = seed % 2 == 0;
        const auto made = makeRecordFile(seed, header);
        const MemorySource src(made.bytes);
        const DescribeResult r = describeRecords(src, 0, -1);
        ASSERT_TRUE(r.ok) << r.message;
        const RecordProposal& p = r.proposals.front();
        SCOPED_TRACE("seed " + std::to_string(seed) + ", made " + layoutText(made.fields));
        EXPECT_EQ(p.recordLength, made.recordLength);
        EXPECT_EQ(p.firstRecord, made.header);
        EXPECT_EQ(p.recordCount, made.records);
        if (p.recordLength == made.recordLength && p.firstRecord == made.header) {
            EXPECT_EQ(layoutText(p.fields), layoutText(made.fields));
        }
        EXPECT_GT(p.evidence, 0.0);
        for (std::size_t i = 1; i < r.proposals.size(); ++i)
            EXPECT_NE(r.proposals[i].recordLength, p.recordLength);
    }
}

// The range is what is described: bytes before and after it play no part, and
// the first record is an offset in the file.
TEST(Describe, DescribesOnlyTheRange) {
    const auto made = makeRecordFile(7, false);
    std::vector<std::uint8_t> bytes(5000 + made.bytes.size() + 3000, 0x5A);
    std::fill_n(bytes.begin(), 5000, std::uint8_t{0xA5});
    for (std::size_t i = 0; i < made.bytes.size(); ++i)
        bytes[5000 + i] = made.bytes[i];
    const MemorySource src(bytes);
    const DescribeResult r =
        describeRecords(src, 5000, static_cast<std::int64_t>(made.bytes.size()));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.proposals.front().recordLength, made.recordLength);
    EXPECT_EQ(r.proposals.front().firstRecord, 5000);
    EXPECT_EQ(r.proposals.front().recordCount, made.records);
}

TEST(Describe, RefusesWhatCannotBeDescribed) {
    const MemorySource tiny(std::vector<std::uint8_t>{1, 2, 3});
    EXPECT_FALSE(describeRecords(tiny, 0, -1).ok);
    const MemorySource src(std::vector<std::uint8_t>(100, 7));
    EXPECT_FALSE(describeRecords(src, 101, -1).ok);
    DescribeOptions forced;
    forced.recordLength = 200;
    EXPECT_FALSE(describeRecords(src, 0, -1, forced).ok);
}

// A record length asked for is described as asked, and the segments of a
// proposal tile the range exactly: header, whole records, trailer.
TEST(Describe, ForcedLengthAndSegmentsTileTheRange) {
    const auto made = makeRecordFile(11, true);
    const MemorySource src(made.bytes);
    DescribeOptions forced;
    forced.recordLength = made.recordLength * 2 + 1;
    const DescribeResult r = describeRecords(src, 0, -1, forced);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.proposals.size(), 1u);
    const RecordProposal& p = r.proposals.front();
    EXPECT_EQ(p.recordLength, forced.recordLength);
    const auto n = static_cast<std::int64_t>(made.bytes.size());
    const SegmentList segs = proposalSegments(p, 0, n);
    std::int64_t at = 0;
    for (const auto& s : segs) {
        EXPECT_EQ(s->begin, at) << s->name;
        if (!s->anomaly) {
            EXPECT_EQ(s->length, s->recordCount * s->recordLength);
            std::int64_t covered = 0;
            for (const TypeEntry& e : s->entries) {
                EXPECT_EQ(e.start, covered);
                covered += e.length;
            }
            EXPECT_EQ(covered, s->recordLength);
        } else {
            std::int64_t covered = 0;
            for (const TypeEntry& e : s->entries)
                covered += e.length;
            EXPECT_EQ(covered, s->length) << s->name;
        }
        at += s->length;
    }
    EXPECT_EQ(at, n);
}
