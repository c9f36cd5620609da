// The cabinet extractor and its path encoding, against cabinets made here.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>

#include "cab_test_support.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/pages/cab_extractor.h"
#include "plugins/aviaro/pages/path_codec.h"

namespace fs = std::filesystem;
using cabtest::WidePath;

namespace {

TEST(PathCodec, EncodesRunsAndDecodesBack) {
    struct Case {
        std::wstring path;
        std::string encoded;
    };
    const Case cases[] = {
        // 16 bits of U+4E2D and two zero bits: three Base64 characters.
        {L"C:\\\x4E2Dx", "C:\\<Ti0>x"},
        // Two code units, 32 bits: five groups and two leftover bits.
        {L"\x4E2D\x6587", "<Ti1lhw>"},
        // Three code units fill exactly eight groups.
        {L"\xFFFF\x0100\x4E2D", "<//8BAE4t>"},
        // Characters below U+0100 stay single bytes, also above U+007F.
        {L"gauge\xE9\xFF.xml", "gauge\xE9\xFF.xml"},
        // A literal "<" is written as an empty run.
        {L"a<b", "a<>b"},
        {L"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CPathCodec::Encode(c.path), c.encoded);
        EXPECT_EQ(CPathCodec::Decode(c.encoded), c.path);
    }
    // A byte other than ">" ends a run and is kept.
    EXPECT_EQ(CPathCodec::Decode("<Ti0.x"), L"\x4E2D.x");
}

void SetTime(const fs::path& path, int minutesAgo) {
    // Whole, even seconds: a cabinet keeps the time to two seconds.
    auto now = std::chrono::time_point_cast<std::chrono::minutes>(fs::file_time_type::clock::now());
    fs::last_write_time(path, now - std::chrono::minutes(minutesAgo));
}

std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (auto& entry : fs::recursive_directory_iterator(root)) {
        std::string name = cabtest::Utf8Name(fs::relative(entry.path(), root));
        tree[name] = entry.is_directory() ? "<folder>" : cabtest::ReadBytes(entry.path());
    }
    return tree;
}

class CabExtractorTest : public ::testing::Test {
protected:
    cabtest::WorkFolder work_{::testing::UnitTest::GetInstance()->current_test_info()->name()};
    fs::path Sub(const std::string& name) { return work_.Path() / cabtest::Utf8Path(name); }
};

// The same tree, stored and compressed, with sub-folders and a Unicode folder
// name; the read-only bit of one entry is set in the cabinet by hand.
TEST_F(CabExtractorTest, ExtractsIdenticalTreesAndTimes) {
    fs::path source = Sub("source");
    const std::vector<std::string> names = {"gauge.xml", "img/needle.bmp", "img/deep/glass.bmp",
                                            "\xC3\x9C" "bersicht \xE4\xB8\xAD/label.txt"};
    std::string big;
    for (int i = 0; i < 100000; ++i) big += static_cast<char>((i * 7919) >> 3);
    int minutes = 5;
    for (const std::string& name : names) {
        fs::path file = source / cabtest::Utf8Path(name);
        fs::create_directories(file.parent_path());
        ASSERT_TRUE(cabtest::WriteBytes(file, name == "img/needle.bmp" ? big : name + "\n"));
        SetTime(file, minutes += 1441);
    }
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "MSZIP" : "stored");
        fs::path cabinet = Sub(compressed ? "mszip.cab" : "stored.cab");
        std::string reason;
        if (!cabtest::MakeCabinetWithGcab(source, names, cabinet, compressed, reason)) {
            GTEST_SKIP() << reason;
        }
        // The attribute word of the first entry (gauge.xml): read-only and archive.
        std::string bytes = cabtest::ReadBytes(cabinet);
        std::size_t firstFile = static_cast<unsigned char>(bytes[16]) |
                                (static_cast<unsigned char>(bytes[17]) << 8);
        ASSERT_EQ(bytes.substr(firstFile + 16, 10), std::string("gauge.xml\0", 10));
        bytes[firstFile + 14] = 0x21;
        ASSERT_TRUE(cabtest::WriteBytes(cabinet, bytes));

        fs::path target = Sub(compressed ? "out-mszip" : "out-stored");
        CCabExtractor extractor;
        ASSERT_TRUE(extractor.Initialize());
        ASSERT_TRUE(extractor.Extract(WidePath(cabinet), WidePath(target)))
            << extractor.GetErrorText();
        EXPECT_EQ(extractor.GetErrorText(), "Success");
        extractor.Close();

