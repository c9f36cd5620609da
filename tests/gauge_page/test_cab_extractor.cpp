// The cabinet extractor and its path encoding, against cabinets made here.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "cab_test_support.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/gauge_package/cab_extractor.h"
#include "plugins/aviaro/gauge_package/path_codec.h"

namespace fs = std::filesystem;
using cabtest::Tree;
using cabtest::Utf8Path;
using cabtest::WidePath;

namespace {

using cabtest::Utf8Name;

// Runs gcab -c (with -z when compressed) in folder for the given relative
// names. False with a reason when gcab cannot be run here.
bool MakeCabinetWithGcab(const fs::path& folder, const std::vector<std::string>& names, const fs::path& cabinet,
                         bool compressed, std::string& reason) {
    std::string args = compressed ? " -c -z" : " -c";
    args += " \"" + Utf8Name(fs::relative(cabinet, folder)) + "\"";
    for (const std::string& name : names) args += " \"" + name + "\"";
#if defined(_WIN32)
    // Wine starts a Linux program given by its Unix path; Windows has none.
    const wchar_t* gcab = L"Z:\\usr\\bin\\gcab";
    std::wstring line = L"gcab" + Utf8Path(args).wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (GetFileAttributesW(gcab) == INVALID_FILE_ATTRIBUTES ||
        !CreateProcessW(gcab, line.data(), nullptr, nullptr, FALSE, 0, nullptr, WidePath(folder).c_str(), &startup,
                        &process)) {
        reason = "gcab cannot be run (Debian's gcab package, run under Wine)";
        return false;
    }
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Under Wine the handle of a Linux program may be signalled before it has
    // written: wait until the cabinet's size holds still.
    std::error_code error;
    std::uintmax_t size = 0, last = 1;
    for (int i = 0; i < 50 && (size == 0 || size != last); ++i) {
        Sleep(200);
        last = size;
        size = fs::file_size(cabinet, error);
        if (error) size = 0;
    }
    const int status = 0;
#else
    if (std::system("command -v gcab >/dev/null 2>&1") != 0) {
        reason = "gcab is not installed (Debian's gcab package)";
        return false;
    }
    const int status = std::system(("cd '" + folder.string() + "' && gcab" + args).c_str());
#endif
    reason = "gcab made no cabinet" + std::string(status != 0 ? " and failed" : "");
    return fs::exists(cabinet);
}

// The same tree, stored and compressed, with sub-folders and a Unicode folder
// name; the read-only bit of one entry is set in the cabinet by hand.
TEST(CabExtractor, ExtractsIdenticalTreesAndTimes) {
    cabtest::WorkFolder work;
    const fs::path source = work.path / "source";
    const std::vector<std::string> names = {"gauge.xml", "img/needle.bmp", "img/deep/glass.bmp",
                                            "\xC3\x9C" "bersicht \xE4\xB8\xAD/label.txt"};
    std::string big;  // more than one 32 KiB block
    for (int i = 0; i < 100000; ++i) big += static_cast<char>((i * 7919) >> 3);
    // Whole minutes, days apart: a cabinet keeps the time to two seconds.
    const auto now = std::chrono::time_point_cast<std::chrono::minutes>(fs::file_time_type::clock::now());
    int minutes = 5;
    for (const std::string& name : names) {
        const fs::path file = source / Utf8Path(name);
        fs::create_directories(file.parent_path());
        ASSERT_TRUE(cabtest::WriteBytes(file, name == "img/needle.bmp" ? big : name + "\n"));
        fs::last_write_time(file, now - std::chrono::minutes(minutes += 1441));
    }
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "MSZIP" : "stored");
        const fs::path cabinet = work.path / (compressed ? "mszip.cab" : "stored.cab");
        std::string reason;
        if (!MakeCabinetWithGcab(source, names, cabinet, compressed, reason)) GTEST_SKIP() << reason;
        // The attribute word of the first entry (gauge.xml): read-only and archive.
        std::string bytes = cabtest::ReadBytes(cabinet);
        const std::size_t firstFile = static_cast<unsigned char>(bytes[16]) | (static_cast<unsigned char>(bytes[17]) << 8);
        ASSERT_EQ(bytes.substr(firstFile + 16, 10), std::string("gauge.xml\0", 10));
        bytes[firstFile + 14] = 0x21;
        ASSERT_TRUE(cabtest::WriteBytes(cabinet, bytes));

