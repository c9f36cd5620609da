// Files and cabinets for the gauge-package tests: cabinets written here byte by
// byte (stored folders), since the entry names, attributes and sets they need
// are ones no packer at hand writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace cabtest {

struct StoredEntry {
    std::string name;  // bytes as stored
    std::string data;
    std::uint16_t attributes = 0x20;
    std::uint32_t stamp = 0x6B2D5A87;  // MS-DOS date (low word) and time: 2025-04-07 13:25:26
};
// A cabinet with the entries in one uncompressed folder (data up to 32 KiB in all).
std::string StoredCabinet(const std::vector<StoredEntry>& entries);

// Any cabinet of stored folders, each of one data block: a block may be part
// of a file continued from the previous cabinet (prev) or into the next one.
struct CabFile {
    std::string name;
    unsigned size, offset;  // offset in the folder's uncompressed data
    unsigned folder;        // its index, or 0xFFFD / 0xFFFE / 0xFFFF
    std::uint16_t attributes = 0x20;
    std::uint32_t stamp = 0x6B2D5A87;
};
struct CabBlock {
    std::string bytes;
    unsigned uncompressed;  // 0 in a block's first part when it continues
};
std::string Cabinet(const std::vector<CabFile>& files, const std::vector<CabBlock>& folders, unsigned index = 0,
                    const std::string& prev = "", const std::string& next = "");

bool WriteBytes(const std::filesystem::path& path, const std::string& bytes);
std::string ReadBytes(const std::filesystem::path& path);
// Every file (its bytes) and folder ("<folder>") under root by relative UTF-8
// name; empty when root does not exist.
std::map<std::string, std::string> Tree(const std::filesystem::path& root);

// A fresh, empty folder for one test, removed by the destructor.
struct WorkFolder {
    WorkFolder();
    ~WorkFolder();
    std::filesystem::path path;
};

// The path as the code under test takes it (backslashes on Windows).
std::wstring WidePath(const std::filesystem::path& path);
// UTF-8 text to a path and back, with forward slashes.
std::filesystem::path Utf8Path(const std::string& text);
std::string Utf8Name(const std::filesystem::path& path);

}  // namespace cabtest
