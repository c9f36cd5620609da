// The backlit annunciator panel: how TallyProgramming.xml programs each unit
// by its serial number, which lenses light for simulator states, and the
// reports its units get.
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "platform/process.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/panels/panel_backlit.h"
#include "tests/panels/panel_fixture.h"

namespace {

using Backlit = Words<49>;
using Table = CPanelClass_Backlit::LampTable;

struct Lit {
    int lens;
    char colour;  // 'G', 'R' or 'A'
};

Report Lamps(std::vector<Lit> lit) {
    Report r(7, 0);
    r[0] = 0xB8;
    for (const Lit& l : lit) {
        const auto bit = static_cast<std::uint8_t>(1 << (l.lens % 8));
        if (l.colour != 'R') r[static_cast<std::size_t>(1 + l.lens / 8)] |= bit;
        if (l.colour != 'G') r[static_cast<std::size_t>(4 + l.lens / 8)] |= bit;
    }
    return r;
}

std::string Lense(const std::string& id, const std::string& colour, const std::string& lens) {
    return "<Lense><Id>" + id + "</Id><Colour>" + colour + "</Colour><Assignment>" + lens + "</Assignment></Lense>";
}
std::string Unit(const std::string& serial, const std::string& lenses) {
    return "<TallyProgramming Id=\"" + serial + "\">" + lenses + "</TallyProgramming>";
}

// A quiet aircraft: single engine, gear down, full tanks, good suction, the
// engine within limits.
Backlit Quiet() {
    Backlit b;
    b.Float(7, 1.0f).Float(8, 5.0f).Word(9, 1);
    for (int n = 0; n < 4; ++n) b.Float(11 + n, 60.0f).Float(15 + n, 90.0f).Float(19 + n, 20.0f);
    for (int w = 40; w < 48; w += 2) b.Float(w, 100.0f).Float(w + 1, 80.0f);
    return b.Word(28, 1);
}

class BacklitPanelTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        av::platform::ComInitialize();
        folder_ = std::filesystem::temp_directory_path() / ("tally_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(folder_);
        file_ = (folder_ / "TallyProgramming.xml").wstring();
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        av::platform::ComUninitialize();
        PanelTest::TearDown();
    }
    void WriteFile(const std::string& text) {
        std::ofstream(std::filesystem::path(file_), std::ios::binary | std::ios::trunc) << text;
    }
    // The programming of one unit, as the panel reads it.
    Table Program(const std::string& xml, const std::wstring& serial = L"TL-0001") {
        WriteFile(xml);
        Table table = CPanelClass_Backlit::NewLampTable();
        EXPECT_TRUE(CPanelClass_Backlit::ReadProgramming(file_, serial, table));
        return table;
    }
    // A panel reading the file, with units of the serial numbers given.
    void Open(CPanelClass_Backlit& panel, const std::vector<std::pair<std::wstring, std::wstring>>& units) {
        panel.UseProgrammingFile(file_);
        Initialize(panel, 7, 0);
        for (const auto& [path, serial] : units) {
            Attach(path, CPanelClass_Backlit::kProductId, Report(), 0, serial);
            panel.OpenDevice(path.c_str());
        }
        ASSERT_EQ(panel.DeviceCount(), units.size());
    }

    std::filesystem::path folder_;
    std::wstring file_;
};

std::pair<std::uint32_t, std::int32_t> Of(const Table& t, const wchar_t* name) {
    return {t.at(name)->colour, t.at(name)->position};
}

const std::wstring kA = L"\\\\?\\hid#vid_2b71&pid_0a24#7&aa&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const std::wstring kB = L"\\\\?\\hid#vid_2b71&pid_0a24#7&bb&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

}  // namespace

