#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <vector>
#include <string>

#include "platform/paths.h"
#include "plugins/aviaro/host/launch_model.h"
#include "plugins/aviaro/host/registration_files.h"
#include "plugins/aviaro/host/registration_simulators.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder below the temporary folder for one test, removed afterwards.
class RegistrationFolder : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string("aviaro-registration-") + info->name();
        root_ = av::platform::JoinPath(av::platform::GetTempFolder(),
                                       std::wstring(name.begin(), name.end()));
        fs::remove_all(fs::path(root_));
        fs::create_directories(fs::path(root_));
        context_.simulators = kFsxSimulators;
        context_.haveAppData = true;
        context_.appData = Path(L"AppData");
        context_.haveLocalAppData = true;
        context_.localAppData = Path(L"LocalAppData");
        context_.haveDocuments = true;
        context_.documents = Path(L"Documents");
        context_.executablePath = L"C:\\Games\\Orlend\\Aviaro.exe";
        fs::create_directories(fs::path(context_.appData));
        fs::create_directories(fs::path(context_.localAppData));
        fs::create_directories(fs::path(context_.documents));
    }
    void TearDown() override { fs::remove_all(fs::path(root_)); }

    std::wstring Path(const std::wstring& relative) const {
        return av::platform::JoinPath(root_, relative);
    }
    std::wstring AddonFolder(int simulator) const {
        return SimulatorAddonFolder(context_, context_.simulators[simulator]);
    }
    std::wstring AddonFile(int simulator, const wchar_t* name) const {
        return av::platform::JoinPath(AddonFolder(simulator), name);
    }
    std::wstring IniFolder(int simulator) const {
        return av::platform::JoinPath(context_.documents, context_.simulators[simulator].iniFolder);
    }
    std::wstring IniFile(int simulator) const {
        return SimulatorIniPath(context_, context_.simulators[simulator]);
    }

    static void Put(const std::wstring& path, const std::string& bytes) {
        std::ofstream out(fs::path(path), std::ios::binary);
        out << bytes;
    }
    static std::string Get(const std::wstring& path) {
        std::ifstream in(fs::path(path), std::ios::binary);
        if (!in) return "<missing>";
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool Exists(const std::wstring& path) { return fs::exists(fs::path(path)); }
    // Everything in the folder tree, relative, one entry per line, sorted
    // (directory order differs between systems).
    std::string SortedTree() const {
        std::vector<std::string> lines;
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(root_))) {
            lines.push_back(fs::relative(entry.path(), fs::path(root_)).generic_string() + "\n");
        }
        std::sort(lines.begin(), lines.end());
        std::string out;
        for (const auto& line : lines) out += line;
        return out;
    }

    std::string NewExeXml() const {
        std::string bytes;
        EXPECT_TRUE(NewLaunchText(context_.executablePath, bytes));
        return bytes;
    }

    std::wstring root_;
    RegistrationContext context_;
};

// Writes half of the bytes, then fails.
bool FailHalfway(std::FILE* file, const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size() / 2, file);
    return false;
}

const std::string kExistingExeXml =
    "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n"
    "<SimBase.Document Type=\"Launch\" version=\"1,0\">\r\n"
    "\t<Launch.Addon>\r\n"
    "\t\t<Name>Other</Name>\r\n"
    "\t\t<ManualLoad>True</ManualLoad>\r\n"
    "\t\t<Path>C:\\Tools\\Other.exe</Path>\r\n"
    "\t</Launch.Addon>\r\n"
    "</SimBase.Document>\r\n";

TEST_F(RegistrationFolder, CreatedFilesHaveTheirExactBytes) {
    EXPECT_EQ(std::string("[SimConnect]\r\nlevel=off\r\nconsole=0\r\n;OutputDebugString=0\r\n"
                          ";file=c:\\SimConnect%03u.log\r\n;file_next_index=1\r\n"
                          ";RedirectStdOutToConsole=0\r\n"),
              kSimConnectIniBytes);
    const std::string xml = kSimConnectXmlBytes;
    EXPECT_EQ(0u, xml.find("<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n"
                           "<SimBase.Document Type=\"SimConnect\" version=\"1,0\">\r\n"));
    EXPECT_NE(std::string::npos, xml.find("\t\t<MaxClients>64</MaxClients>\r\n\t\t<Port></Port>\r\n"));
}

