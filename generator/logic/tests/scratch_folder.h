// A fresh folder for the window's tests, whose name has Cyrillic letters and
// a space; removed after each test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace fs = std::filesystem;

// The UTF-8 (Windows) or byte (POSIX) path string the logic takes.
inline std::string Narrow(const fs::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

class Scratch : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / fs::path(u8"папка qr ");
        folder_ += std::to_string(std::random_device()());
        ASSERT_TRUE(fs::create_directory(folder_));
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path folder_;
};
