#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "bytesource.h"
#include "codec.h"
#include "kinds.h"

using namespace vm;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string dec(const Bytes& b, int kind, int length = 0, const Locale& loc = defaultLocale()) {
    Bytes buf = b;
    buf.resize(std::max<std::size_t>(buf.size(), 256), 0);
    return decodeValue(buf, kind, length, loc);
}

// Encodes and returns the first n bytes, or nothing when encoding fails.
std::optional<Bytes> enc(std::string_view text, int kind, int length, std::size_t n,
                         const Locale& loc = defaultLocale()) {
    Bytes buf(256, 0xEE);
    if (!encodeValue(text, kind, length, buf, loc))
        return std::nullopt;
    return Bytes(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
}

Bytes le64(std::uint64_t v) {
    Bytes b(8);
    for (int i = 0; i < 8; ++i)
        b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    return b;
}

} // namespace

TEST(KindTable, NamesAndWidthsInCodeOrder) {
    ASSERT_EQ(kindTable().size(), 16u);
    EXPECT_EQ(kindName(0), "1Bsigned");
    EXPECT_EQ(kindName(12), "8BDateTime");
    EXPECT_EQ(kindName(15), "unKnow");
    EXPECT_EQ(kindName(16), "******");
    EXPECT_EQ(kindFromName("4Bunsigned"), 8);
    EXPECT_FALSE(kindFromName("4bunsigned"));
    EXPECT_EQ(entryDisplayWidth(14, 7), 7);
    EXPECT_EQ(entryDisplayWidth(15, 7), 21);
    EXPECT_EQ(entryDisplayWidth(9, 2), 21);
}

TEST(Decode, IntegersReadTheirOwnSizeLittleEndian) {
    EXPECT_EQ(dec({0xFF}, 0), "-1");
    EXPECT_EQ(dec({0xFF}, 1), "255");
    EXPECT_EQ(dec({0x0A}, 2), "0A");
    EXPECT_EQ(dec({0x05}, 4), "00000101");
    EXPECT_EQ(dec({0x00, 0x80}, 5), "-32768");
    EXPECT_EQ(dec({0x00, 0x80}, 6), "32768");
    EXPECT_EQ(dec({0xFF, 0xFF, 0xFF, 0xFF}, 7), "-1");
    EXPECT_EQ(dec({0xFF, 0xFF, 0xFF, 0xFF}, 8), "4294967295");
    EXPECT_EQ(dec({0, 0, 0, 0, 0, 0, 0, 0x80}, 10), "-9223372036854775808");
    // The field's length does not change how many bytes a fixed kind reads.
    EXPECT_EQ(dec({0x01, 0x00, 0x01, 0x00}, 7, 2), "65537");
}

TEST(Decode, CharactersShowPrintableOnly) {
    EXPECT_EQ(dec({0x41}, 3), "A");
    EXPECT_EQ(dec({0x7F}, 3), "\x7F");
    EXPECT_EQ(dec({0x1F}, 3), "\x80");
    EXPECT_EQ(dec({0xE9}, 3), "\x80");
}

TEST(Decode, StringsAndRawBytes) {
    EXPECT_EQ(dec({'A', 'B', 0, 'C'}, 14, 4), "AB");
    EXPECT_EQ(dec({'A', 'B', 'C'}, 14, 2), "AB");
    Bytes sixty(60, 0x11);
    sixty[49] = 0xAB;
    const std::string raw = dec(sixty, 15, 60);
    EXPECT_EQ(raw.size(), 150u);
    EXPECT_EQ(raw.substr(147), "AB ");
    EXPECT_EQ(dec({0x4D, 0x5A, 0x90}, 15, 3), "4D 5A 90 ");
    Bytes longText(300, 'x');
    EXPECT_EQ(dec(longText, 14, 300).size(), 255u);
    EXPECT_EQ(dec({1}, 16), "******");
}

TEST(Decode, FloatsInGeneralFormat) {
    EXPECT_EQ(dec({0xCD, 0xCC, 0xCC, 0x3D}, 9), "0.100000001490116");
    EXPECT_EQ(dec(le64(std::bit_cast<std::uint64_t>(1e20)), 11), "1E20");
    EXPECT_EQ(dec(le64(std::bit_cast<std::uint64_t>(1.5e-10)), 11), "1.5E-10");
    EXPECT_EQ(dec(le64(std::bit_cast<std::uint64_t>(-2.5)), 11), "-2.5");
    EXPECT_EQ(dec(le64(std::bit_cast<std::uint64_t>(0.00001)), 11), "0.00001");
    EXPECT_EQ(dec(le64(std::bit_cast<std::uint64_t>(123456789012345.0)), 11), "123456789012345");
    EXPECT_EQ(dec(le64(std::bit_cast<std::uint64_t>(1e15)), 11), "1E15");
    EXPECT_EQ(dec(le64(0), 11), "0");
    Locale comma;
    comma.decimalSeparator = ',';
    EXPECT_EQ(dec(le64(std::bit_cast<std::uint64_t>(1.25)), 11, 0, comma), "1,25");
}

