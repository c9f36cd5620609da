// Files and cabinets for the gauge-package tests: cabinets written here byte by
// byte (stored folders), since the entry names, attributes and sets they need
// are ones no packer at hand writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/text.h"

namespace cabtest {

namespace fs = std::filesystem;

struct StoredEntry {
    std::string name;  // bytes as stored
    std::string data;
    std::uint16_t attributes = 0x20;
    std::uint32_t stamp = 0x6B2D5A87;  // MS-DOS date (low word) and time: 2025-04-07 13:25:26
};
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

// A fresh, empty folder for one test, removed by the destructor.
struct WorkFolder {
    WorkFolder();
    ~WorkFolder();
    std::filesystem::path path;
};

// A cabinet of the set (index), with the names of its neighbours when it has them.
inline std::string Cabinet(const std::vector<CabFile>& files, const std::vector<CabBlock>& folders, unsigned index = 0,
                           const std::string& prev = "", const std::string& next = "") {
    auto put = [](std::string& out, std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    std::string names, table;
    unsigned flags = 0;
    if (!prev.empty()) flags |= 1, names += prev + '\0' + "disk" + std::to_string(index) + '\0';
    if (!next.empty()) flags |= 2, names += next + '\0' + "disk" + std::to_string(index + 2) + '\0';
    for (const CabFile& file : files) {
        put(table, file.size, 4);
        put(table, file.offset, 4);
        put(table, file.folder, 2);
        put(table, file.stamp, 4);
        put(table, file.attributes, 2);
        table += file.name + '\0';
    }
    const std::size_t filesOffset = 36 + names.size() + 8 * folders.size();
    std::string cab = "MSCF";
    put(cab, 0, 4);
    put(cab, 0, 4);  // the size, below
    put(cab, 0, 4);
    put(cab, filesOffset, 4);
    put(cab, 0x010300000000, 6);  // reserved, version 1.3
    put(cab, folders.size(), 2);
    put(cab, files.size(), 2);
    put(cab, flags, 2);
    put(cab, 0x4D21, 2);  // set id
    put(cab, index, 2);
    cab += names;
    std::size_t dataOffset = filesOffset + table.size();
    for (const CabBlock& block : folders) {
        put(cab, dataOffset, 4);
        put(cab, 1, 4);  // one data block, stored
        dataOffset += 8 + block.bytes.size();
    }
    cab += table;
    for (const CabBlock& block : folders) {
        put(cab, 0, 4);  // no checksum
        put(cab, block.bytes.size(), 2);
        put(cab, block.uncompressed, 2);
        cab += block.bytes;
    }
    std::string size;
    put(size, cab.size(), 4);
    return cab.replace(8, 4, size);
}

// A cabinet with the entries in one uncompressed folder (data up to 32 KiB in all).
inline std::string StoredCabinet(const std::vector<StoredEntry>& entries) {
    std::vector<CabFile> files;
    std::string data;
    for (const StoredEntry& entry : entries) {
        files.push_back({entry.name, unsigned(entry.data.size()), unsigned(data.size()), 0, entry.attributes, entry.stamp});
        data += entry.data;
    }
    return Cabinet(files, {{data, unsigned(data.size())}});
}

// UTF-8 text to a path and back, with forward slashes; the path as the code
// under test takes it (backslashes on Windows).
inline fs::path Utf8Path(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

inline std::string Utf8Name(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

inline std::wstring WidePath(const fs::path& path) {
#if defined(_WIN32)
    return fs::path(path).make_preferred().wstring();
#else
    return av::platform::FromUtf8(Utf8Name(path));
#endif
}

inline bool WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
}

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every file (its bytes) and folder ("<folder>") under root by relative UTF-8
// name; empty when root does not exist.
inline std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    std::error_code error;
    for (auto& entry : fs::recursive_directory_iterator(root, error)) {
        tree[Utf8Name(fs::relative(entry.path(), root))] = entry.is_directory() ? "<folder>" : ReadBytes(entry.path());
    }
    return tree;
}

inline WorkFolder::WorkFolder()
    : path(fs::temp_directory_path() /
           ("av-cab-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            std::to_string(std::random_device{}()))) {
    std::error_code error;
    fs::remove_all(path, error);
    fs::create_directories(path);
}

inline WorkFolder::~WorkFolder() {
    std::error_code error;
    for (auto& entry : fs::recursive_directory_iterator(path, error)) {
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
    }
    fs::remove_all(path, error);
}

}  // namespace cabtest