        EXPECT_EQ(Tree(target), Tree(source));
        for (const std::string& name : names) {
            EXPECT_EQ(fs::last_write_time(target / cabtest::Utf8Path(name)),
                      fs::last_write_time(source / cabtest::Utf8Path(name)))
                << name;
        }
        auto perms = fs::status(target / "gauge.xml").permissions();
        EXPECT_EQ(perms & fs::perms::owner_write, fs::perms::none);
        perms = fs::status(target / "img" / "needle.bmp").permissions();
        EXPECT_NE(perms & fs::perms::owner_write, fs::perms::none);
    }
}

// Entry names that would reach outside the target folder are refused and
// traced; the good entries around them are still written.
TEST_F(CabExtractorTest, RefusesEntriesLeavingTheTarget) {
    const std::vector<std::string> hostile = {
        "..\\up.txt",          "../up2.txt",          "sub\\..\\..\\up3.txt",
        "\\rooted.txt",        "/rooted2.txt",        "C:\\drive.txt",
        "c:drive2.txt",        "stream.txt:hidden",   "CON",
        "nul.txt",             "COM1",                "lpt9.log",
        "aux .txt",            "sub\\prn",            "..",
        "...\\dots.txt",       "sub\\\\double.txt",   "trailing.",
        "<AC4ALgBc>up4.txt",   "sub\\",
    };
    std::vector<cabtest::StoredEntry> entries = {{"first.txt", "first"}};
    for (const std::string& name : hostile) entries.push_back({name, "evil:" + name});
    entries.push_back({"sub\\last.txt", "last"});
    // UTF-8 names are read as such: "..\\" in a UTF-8 entry is no safer.
    entries.push_back({"..\\\xC3\xA9.txt", "evil", 0xA0});
    entries.push_back({"\xC3\xA9t\xC3\xA9\\ok.txt", "utf8", 0xA0});
    fs::path cabinet = Sub("hostile.cab");
    ASSERT_TRUE(cabtest::WriteBytes(cabinet, cabtest::StoredCabinet(entries)));
    fs::path target = Sub("a") / "b" / "target";
    fs::path traceFile = Sub("trace.txt");
    CTraceLog::Instance().Open(WidePath(traceFile));

    CCabExtractor extractor;
    ASSERT_TRUE(extractor.Initialize());
    EXPECT_TRUE(extractor.Extract(WidePath(cabinet), WidePath(target))) << extractor.GetErrorText();
    CTraceLog::Instance().Close();

    std::map<std::string, std::string> expected = {
        {"first.txt", "first"},
        {"sub", "<folder>"},
        {"sub/last.txt", "last"},
        {"\xC3\xA9t\xC3\xA9", "<folder>"},
        {"\xC3\xA9t\xC3\xA9/ok.txt", "utf8"},
    };
    EXPECT_EQ(Tree(target), expected);
    // Nothing beside the target or above it.
    std::set<std::string> outside;
    for (auto& entry : fs::recursive_directory_iterator(work_.Path())) {
        std::string name = cabtest::Utf8Name(fs::relative(entry.path(), work_.Path()));
        if (name.rfind("a/b/target/", 0) != 0) outside.insert(name);
    }
    EXPECT_EQ(outside, (std::set<std::string>{"a", "a/b", "a/b/target", "hostile.cab", "trace.txt"}));
    std::string trace = cabtest::ReadBytes(traceFile);
    std::size_t refused = 0;
    for (std::size_t at = 0; (at = trace.find("CCabExtractor - entry refused", at)) != std::string::npos;
         ++at) {
        ++refused;
    }
    EXPECT_EQ(refused, hostile.size() + 1);
    EXPECT_NE(trace.find("CCabExtractor - entry refused (parent folder): ..\\up.txt"),
              std::string::npos);
    EXPECT_NE(trace.find("CCabExtractor - entry refused (device name): nul.txt"), std::string::npos);
    EXPECT_NE(trace.find("CCabExtractor - entry refused (drive letter or stream): stream.txt:hidden"),
              std::string::npos);
}