TEST(Decode, CurrencyIsTenThousandths) {
    EXPECT_EQ(dec(le64(15000), 13), "1.5");
    EXPECT_EQ(dec(le64(static_cast<std::uint64_t>(-1)), 13), "-0.0001");
}

TEST(Decode, DateTimeFormsAndLimits) {
    auto d = [](double v) { return dec(le64(std::bit_cast<std::uint64_t>(v)), 12); };
    EXPECT_EQ(d(0), "1899/12/30");
    EXPECT_EQ(d(45000.5), "2023/03/15 12:00:00");
    EXPECT_EQ(d(-1.25), "1899/12/29 06:00:00");
    EXPECT_EQ(d(-693593), "0001/01/01");
    EXPECT_EQ(d(-693594), "n/a");
    EXPECT_EQ(d(2958466), "n/a");
    EXPECT_EQ(d(std::numeric_limits<double>::quiet_NaN()), "n/a");
    EXPECT_EQ(d(std::numeric_limits<double>::infinity()), "n/a");
    Locale us;
    us.shortDate = "m/d/yyyy";
    us.longTime = "h:nn:ss";
    EXPECT_EQ(dec(le64(std::bit_cast<std::uint64_t>(45000.75)), 12, 0, us), "3/15/2023 18:00:00");
}

TEST(Decode, FromSourceStopsAtTheEnd) {
    MemorySource src(Bytes{0x01, 0x02, 0x03});
    EXPECT_EQ(decodeValue(src, 3, 1, 1), "");
    EXPECT_EQ(decodeValue(src, -1, 1, 1), "");
    EXPECT_EQ(decodeValue(src, 1, 6, 2), "770");          // 02 03
    EXPECT_EQ(decodeValue(src, 2, 7, 4), "3");            // 03 then zeros past the end
    EXPECT_EQ(decodeValue(src, 0, 15, 5), "01 02 03 00 00 ");
}

