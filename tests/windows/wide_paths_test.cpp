// Recordings at wide-character paths and UTF-16LE text, through the exported loaders of the Windows build.
#include "qolt_api.h"
#include "synth/PlaybackBuffer.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A folder of its own under the temporary folder, with a name no narrow code page spells.
class WidePaths : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        dir_ = std::wstring(temp) + L"qolt-\x00e9\x0416\x03a9-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    void TearDown() override {
        for (const std::wstring& f : files_) {
            DeleteFileW(f.c_str());
        }
        RemoveDirectoryW(dir_.c_str());
    }
    std::wstring Write(const std::wstring& name, const std::string& bytes) {
        const std::wstring path = dir_ + L"\\" + name;
        FILE* f = _wfopen(path.c_str(), L"wb");
        EXPECT_NE(f, nullptr);
        if (f != nullptr) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        files_.push_back(path);
        return path;
    }
    static std::vector<double> Loaded() {
        return std::vector<double>(g_pECGFile, g_pECGFile + g_nECGFileSize);
    }

    std::wstring dir_;
    std::vector<std::wstring> files_;
};

std::string Utf16(const std::string& ascii) {
    std::string s = "\xFF\xFE";
    for (char c : ascii) {
        s += c;
        s += '\0';
    }
    return s;
}

TEST_F(WidePaths, TextLoadsFromAWidePathInEitherEncoding) {
    struct Case {
        const wchar_t* name;
        std::string content;
        std::vector<double> values;
        double rate;
    } cases[] = {
        {L"narrow-\x0436.txt", "250\n3\n1.5\n-7000\n2\n", {1.5, -5000, 2}, 250},
        {L"utf16-crlf-\x65e5.txt", Utf16("500\r\n2\r\n10\r\n-20\r\n"), {10, -20}, 500},
        {L"utf16-lf-\x00fc.txt", Utf16("100\n3\n1\n\n2\n"), {1, 0, 2}, 100},
    };
    for (const Case& c : cases) {
        const std::wstring path = Write(c.name, c.content);
        EXPECT_EQ(LoadEEGtxt(path.c_str()), static_cast<int>(c.values.size()));
        EXPECT_EQ(Loaded(), c.values);
        EXPECT_EQ(g_fECGFileFreq, c.rate);
    }
}

TEST_F(WidePaths, BinaryLoadsFromAWidePath) {
    // Rate 200, three samples 1, -2, 7000 (clamped), big-endian.
    const std::string bytes("\x00\xC8\x00\x00\x00\x03\x00\x01\xFF\xFE\x1B\x58", 12);
    const std::wstring path = Write(L"rec-\x0416\x0416.bin", bytes);
    EXPECT_EQ(LoadEEGbin(path.c_str()), 3);
    EXPECT_EQ(Loaded(), (std::vector<double>{1, -2, 5000}));
    EXPECT_EQ(g_fECGFileFreq, 200);
}

TEST_F(WidePaths, WhatIsNoRegularFileIsRefusedAndKeepsTheRecording) {
    const std::wstring good = Write(L"keep.txt", "100\n2\n1\n2\n");
    ASSERT_EQ(LoadEEGtxt(good.c_str()), 2);
    EXPECT_LT(LoadEEGtxt(dir_.c_str()), 0);                             // a folder
    EXPECT_LT(LoadEEGtxt((dir_ + L"\\missing-\x00e9.txt").c_str()), 0); // nothing there
    EXPECT_LT(LoadEEGtxt(nullptr), 0);
    EXPECT_LT(LoadEEGbin(L"\\\\.\\NUL"), 0); // a device
    EXPECT_EQ(Loaded(), (std::vector<double>{1, 2}));
}

} // namespace
