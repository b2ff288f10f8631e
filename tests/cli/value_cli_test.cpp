#include <gtest/gtest.h>

#include "runcli.h"
#include "tempdir.h"

TEST(CliValues, DecodeByNameAndCode) {
    EXPECT_EQ(runCli({"decode", "4Bsigned", "4", "FF FF FF FF"}).out, "-1\n");
    EXPECT_EQ(runCli({"decode", "8", "4", "ffffffff"}).out, "4294967295\n");
    EXPECT_EQ(runCli({"decode", "9", "4", "CD CC CC 3D"}).out, "0.100000001490116\n");
    // Short input: the rest of the buffer is zero.
    EXPECT_EQ(runCli({"decode", "2Bunsigned", "2", "01"}).out, "1\n");
    EXPECT_EQ(runCli({"decode", "string", "4", "41 42 00 43"}).out, "AB\n");
    EXPECT_EQ(runCli({"decode", "99", "1", "00"}).out, "******\n");
    // Single-byte text comes out as UTF-8: 0x80 is the euro sign.
    EXPECT_EQ(runCli({"decode", "1BChar", "1", "E9"}).out, "\xE2\x82\xAC\n");
    EXPECT_EQ(runCli({"decode", "string", "2", "E9 41"}).out, "\xC3\xA9" "A\n");
}

TEST(CliValues, EncodePrintsTheBufferAndFailsHonestly) {
    CliRun r = runCli({"encode", "4Bunsigned", "4", "-1"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "FF FF FF FF\n");
    r = runCli({"encode", "8BCurrency", "8", "1.5"});
    EXPECT_EQ(r.out, "98 3A 00 00 00 00 00 00\n");
    r = runCli({"encode", "unKnow", "4", "12 3g4"});
    EXPECT_EQ(r.out, "12 34 00 00\n");
    r = runCli({"encode", "4Bunsigned", "4", "4294967295"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "00 00 00 00\n");
    EXPECT_FALSE(r.err.empty());
    r = runCli({"encode", "2Bsigned", "1", "7"}); // at least the kind's own size
    EXPECT_EQ(r.out, "07 00\n");
    r = runCli({"encode", "string", "3", "\xC3\xA9t\xC3\xA9"});
    EXPECT_EQ(r.out, "E9 74 E9\n");
}

TEST(CliValues, Convert) {
    CliRun r = runCli({"convert", "2Bsigned", "2", "1Bunsigned", "1", "2C 01"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "2C\n");
    r = runCli({"convert", "string", "4", "4Bsigned", "4", "31 32 00 00"});
    EXPECT_EQ(r.out, "0C 00 00 00\n");
    r = runCli({"convert", "1BChar", "1", "1Bsigned", "1", "41"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
}

TEST(CliValues, BadArgumentsAreRefusedClearly) {
    CliRun r = runCli({"decode", "notakind", "1", "00"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("notakind"), std::string::npos);
    EXPECT_EQ(runCli({"decode", "1Bsigned", "1", "0G"}).code, 1);
    EXPECT_EQ(runCli({"decode", "1Bsigned", "1", "012"}).code, 1);
    EXPECT_EQ(runCli({"decode", "1Bsigned", "-1", "01"}).code, 1);
    EXPECT_EQ(runCli({"frobnicate"}).code, 1);
    r = runCli({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("print-type"), std::string::npos);
}
