#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugins/aviaro/host/launch_model.h"

namespace {

const std::wstring kExe = L"C:\\Program Files\\Orlend\\Aviaro.exe";
const char* const kLeftAlone = "(left alone)";

std::string Install(const std::string& file, const std::wstring& exe = kExe) {
    std::vector<LaunchTextEdit> edits;
    if (!PlanLaunchInstall(file, exe, edits)) return edits.empty() ? kLeftAlone : "(edits)";
    return ApplyLaunchEdits(file, edits);
}

std::string Uninstall(const std::string& file, const std::wstring& exe = kExe) {
    std::vector<LaunchTextEdit> edits;
    if (!PlanLaunchUninstall(file, exe, edits)) return edits.empty() ? kLeftAlone : "(edits)";
    return ApplyLaunchEdits(file, edits);
}

// The lines of the entry install adds, with LF line ends.
std::string Entry(const std::string& path) {
    return "\t\t<Launch.Addon>\n\t\t\t<Name>Orlend Panel(s) Plugin for FSX</Name>\n"
           "\t\t\t<Disabled>False</Disabled>\n\t\t\t<Path>" + path + "</Path>\n"
           "\t\t\t<CommandLine>-run</CommandLine>\n\t\t</Launch.Addon>\n";
}

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\n";
const std::string kRoot = "<SimBase.Document>\n";
const std::string kEnd = "</SimBase.Document>\n";

// The path in the file's own encoding, with "&" escaped so the file stays
// readable XML; existing entries are matched after their references are
// resolved, and an old entry with a bare "&" still matches.
TEST(LaunchText, PathEncodingAndEscapes) {
    const std::wstring amp = L"C:\\Tools & Games\\Aviaro.exe";
    std::string bytes;
    ASSERT_TRUE(NewLaunchText(amp, bytes));
    EXPECT_NE(std::string::npos, bytes.find("<Path>C:\\Tools &amp; Games\\Aviaro.exe</Path>\r\n"));

    const std::wstring accented = L"C:\\Fl\u00FCge\\\u20AC\\Aviaro.exe";
    const std::wstring chinese = L"C:\\\u4E2D\\Aviaro.exe";
    const std::string utf8 = "<?xml version='1.0' encoding = \"UTF-8\" ?>\n" + kRoot + kEnd;
    const std::string cp1252 = kDeclaration + kRoot + kEnd;
    struct Case {
        std::string file;
        std::wstring exe;
        std::string expected;
    } cases[] = {
        {cp1252, accented, kDeclaration + kRoot + Entry("C:\\Fl\xFCge\\\x80\\Aviaro.exe") + kEnd},
        {utf8, accented, utf8.substr(0, utf8.size() - kEnd.size()) +
                             Entry("C:\\Fl\xC3\xBCge\\\xE2\x82\xAC\\Aviaro.exe") + kEnd},
        {utf8, chinese, utf8.substr(0, utf8.size() - kEnd.size()) +
                            Entry("C:\\\xE4\xB8\xAD\\Aviaro.exe") + kEnd},
        {cp1252, chinese, kLeftAlone},
        {"\xEF\xBB\xBF" + kRoot + kEnd, accented,
         "\xEF\xBB\xBF" + kRoot + Entry("C:\\Fl\xC3\xBCge\\\xE2\x82\xAC\\Aviaro.exe") + kEnd},
        {kRoot + kEnd, amp, kRoot + Entry("C:\\Tools &amp; Games\\Aviaro.exe") + kEnd},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, Install(c.file, c.exe)) << c.file;

    // Entries written with references, or with a bare "&", are this executable's.
    const std::string found[] = {
        "<Path>C:\\Tools &amp; Games\\Aviaro.exe</Path>",
        "<Path>c:\\tools & games\\aviaro.exe</Path>",
        "<Path>C:\\Tools &#38; Games\\Aviaro&#x2E;exe<!-- x --></Path>",
    };
    for (const std::string& path : found) {
        const std::string file = kRoot + "<Launch.Addon>" + path + "</Launch.Addon>\n" + kEnd;
        EXPECT_EQ(kRoot + kEnd, Uninstall(file, amp)) << path;
    }
    const std::string mere = kRoot + "<Launch.Addon><Path>C:\\Tools &amp Games\\Aviaro.exe</Path>"
                                     "</Launch.Addon>\n" + kEnd;
    EXPECT_EQ(mere, Uninstall(mere, amp));
}

// Re-enabling touches only the Disabled values of the first entry.
TEST(LaunchText, ReEnabling) {
    const std::string path = "<Path>C:\\Program Files\\Orlend\\Aviaro.exe</Path>";
    auto file = [&](const std::string& fields) {
        return kRoot + "<Launch.Addon>" + fields + "</Launch.Addon>\n" + kEnd;
    };
    const std::pair<std::string, std::string> cases[] = {
        {"<Disabled>False</Disabled>" + path, "<Disabled>False</Disabled>" + path},
        {"<Disabled>false</Disabled>" + path, "<Disabled>False</Disabled>" + path},
        {"<Disabled/>" + path, "<Disabled>False</Disabled>" + path},
        {"<Disabled>True</Disabled>" + path + "<Disabled> True </Disabled>",
         "<Disabled>False</Disabled>" + path + "<Disabled>False</Disabled>"},
        {"<Name>x</Name>" + path, "<Name>x</Name><Disabled>False</Disabled>" + path},
        {"<Disabled>True<!-- off --></Disabled>" + path, "<Disabled>False</Disabled>" + path},
    };
    for (const auto& [fields, expected] : cases) {
        EXPECT_EQ(file(expected), Install(file(fields))) << fields;
    }
    // Only the first of two entries for the executable; the uninstall, too.
    const std::string twice = file("<Disabled>True</Disabled>" + path) +
                              "<Launch.Addon><Disabled>True</Disabled>" + path + "</Launch.Addon>\n";
    EXPECT_EQ(file("<Disabled>False</Disabled>" + path) + "<Launch.Addon><Disabled>True</Disabled>" +
                  path + "</Launch.Addon>\n",
              Install(twice));
    // An executable that carries a retired program's name is taken out, not added.
    const std::wstring retired = L"C:\\Orlend\\VelPanels.exe";
    const std::string old = kRoot + "  <Launch.Addon><Path>C:\\orlend\\velpanels.exe</Path></Launch.Addon>\n" + kEnd;
    EXPECT_EQ(kRoot + kEnd, Install(old, retired));
}

// Files whose structure cannot be told for certain stay exactly as they are,
// through install and uninstall alike.
TEST(LaunchText, FilesLeftAlone) {
    const std::string own =
        "<Launch.Addon><Path>C:\\Program Files\\Orlend\\Aviaro.exe</Path></Launch.Addon>";
    const std::string files[] = {
        kRoot + own + "<!-- never closed\n" + kEnd,
        kRoot + own + "<Launch.Addon></launch.addon>" + kEnd,
        kRoot + own + "<a></b>" + kEnd,
        "<!DOCTYPE SimBase.Document>\n" + kRoot + own + kEnd,
        "<SimBase.Document/>\n",
        "<Launch.Document>" + own + "</Launch.Document>\n",
        kRoot + own + "< Launch.Addon>" + kEnd,
        kRoot + "<Launch.Addon a=\"x>" + own + kEnd,
        kRoot + own + "<![CDATA[ never closed" + kEnd,
        kRoot + own + "<? never closed" + kEnd,
        kRoot + own + "</SimBase.Document",
        std::string("<\0S>", 4),
    };
    for (const std::string& file : files) {
        EXPECT_EQ(kLeftAlone, Install(file)) << file;
        EXPECT_EQ(kLeftAlone, Uninstall(file)) << file;
    }
    // Loose text without a root is no file to add to; uninstall finds nothing in it.
    EXPECT_EQ(kLeftAlone, Install("not xml at all\n"));
    EXPECT_EQ("not xml at all\n", Uninstall("not xml at all\n"));
    // White space alone, after a byte order mark or not, is made a new file.
    std::string fresh;
    ASSERT_TRUE(NewLaunchText(kExe, fresh));
    EXPECT_EQ(fresh, Install(" \r\n\t"));
    EXPECT_EQ(fresh, Install("\xEF\xBB\xBF\n"));
    EXPECT_EQ("\xEF\xBB\xBF\n", Uninstall("\xEF\xBB\xBF\n"));
}

}  // namespace