        const fs::path target = work.path / (compressed ? "out-mszip" : "out-stored");
        CCabExtractor extractor;
        ASSERT_TRUE(extractor.Initialize());
        ASSERT_TRUE(extractor.Extract(WidePath(cabinet), WidePath(target))) << extractor.GetErrorText();
        EXPECT_EQ(Tree(target), Tree(source));
        for (const std::string& name : names) {
            EXPECT_EQ(fs::last_write_time(target / Utf8Path(name)), fs::last_write_time(source / Utf8Path(name)))
                << name;
        }
        EXPECT_EQ(fs::status(target / "gauge.xml").permissions() & fs::perms::owner_write, fs::perms::none);
        EXPECT_NE(fs::status(target / "img" / "needle.bmp").permissions() & fs::perms::owner_write, fs::perms::none);
    }
}

TEST(PathCodec, EncodesRunsAndDecodesBack) {
    const std::pair<std::wstring, std::string> cases[] = {
        {L"C:\\\x4E2Dx", "C:\\<Ti0>x"},         // 16 bits and two zero bits: three characters
        {L"\x4E2D\x6587", "<Ti1lhw>"},          // 32 bits: five groups and two leftover bits
        {L"\xFFFF\x0100\x4E2D", "<//8BAE4t>"},  // three code units fill eight groups exactly
        {L"gauge\xE9\xFF.xml", "gauge\xE9\xFF.xml"},  // below U+0100: single bytes
        {L"a<b", "a<>b"},                             // a literal "<" is an empty run
    };
    for (const auto& [path, encoded] : cases) {
        EXPECT_EQ(CPathCodec::Encode(path), encoded);
        EXPECT_EQ(CPathCodec::Decode(encoded), path);
    }
    EXPECT_EQ(CPathCodec::Decode("<Ti0.x"), L"\x4E2D.x");  // another byte than ">" ends a run and stays
}

