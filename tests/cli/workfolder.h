#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tempdir.h"

// Working copies are made in TMPDIR: each test gets a folder of its own
// there, and a command leaves none behind.
class CliWorkFolder : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
        ::setenv("TMPDIR", m_tmp.path().c_str(), 1);
    }
    void TearDown() override {
        EXPECT_TRUE(std::filesystem::is_empty(m_tmp.path())) << "working copies left behind";
        if (m_oldTmp.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", m_oldTmp.c_str(), 1);
    }

private:
    TempDir m_tmp;
    std::string m_oldTmp;
};

// A data file and its type file beside it, in a folder of their own.
struct DataAndType {
    TempDir dir;
    std::string data = dir.file("d.bin");
    std::string type = data + ".type";
};