TEST(Encode, IntegersAndTheirRanges) {
    EXPECT_EQ(enc("300", 1, 1, 1), (Bytes{0x2C}));
    EXPECT_EQ(enc("-1", 8, 4, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(enc("4294967295", 8, 4, 4));
    EXPECT_EQ(enc("0xFFFFFFFF", 8, 4, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(enc("$10", 5, 2, 2), (Bytes{0x10, 0}));
    EXPECT_EQ(enc("  -2", 10, 8, 8), le64(static_cast<std::uint64_t>(-2)));
    EXPECT_FALSE(enc("2147483648", 10, 8, 8));
    EXPECT_FALSE(enc("12a", 7, 4, 4));
    EXPECT_FALSE(enc("", 0, 1, 1));
    EXPECT_FALSE(enc("0x100000000", 7, 4, 4));
}

TEST(Encode, HexCharBitsStringRaw) {
    EXPECT_EQ(enc("ff", 2, 1, 1), (Bytes{0xFF}));
    EXPECT_EQ(enc("FF", 2, 1, 1), (Bytes{0xFF}));
    EXPECT_FALSE(enc("g", 2, 1, 1));
    EXPECT_EQ(enc("Zq", 3, 1, 1), (Bytes{'Z'}));
    EXPECT_FALSE(enc("", 3, 1, 1));
    EXPECT_EQ(enc("101", 4, 1, 1), (Bytes{0xA0}));
    EXPECT_EQ(enc("abcdef", 14, 4, 6), (Bytes{'a', 'b', 'c', 'd', 0xEE, 0xEE}));
    EXPECT_EQ(enc("ab", 14, 4, 4), (Bytes{'a', 'b', 0, 0}));
    EXPECT_EQ(enc("12 3g4", 15, 4, 4), (Bytes{0x12, 0x34, 0, 0}));
    EXPECT_EQ(enc("ABC", 15, 4, 2), (Bytes{0xAB, 0x0C}));
    EXPECT_FALSE(enc("1", 16, 1, 1));
}

TEST(Encode, RealsCurrencyAndDates) {
    EXPECT_EQ(enc("1.5", 13, 8, 8), le64(15000));
    EXPECT_EQ(enc("-0.0001", 13, 8, 8), le64(static_cast<std::uint64_t>(-1)));
    EXPECT_FALSE(enc("1e300", 13, 8, 8));
    EXPECT_EQ(enc("0.5", 11, 8, 8), le64(std::bit_cast<std::uint64_t>(0.5)));
    EXPECT_EQ(enc("1e3", 9, 4, 4), (Bytes{0, 0, 0x7A, 0x44}));
    EXPECT_FALSE(enc("1e39", 9, 4, 4));
    EXPECT_FALSE(enc("1,5", 11, 8, 8));
    Locale comma;
    comma.decimalSeparator = ',';
    EXPECT_EQ(enc("1,5", 11, 8, 8, comma), le64(std::bit_cast<std::uint64_t>(1.5)));
    EXPECT_EQ(enc("2023/03/15 12:00:00", 12, 8, 8), le64(std::bit_cast<std::uint64_t>(45000.5)));
    EXPECT_EQ(enc("1899/12/29 06:00:00", 12, 8, 8), le64(std::bit_cast<std::uint64_t>(-1.25)));
    EXPECT_FALSE(enc("2023/02/30", 12, 8, 8));
    EXPECT_FALSE(enc("tomorrow", 12, 8, 8));
}

TEST(Encode, FailureLeavesZerosNotAPartialValue) {
    Bytes buf(8, 0xEE);
    EXPECT_FALSE(encodeValue("x", 7, 4, buf));
    EXPECT_EQ(buf, (Bytes{0, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(Encode, EveryKindRoundTripsThroughItsOwnText) {
    const std::vector<std::pair<int, Bytes>> samples = {
        {0, {0x80}},  {1, {0xFE}},  {2, {0x7B}},       {3, {'q'}},
        {4, {0x5A}},  {5, {0x01, 0x80}}, {6, {0xFF, 0x7F}}, {7, {1, 2, 3, 0x84}},
        {9, {0, 0, 0x20, 0x41}}, {10, le64(0x7FFF0000FFFFull)}, {11, le64(std::bit_cast<std::uint64_t>(-3.25))},
        {12, le64(std::bit_cast<std::uint64_t>(45000.25))}, {13, le64(123456789)},
        {14, {'h', 'i', 0, 0}}, {15, {0xDE, 0xAD, 0xBE, 0xEF}},
    };
    for (const auto& [kind, bytes] : samples) {
        const int length = kind >= 14 ? 4 : kindInfo(kind)->defaultLength;
        const std::string text = dec(bytes, kind, length);
        if (kind == 10) {
            // Only the 32-bit range can be typed back.
            continue;
        }
        const auto back = enc(text, kind, length, bytes.size());
        ASSERT_TRUE(back) << "kind " << kind << " text " << text;
        EXPECT_EQ(*back, bytes) << "kind " << kind << " text " << text;
    }
}

TEST(EncodeReport, TellsWhatWasCutAndWhatDidNotEncode) {
    struct Case {
        const char* text;
        int kind;
        int length;
        EncodeFit fit;
    };
    const Case cases[] = {
        {"40000", 5, 2, EncodeFit::Cut},
        {"-32768", 5, 2, EncodeFit::Exact},
        {"-1", 8, 4, EncodeFit::Cut},
        {"$FFFFFFFF", 8, 4, EncodeFit::Exact},
        {"$FFFF", 5, 2, EncodeFit::Exact},
        {"$1FF", 1, 1, EncodeFit::Cut},
        {"4294967295", 8, 4, EncodeFit::NotEncoded},
        {"2147483647", 10, 8, EncodeFit::Exact},
        {"300", 6, 1, EncodeFit::Cut}, // a fixed kind in a field of fewer bytes
        {"1FF", 2, 1, EncodeFit::Cut},
        {"ab", 3, 1, EncodeFit::Cut},
        {"", 3, 1, EncodeFit::NotEncoded},
        {"101", 4, 1, EncodeFit::Exact},
        {"10120", 4, 1, EncodeFit::Cut},
        {"1,5", 9, 4, EncodeFit::NotEncoded},
        {"1e-50", 9, 4, EncodeFit::Cut},
        {"1e40", 9, 4, EncodeFit::NotEncoded},
        {"0.1", 9, 4, EncodeFit::Exact},
        {"1.1", 13, 8, EncodeFit::Exact},
        {"1.23456", 13, 8, EncodeFit::Cut},
        {"1.5", 11, 4, EncodeFit::Cut},
        {"hello", 14, 4, EncodeFit::Cut},
        {"hell", 14, 4, EncodeFit::Exact},
        {"DE AD BE EF 01", 15, 4, EncodeFit::Cut},
        {"DE AD zz", 15, 4, EncodeFit::Cut},
        {"2006/10/28", 12, 8, EncodeFit::Exact},
        {"28.10.2006", 12, 8, EncodeFit::NotEncoded},
    };
    for (const Case& c : cases) {
        Bytes plain(16, 0xEE);
        Bytes reported(16, 0xEE);
        const bool ok = encodeValue(c.text, c.kind, c.length, plain);
        const EncodeReport r = encodeValueReport(c.text, c.kind, c.length, reported);
        EXPECT_EQ(r.fit, c.fit) << c.text << " kind " << c.kind << ": " << r.reason;
        EXPECT_EQ(r.reason.empty(), c.fit == EncodeFit::Exact) << c.text;
        // The report changes nothing of what is written.
        EXPECT_EQ(ok, r.fit != EncodeFit::NotEncoded) << c.text;
        EXPECT_EQ(reported, plain) << c.text;
    }
    Bytes buf(8);
    EXPECT_EQ(encodeValueReport("40000", 5, 2, buf).reason,
              "outside the range of 2Bsigned, -32768 to 32767");
    EXPECT_EQ(encodeValueReport("1,5", 9, 4, buf).reason,
              "not a number (the decimal separator is \".\")");
}

TEST(Convert, BetweenKinds) {
    Bytes b = {0x2C, 0x01, 0, 0, 0, 0, 0, 0}; // 300 as 2Bsigned
    ASSERT_TRUE(convertValue(b, 5, 2, 1, 1));
    EXPECT_EQ(b[0], 0x2C);

    Bytes s(16, 0);
    s[0] = '1';
    s[1] = '2';
    ASSERT_TRUE(convertValue(s, 14, 10, 7, 4));
    EXPECT_EQ(Bytes(s.begin(), s.begin() + 4), (Bytes{12, 0, 0, 0}));

    Bytes r = le64(std::bit_cast<std::uint64_t>(2.5));
    ASSERT_TRUE(convertValue(r, 11, 8, 7, 4));
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 4), (Bytes{2, 0, 0, 0})); // halves to even

    Bytes c = {'A', 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(convertValue(c, 3, 1, 1, 1));
    EXPECT_FALSE(convertValue(c, 3, 1, 3, 1));
    Bytes c7 = {'7', 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(convertValue(c7, 3, 1, 5, 2));
    EXPECT_EQ(c7[0], 7);

    Bytes n = {0xD2, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; // 1234
    ASSERT_TRUE(convertValue(n, 7, 4, 14, 6));
    EXPECT_EQ(Bytes(n.begin(), n.begin() + 6), (Bytes{'1', '2', '3', '4', 0, 0}));

    Bytes cur = le64(15000);
    ASSERT_TRUE(convertValue(cur, 13, 8, 11, 8));
    EXPECT_EQ(cur, le64(std::bit_cast<std::uint64_t>(1.5)));

    Bytes big = le64(0x100000000ull);
    EXPECT_FALSE(convertValue(big, 10, 8, 7, 4));

    Bytes raw = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(convertValue(raw, 15, 8, 7, 4));
    EXPECT_EQ(raw, (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(Helpers, IntegerInputRule) {
    EXPECT_EQ(parseInteger("  42"), 42);
    EXPECT_EQ(parseInteger("-7"), -7);
    EXPECT_EQ(parseInteger("+7"), 7);
    EXPECT_EQ(parseInteger("$ff"), 255);
    EXPECT_EQ(parseInteger("x1F"), 31);
    EXPECT_EQ(parseInteger("0X10"), 16);
    EXPECT_EQ(parseInteger("-$10"), -16);
    EXPECT_FALSE(parseInteger("42 "));
    EXPECT_FALSE(parseInteger("4 2"));
    EXPECT_FALSE(parseInteger(""));
    EXPECT_FALSE(parseInteger("0x"));
    EXPECT_FALSE(parseInteger("1.0"));
    EXPECT_FALSE(parseInteger("99999999999999999999"));
    EXPECT_EQ(parseInt32("$FFFFFFFF"), -1);
    EXPECT_EQ(parseInt32("2147483647"), 2147483647);
    EXPECT_FALSE(parseInt32("2147483648"));
    EXPECT_EQ(parseInt32("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_FALSE(parseInt32("$1FFFFFFFF"));
}

TEST(Helpers, TextHelpers) {
    EXPECT_EQ(padText("ab", 4), "ab  ");
    EXPECT_EQ(padText("ab", 4, PadSide::Left), "  ab");
    EXPECT_EQ(padText("abcdef", 4), "abcdef");
    EXPECT_EQ(stripLeadingZeros("000"), "0");
    EXPECT_EQ(stripLeadingZeros("0012"), "12");
    EXPECT_EQ(stripLeadingZeros(""), "");
    EXPECT_EQ(parseBits("11111111111"), 0xFF);
    EXPECT_EQ(parseBits("2x1"), 0x20);
    std::array<std::uint8_t, 2> out{};
    const HexBytes h = parseHexBytes("A1 B2 C3", out);
    EXPECT_EQ(h.count, 2u);
    EXPECT_TRUE(h.valid);
    EXPECT_FALSE(parseHexBytes("zz", out).valid);
    EXPECT_TRUE(isShownChar(32));
    EXPECT_TRUE(isShownChar(127));
    EXPECT_FALSE(isShownChar(128));
}
