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

TEST(CabSpannedSet, FollowsTheNextCabinet) {
    cabtest::WorkFolder work;
    std::string split;
    for (int i = 0; i < 3001; ++i) split += static_cast<char>((i * 131 + i / 7) & 0xFF);
    const std::string whole = "second cabinet only\n";
    const std::size_t cut = 1777;
    const unsigned w = static_cast<unsigned>(whole.size());
    // A stored folder whose only block is split at the cabinet boundary; the
    // second cabinet also holds a folder of its own.
    const std::string first = cabtest::Cabinet({{"split.bin", 3001, 0, 0xFFFE, 0x21}}, {{split.substr(0, cut), 0}},
                                               0, "", "span2.cab");
    const std::string second = cabtest::Cabinet(
        {{"split.bin", 3001, 0, 0xFFFD}, {"img\\whole.txt", w, 0, 1}, {"..\\up.txt", w, 0, 1}},
        {{split.substr(cut), 3001}, {whole, w}}, 1, "span1.cab");
    // Cabinet 2 of the set where 1 must follow 0.
    const std::string wrong =
        cabtest::Cabinet({{"split.bin", 3001, 0, 0xFFFD}}, {{split.substr(cut), 3001}}, 2, "span1.cab");
    // The whole file in the joined folder, after the continued one (offsets
    // count from the folder's start in the first cabinet).
    const std::string joined =
        cabtest::Cabinet({{"split.bin", 3001, 0, 0xFFFD}, {"img\\whole.txt", w, 3001, 0}},
                         {{(split + whole).substr(cut), 3001 + w}}, 1, "span1.cab");

    const std::map<std::string, std::string> both = {
        {"split.bin", split}, {"img", "<folder>"}, {"img/whole.txt", whole}};
    struct Case {
        const char* what;
        std::string second;  // empty: no second cabinet
        bool ok;
        std::string text;
        std::map<std::string, std::string> files;
    };
    const Case cases[] = {
        {"both", second, true, "Success", both},
#if !defined(_WIN32)
        {"joined folder", joined, true, "Success", both},
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
            EXPECT_EQ(cabtest::Tree(target), c.files);
        }
#else
        EXPECT_EQ(cabtest::Tree(target), c.files);
#endif
        if (c.ok) {  // read-only as the first cabinet's entry says, not the second's
            EXPECT_EQ(fs::status(target / "split.bin").permissions() & fs::perms::owner_write,
                      fs::perms::none);
        }
    }
}

}  // namespace
