#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "plugins/aviaro/devices/mira_list.h"
#include "plugins/aviaro/host/trace_log.h"
#include "tests/host/test_helpers.h"

namespace {

using av::platform::JoinPath;

// MSXML under Wine ends the lines of a saved file with LF, pugixml and MSXML
// on Windows with CR LF; everything else is the same bytes.
std::string Unix(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::FILE* f = av::platform::OpenFile(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

class MiraList : public ::testing::Test {
protected:
    void SetUp() override {
        av::platform::ComInitialize();
        folder_ = MakeTempFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        path_ = JoinPath(folder_, L"VelFlightMira.xml");
        trace_ = JoinPath(folder_, L"trace.txt");
        CTraceLog::Instance().Open(trace_);
    }
    void TearDown() override {
        CTraceLog::Instance().Close();
        av::platform::ComUninitialize();
    }
    // The trace lines written since SetUp.
    std::string Traced() {
        CTraceLog::Instance().Close();
        return ReadBytes(trace_);
    }
    std::string File() { return Unix(ReadBytes(path_)); }

    std::wstring folder_;
    std::wstring path_;
    std::wstring trace_;
};

constexpr char kNoTrace[] = "\r\n------\r\n";

TEST_F(MiraList, MissingFileStartsAsTheSkeletonWithTheDeclaration) {
    CMiraList list;
    EXPECT_FALSE(list.Load(path_));
    EXPECT_TRUE(list.Save(path_));
    EXPECT_EQ(File(), "<?xml version=\"1.0\"?>\n<MiraList/>\n");
    EXPECT_EQ(ReadBytes(path_ + L".tmp"), "<missing>");
    EXPECT_EQ(Traced(), kNoTrace);  // the first run is not a failure
}

TEST_F(MiraList, NamesRoundTripWithQuotesEmptySerialAndOtherLetters) {
    CMiraList list;
    list.Set(L"M1000123", L"Altimeter");
    list.Set(L"it's", L"Attitude");
    list.Set(L"say \"1\" & <2", L"H\u00f6henmesser \u20ac");
    list.Set(L"", L"No serial");
    list.Set(L"M1000123", L"Airspeed");  // replaces
    ASSERT_TRUE(list.Save(path_));
    EXPECT_EQ(File(),
              "<?xml version=\"1.0\"?>\n<MiraList>"
              "<Mira Serial=\"\" Name=\"No serial\"/>"
              "<Mira Serial=\"M1000123\" Name=\"Airspeed\"/>"
              "<Mira Serial=\"it's\" Name=\"Attitude\"/>"
              "<Mira Serial=\"say &quot;1&quot; &amp; &lt;2\" Name=\"H\xc3\xb6henmesser \xe2\x82\xac\"/>"
              "</MiraList>\n");

    CMiraList read;
    ASSERT_TRUE(read.Load(path_));
    EXPECT_EQ(read.GetTable(), list.GetTable());
    EXPECT_EQ(read.Get(L"it's"), L"Attitude");
    EXPECT_EQ(read.Get(L""), L"No serial");
    EXPECT_EQ(read.Get(L"unknown"), L"");

    // A second save finds every element again: same file.
    const std::string first = File();
    read.Set(L"it's", L"Clock");
    ASSERT_TRUE(read.Save(path_));
    std::string expected = first;
    expected.replace(expected.find("Attitude"), 8, "Clock");
    EXPECT_EQ(File(), expected);
    EXPECT_EQ(Traced(), kNoTrace);
}

TEST_F(MiraList, SerialsWithQuotesUpdateOnlyTheirOwnElement) {
    WriteBytes(path_,
               "<MiraList>"
               "<Mira Serial=\"a'b\" Name=\"1\"/>"
               "<Mira Serial=\"ab\" Name=\"2\"/>"
               "<Mira Serial='a\"b' Name=\"3\"/>"
               "<Mira Serial=\"a']|//Mira[@Serial='ab\" Name=\"4\"/>"
               "</MiraList>");
    CMiraList list;
    ASSERT_TRUE(list.Load(path_));
    list.Set(L"a'b", L"one");
    list.Set(L"a\"b", L"three");
    ASSERT_TRUE(list.Save(path_));
    EXPECT_EQ(File(),
              "<MiraList>"
              "<Mira Serial=\"a'b\" Name=\"one\"/>"
              "<Mira Serial=\"ab\" Name=\"2\"/>"
              "<Mira Serial=\"a&quot;b\" Name=\"three\"/>"
              "<Mira Serial=\"a']|//Mira[@Serial='ab\" Name=\"4\"/>"
              "</MiraList>\n");
}

TEST_F(MiraList, ReaderTakesEveryChildLaterWinsAndSkipsIncompleteElements) {
    WriteBytes(path_,
               "<?xml version=\"1.0\"?>\r\n<List>"
               "<Mira Serial=\"A\" Name=\"first\"/>"
               "<Unit serial=\"B\" NAME=\"any element, any case\"/>"
               "<Mira Serial=\"A\" Name=\"second\"/>"
               "<Mira Serial=\"A\"/>"
               "<Mira Name=\"no serial\"/>"
               "<Mira Serial=\"C\"><Mira Serial=\"D\" Name=\"nested\"/></Mira>"
               "</List>\r\n");
    CMiraList list;
    list.Set(L"stale", L"x");
    ASSERT_TRUE(list.Load(path_));
    EXPECT_EQ(list.GetTable(),
              (CMiraList::Table{{L"A", L"second"}, {L"B", L"any element, any case"}}));

    WriteBytes(path_, "<MiraList><Mira Serial=\"A\" Name=\"x\">");
    EXPECT_FALSE(list.Load(path_));
    EXPECT_TRUE(list.GetTable().empty());
}

TEST_F(MiraList, TwoElementsForOneSerialAreBothUpdated) {
    WriteBytes(path_,
               "<?xml version=\"1.0\"?>\n<MiraList>"
               "<Mira Serial=\"A\" Name=\"old\"/><Mira Serial=\"B\" Name=\"b\"/>"
               "<Mira Serial=\"A\" Name=\"older\"/></MiraList>\n");
    CMiraList list;
    ASSERT_TRUE(list.Load(path_));
    EXPECT_EQ(list.Get(L"A"), L"older");
    list.Set(L"A", L"new");
    ASSERT_TRUE(list.Save(path_));
    EXPECT_EQ(File(),
              "<?xml version=\"1.0\"?>\n<MiraList>"
              "<Mira Serial=\"A\" Name=\"new\"/><Mira Serial=\"B\" Name=\"b\"/>"
              "<Mira Serial=\"A\" Name=\"new\"/></MiraList>\n");
    CMiraList read;
    ASSERT_TRUE(read.Load(path_));
    EXPECT_EQ(read.Get(L"A"), L"new");
}

TEST_F(MiraList, ElementWithoutNameGetsOneAppendedOnceAndOtherContentIsKept) {
    WriteBytes(path_,
               "<?xml version=\"1.0\"?>\n<MiraList Version=\"2\"><!-- by hand -->"
               "<Mira Serial=\"A\" Colour=\"red\"/>"
               "<Mira Serial=\"B\" Name=\"b\" Colour=\"blue\"/></MiraList>\n");
    CMiraList list;
    ASSERT_TRUE(list.Load(path_));
    list.Set(L"A", L"Compass");
    list.Set(L"B", L"Clock");
    ASSERT_TRUE(list.Save(path_));
    const std::string expected =
        "<?xml version=\"1.0\"?>\n<MiraList Version=\"2\"><!-- by hand -->"
        "<Mira Serial=\"A\" Colour=\"red\"/>"
        "<Mira Serial=\"B\" Name=\"Clock\" Colour=\"blue\"/>"
        "<Mira Serial=\"A\" Name=\"Compass\"/></MiraList>\n";
    EXPECT_EQ(File(), expected);

    CMiraList read;
    ASSERT_TRUE(read.Load(path_));
    EXPECT_EQ(read.Get(L"A"), L"Compass");
    // The appended element is the one found from now on: the file stops growing.
    ASSERT_TRUE(read.Save(path_));
    EXPECT_EQ(File(), expected);
}

// A hand edit with a typo is kept as VelFlightMira.xml.bad (replacing an older
// copy) before the list starts over; where no copy can be made, the file stays.
TEST_F(MiraList, UnreadableFileIsKeptAsBadStartedOverAndTraced) {
    const std::string typo = "<MiraList><Mira Serial=\"A\" Name=\"x\">\r\n<!-- mine -->";
    const std::wstring bad = path_ + L".bad";
    WriteBytes(bad, "an older copy");
    WriteBytes(path_, typo);
    CMiraList list;
    list.Set(L"A", L"Compass");
    ASSERT_TRUE(list.Save(path_));
    EXPECT_EQ(File(), "<?xml version=\"1.0\"?>\n<MiraList><Mira Serial=\"A\" Name=\"Compass\"/></MiraList>\n");
    EXPECT_EQ(ReadBytes(bad), typo);
    EXPECT_EQ(ReadBytes(bad + L".tmp"), "<missing>");

    // An empty file (nothing to keep) leaves the earlier copy alone.
    WriteBytes(path_, "");
    ASSERT_TRUE(list.Save(path_));
    EXPECT_EQ(ReadBytes(bad), typo);

    // No copy possible (a folder holds its name): nothing is saved.
    av::platform::RemoveFile(bad);
    ASSERT_TRUE(av::platform::CreateDirectoryPath(bad));
    WriteBytes(path_, typo);
    EXPECT_FALSE(list.Save(path_));
    EXPECT_EQ(ReadBytes(path_), typo);
    EXPECT_EQ(ReadBytes(path_ + L".tmp"), "<missing>");

    const std::string load = "  CAviaro::SaveMiraList - load returned FALSE\r\n";
    EXPECT_EQ(Traced(), std::string(kNoTrace) + load +
                            "  CAviaro::SaveMiraList - unreadable file kept as VelFlightMira.xml.bad\r\n" +
                            load + load +
                            "  CAviaro::SaveMiraList - keep VelFlightMira.xml.bad returned FALSE\r\n");
}

// Serials are compared exactly: two units whose serials differ only in case
// keep a name each, save after save.
TEST_F(MiraList, SerialsDifferingOnlyInCaseKeepTheirOwnNames) {
    CMiraList list;
    list.Set(L"m100a", L"Clock");
    list.Set(L"M100A", L"Altimeter");
    ASSERT_TRUE(list.Save(path_));
    CMiraList read;
    ASSERT_TRUE(read.Load(path_));
    read.Set(L"M100A", L"Compass");
    ASSERT_TRUE(read.Save(path_));
    EXPECT_EQ(File(),
              "<?xml version=\"1.0\"?>\n<MiraList>"
              "<Mira Serial=\"M100A\" Name=\"Compass\"/>"
              "<Mira Serial=\"m100a\" Name=\"Clock\"/></MiraList>\n");
    CMiraList again;
    ASSERT_TRUE(again.Load(path_));
    EXPECT_EQ(again.GetTable(), (CMiraList::Table{{L"M100A", L"Compass"}, {L"m100a", L"Clock"}}));
}

// A folder name is a name, not an address: "%41" stays "%41", "#" is no fragment.
TEST_F(MiraList, FolderWithPercentAndHashSavesAndUpdates) {
    const std::wstring folder = JoinPath(folder_, L"Sim 100%41 #2");
    ASSERT_TRUE(av::platform::CreateDirectoryPath(folder));
    const std::wstring path = JoinPath(folder, L"VelFlightMira.xml");
    CMiraList list;
    list.Set(L"M1", L"Clock");
    ASSERT_TRUE(list.Save(path));
    list.Set(L"M1", L"Compass");
    ASSERT_TRUE(list.Save(path));
    EXPECT_EQ(Unix(ReadBytes(path)),
              "<?xml version=\"1.0\"?>\n<MiraList><Mira Serial=\"M1\" Name=\"Compass\"/></MiraList>\n");
    CMiraList read;
    ASSERT_TRUE(read.Load(path));
    EXPECT_EQ(read.Get(L"M1"), L"Compass");
    EXPECT_EQ(ReadBytes(path + L".bad"), "<missing>");
    EXPECT_EQ(Traced(), kNoTrace);
}

// A list the user made read-only is left as it is; each save says so.
TEST_F(MiraList, ReadOnlyFileIsLeftAloneAndTraced) {
    namespace fs = std::filesystem;
    const std::string previous =
        "<?xml version=\"1.0\"?>\r\n<MiraList><Mira Serial=\"A\" Name=\"Clock\"/></MiraList>\r\n";
    WriteBytes(path_, previous);
    fs::permissions(fs::path(path_),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    CMiraList list;
    list.Set(L"A", L"Compass");
    EXPECT_FALSE(list.Save(path_));
    fs::permissions(fs::path(path_), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(ReadBytes(path_), previous);
    EXPECT_EQ(ReadBytes(path_ + L".tmp"), "<missing>");
    EXPECT_EQ(Traced(), std::string(kNoTrace) + "  CAviaro::SaveMiraList - ReplaceFile returned FALSE\r\n");
}

TEST_F(MiraList, FailedWriteLeavesThePreviousFileAndIsTraced) {
    const std::string previous =
        "<?xml version=\"1.0\"?>\r\n<MiraList><Mira Serial=\"A\" Name=\"Clock\"/></MiraList>\r\n";
    WriteBytes(path_, previous);
    // The scratch file beside the list cannot be written: a folder holds its name.
    const std::wstring scratch = path_ + L".tmp";
    ASSERT_TRUE(av::platform::CreateDirectoryPath(scratch));

    CMiraList list;
    ASSERT_TRUE(list.Load(path_));
    list.Set(L"A", L"Compass");
    list.Set(L"B", L"Altimeter");
    EXPECT_FALSE(list.Save(path_));
    EXPECT_EQ(ReadBytes(path_), previous);
    EXPECT_EQ(list.Get(L"B"), L"Altimeter");  // still in memory for the next save
    EXPECT_TRUE(av::platform::DirectoryExists(scratch));  // not ours to remove

    // Without a file the skeleton cannot be written either: nothing appears.
    av::platform::RemoveFile(path_);
    EXPECT_FALSE(list.Save(path_));
    EXPECT_EQ(ReadBytes(path_), "<missing>");

    // A folder that does not exist.
    const std::wstring elsewhere = JoinPath(JoinPath(folder_, L"missing"), L"VelFlightMira.xml");
    EXPECT_FALSE(list.Save(elsewhere));
    EXPECT_EQ(ReadBytes(elsewhere), "<missing>");

    EXPECT_EQ(Traced(), std::string(kNoTrace) +
                            "  CAviaro::SaveMiraList - save returned FALSE\r\n"
                            "  CAviaro::SaveMiraList - save returned FALSE\r\n"
                            "  CAviaro::SaveMiraList - save returned FALSE\r\n");

    // Once the scratch name is free again the save goes through.
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(scratch), ec);
    ASSERT_TRUE(list.Save(path_));
    EXPECT_EQ(File(),
              "<?xml version=\"1.0\"?>\n<MiraList><Mira Serial=\"A\" Name=\"Compass\"/>"
              "<Mira Serial=\"B\" Name=\"Altimeter\"/></MiraList>\n");
}

}  // namespace

// Each aircraft profile keeps its own names beside the list without profile: a
// file written before profiles existed keeps its shape, what a save does not
// know survives it, and a Profile element is never an entry.
TEST_F(MiraList, ProfilesKeepTheirOwnNamesBesideTheListWithoutProfile) {
    WriteBytes(path_,
               "<?xml version=\"1.0\"?>\n<MiraList><Mira Serial=\"A\" Name=\"Clock\"/>"
               "<Profile Name=\"Baron\" Serial=\"A\"><Mira Serial=\"A\" Name=\"Tach\"/></Profile>"
               "<profile Name=\"Kept\"><Mira Serial=\"B\" Name=\"Fuel\"/></profile>"
               "<Profile><Mira Serial=\"A\" Name=\"nameless\"/></Profile></MiraList>\n");
    CMiraList list;
    ASSERT_TRUE(list.Load(path_));
    EXPECT_EQ(list.GetTable(), (CMiraList::Table{{L"A", L"Clock"}}));
    EXPECT_EQ(list.GetTable(L"Baron"), (CMiraList::Table{{L"A", L"Tach"}}));
    EXPECT_EQ(list.Get(L"Kept", L"B"), L"");  // "profile" is not the writer's "Profile"
    EXPECT_EQ(list.Get(L"Nobody", L"A"), L"");

    list.Set(L"Baron", L"A", L"Airspeed");
    list.Set(L"Baron", L"C", L"Attitude");
    list.Set(L"Sky'hawk", L"A", L"Altimeter");
    list.Set(L"", L"A", L"Clock2");
    ASSERT_TRUE(list.Save(path_));
    EXPECT_EQ(File(),
              "<?xml version=\"1.0\"?>\n<MiraList><Mira Serial=\"A\" Name=\"Clock2\"/>"
              "<Profile Name=\"Baron\" Serial=\"A\"><Mira Serial=\"A\" Name=\"Airspeed\"/>"
              "<Mira Serial=\"C\" Name=\"Attitude\"/></Profile>"
              "<profile Name=\"Kept\"><Mira Serial=\"B\" Name=\"Fuel\"/></profile>"
              "<Profile><Mira Serial=\"A\" Name=\"nameless\"/></Profile>"
              "<Profile Name=\"Sky'hawk\"><Mira Serial=\"A\" Name=\"Altimeter\"/></Profile>"
              "</MiraList>\n");

    // No profiles: the file a pilot without them always had.
    CMiraList plain;
    plain.Set(L"A", L"Clock");
    const std::wstring other = JoinPath(folder_, L"plain.xml");
    ASSERT_TRUE(plain.Save(other));
    EXPECT_EQ(Unix(ReadBytes(other)),
              "<?xml version=\"1.0\"?>\n<MiraList><Mira Serial=\"A\" Name=\"Clock\"/></MiraList>\n");
    EXPECT_EQ(Traced(), kNoTrace);
}
