#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
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
        context_.haveAppData = true;
        context_.appData = Path(L"AppData");
        context_.haveDocuments = true;
        context_.documents = Path(L"Documents");
        context_.executablePath = L"C:\\Games\\Orlend\\Aviaro.exe";
        fs::create_directories(fs::path(context_.appData));
        fs::create_directories(fs::path(context_.documents));
    }
    void TearDown() override { fs::remove_all(fs::path(root_)); }

    std::wstring Path(const std::wstring& relative) const {
        return av::platform::JoinPath(root_, relative);
    }
    std::wstring AddonFolder(int simulator) const {
        return SimulatorAddonFolder(context_, kRegisteredSimulators[simulator]);
    }
    std::wstring AddonFile(int simulator, const wchar_t* name) const {
        return av::platform::JoinPath(AddonFolder(simulator), name);
    }
    std::wstring IniFolder(int simulator) const {
        return av::platform::JoinPath(context_.documents, kRegisteredSimulators[simulator].iniFolder);
    }
    std::wstring IniFile(int simulator) const {
        return SimulatorIniPath(context_, kRegisteredSimulators[simulator]);
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
    // Everything in the folder tree, relative, one entry per line.
    std::string Tree() const {
        std::string out;
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(root_))) {
            out += fs::relative(entry.path(), fs::path(root_)).generic_string() + "\n";
        }
        return out;
    }

    std::string NewExeXml() const {
        std::string bytes;
        EXPECT_TRUE(CLaunchModel::CreateNew(context_.executablePath).Write(bytes));
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
    const std::string installed =
        "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n"
        "<SimBase.Document Type=\"Launch\" version=\"1,0\">\r\n"
        "\r\n"
        "\t\t<Launch.Addon>\r\n"
        "\t\t<Name>Other</Name>\r\n"
        "\t\t<Path>C:\\Tools\\Other.exe</Path>\r\n"
        "\t\t<ManualLoad>True</ManualLoad>\r\n"
        "\t\t</Launch.Addon>\r\n"
        "\r\n"
        "\t\t<Launch.Addon>\r\n"
        "\t\t\t<Name>Orlend Panel(s) Plugin for FSX</Name>\r\n"
        "\t\t\t<Disabled>False</Disabled>\r\n"
        "\t\t\t<Path>C:\\Games\\Orlend\\Aviaro.exe</Path>\r\n"
        "\t\t\t<CommandLine>-run</CommandLine>\r\n"
        "\t\t</Launch.Addon>\r\n"
        "\r\n"
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
        "Documents/PrePar3D v3 Files/SimConnect.ini\n",
        [&] {
            // Directory order differs between systems: sort the lines.
            std::string tree = Tree();
            std::vector<std::string> lines;
            std::size_t start = 0;
            for (std::size_t end; (end = tree.find('\n', start)) != std::string::npos; start = end + 1) {
                lines.push_back(tree.substr(start, end - start + 1));
            }
            std::sort(lines.begin(), lines.end());
            std::string sorted;
            for (const auto& line : lines) sorted += line;
            return sorted;
        }());

    // A second install changes nothing.
    InstallIntoSimulators(context_);
    EXPECT_EQ(NewExeXml(), Get(AddonFile(0, L"exe.xml")));
    EXPECT_EQ(installed, Get(AddonFile(3, L"exe.xml")));

    // Uninstall takes the entry out and leaves the SimConnect files alone.
    UninstallFromSimulators(context_);
    const std::string uninstalled =
        installed.substr(0, installed.find("\t\t<Launch.Addon>\r\n\t\t\t<Name>Orlend")) +
        "</SimBase.Document>\r\n";
    EXPECT_EQ(uninstalled, Get(AddonFile(3, L"exe.xml")));
    EXPECT_EQ(NewExeXml().substr(0, NewExeXml().find("\t\t<Launch.Addon>")) +
                  "</SimBase.Document>\r\n",
              Get(AddonFile(0, L"exe.xml")));
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

// An exe.xml the line model cannot rewrite without losing the other add-ons
// (16-bit text, a file without line breaks) stays byte for byte as it was.
TEST_F(RegistrationFolder, ExeXmlNotWrittenLineByLineIsLeftAlone) {
    std::string utf16 = "\xFF\xFE";
    for (char c : kExistingExeXml) {
        utf16 += c;
        utf16 += '\0';
    }
    std::string oneLine;
    for (char c : kExistingExeXml) {
        if (c != '\r' && c != '\n') oneLine += c;
    }
    const std::string rootOnOneLine =
        "<?xml version=\"1.0\"?>\r\n"
        "<SimBase.Document Type=\"Launch\"><Launch.Addon><Path>C:\\o.exe</Path></Launch.Addon>"
        "</SimBase.Document>\r\n";
    const std::string files[] = {utf16, oneLine, rootOnOneLine};
    for (int i = 0; i < 3; ++i) {
        fs::create_directories(fs::path(AddonFolder(i)));
        Put(AddonFile(i, L"exe.xml"), files[i]);
    }
    InstallIntoSimulators(context_);
    UninstallFromSimulators(context_);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(files[i], Get(AddonFile(i, L"exe.xml"))) << i;
        EXPECT_EQ(kSimConnectXmlBytes, Get(AddonFile(i, L"SimConnect.xml"))) << i;
    }
    // A one-line add-on block is no reason to leave the file alone.
    EXPECT_TRUE(IsLineShapedLaunchText("<Launch.Addon><Path>x</Path></Launch.Addon>\r\n"));
}

// exe.xml that is a folder, not a file, is left alone.
TEST_F(RegistrationFolder, UnreadableExeXmlIsLeftAlone) {
    fs::create_directories(fs::path(AddonFile(0, L"exe.xml")));
    InstallIntoSimulators(context_);
    UninstallFromSimulators(context_);
    EXPECT_TRUE(fs::is_directory(fs::path(AddonFile(0, L"exe.xml"))));
    EXPECT_TRUE(fs::is_empty(fs::path(AddonFile(0, L"exe.xml"))));
}

}  // namespace
