#include <gtest/gtest.h>

#include <string>

#include "plugins/aviaro/host/launch_model.h"

namespace {

const std::wstring kExe = L"C:\\Program Files\\Orlend\\Aviaro.exe";

// "\n" line ends to the CR LF the files have on disk.
std::string Crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string Write(const CLaunchModel& model) {
    std::string bytes;
    EXPECT_TRUE(model.Write(bytes));
    return bytes;
}

// What install does to an existing exe.xml.
std::string Install(const std::string& file, const std::wstring& exe = kExe) {
    CLaunchModel model;
    model.Read(file);
    model.EnableOrAppendAddon(exe);
    model.RemoveRetiredAddons();
    return Write(model);
}

std::string Uninstall(const std::string& file, const std::wstring& exe = kExe) {
    CLaunchModel model;
    model.Read(file);
    model.RemoveAddon(exe);
    return Write(model);
}

const std::string kHeader =
    "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\n"
    "<SimBase.Document Type=\"Launch\" version=\"1,0\">\n"
    "\t<Descr>Launch</Descr>\n"
    "\t<Filename>exe.xml</Filename>\n"
    "\t<Disabled>False</Disabled>\n"
    "\t<Launch.ManualLoad>False</Launch.ManualLoad>\n";

const std::string kOwnEntry =
    "\t\t<Launch.Addon>\n"
    "\t\t\t<Name>Orlend Panel(s) Plugin for FSX</Name>\n"
    "\t\t\t<Disabled>False</Disabled>\n"
    "\t\t\t<Path>C:\\Program Files\\Orlend\\Aviaro.exe</Path>\n"
    "\t\t\t<CommandLine>-run</CommandLine>\n"
    "\t\t</Launch.Addon>\n"
    "\n";

const std::string kEnd = "</SimBase.Document>\n";

TEST(LaunchModel, NewFileHasTheFixedText) {
    EXPECT_EQ(Crlf(kHeader + "\n" + kOwnEntry + kEnd), Write(CLaunchModel::CreateNew(kExe)));
}

// Another add-on's block keeps its own elements after the four known fields,
// through an install and an uninstall; a retired program's entry goes.
TEST(LaunchModel, OtherAddonsLinesSurviveInstallAndUninstall) {
    const std::string file =
        kHeader +
        "\t<!-- a comment -->\r\n"
        "\n"
        "\t<Launch.Addon>\n"
        "\t\t<Path>C:\\Tools\\Other.exe</Path>\n"
        "\t\t<ManualLoad>True</ManualLoad>\n"
        "\t\t<Name>Other</Name>\n"
        "\t\t<NewConsole>False</NewConsole>\n"
        "   \n"
        "\t\t<CommandLine>-x</CommandLine>\r\n"
        "\t\t<Disabled>False</Disabled>\n"
        "\t</Launch.Addon>\n"
        "\t<Launch.Addon>\n"
        "\t\t<Name>Old panels</Name>\n"
        "\t\t<Disabled>False</Disabled>\n"
        "\t\t<Path>C:\\Old\\velpanels.EXE</Path>\n"
        "\t</Launch.Addon>\n"
        "</SimBase.Document>\n";
    const std::string other =
        "\t\t<Launch.Addon>\n"
        "\t\t<Name>Other</Name>\n"
        "\t\t<Disabled>False</Disabled>\n"
        "\t\t<Path>C:\\Tools\\Other.exe</Path>\n"
        "\t\t<CommandLine>-x</CommandLine>\n"
        "\t\t<ManualLoad>True</ManualLoad>\n"
        "\t\t<NewConsole>False</NewConsole>\n"
        "\t\t</Launch.Addon>\n"
        "\n";
    const std::string installed = Install(file);
    EXPECT_EQ(Crlf(kHeader + "\n" + other + kOwnEntry + kEnd), installed);
    EXPECT_EQ(Crlf(kHeader + "\n" + other + kEnd), Uninstall(installed));
}

// A second install finds the entry whatever the letter case of its path,
// re-enables it and adds nothing; the name and command line stay the user's.
TEST(LaunchModel, SecondInstallReEnablesTheOneEntry) {
    const std::string entry =
        "\t\t<Launch.Addon>\n"
        "\t\t\t<Name>Renamed</Name>\n"
        "\t\t\t<Disabled>True</Disabled>\n"
        "\t\t\t<Path>c:\\PROGRAM FILES\\orlend\\aviaro.EXE</Path>\n"
        "\t\t\t<CommandLine>-run -x</CommandLine>\n"
        "\t\t</Launch.Addon>\n"
        "\n";
    std::string enabled = entry;
    enabled.replace(enabled.find("True"), 4, "False");
    const std::string once = Install(kHeader + "\n" + entry + kEnd);
    EXPECT_EQ(Crlf(kHeader + "\n" + enabled + kEnd), once);
    EXPECT_EQ(once, Install(once));

    EXPECT_EQ(Crlf(kHeader + "\n" + kEnd), Uninstall(once));
}

TEST(LaunchModel, UninstallRemovesOnlyTheFirstEntryAndRewritesWithout) {
    const std::string twice = kHeader + "\n" + kOwnEntry + kOwnEntry + kEnd;
    EXPECT_EQ(Crlf(kHeader + "\n" + kOwnEntry + kEnd), Uninstall(twice));
    // No entry for the executable: the file is still written, normalised.
    EXPECT_EQ(Crlf(kHeader + "\n" + kEnd), Uninstall(kHeader + "<!-- x -->\n\n" + kEnd));
}

TEST(LaunchModel, RetiredProgramsGoWhateverTheirFolderOrCase) {
    auto entry = [](const std::string& path) {
        return "\t\t<Launch.Addon>\n\t\t\t<Path>" + path + "</Path>\n\t\t</Launch.Addon>\n\n";
    };
    const std::string kept = entry("VelPanels.exe") + entry("C:\\x\\MyVelPanels.exe") +
                             entry("C:\\x\\Aerotwin.exe.bak");
    const std::string file = kHeader + "\n" + entry("C:\\a\\VelPanels.exe") + kept +
                             entry("D:\\b c\\AEROTWIN.EXE") + kEnd;
    EXPECT_EQ(Crlf(kHeader + "\n" + kept + kOwnEntry + kEnd), Install(file));
}

// Lines are read whole: a 5000-character path stays one field and is found.
TEST(LaunchModel, LongLinesStayWhole) {
    const std::wstring exe = L"C:\\" + std::wstring(4980, L'd') + L"\\Aviaro.exe";
    const std::string exeBytes(exe.begin(), exe.end());
    const std::string entry =
        "\t\t<Launch.Addon>\n"
        "\t\t\t<Name>Orlend Panel(s) Plugin for FSX</Name>\n"
        "\t\t\t<Disabled>True</Disabled>\n"
        "\t\t\t<Path>" + exeBytes + "</Path>\n"
        "\t\t\t<CommandLine>-run</CommandLine>\n"
        "\t\t</Launch.Addon>\n"
        "\n";
    std::string enabled = entry;
    enabled.replace(enabled.find("True"), 4, "False");
    const std::string installed = Install(Crlf(kHeader + "\n" + entry + kEnd), exe);
    EXPECT_EQ(Crlf(kHeader + "\n" + enabled + kEnd), installed);

    CLaunchModel model;
    model.Read(installed);
    ASSERT_EQ(1u, model.addons.size());
    EXPECT_EQ(exe, LaunchPathValue(model.addons[0].path));
}

// A file without the declaration or the root start line gets them back.
TEST(LaunchModel, MissingDeclarationAndRootAreSupplied) {
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\n";
    const std::string root = "<SimBase.Document Type=\"Launch\" version=\"1,0\">\n";
    EXPECT_EQ(Crlf(declaration + root + "\n" + kOwnEntry + kEnd), Install(""));

    const std::string noDeclaration = kHeader.substr(declaration.size());
    EXPECT_EQ(Crlf(kHeader + "\n" + kOwnEntry + kEnd), Install(noDeclaration + kEnd));

    const std::string noRoot = declaration + kHeader.substr(declaration.size() + root.size());
    EXPECT_EQ(Crlf(kHeader + "\n" + kEnd), Uninstall(noRoot));
}

// Fields over several lines are kept whole; a path value spread over lines is
// whole-field text and does not match the executable.
TEST(LaunchModel, FieldsOverSeveralLines) {
    const std::string file =
        "<?xml version=\"1.0\"?>\n"
        "<SimBase.Document Type=\"Launch\" version=\"1,0\">\n"
        "\t<Descr>Launch\n"
        "\t  <Disabled>inside the description</Disabled>\n"
        "\t</Descr>\n"
        "\t<Launch.Addon>\n"
        "\t\t<Path>\n"
        "C:\\Program Files\\Orlend\\Aviaro.exe\n"
        "\t\t</Path>\n"
        "\t</Launch.Addon>\n";
    const std::string expected =
        "<?xml version=\"1.0\"?>\n"
        "<SimBase.Document Type=\"Launch\" version=\"1,0\">\n"
        "\t<Descr>Launch\n"
        "\t  <Disabled>inside the description</Disabled>\n"
        "\t</Descr>\n"
        "\n"
        "\t\t<Launch.Addon>\n"
        "\t\t<Path>\n"
        "C:\\Program Files\\Orlend\\Aviaro.exe\n"
        "\t\t</Path>\n"
        "\t\t</Launch.Addon>\n"
        "\n" +
        kOwnEntry + kEnd;
    EXPECT_EQ(Crlf(expected), Install(file));
}

// A block left open at the end of the file ends there; a last line without a
// line end gets one; a block opened inside an open one starts a new entry.
TEST(LaunchModel, UnclosedBlocks) {
    const std::string file = kHeader +
                             "\t<Launch.Addon>\n"
                             "\t\t<Name>A</Name>\n"
                             "\t<Launch.Addon>\n"
                             "\t\t<Name>B</Name>\n"
                             "\t\t<CommandLine>-b</CommandLine>";
    const std::string expected = kHeader + "\n" +
                                 "\t\t<Launch.Addon>\n\t\t<Name>A</Name>\n\t\t</Launch.Addon>\n\n"
                                 "\t\t<Launch.Addon>\n\t\t<Name>B</Name>\n"
                                 "\t\t<CommandLine>-b</CommandLine>\n\t\t</Launch.Addon>\n\n" +
                                 kEnd;
    EXPECT_EQ(Crlf(expected), Uninstall(file));
}

// A block written on one line is kept as it is, in its place among the others.
TEST(LaunchModel, OneLineBlockIsKept) {
    const std::string oneLine =
        "  <Launch.Addon><Name>Tiny</Name><Path>C:\\t.exe</Path></Launch.Addon>\n";
    const std::string file = kHeader + oneLine + kOwnEntry + kEnd;
    EXPECT_EQ(Crlf(kHeader + "\n" + oneLine + "\n" + kOwnEntry + kEnd), Install(file));
    EXPECT_EQ(Crlf(kHeader + "\n" + oneLine + "\n" + kEnd), Uninstall(file));
}

// The path goes out in Windows-1252 and is compared in it when read back;
// bytes the code page leaves unassigned come back unchanged.
TEST(LaunchModel, Windows1252Paths) {
    const std::wstring exe = L"C:\\Fl\u00FCge\\\u20ACuro\\Aviaro.exe";
    const std::string bytes = Write(CLaunchModel::CreateNew(exe));
    EXPECT_NE(std::string::npos, bytes.find("<Path>C:\\Fl\xFCge\\\x80uro\\Aviaro.exe</Path>\r\n"));

    const std::string other = "\t\t<Launch.Addon>\n\t\t<Name>\x81\x8D\x8F\x90\x9D\xFF</Name>\n"
                              "\t\t</Launch.Addon>\n\n";
    const std::string file = kHeader + "\n" + other +
                             "\t\t<Launch.Addon>\n\t\t\t<Path>c:\\fl\xFCge\\\x80URO\\aviaro.exe"
                             "</Path>\n\t\t</Launch.Addon>\n\n" +
                             kEnd;
    EXPECT_EQ(Crlf(kHeader + "\n" + other + kEnd), Uninstall(file, exe));

    std::string encoded;
    EXPECT_FALSE(EncodeLaunchText(L"C:\\\u4E2D\\Aviaro.exe", encoded));
    EXPECT_FALSE(CLaunchModel::CreateNew(L"C:\\\u4E2D\\Aviaro.exe").Write(encoded));
}

TEST(LaunchModel, PathValue) {
    EXPECT_EQ(L"C:\\a.exe", LaunchPathValue(L"\t\t\t<Path>C:\\a.exe</Path>\n"));
    EXPECT_EQ(L"", LaunchPathValue(L"<Path></Path>\n"));
    EXPECT_EQ(L"<Path>C:\\a.exe\n", LaunchPathValue(L"<Path>C:\\a.exe\n"));
    EXPECT_EQ(L"C:\\a.exe</Path>\n", LaunchPathValue(L"C:\\a.exe</Path>\n"));
}

}  // namespace