TEST_F(BacklitPanelTest, ProgrammingIsReadPerSerialNumber) {
    const std::string file = "<?xml version=\"1.0\"?><Profiles><Tally>" +
        Unit("TL-0001", Lense("StallWarning", "Red", "4") + Lense("GearUnsafe", "Amber", " +7x") +
                            // Missing pieces are not taken from the Lense before.
                            "<Lense><Id>PitotHeat</Id><Assignment>9</Assignment></Lense>"
                            "<Lense><Colour>Green</Colour><Id>VacLow</Id></Lense>" +
                            Lense("DME", "red", "11") + Lense("NoSuchLamp", "Green", "12") + Lense("ADF", "Green", "") +
                            Lense("StallWarning", "Amber", "5") + "<Note>kept out</Note>") +
        Unit("tl-0001", Lense("StallWarning", "Green", "20")) +
        Unit("O'Neil &quot;7&quot;", Lense("MasterCaution", "Amber", "23")) + Unit("", Lense("MKR", "Green", "1")) +
        "</Tally></Profiles>";
    using P = std::pair<std::uint32_t, std::int32_t>;
    const Table first = Program(file);
    EXPECT_EQ(Of(first, L"StallWarning"), P(3, 5));  // the later Lense wins
    EXPECT_EQ(Of(first, L"GearUnsafe"), P(3, 7));
    EXPECT_EQ(Of(first, L"PitotHeat"), P(0, 9));
    EXPECT_EQ(Of(first, L"VacLow"), P(1, -1));
    EXPECT_EQ(Of(first, L"DME"), P(0, 11));
    EXPECT_EQ(Of(first, L"ADF"), P(1, 0));
    EXPECT_EQ(Of(first, L"MKR"), P(0, -1));
    EXPECT_EQ(first.size(), 51u);
    EXPECT_EQ(Of(Program(file, L"tl-0001"), L"StallWarning"), P(1, 20));
    // Quotes and an apostrophe match only themselves.
    const Table quoted = Program(file, L"O'Neil \"7\"");
    EXPECT_EQ(Of(quoted, L"MasterCaution"), P(3, 23));
    EXPECT_EQ(Of(quoted, L"StallWarning"), P(0, -1));
    EXPECT_EQ(Of(Program(file, L"' or '1'='1"), L"MasterCaution"), P(0, -1));
    EXPECT_EQ(Of(Program(file, L""), L"MKR"), P(1, 1));  // no serial number: the empty Id

    // A file cut short, or none, leaves the table as it was.
    Table kept = Program(file);
    EXPECT_FALSE(CPanelClass_Backlit::ReadProgramming(file_ + L"_", L"TL-0001", kept));
    WriteFile(file.substr(0, file.size() / 2));
    EXPECT_FALSE(CPanelClass_Backlit::ReadProgramming(file_, L"TL-0001", kept));
    EXPECT_EQ(Of(kept, L"StallWarning"), P(3, 5));
}