// Only simulators whose folders exist get files; existing SimConnect files stay
// as they are; nothing creates a folder.
TEST_F(RegistrationFolder, InstallWritesIntoPresentSimulatorsOnly) {
    fs::create_directories(fs::path(AddonFolder(0)));  // FSX: nothing yet
    fs::create_directories(fs::path(IniFolder(0)));
    fs::create_directories(fs::path(AddonFolder(3)));  // Prepar3D v2: files present
    fs::create_directories(fs::path(IniFolder(3)));
    Put(AddonFile(3, L"SimConnect.xml"), "mine\n");
    Put(IniFile(3), "[SimConnect]\nlevel=verbose\n");
    Put(AddonFile(3, L"exe.xml"), kExistingExeXml);
    fs::create_directories(fs::path(IniFolder(4)));  // Prepar3D v3: documents only

    InstallIntoSimulators(context_);

    EXPECT_EQ(kSimConnectIniBytes, Get(IniFile(0)));
    EXPECT_EQ(kSimConnectXmlBytes, Get(AddonFile(0, L"SimConnect.xml")));
    EXPECT_EQ(NewExeXml(), Get(AddonFile(0, L"exe.xml")));

    EXPECT_EQ("mine\n", Get(AddonFile(3, L"SimConnect.xml")));
    EXPECT_EQ("[SimConnect]\nlevel=verbose\n", Get(IniFile(3)));
    // The entry goes before the root's end tag; every other byte stays.
    const std::string installed =
        "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n"
        "<SimBase.Document Type=\"Launch\" version=\"1,0\">\r\n"
        "\t<Launch.Addon>\r\n"
        "\t\t<Name>Other</Name>\r\n"
        "\t\t<ManualLoad>True</ManualLoad>\r\n"
        "\t\t<Path>C:\\Tools\\Other.exe</Path>\r\n"
        "\t</Launch.Addon>\r\n"
        "\t\t<Launch.Addon>\r\n"
        "\t\t\t<Name>Orlend Panel(s) Plugin for FSX</Name>\r\n"
        "\t\t\t<Disabled>False</Disabled>\r\n"
        "\t\t\t<Path>C:\\Games\\Orlend\\Aviaro.exe</Path>\r\n"
        "\t\t\t<CommandLine>-run</CommandLine>\r\n"
        "\t\t</Launch.Addon>\r\n"
        "</SimBase.Document>\r\n";
    EXPECT_EQ(installed, Get(AddonFile(3, L"exe.xml")));
    EXPECT_EQ(kSimConnectIniBytes, Get(IniFile(4)));

    EXPECT_EQ(
        "AppData\n"
        "AppData/Lockheed Martin\n"
        "AppData/Lockheed Martin/Prepar3D v2\n"
        "AppData/Lockheed Martin/Prepar3D v2/SimConnect.xml\n"
        "AppData/Lockheed Martin/Prepar3D v2/exe.xml\n"
        "AppData/Microsoft\n"
        "AppData/Microsoft/FSX\n"
        "AppData/Microsoft/FSX/SimConnect.xml\n"
        "AppData/Microsoft/FSX/exe.xml\n"
        "Documents\n"
        "Documents/Flight Simulator X Files\n"
        "Documents/Flight Simulator X Files/SimConnect.ini\n"
        "Documents/PrePar3D v2 Files\n"
        "Documents/PrePar3D v2 Files/SimConnect.ini\n"
        "Documents/PrePar3D v3 Files\n"
        "Documents/PrePar3D v3 Files/SimConnect.ini\n"
        "LocalAppData\n",
        SortedTree());

    // A second install changes nothing.
    InstallIntoSimulators(context_);
    EXPECT_EQ(NewExeXml(), Get(AddonFile(0, L"exe.xml")));
    EXPECT_EQ(installed, Get(AddonFile(3, L"exe.xml")));

    // Uninstall takes the entry's lines out and leaves the SimConnect files alone.
    UninstallFromSimulators(context_);
    EXPECT_EQ(kExistingExeXml, Get(AddonFile(3, L"exe.xml")));
    const std::string fresh = NewExeXml();
    const std::size_t entry = fresh.find("\t\t<Launch.Addon>");
    const std::size_t entryEnd = fresh.find("</Launch.Addon>\r\n") + 17;
    EXPECT_EQ(fresh.substr(0, entry) + fresh.substr(entryEnd), Get(AddonFile(0, L"exe.xml")));
    EXPECT_EQ(kSimConnectXmlBytes, Get(AddonFile(0, L"SimConnect.xml")));
    EXPECT_EQ(kSimConnectIniBytes, Get(IniFile(0)));
    EXPECT_EQ("mine\n", Get(AddonFile(3, L"SimConnect.xml")));
}