TEST_F(CabExtractorTest, FailuresGiveTheirTexts) {
    fs::path good = Sub("good.cab");
    ASSERT_TRUE(cabtest::WriteBytes(good, cabtest::StoredCabinet({{"a.txt", "abc"}})));
    fs::path notCab = Sub("note.cab");
    ASSERT_TRUE(cabtest::WriteBytes(notCab, "This is a text file, not a cabinet at all.\n"));
    fs::path truncated = Sub("truncated.cab");
    std::string bytes = cabtest::StoredCabinet({{"a.txt", std::string(3000, 'x')}});
    ASSERT_TRUE(cabtest::WriteBytes(truncated, bytes.substr(0, bytes.size() - 1000)));
    std::wstring target = WidePath(Sub("out"));
    // A cabinet folder of 254 characters (with its backslash) fits the 256-byte
    // buffer; 255 do not.
    std::string base = cabtest::Utf8Name(work_.Path()) + "/";
    fs::path longest = cabtest::Utf8Path(base + std::string(253 - base.size(), 'd'));
    fs::path tooLong = cabtest::Utf8Path(base + std::string(254 - base.size(), 'd'));
    for (const fs::path& folder : {longest, tooLong}) {
        fs::create_directories(folder);
        fs::copy_file(good, folder / "good.cab");
    }

    struct Case {
        const char* what;
        std::wstring cabinet;
        std::wstring target;
        bool ok;
        std::string text;
    };
    const Case cases[] = {
        {"missing", WidePath(Sub("missing.cab")), target, false,
         "Cabinet file (or part of splitted CAB) not found"},
        {"not a cabinet", WidePath(notCab), target, false, "Not a cabinet"},
        {"truncated", WidePath(truncated), target, false, "Corrupt cabinet"},
        {"no folder", L"good.cab", target, false, "Invalid parameters"},
        {"no target", WidePath(good), L"", false, "Invalid parameters"},
        {"Unicode name", WidePath(work_.Path()) + L"\\g\x4E2D.cab", target, false,
         "The filename of the CAB file must NEVER contain Unicode characters!"},
        {"folder too long", WidePath(tooLong / "good.cab"), target, false,
         "The path is too long. (Max 250 Ansii characters or approx 100 Unicode characters)."},
#if defined(_WIN32)
        // Accepted here; FDI itself opens at most MAX_PATH characters.
        {"longest folder", WidePath(longest / "good.cab"), target, false,
         "Cabinet file (or part of splitted CAB) not found"},
#else
        {"longest folder", WidePath(longest / "good.cab"), target, true, "Success"},
#endif
        {"target too long", WidePath(good), WidePath(tooLong), false,
         "The path is too long. (Max 250 Ansii characters or approx 100 Unicode characters)."},
        {"good", WidePath(good), target, true, "Success"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CCabExtractor extractor;
        ASSERT_TRUE(extractor.Initialize());
        EXPECT_FALSE(extractor.Initialize());  // a context exists already
        EXPECT_EQ(extractor.Extract(c.cabinet, c.target), c.ok);
        std::string text = extractor.GetErrorText();
        // Windows adds its own message for a system error on a second line.
        EXPECT_EQ(text.substr(0, text.find('\n')), c.text);
        std::wstring wide = extractor.GetErrorTextW();
        EXPECT_EQ(std::string(wide.begin(), wide.end()), text);
    }
    // A file in a Unicode folder is reached through the encoding.
    fs::path unicodeFolder = Sub("\xE4\xB8\xAD");
    fs::create_directories(unicodeFolder);
    fs::copy_file(good, unicodeFolder / "good.cab");
    CCabExtractor extractor;
    ASSERT_TRUE(extractor.Initialize());
    EXPECT_TRUE(extractor.Extract(WidePath(unicodeFolder / "good.cab"), WidePath(unicodeFolder / "x")));
    EXPECT_EQ(cabtest::ReadBytes(unicodeFolder / "x" / "a.txt"), "abc");
    // Without a context nothing happens and no error is set.
    extractor.Close();
    EXPECT_FALSE(extractor.Extract(WidePath(good), target));
}

TEST(CabErrorTexts, EveryNumber) {
    const std::map<int, std::string> texts = {
        {0, "Success"},
        {1, "Cabinet file (or part of splitted CAB) not found"},
        {2, "Not a cabinet"},
        {3, "Unknown cabinet version"},
        {4, "Corrupt cabinet"},
        {5, "Memory allocation failed"},
        {6, "Unknown compression type"},
        {7, "Failure decompressing data"},
        {8, "Failure writing to target file"},
        {9, "Cabinets in set have different RESERVE sizes"},
        {10, "Cabinet returned on fdintNEXT_CABINET is incorrect"},
        {11, "User aborted"},
        {12, "Unknown error"},
        {999, "Unknown error"},
        {1000, "Could not load Cabinet.dll"},
        {1001, "Invalid parameters"},
        {1002, "The filename of the CAB file must NEVER contain Unicode characters!"},
        {1003, "Extracting Unicode paths requires Windows NT, 2000, XP or higher."},
        {1004, "Unknown error"},
        {1005, "The path is too long. (Max 250 Ansii characters or approx 100 Unicode characters)."},
        {-1, "Unknown error"},
    };
    for (const auto& [number, text] : texts) EXPECT_EQ(CCabExtractor::ErrorTextOf(number), text) << number;
}

}  // namespace
