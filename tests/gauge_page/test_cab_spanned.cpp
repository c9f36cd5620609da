// A file stored across two cabinets of a set, written here byte by byte since
// no packer at hand makes spanned sets.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "cab_test_support.h"
#include "plugins/aviaro/pages/cab_extractor.h"

namespace fs = std::filesystem;
using cabtest::WidePath;

namespace {

void Put16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, unsigned value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

struct SpanEntry {
    std::string name;
    unsigned size;
    unsigned offset;  // in the folder's uncompressed data
    unsigned folder;  // 0, or 0xFFFD / 0xFFFE / 0xFFFF
    unsigned attributes = 0x20;
};

// A stored folder whose only data block is split at the cabinet boundary
// (the first part has no uncompressed size, the second carries the whole
// one), and when own is given a second folder of one block held wholly here.
std::string SpanCabinet(unsigned index, const std::string& prev, const std::string& next,
                        const std::vector<SpanEntry>& entries, const std::string& part,
                        unsigned blockSize, const std::string& own = "") {
    std::string names;
    unsigned flags = 0;
    if (!prev.empty()) {
        flags |= 0x0001;
        names += prev + '\0' + "disk" + std::to_string(index) + '\0';
    }
    if (!next.empty()) {
        flags |= 0x0002;
        names += next + '\0' + "disk" + std::to_string(index + 2) + '\0';
    }
    std::string files;
    for (const SpanEntry& e : entries) {
        Put32(files, e.size);
        Put32(files, e.offset);
        Put16(files, e.folder);
        Put16(files, 0x5A87);  // 2025-04-07
        Put16(files, 0x6B2D);  // 13:25:26
        Put16(files, e.attributes);
        files += e.name + '\0';
    }
    const unsigned folderCount = own.empty() ? 1 : 2;
    unsigned filesOffset = 36 + static_cast<unsigned>(names.size()) + 8 * folderCount;
    unsigned dataOffset = filesOffset + static_cast<unsigned>(files.size());
    unsigned ownOffset = dataOffset + 8 + static_cast<unsigned>(part.size());
    std::string cab = "MSCF";
    Put32(cab, 0);
    Put32(cab, ownOffset + (own.empty() ? 0 : 8 + static_cast<unsigned>(own.size())));
    Put32(cab, 0);
    Put32(cab, filesOffset);
    Put32(cab, 0);
    cab += '\3';
    cab += '\1';
    Put16(cab, folderCount);
    Put16(cab, static_cast<unsigned>(entries.size()));
    Put16(cab, flags);
    Put16(cab, 0x4D21);  // set id
    Put16(cab, index);
    cab += names;
    Put32(cab, dataOffset);
    Put16(cab, 1);
    Put16(cab, 0);  // stored
    if (!own.empty()) {
        Put32(cab, ownOffset);
        Put16(cab, 1);
        Put16(cab, 0);
    }
    cab += files;
    Put32(cab, 0);
    Put16(cab, static_cast<unsigned>(part.size()));
    Put16(cab, blockSize);
    cab += part;
    if (!own.empty()) {
        Put32(cab, 0);
        Put16(cab, static_cast<unsigned>(own.size()));
        Put16(cab, static_cast<unsigned>(own.size()));
        cab += own;
    }
    return cab;
}

std::map<std::string, std::string> Files(const fs::path& root) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(root)) return tree;
    for (auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_directory()) continue;
        tree[cabtest::Utf8Name(fs::relative(entry.path(), root))] = cabtest::ReadBytes(entry.path());
    }
    return tree;
}

TEST(CabSpannedSet, FollowsTheNextCabinet) {
    cabtest::WorkFolder work;
    std::string split;
    for (int i = 0; i < 3001; ++i) split += static_cast<char>((i * 131 + i / 7) & 0xFF);
    const std::string whole = "second cabinet only\n";
    const std::size_t cut = 1777;
    std::string first = SpanCabinet(0, "", "span2.cab", {{"split.bin", 3001, 0, 0xFFFE, 0x21}},
                                    split.substr(0, cut), 0);
    std::string second = SpanCabinet(
        1, "span1.cab", "",
        {{"split.bin", 3001, 0, 0xFFFD},
         {"img\\whole.txt", static_cast<unsigned>(whole.size()), 0, 1},
         {"..\\up.txt", static_cast<unsigned>(whole.size()), 0, 1}},
        split.substr(cut), 3001, whole);
    // Cabinet 2 of the set where 1 must follow 0.
    std::string wrong = SpanCabinet(2, "span1.cab", "", {{"split.bin", 3001, 0, 0xFFFD}},
                                    split.substr(cut), 3001);
    // The whole file in the joined folder, after the continued one (offsets
    // count from the folder's start in the first cabinet).
    std::string joined = SpanCabinet(
        1, "span1.cab", "",
        {{"split.bin", 3001, 0, 0xFFFD}, {"img\\whole.txt", static_cast<unsigned>(whole.size()), 3001, 0}},
        (split + whole).substr(cut), static_cast<unsigned>(split.size() + whole.size()));

    struct Case {
        const char* what;
        std::string second;  // empty: no second cabinet
        bool ok;
        std::string text;
        std::map<std::string, std::string> files;
    };
    const Case cases[] = {
        {"both", second, true, "Success", {{"split.bin", split}, {"img/whole.txt", whole}}},
#if !defined(_WIN32)
        {"joined folder", joined, true, "Success", {{"split.bin", split}, {"img/whole.txt", whole}}},
#endif
        {"second missing", "", false, "Cabinet file (or part of splitted CAB) not found", {}},
        {"second not a cabinet", std::string(64, '#'), false, "Not a cabinet", {}},
        {"wrong cabinet", wrong, false, "Cabinet returned on fdintNEXT_CABINET is incorrect", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::path folder = work.path / (std::string("set ") + c.what);
        fs::create_directories(folder);
        ASSERT_TRUE(cabtest::WriteBytes(folder / "span1.cab", first));
        if (!c.second.empty()) {
            ASSERT_TRUE(cabtest::WriteBytes(folder / "span2.cab", c.second));
        }
        fs::path target = folder / "out";
        CCabExtractor extractor;
        ASSERT_TRUE(extractor.Initialize());
        EXPECT_EQ(extractor.Extract(WidePath(folder / "span1.cab"), WidePath(target)), c.ok);
        std::string text = extractor.GetErrorText();
        EXPECT_EQ(text.substr(0, text.find('\n')), c.text);
        EXPECT_FALSE(fs::exists(folder / "up.txt"));
        // Nothing was closed that the extractor did not open (Wine's FDI
        // closes handle 0 after a missing next cabinet).
        std::FILE* probe = std::fopen(cabtest::Utf8Name(folder / "span1.cab").c_str(), "rb");
        ASSERT_NE(probe, nullptr);
        EXPECT_GT(fileno(probe), 2);
        std::fclose(probe);
#if defined(_WIN32)
        // FDI creates a continued file before it asks for the next cabinet;
        // what it has written stays, for the caller to remove.
        if (c.ok) {
            EXPECT_EQ(Files(target), c.files);
        }
#else
        EXPECT_EQ(Files(target), c.files);
#endif
        if (c.ok) {  // read-only as the first cabinet's entry says, not the second's
            EXPECT_EQ(fs::status(target / "split.bin").permissions() & fs::perms::owner_write,
                      fs::perms::none);
        }
    }
}

}  // namespace