TEST_F(RegistrationFolder, UninstallWithoutExeXmlCreatesNothing) {
    fs::create_directories(fs::path(AddonFolder(1)));
    fs::create_directories(fs::path(IniFolder(1)));
    UninstallFromSimulators(context_);
    EXPECT_FALSE(Exists(AddonFile(1, L"exe.xml")));
    EXPECT_FALSE(Exists(AddonFile(1, L"SimConnect.xml")));
    EXPECT_FALSE(Exists(IniFile(1)));
}

// A failure part-way through a write leaves the old bytes and nothing beside them.
TEST_F(RegistrationFolder, FailedWriteLeavesTheOldFile) {
    fs::create_directories(fs::path(AddonFolder(2)));
    Put(AddonFile(2, L"exe.xml"), kExistingExeXml);
    context_.writer = FailHalfway;

    InstallIntoSimulators(context_);
    EXPECT_EQ(kExistingExeXml, Get(AddonFile(2, L"exe.xml")));
    EXPECT_FALSE(Exists(AddonFile(2, L"SimConnect.xml")));
    UninstallFromSimulators(context_);
    EXPECT_EQ(kExistingExeXml, Get(AddonFile(2, L"exe.xml")));

    EXPECT_EQ(
        "exe.xml\n",
        [&] {
            std::string names;
            for (const auto& e : fs::directory_iterator(fs::path(AddonFolder(2)))) {
                names += e.path().filename().string() + "\n";
            }
            return names;
        }());

    // The same write through the default writer replaces the file.
    EXPECT_TRUE(WriteFileReplacing(AddonFile(2, L"exe.xml"), "new\r\n"));
    EXPECT_EQ("new\r\n", Get(AddonFile(2, L"exe.xml")));
    EXPECT_FALSE(Exists(AddonFile(2, L"exe.xml") + kReplacementSuffix));
    // A missing folder: nothing is written anywhere.
    EXPECT_FALSE(WriteFileReplacing(AddonFile(4, L"exe.xml"), "new\r\n"));
    EXPECT_FALSE(Exists(AddonFolder(4)));
}

// A path the file's code page cannot hold leaves exe.xml untouched, or
// uncreated; the SimConnect files are still made.
TEST_F(RegistrationFolder, UnrepresentablePathLeavesExeXmlAlone) {
    context_.executablePath = L"C:\\\u4E2D\u6587\\Aviaro.exe";
    fs::create_directories(fs::path(AddonFolder(0)));
    fs::create_directories(fs::path(AddonFolder(1)));
    Put(AddonFile(1, L"exe.xml"), kExistingExeXml);

    InstallIntoSimulators(context_);
    EXPECT_FALSE(Exists(AddonFile(0, L"exe.xml")));
    EXPECT_EQ(kSimConnectXmlBytes, Get(AddonFile(0, L"SimConnect.xml")));
    EXPECT_EQ(kExistingExeXml, Get(AddonFile(1, L"exe.xml")));
    UninstallFromSimulators(context_);
    EXPECT_EQ(kExistingExeXml, Get(AddonFile(1, L"exe.xml")));

    // Without the executable's path at all, likewise.
    context_.executablePath.clear();
    InstallIntoSimulators(context_);
    EXPECT_FALSE(Exists(AddonFile(0, L"exe.xml")));
}

