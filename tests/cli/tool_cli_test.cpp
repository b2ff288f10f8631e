#include <gtest/gtest.h>

#include "runcli.h"
#include "tempdir.h"

TEST(CliFind, PrintsTheResultRowsWithSeparatorsBetweenHitsOfSeveralConditions) {
    TempDir dir;
    const std::string data = dir.file("d.bin");
    writeBytes(data, {0xFF, 0xFF, 0x00, 0xFF});
    CliRun r = runCli({"find", data, "--cond", "1Bunsigned=255"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "1\t1Bunsigned\t255\t0\n2\t1Bunsigned\t255\t1\n3\t1Bunsigned\t255\t3\n");

    // A value that is no value of its kind is searched as zero bytes; a range
    // that is not a whole number counts as 0, so both must lie at one offset.
    r = runCli({"find", data, "--cond", "1BHex=0", "--cond", "1Bsigned=abc", "--range", "ten"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "1\t1BHex\t0\t2\n1\t1Bsigned\tabc\t2\n\n");

    r = runCli({"find", data, "--cond", "4Bunsigned=1"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
}

TEST(CliFind, RefusesBadArguments) {
    TempDir dir;
    const std::string data = dir.file("d.bin");
    writeBytes(data, {1, 2, 3});
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"find", data},
          {"find", data, "--cond", "nokind=1"},
          {"find", data, "--cond", "1Bsigned"},
          {"find", data, "--cond", "16=1"},
          {"find", dir.file("missing.bin"), "--cond", "1Bsigned=1"}}) {
        const CliRun r = runCli(args);
        EXPECT_EQ(r.code, 1) << args.back();
        EXPECT_FALSE(r.err.empty());
    }
}

TEST(CliFind, TextConditionsTakeEitherEncodingAndAnyCase) {
    TempDir dir;
    const std::string data = dir.file("d.bin");
    // "Hello, W\xF6rld" in Windows-1252 at 0, "HELLO" in UTF-16LE at 14.
    std::vector<std::uint8_t> bytes{'H', 'e', 'l', 'l', 'o', ',', ' ', 'W', 0xF6, 'r', 'l', 'd'};
    bytes.resize(14, 0);
    for (const char c : std::string("HELLO"))
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c), 0});
    writeBytes(data, bytes);

    CliRun r = runCli({"find", data, "--cond", "text=w\xC3\xB6rld"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    r = runCli({"find", data, "--cond", "text=w\xC3\xB6rld", "--ignore-case"});
    EXPECT_EQ(r.out, "1\ttext\tw\xC3\xB6rld\t7\n");
    r = runCli({"find", data, "--cond", "text=hello", "--ignore-case", "--utf16", "--cond",
                "text=Hello", "--range", "20"});
    EXPECT_EQ(r.out, "1\ttext\thello\t14\n1\ttext\tHello\t0\n\n");

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"find", data, "--utf16", "--cond", "text=a"},
          {"find", data, "--cond", "1Bsigned=1", "--ignore-case"},
          {"find", data, "--cond", "text="},
          {"find", data, "--cond", "text=\xCE\xA9"}}) {
        r = runCli(args);
        EXPECT_EQ(r.code, 1) << args[2];
        EXPECT_FALSE(r.err.empty());
    }
}

TEST(CliCompare, ListsBelowTheMaximumCountsAllAndExitsAsCmp) {
    TempDir dir;
    const std::string a = dir.file("a.bin");
    const std::string b = dir.file("b.bin");
    writeBytes(a, {0x0A, 1, 2, 3, 4});
    writeBytes(b, {0xFF, 1, 9, 3});
    CliRun r = runCli({"compare", a, b});
    EXPECT_EQ(r.code, 1);
    // Past the end of the shorter file the target is empty.
    EXPECT_EQ(r.out, "1\tA\tFF\t0\n2\t2\t9\t2\n3\t4\t\t4\ndifferences\t3\n");
    r = runCli({"compare", a, b, "--max", "1"});
    EXPECT_EQ(r.out, "differences\t3\n");
    r = runCli({"compare", a, b, "--max", "x"});
    EXPECT_EQ(r.out, "differences\t3\n");

    r = runCli({"compare", a, a});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "differences\t0\n");

    r = runCli({"compare", a, dir.file("missing.bin")});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("Is Not Exit"), std::string::npos);
    EXPECT_EQ(runCli({"compare", a}).code, 2);
}
