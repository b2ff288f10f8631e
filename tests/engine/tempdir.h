#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// A fresh folder per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("vm-") + (info ? info->test_suite_name() : "t") + "-" +
                           (info ? info->name() : "x") + "-XXXXXX";
        std::string tmpl = (std::filesystem::temp_directory_path() / name).string();
#ifdef _WIN32
        // No mkdtemp: a random name that create_directory finds free.
        tmpl.resize(tmpl.size() - 6);
        std::random_device random;
        for (int attempt = 0; m_path.empty(); ++attempt) {
            const std::string candidate = tmpl + std::to_string(random() % 1000000);
            if (std::filesystem::create_directory(candidate))
                m_path = candidate;
            else if (attempt > 100)
                throw std::runtime_error("no free temporary folder name");
        }
#else
        char* p = ::mkdtemp(tmpl.data());
        if (!p)
            throw std::runtime_error("mkdtemp failed");
        m_path = p;
#endif
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // The folder with its trailing separator, as the working-file naming expects.
    std::string dir() const { return m_path + "/"; }

private:
    std::string m_path;
};

inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
}