// A failed folder lookup skips what depends on it.
TEST_F(RegistrationFolder, FailedFolderLookups) {
    fs::create_directories(fs::path(AddonFolder(0)));
    fs::create_directories(fs::path(IniFolder(0)));

    context_.haveDocuments = false;
    InstallIntoSimulators(context_);
    EXPECT_FALSE(Exists(IniFile(0)));
    EXPECT_EQ(NewExeXml(), Get(AddonFile(0, L"exe.xml")));

    fs::remove(fs::path(AddonFile(0, L"exe.xml")));
    context_.haveDocuments = true;
    context_.haveAppData = false;
    InstallIntoSimulators(context_);
    EXPECT_FALSE(Exists(IniFile(0)));
    EXPECT_FALSE(Exists(AddonFile(0, L"exe.xml")));
}

// exe.xml that is a folder, not a file, is left alone.
TEST_F(RegistrationFolder, UnreadableExeXmlIsLeftAlone) {
    fs::create_directories(fs::path(AddonFile(0, L"exe.xml")));
    InstallIntoSimulators(context_);
    UninstallFromSimulators(context_);
    EXPECT_TRUE(fs::is_directory(fs::path(AddonFile(0, L"exe.xml"))));
    EXPECT_TRUE(fs::is_empty(fs::path(AddonFile(0, L"exe.xml"))));
}