// Each row: the programming of the unit, the simulator state, the lenses lit.
TEST_F(BacklitPanelTest, LensesLightForTheirWarnings) {
    struct Row {
        const char* what;
        std::string lenses;
        Backlit sim;
        std::vector<Lit> lit;
    };
    const std::string fire = Lense("EngineFire", "Red", "0") + Lense("LeftEngineFire", "Red", "1") +
                             Lense("RightEngineFire", "Amber", "2") +
                             Lense("MasterWarning", "Red", "3") + Lense("MasterCaution", "Amber", "4");
    const std::string engines = Lense("Engine3Fire", "Red", "5") + Lense("OilPressure", "Amber", "6") +
                                Lense("Engine2OilPressure", "Green", "7") +
                                Lense("EngineOilTemp", "Amber", "8") + Lense("LowPressure", "Red", "9");
    Backlit four = Quiet().Word(9, 4).Word(25, 1).Float(12, 20.0f).Float(18, 116.0f);
    const std::string gear = Lense("GearUp", "Green", "13") + Lense("Up", "Green", "14") +
                             Lense("GearDown", "Green", "15") + Lense("Down", "Green", "16") +
                             Lense("GearUnsafe", "Red", "17");
    const std::string sharing = Lense("GearUp", "Red", "18") + Lense("GearDown", "Green", "18");
    const Row rows[] = {
        {"twin engine fire", fire, Quiet().Word(9, 2).Word(23, 1), {{1, 'R'}, {3, 'R'}}},
        {"twin, right engine", fire, Quiet().Word(9, 2).Word(24, 1), {{2, 'A'}, {4, 'A'}}},
        {"single engine fire", fire, Quiet().Word(23, 1).Word(24, 1), {{0, 'R'}, {3, 'R'}}},
        {"four engines", engines, four, {{5, 'R'}, {6, 'A'}, {7, 'G'}, {8, 'A'}}},
        {"four engines, fuel pressure low on the fourth", engines, Quiet().Word(9, 4).Float(22, 4.9f),
         {{9, 'R'}}},
        {"three engines draw no engine lens", engines, four.Word(9, 3).Float(19, 0.0f), {}},
        {"stall, red", Lense("StallWarning", "Red", "10") + Lense("MasterWarning", "Red", "11") +
                           Lense("MasterCaution", "Amber", "12"),
         Quiet().Word(1, 1), {{10, 'R'}, {11, 'R'}}},
        {"stall, amber", Lense("StallWarning", "Amber", "10") + Lense("MasterWarning", "Red", "11") +
                             Lense("MasterCaution", "Amber", "12"),
         Quiet().Word(1, 1), {{10, 'A'}, {12, 'A'}}},
        {"a red master caution lights the master warning",
         Lense("StallWarning", "Amber", "10") + Lense("MasterWarning", "Green", "11") +
             Lense("MasterCaution", "Red", "12"),
         Quiet().Word(1, 1), {{10, 'A'}, {11, 'G'}, {12, 'R'}}},
        {"gear half out", gear, Quiet().Float(7, 0.5f), {{17, 'R'}}},
        {"gear down", gear, Quiet(), {{15, 'G'}, {16, 'G'}}},
        {"gear up", gear, Quiet().Float(7, 0.0f), {{13, 'G'}, {14, 'G'}}},
        {"one lens for up and down, gear up", sharing, Quiet().Float(7, 0.0f), {}},
        {"one lens for up and down, gear down", sharing, Quiet(), {{18, 'G'}}},
        {"fuel: no centre tank, left at 5 %, total at 10 % (under the single-precision tenth)",
         Lense("CentreFuelLow", "Amber", "19") + Lense("LeftFuelLow", "Amber", "20") +
             Lense("RightFuelLow", "Amber", "22") + Lense("FuelLow", "Red", "21"),
         Quiet().Float(40, 0.0f).Float(41, 0.0f).Float(43, 5.0f).Float(45, 10.5f).Float(47, 10.0f),
         {{20, 'A'}, {21, 'R'}}},
        {"GPS drives NAV1", Lense("GPS", "Green", "22") + Lense("NAV", "Green", "23"), Quiet(), {{22, 'G'}}},
        {"NAV", Lense("GPS", "Green", "22") + Lense("NAV", "Green", "23"), Quiet().Word(28, 0), {{23, 'G'}}},
        {"helicopter rotor low, and vacuum low",
         Lense("RotorLowRpm", "Amber", "0") + Lense("VacLow", "Green", "8"),
         Quiet().Word(10, 3).Float(27, 0.85f).Float(8, 1.3f), {{0, 'A'}, {8, 'G'}}},
        {"rotor low on an aeroplane", Lense("RotorLowRpm", "Amber", "0"),
         Quiet().Word(10, 1).Float(27, 0.85f), {}},
        {"radios and lights", Lense("NAV1", "Green", "1") + Lense("ADF", "Green", "2") +
                                  Lense("Both", "Green", "3") + Lense("APMaster", "Green", "4") +
                                  Lense("AutoPilot", "Amber", "5") + Lense("StrobeLight", "Green", "6") +
                                  Lense("DoorWarning", "Red", "7") + Lense("FuelCrossFeed", "Amber", "16"),
         Quiet().Word(29, 1).Word(36, 1).Word(39, 1).Word(5, 1).Word(48, 2).Float(2, 0.01f),
         {{1, 'G'}, {2, 'G'}, {5, 'A'}, {6, 'G'}, {7, 'R'}, {16, 'A'}}},
        {"lenses off the panel are never drawn",
         Lense("DME", "Red", "24") + Lense("MKR", "Red", "-1") + Lense("COM1", "Amber", "99999999999") +
             Lense("COM2", "Green", "-2147483649") + Lense("PitotHeat", "Green", "23"),
         Quiet().Word(34, 1).Word(37, 1).Word(31, 1).Word(32, 1).Word(0, 1), {{23, 'G'}}},
    };
    for (const Row& row : rows) {
        std::uint8_t report[7];
        CPanelClass_Backlit::BuildReport(row.sim.words.data(), Program("<Tally>" + Unit("TL-0001", row.lenses) + "</Tally>"), report);
        EXPECT_EQ(Report(report, report + 7), Lamps(row.lit)) << row.what;
    }
}

