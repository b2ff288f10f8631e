#include <gtest/gtest.h>

#include "bytesource.h"
#include "datahint.h"

using namespace vm;

namespace {

DataHintFlags shown(std::initializer_list<TypeKind> kinds) {
    DataHintFlags f{};
    for (TypeKind k : kinds)
        f[static_cast<std::size_t>(k)] = true;
    return f;
}

} // namespace

TEST(DataHint, TypedBytesReadAsTheShownKindsInKindOrder) {
    HintBuffer buf;
    EXPECT_TRUE(setHintHex(buf, "41 42 43"));
    EXPECT_EQ(buf.count, 3);
    const auto rows = hintReadings(buf, shown({TypeKind::Unsigned2, TypeKind::Char1}));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].kind, 3);
    EXPECT_EQ(rows[0].text, "A");
    EXPECT_EQ(rows[1].kind, 6);
    EXPECT_EQ(rows[1].text, "16961");
    // The byte count is the length of the variable kinds.
    EXPECT_EQ(hintReadings(buf, shown({TypeKind::String}))[0].text, "ABC");
    EXPECT_TRUE(hintReadings(buf, DataHintFlags{}).empty());
}

TEST(DataHint, InvalidCharactersAreFlaggedButTheValidDigitsCount) {
    HintBuffer buf;
    EXPECT_FALSE(setHintHex(buf, "4G"));
    EXPECT_EQ(buf.count, 1);
    EXPECT_EQ(buf.bytes[0], 0x04);
    EXPECT_TRUE(setHintHex(buf, "4F"));
    EXPECT_EQ(buf.bytes[0], 0x4F);
}

TEST(DataHint, ShorterTextLeavesNothingOfTheLongerOneAndLongTextIsCut) {
    HintBuffer buf;
    std::string longText;
    for (int i = 0; i < 300; ++i)
        longText += "7F ";
    setHintHex(buf, longText);
    EXPECT_EQ(buf.count, 256);
    setHintHex(buf, "01");
    EXPECT_EQ(hintReadings(buf, shown({TypeKind::Signed8}))[0].text, "1");
}

TEST(DataHint, TypedValueGivesTenBytesOfHex) {
    EXPECT_EQ(hintHexOfValue("1", 9).hex, "00 00 80 3F 00 00 00 00 00 00 ");
    const HintValue bad = hintHexOfValue("x", 7);
    EXPECT_FALSE(bad.encoded);
    EXPECT_EQ(bad.hex, "00 00 00 00 00 00 00 00 00 00 ");
    EXPECT_EQ(hintHexOfValue("1", std::nullopt).hex, bad.hex);
    // A text longer than the buffer is cut, never written past it.
    const HintValue text = hintHexOfValue(std::string(400, 'A'), 14);
    EXPECT_TRUE(text.encoded);
    EXPECT_EQ(text.hex, "41 41 41 41 41 41 41 41 41 41 ");
}

TEST(DataHint, HoverDumpShowsTheBytesThereFewerAtTheEnd) {
    MemorySource src({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    EXPECT_EQ(hintDump(src, 1), "01 02 03 04 05 06 07 08 09 0A ");
    EXPECT_EQ(hintDump(src, 10), "0A 0B ");
    EXPECT_EQ(hintDump(src, 12), "");
}
