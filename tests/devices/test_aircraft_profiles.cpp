#include <gtest/gtest.h>

#include <string>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "plugins/aviaro/devices/aircraft_profiles.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/xml/xml_node.h"
#include "tests/host/test_helpers.h"

namespace {

void WriteText(const std::wstring& path, const std::string& text) {
    std::FILE* f = av::platform::OpenFile(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

TEST(AircraftProfiles, TitlePatterns) {
    struct Case {
        const wchar_t* pattern;
        const wchar_t* title;
        bool match;
    };
    const Case cases[] = {
        {L"Cessna Skyhawk 172SP", L"Cessna Skyhawk 172SP", true},
        {L"cessna SKYHAWK*", L"Cessna Skyhawk 172SP Paint1", true},
        {L"Cessna Skyhawk", L"Cessna Skyhawk 172SP", false},  // the whole title
        {L"*172*", L"Cessna Skyhawk 172SP", true},
        {L"*172", L"Cessna Skyhawk 172SP", false},
        {L"*", L"", true},
        {L"", L"", true},
        {L"", L"A", false},
        {L"?", L"", false},
        {L"B?ron", L"Baron", true},
        {L"B?ron", L"Bron", false},
        {L"B??ron", L"Baron", false},
        {L"*a*a*a*b", L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {L"*a*b", L"xaxaxbxb", true},  // the star takes up to the last b
        {L"**Baron**", L"Beech Baron 58", true},
        {L"Beech Baron 5?", L"Beech Baron 58 ", false},
        {L"\u00c4*", L"\u00e4rger", true},  // beyond ASCII, case still ignored
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchAircraftTitle(c.pattern, c.title), c.match)
            << "pattern \"" << av::platform::ToUtf8(c.pattern) << "\" title \""
            << av::platform::ToUtf8(c.title) << "\"";
    }
}

// A broken section is traced and skipped; the others count, in file order.
TEST(AircraftProfiles, BrokenSectionsAreSkippedAndTheFirstMatchWins) {
    const std::wstring folder = MakeTempFolder("AircraftProfiles");
    const std::wstring file = av::platform::JoinPath(folder, L"Aviaro.xml");
    WriteText(file,
              "<Aviaro><Gauge File=\"own.xml\"/>"
              "<Aircraft Name=\"untitled\"><Gauge File=\"x.xml\"/></Aircraft>"
              "<aircraft Title=\"Beech*\" Name=\"Baron\"><Gauge File=\"b1.xml\"/>"
              "<Gauge Serial=\"MIRA00000002\" File=\"b2.xml\"/><Tally/><Gauge File=\"b3.xml\"/>"
              "</aircraft>"
              "<Aircraft Title=\"*\"><TALLY File=\"any.xml\"/></Aircraft>"
              "<Aircraft Title=\"Beech Baron*\" Name=\"never\"/></Aviaro>");
    const std::wstring trace = av::platform::JoinPath(folder, L"trace.txt");
    CTraceLog::Instance().Open(trace);
    av::platform::ComInitialize();  // the Windows XML reader needs it
    CXmlNode* root = nullptr;
    const bool read = ReadXmlFile(file, &root);
    av::platform::ComUninitialize();
    ASSERT_TRUE(read);
    CAircraftProfiles profiles;
    profiles.Load(root);
    CTraceLog::Instance().Close();

    ASSERT_EQ(profiles.Profiles().size(), 3u);
    const AircraftProfile* baron = profiles.Choose(L"Beech Baron 58");
    ASSERT_NE(baron, nullptr);
    EXPECT_EQ(baron->name, L"Baron");
    ASSERT_EQ(baron->gauges.size(), 2u);
    EXPECT_EQ(*baron->gauges[1]->GetAttribute(L"File"), L"b3.xml");
    ASSERT_EQ(baron->unitGauges.size(), 1u);
    EXPECT_EQ(baron->unitGauges[0].first, L"MIRA00000002");
    EXPECT_EQ(baron->lampProgramming, L"");
    const AircraftProfile* any = profiles.Choose(L"Cessna");
    ASSERT_NE(any, nullptr);
    EXPECT_EQ(any->name, L"*");  // no Name: the pattern is the key
    EXPECT_EQ(any->lampProgramming, L"any.xml");
    FreeXmlTree(root);

    const std::string traced = ReadBytes(trace);
    EXPECT_NE(traced.find("CAircraftProfiles::Load - Aircraft 1 has no Title, skipped\r\n"),
              std::string::npos) << traced;
    EXPECT_NE(traced.find("CAircraftProfiles::Load - \"Baron\": Tally without File, skipped\r\n"),
              std::string::npos) << traced;
    EXPECT_NE(traced.find("CAircraftProfiles::Load - \"Baron\" for titles \"Beech*\"\r\n"),
              std::string::npos) << traced;
}

}  // namespace