TEST_F(BacklitPanelTest, UnitsShowTheirOwnProgramming) {
    WriteFile("<Tally>" + Unit("TL-0001", Lense("ParkingBrakes", "Red", "0") + Lense("BeaconLight", "Green", "9")) +
              Unit("TL'0002", Lense("ParkingBrakes", "Amber", "17")) + "</Tally>");
    CPanelClass_Backlit panel;
    Open(panel, {{kA, L"TL-0001"}, {kB, L"TL'0002"}});
    EXPECT_EQ(av::platform::VirtualHidOpenHandles(kA), 1);  // no reader
    const std::vector<Report> attach = {{0xB2, 0x64}, Lamps({})};
    EXPECT_EQ(Written(kA), attach);
    EXPECT_EQ(Written(kB), attach);
    Data(panel, Quiet().Word(3, 1).Word(4, 1));
    EXPECT_EQ(Written(kA), std::vector<Report>{Lamps({{0, 'R'}, {9, 'G'}})});
    EXPECT_EQ(Written(kB), std::vector<Report>{Lamps({{17, 'A'}})});
    // The same data again writes nothing; a change the lenses do not show
    // writes the same report again.
    Data(panel, Quiet().Word(3, 1).Word(4, 1));
    EXPECT_TRUE(Written(kA).empty());
    Data(panel, Quiet().Word(3, 1).Word(4, 1).Float(41, 70.0f));
    EXPECT_EQ(Written(kB), std::vector<Report>{Lamps({{17, 'A'}})});
    panel.CloseDevice(kB.c_str());
    EXPECT_EQ(Written(kB), std::vector<Report>{Lamps({})});
    panel.CloseAllDevices();
}

// The pilot edits the file while the unit is attached: the new programming
// shows without replugging; a half-written file keeps the last good one.
TEST_F(BacklitPanelTest, AnEditedFileShowsAtOnce) {
    const std::string first = "<Tally>" + Unit("TL-0001", Lense("ParkingBrakes", "Red", "0")) + "</Tally>";
    const std::string second = "<Tally>" + Unit("TL-0001", Lense("ParkingBrakes", "Green", "12") +
                                                               Lense("BeaconLight", "Amber", "22")) + "</Tally>";
    WriteFile(first);
    // The panel ends, and with it the file watcher, before the trace is read.
    CTraceLog::Instance().Open((folder_ / "trace.log").wstring());
    {
        CPanelClass_Backlit panel;
        Open(panel, {{kA, L"TL-0001"}});
        Data(panel, Quiet().Word(3, 1).Word(4, 1));
        Written(kA);
        const auto lastShown = [&](const Report& want) {
            Report last;
            for (int i = 0; i < 500 && last != want; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                for (Report& r : Written(kA)) last = std::move(r);
            }
            return last;
        };
        // Saved the way editors do: beside the file, then renamed over it.
        std::ofstream(folder_ / "TallyProgramming.tmp", std::ios::binary) << second;
        std::filesystem::rename(folder_ / "TallyProgramming.tmp", std::filesystem::path(file_));
        EXPECT_EQ(lastShown(Lamps({{12, 'G'}, {22, 'A'}})), Lamps({{12, 'G'}, {22, 'A'}}));
        // Half a file: nothing is written, and the last good programming stays.
        WriteFile(first.substr(0, first.size() / 2));
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        EXPECT_TRUE(Written(kA).empty());
        Data(panel, Quiet().Word(3, 1));
        EXPECT_EQ(Written(kA), std::vector<Report>{Lamps({{12, 'G'}})});
        WriteFile(first);  // finished: shown again
        EXPECT_EQ(lastShown(Lamps({{0, 'R'}})), Lamps({{0, 'R'}}));
        // An aircraft's own lamp file is followed the same way, and a half-saved
        // one is named in the trace by its own name.
        const std::filesystem::path aircraft = folder_ / "Skyhawk lamps.xml";
        std::ofstream(aircraft, std::ios::binary) << second;
        panel.UseLampProgramming(L"Skyhawk lamps.xml");  // beside TallyProgramming.xml
        EXPECT_EQ(lastShown(Lamps({{12, 'G'}})), Lamps({{12, 'G'}}));
        std::ofstream(aircraft, std::ios::binary | std::ios::trunc) << second.substr(0, second.size() / 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        EXPECT_TRUE(Written(kA).empty());
        panel.CloseAllDevices();
    }
    CTraceLog::Instance().Close();
    std::ifstream in(folder_ / "trace.log", std::ios::binary);
    const std::string trace((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(trace.find("CPanelClass_Backlit::Reload - Skyhawk lamps.xml could not be read, the programming is kept"),
              std::string::npos)
        << trace;
}