// The x86-64 build's simulators: Microsoft Flight Simulator 2020 and 2024 from
// the Store (below the local application data) and from Steam (below the
// roaming one). Only exe.xml is touched; a simulator whose folder is missing
// is skipped; the FSX-era simulators are not this build's.
TEST_F(RegistrationFolder, MsfsStoreAndSteamSideBySide) {
    context_.simulators = kMsfsSimulators;
    const std::string exe = "C:\\Program Files (x86)\\Aviaro\\x64\\Aviaro.exe";
    context_.executablePath = std::wstring(exe.begin(), exe.end());
    // What install makes of a missing exe.xml, as those simulators read it.
    const std::string created =
        "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n"
        "<SimBase.Document Type=\"Launch\" version=\"1,0\">\r\n"
        "\t<Descr>Launch</Descr>\r\n"
        "\t<Filename>exe.xml</Filename>\r\n"
        "\t<Disabled>False</Disabled>\r\n"
        "\t<Launch.ManualLoad>False</Launch.ManualLoad>\r\n"
        "\r\n"
        "\t\t<Launch.Addon>\r\n"
        "\t\t\t<Name>Orlend Panel(s) Plugin for FSX</Name>\r\n"
        "\t\t\t<Disabled>False</Disabled>\r\n"
        "\t\t\t<Path>" + exe + "</Path>\r\n"
        "\t\t\t<CommandLine>-run</CommandLine>\r\n"
        "\t\t</Launch.Addon>\r\n"
        "\r\n"
        "</SimBase.Document>\r\n";
    const std::string createdUninstalled =
        created.substr(0, created.find("\t\t<Launch.Addon>")) + "\r\n</SimBase.Document>\r\n";
    // Another add-on's entry, LF line ends, as a tool of that add-on wrote it.
    const std::string other =
        "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\n"
        "<SimBase.Document Type=\"SimConnect\" version=\"1,0\">\n"
        "  <Descr>Auto launch external applications on MSFS start</Descr>\n"
        "  <Launch.Addon>\n"
        "    <Name>Traffic</Name>\n"
        "    <Path>D:\\Traffic\\traffic.exe</Path>\n"
        "  </Launch.Addon>\n"
        "</SimBase.Document>\n";
    const std::string otherInstalled =
        other.substr(0, other.rfind("</SimBase.Document>")) +
        "\t\t<Launch.Addon>\n"
        "\t\t\t<Name>Orlend Panel(s) Plugin for FSX</Name>\n"
        "\t\t\t<Disabled>False</Disabled>\n"
        "\t\t\t<Path>" + exe + "</Path>\n"
        "\t\t\t<CommandLine>-run</CommandLine>\n"
        "\t\t</Launch.Addon>\n"
        "</SimBase.Document>\n";
    // This executable's entry, disabled by the pilot, its path in other case.
    std::string upper = exe;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string own =
        "<SimBase.Document Type=\"Launch\" version=\"1,0\">\r\n"
        "<Launch.Addon><Name>Mine</Name><Disabled>True</Disabled>"
        "<Path>" + upper + "</Path></Launch.Addon>\r\n"
        "</SimBase.Document>\r\n";
    std::string ownEnabled = own;
    ownEnabled.replace(ownEnabled.find("True"), 4, "False");
    const std::string ownUninstalled =
        "<SimBase.Document Type=\"Launch\" version=\"1,0\">\r\n</SimBase.Document>\r\n";

    struct Case {
        const char* what;
        int simulator;       // in the table
        const char* folder;  // the simulator's folder, relative
        bool present;        // the folder exists
        std::string before;  // exe.xml; "<missing>" for none
        std::string installed;
        std::string uninstalled;
    };
    const Case cases[] = {
        {"2020 Store: another add-on's exe.xml", 0,
         "LocalAppData/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache", true, other,
         otherInstalled, other},
        {"2020 Steam: no exe.xml yet", 1, "AppData/Microsoft Flight Simulator", true, "<missing>",
         created, createdUninstalled},
        {"2024 Store: package folder without LocalCache is not installed", 2,
         "LocalAppData/Packages/Microsoft.Limitless_8wekyb3d8bbwe/LocalCache", false, "<missing>",
         "<missing>", "<missing>"},
        {"2024 Steam: own entry disabled, path in other case", 3,
         "AppData/Microsoft Flight Simulator 2024", true, own, ownEnabled, ownUninstalled},
    };
    fs::create_directories(fs::path(Path(L"LocalAppData/Packages/Microsoft.Limitless_8wekyb3d8bbwe")));
    fs::create_directories(fs::path(Path(L"AppData/Microsoft/FSX")));
    fs::create_directories(fs::path(Path(L"Documents/Flight Simulator X Files")));
    // "a/b" as the platform writes it, below the test's folder.
    auto folderOf = [&](const Case& c) {
        std::wstring folder(c.folder, c.folder + std::strlen(c.folder));
        std::replace(folder.begin(), folder.end(), L'/', av::platform::kPathSeparator);
        return Path(folder);
    };
    auto exeXml = [&](const Case& c) { return av::platform::JoinPath(folderOf(c), L"exe.xml"); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(folderOf(c), AddonFolder(c.simulator));
        if (c.present) fs::create_directories(fs::path(AddonFolder(c.simulator)));
        if (c.before != "<missing>") Put(exeXml(c), c.before);
    }

    for (int round = 0; round < 2; ++round) {
        InstallIntoSimulators(context_);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (round == 0 ? ", install" : ", second install"));
            EXPECT_EQ(c.installed, Get(exeXml(c)));
        }
    }
    const std::string tree =
        "AppData\n"
        "AppData/Microsoft\n"
        "AppData/Microsoft Flight Simulator\n"
        "AppData/Microsoft Flight Simulator 2024\n"
        "AppData/Microsoft Flight Simulator 2024/exe.xml\n"
        "AppData/Microsoft Flight Simulator/exe.xml\n"
        "AppData/Microsoft/FSX\n"
        "Documents\n"
        "Documents/Flight Simulator X Files\n"
        "LocalAppData\n"
        "LocalAppData/Packages\n"
        "LocalAppData/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe\n"
        "LocalAppData/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache\n"
        "LocalAppData/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache/exe.xml\n"
        "LocalAppData/Packages/Microsoft.Limitless_8wekyb3d8bbwe\n";
    EXPECT_EQ(tree, SortedTree());

    UninstallFromSimulators(context_);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ", uninstall");
        EXPECT_EQ(c.uninstalled, Get(exeXml(c)));
    }
    EXPECT_EQ(tree, SortedTree());

    // Without the local application data only the Steam editions are served.
    Put(exeXml(cases[0]), other);
    context_.haveLocalAppData = false;
    InstallIntoSimulators(context_);
    EXPECT_EQ(other, Get(exeXml(cases[0])));
}