// Entry names that would reach outside the target folder are refused and
// traced; the good entries around them are written, in their sub-folders, with
// the cabinet's times (local, or UTC when the entry says so) and read-only bit.
TEST(CabExtractor, ExtractsTreeAndRefusesEntriesLeavingTheTarget) {
    cabtest::WorkFolder work;
    const std::vector<std::string> hostile = {
        "..\\up.txt",   "../up2.txt",      "sub\\..\\..\\up3.txt", "\\rooted.txt",        "/rooted2.txt",
        "C:\\drive.txt", "c:drive2.txt",   "stream.txt:hidden",    "CON",                 "nul.txt",
        "COM1",         "lpt9.log",        "aux .txt",             "sub\\prn",            "..",
        "...\\dots.txt", "sub\\\\double.txt", "trailing.",         "<AC4ALgBc>up4.txt",   "sub\\",
    };
    std::vector<cabtest::StoredEntry> entries = {{"first.txt", "first", 0x21}};
    for (const std::string& name : hostile) entries.push_back({name, "evil:" + name});
    entries.push_back({"sub\\last.txt", "last"});
    entries.push_back({"sub/deep\\er/x.txt", "x", 0x120, 0xBF7D279F});  // 1999-12-31 23:59:58 UTC
    // UTF-8 names are read as such: "..\" in a UTF-8 entry is no safer.
    entries.push_back({"..\\\xC3\xA9.txt", "evil", 0xA0});
    entries.push_back({"\xC3\xA9t\xC3\xA9\\ok.txt", "utf8", 0xA0});
    const fs::path cabinet = work.path / "hostile.cab", trace = work.path / "trace.txt";
    ASSERT_TRUE(cabtest::WriteBytes(cabinet, cabtest::StoredCabinet(entries)));
    const fs::path target = work.path / "a" / "b" / "target";
    CTraceLog::Instance().Open(WidePath(trace));
    CCabExtractor extractor;
    ASSERT_TRUE(extractor.Initialize());
    EXPECT_TRUE(extractor.Extract(WidePath(cabinet), WidePath(target))) << extractor.GetErrorText();
    CTraceLog::Instance().Close();

    EXPECT_EQ(Tree(target), (std::map<std::string, std::string>{{"first.txt", "first"},
                                                                {"sub", "<folder>"},
                                                                {"sub/last.txt", "last"},
                                                                {"sub/deep", "<folder>"},
                                                                {"sub/deep/er", "<folder>"},
                                                                {"sub/deep/er/x.txt", "x"},
                                                                {"\xC3\xA9t\xC3\xA9", "<folder>"},
                                                                {"\xC3\xA9t\xC3\xA9/ok.txt", "utf8"}}));
    std::tm local{};  // 2025-04-07 13:25:26
    local.tm_year = 125, local.tm_mon = 3, local.tm_mday = 7, local.tm_hour = 13, local.tm_min = 25, local.tm_sec = 26;
    local.tm_isdst = -1;
    using namespace std::chrono;
    const auto written = [&](const char* name) {
        return floor<seconds>(file_clock::to_sys(fs::last_write_time(target / Utf8Path(name)))).time_since_epoch();
    };
    EXPECT_EQ(written("first.txt"), seconds(std::mktime(&local)));
    EXPECT_EQ(written("sub/deep/er/x.txt"), (sys_days{year(1999) / 12 / 31} + hours(23) + minutes(59) + seconds(58)).time_since_epoch());
    EXPECT_EQ(fs::status(target / "first.txt").permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_NE(fs::status(target / "sub" / "last.txt").permissions() & fs::perms::owner_write, fs::perms::none);
    std::set<std::string> outside;  // nothing beside the target or above it
    for (auto& entry : fs::recursive_directory_iterator(work.path)) {
        const std::string name = cabtest::Utf8Name(fs::relative(entry.path(), work.path));
        if (name.rfind("a/b/target/", 0) != 0) outside.insert(name);
    }
    EXPECT_EQ(outside, (std::set<std::string>{"a", "a/b", "a/b/target", "hostile.cab", "trace.txt"}));
    const std::string traced = cabtest::ReadBytes(trace);
    std::size_t refused = 0;
    for (std::size_t at = 0; (at = traced.find("CCabExtractor - entry refused", at)) != std::string::npos; ++at) {
        ++refused;
    }
    EXPECT_EQ(refused, hostile.size() + 1);
    for (const char* line : {"CCabExtractor - entry refused (parent folder): ..\\up.txt\r\n",
                             "CCabExtractor - entry refused (device name): nul.txt\r\n",
                             "CCabExtractor - entry refused (drive letter or stream): stream.txt:hidden\r\n"}) {
        EXPECT_NE(traced.find(line), std::string::npos) << line;
    }
}

TEST(CabExtractor, FailuresGiveTheirTexts) {
    cabtest::WorkFolder work;
    const fs::path good = work.path / "good.cab", notCab = work.path / "note.cab", cut = work.path / "cut.cab";
    ASSERT_TRUE(cabtest::WriteBytes(good, cabtest::StoredCabinet({{"a.txt", "abc"}})));
    ASSERT_TRUE(cabtest::WriteBytes(notCab, "This is a text file, not a cabinet at all.\n"));
    const std::string bytes = cabtest::StoredCabinet({{"a.txt", std::string(3000, 'x')}});
    ASSERT_TRUE(cabtest::WriteBytes(cut, bytes.substr(0, bytes.size() - 1000)));
    const std::wstring target = WidePath(work.path / "out");
    // A cabinet folder of 254 characters (with its backslash) fits the 256-byte
    // buffer; 255 do not. A Unicode folder is reached through the encoding.
    const std::string base = cabtest::Utf8Name(work.path) + "/";
    const fs::path longest = Utf8Path(base + std::string(253 - base.size(), 'd'));
    const fs::path tooLong = Utf8Path(base + std::string(254 - base.size(), 'd'));
    const fs::path unicode = work.path / Utf8Path("\xE4\xB8\xAD");
    for (const fs::path& folder : {longest, tooLong, unicode}) {
        fs::create_directories(folder);
        fs::copy_file(good, folder / "good.cab");
    }
    const std::string tooLongText =
        "The path is too long. (Max 250 Ansii characters or approx 100 Unicode characters).";
    struct Case {
        const char* what;
        std::wstring cabinet, target;
        bool ok;
        std::string text;
    } cases[] = {
        {"missing", WidePath(work.path / "missing.cab"), target, false,
         "Cabinet file (or part of splitted CAB) not found"},
        {"not a cabinet", WidePath(notCab), target, false, "Not a cabinet"},
        {"truncated", WidePath(cut), target, false, "Corrupt cabinet"},
        {"no folder", L"good.cab", target, false, "Invalid parameters"},
        {"no target", WidePath(good), L"", false, "Invalid parameters"},
        {"Unicode name", WidePath(work.path) + L"\\g\x4E2D.cab", target, false,
         "The filename of the CAB file must NEVER contain Unicode characters!"},
        {"folder too long", WidePath(tooLong / "good.cab"), target, false, tooLongText},
#if defined(_WIN32)
        // Accepted here; FDI itself opens at most MAX_PATH characters.
        {"longest folder", WidePath(longest / "good.cab"), target, false,
         "Cabinet file (or part of splitted CAB) not found"},
#else
        {"longest folder", WidePath(longest / "good.cab"), target, true, "Success"},
#endif
        {"target too long", WidePath(good), WidePath(tooLong), false, tooLongText},
        {"Unicode folder", WidePath(unicode / "good.cab"), WidePath(unicode / "x"), true, "Success"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CCabExtractor extractor;
        ASSERT_TRUE(extractor.Initialize());
        EXPECT_FALSE(extractor.Initialize());  // a context exists already
        EXPECT_EQ(extractor.Extract(c.cabinet, c.target), c.ok);
        const std::string text = extractor.GetErrorText();
        EXPECT_EQ(text.substr(0, text.find('\n')), c.text);  // Windows adds its own message on a second line
        const std::wstring wide = extractor.GetErrorTextW();
        EXPECT_EQ(std::string(wide.begin(), wide.end()), text);
    }
    EXPECT_EQ(cabtest::ReadBytes(unicode / "x" / "a.txt"), "abc");

    // The numbers no failure above reaches.
    const std::map<int, std::string> texts = {
        {3, "Unknown cabinet version"}, {5, "Memory allocation failed"}, {6, "Unknown compression type"},
        {7, "Failure decompressing data"}, {8, "Failure writing to target file"},
        {9, "Cabinets in set have different RESERVE sizes"},
        {10, "Cabinet returned on fdintNEXT_CABINET is incorrect"}, {11, "User aborted"}, {1000, "Could not load Cabinet.dll"},
        {1003, "Extracting Unicode paths requires Windows NT, 2000, XP or higher."},
        {12, "Unknown error"}, {999, "Unknown error"}, {1004, "Unknown error"}, {1006, "Unknown error"}, {-1, "Unknown error"},
    };
    for (const auto& [number, text] : texts) EXPECT_EQ(CCabExtractor::ErrorTextOf(number), text) << number;
}

// A file stored across two cabinets of a set.
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