// exe.xml files in the layouts people and programs write, each run through
// install (twice) and uninstall and checked byte for byte: exe_xml/NAME.xml is
// the file found, NAME.installed.xml the file after install, and
// NAME.uninstalled.xml the file after a later uninstall. Install adds or
// re-enables the entry and removes the retired programs'; every other byte
// stays, so the uninstalled file differs from the first one only by those.
TEST_F(RegistrationFolder, ExeXmlCorpus) {
    struct Case {
        const char* name;
        const char* what;
    };
    const Case cases[] = {
        {"tabs-crlf", "as the simulators write it"},
        {"spaces-lf-no-final-newline", "LF line ends kept, no line end added at the end"},
        {"broken-lines", "blocks broken over lines in any way keep every element"},
        {"commented-out", "commented-out blocks stay comments and are no entries"},
        {"own-disabled-lower-case", "only the Disabled value of the entry changes"},
        {"attributes-no-disabled", "a Disabled line is added before the entry's path"},
        {"library-one-line", "a file written on one line gets the entry on lines of its own"},
        {"root-on-one-line", "the root element on one line below the declaration"},
        {"retired-programs", "the retired programs' entries go, look-alikes stay"},
        {"empty", "an empty file gets the text of a new one"},
        {"bom-comments-cdata", "byte order mark, comments, CDATA, text after the root"},
        {"windows-1252-bytes", "bytes above 0x7F in other add-ons' entries"},
        {"no-root", "a declaration and a comment only: the root goes after them"},
        {"cut-short", "a root never closed is left alone"},
        {"utf16", "16-bit text is left alone"},
        {"malformed-tag-name", "a tag name run into \"=\" is not understood: left alone"},
        {"slash-in-tag", "a \"/\" that does not end the tag is not understood: left alone"},
        {"lower-case-element", "<launch.addon> is not an entry, as for the simulators"},
    };
    const std::wstring corpus =
        av::platform::JoinPath(av::platform::GetExecutableFolder(), L"exe_xml");
    auto file = [&](const std::string& name) {
        return Get(av::platform::JoinPath(corpus, std::wstring(name.begin(), name.end())));
    };
    // Every file of the folder belongs to a case.
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(corpus))) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(3 * std::size(cases), files);

    context_.executablePath = L"C:\\Flight Tools\\Orlend\\Aviaro.exe";
    // Through each build's simulators: FSX, and the Store edition of the 2020
    // simulator below the local application data.
    for (const auto simulators : {std::span<const RegisteredSimulator>(kFsxSimulators),
                                  std::span<const RegisteredSimulator>(kMsfsSimulators)}) {
        context_.simulators = simulators;
        fs::create_directories(fs::path(AddonFolder(0)));
        const std::wstring exeXml = AddonFile(0, L"exe.xml");
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ": " + c.what + " (simulator set " +
                         (simulators.data() == kFsxSimulators ? "i686" : "x86-64") + ")");
            const std::string found = file(std::string(c.name) + ".xml");
            ASSERT_NE("<missing>", found);
            Put(exeXml, found);
            InstallIntoSimulators(context_);
            EXPECT_EQ(file(std::string(c.name) + ".installed.xml"), Get(exeXml));
            InstallIntoSimulators(context_);
            EXPECT_EQ(file(std::string(c.name) + ".installed.xml"), Get(exeXml));
            UninstallFromSimulators(context_);
            EXPECT_EQ(file(std::string(c.name) + ".uninstalled.xml"), Get(exeXml));
        }
    }
}

}  // namespace
