#include "plugins/aviaro/panels/panel_backlit.h"

#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/folder_watch.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "platform/xml_dom.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"

namespace {

// Four groups; each stops at its own first failure.
constexpr PanelDatum kGroup1[] = {
    {"PITOT HEAT", "Bool", kDatumI32},
    {"STALL WARNING", "Bool", kDatumI32},
    {"CANOPY OPEN", "Percent Over 100", kDatumF32},
    {"BRAKE PARKING INDICATOR", "Bool", kDatumI32},
    {"LIGHT BEACON", "Bool", kDatumI32},
    {"LIGHT STROBE", "Bool", kDatumI32},
    {"LIGHT LANDING", "Bool", kDatumI32},
    {"GEAR TOTAL PCT EXTENDED", "Percent Over 100", kDatumF32},
    {"SUCTION PRESSURE", "inHg", kDatumF32},
};
constexpr PanelDatum kGroup2[] = {
    {"NUMBER OF ENGINES", "Number", kDatumI32},
    {"ENGINE TYPE", "Enum", kDatumI32},
    {"GENERAL ENG OIL PRESSURE:1", "Psi", kDatumF32},
    {"GENERAL ENG OIL PRESSURE:2", "Psi", kDatumF32},
    {"GENERAL ENG OIL PRESSURE:3", "Psi", kDatumF32},
    {"GENERAL ENG OIL PRESSURE:4", "Psi", kDatumF32},
    {"GENERAL ENG OIL TEMPERATURE:1", "Celsius", kDatumF32},
    {"GENERAL ENG OIL TEMPERATURE:2", "Celsius", kDatumF32},
    {"GENERAL ENG OIL TEMPERATURE:3", "Celsius", kDatumF32},
    {"GENERAL ENG OIL TEMPERATURE:4", "Celsius", kDatumF32},
    {"GENERAL ENG FUEL PRESSURE:1", "Psi", kDatumF32},
    {"GENERAL ENG FUEL PRESSURE:2", "Psi", kDatumF32},
    {"GENERAL ENG FUEL PRESSURE:3", "Psi", kDatumF32},
    {"GENERAL ENG FUEL PRESSURE:4", "Psi", kDatumF32},
    {"ENG ON FIRE:1", "Bool", kDatumI32},
    {"ENG ON FIRE:2", "Bool", kDatumI32},
    {"ENG ON FIRE:3", "Bool", kDatumI32},
    {"ENG ON FIRE:4", "Bool", kDatumI32},
    {"ROTOR RPM PCT", "Percent Over 100", kDatumF32},
};
constexpr PanelDatum kGroup3[] = {
    {"GPS DRIVES NAV1", "Bool", kDatumI32},
    {"NAV SOUND:1", "Bool", kDatumI32},
    {"NAV SOUND:2", "Bool", kDatumI32},
    {"COM TRANSMIT:1", "Bool", kDatumI32},
    {"COM TRANSMIT:2", "Bool", kDatumI32},
    {"COM RECIEVE ALL", "Bool", kDatumI32},
    {"DME SOUND", "Bool", kDatumI32},
    {"ADF SOUND:0", "Bool", kDatumI32},
    {"ADF SOUND:1", "Bool", kDatumI32},
    {"MARKER SOUND", "Bool", kDatumI32},
    {"AUTOPILOT MASTER", "Bool", kDatumI32},
    {"AUTOPILOT AVAILABLE", "Bool", kDatumI32},
};
constexpr PanelDatum kGroup4[] = {
    {"FUEL TANK CENTER CAPACITY", "Gallons", kDatumF32},
    {"FUEL TANK CENTER QUANTITY", "Gallons", kDatumF32},
    {"FUEL LEFT CAPACITY", "Gallons", kDatumF32},
    {"FUEL LEFT QUANTITY", "Gallons", kDatumF32},
    {"FUEL RIGHT CAPACITY", "Gallons", kDatumF32},
    {"FUEL RIGHT QUANTITY", "Gallons", kDatumF32},
    {"FUEL TOTAL CAPACITY", "Gallons", kDatumF32},
    {"FUEL TOTAL QUANTITY", "Gallons", kDatumF32},
    {"FUEL CROSS FEED", "Enum", kDatumI32},
};

// Record words.
enum : int {
    kPitotHeat = 0,
    kStallWarning = 1,
    kCanopyOpen = 2,
    kParkingBrake = 3,
    kBeacon = 4,
    kStrobe = 5,
    kLanding = 6,
    kGearExtended = 7,
    kSuction = 8,
    kEngineCount = 9,
    kEngineType = 10,
    kOilPressure1 = 11,
    kOilTemperature1 = 15,
    kFuelPressure1 = 19,
    kFire1 = 23,
    kRotorRpm = 27,
    kGpsDrivesNav1 = 28,
    kNavSound1 = 29,
    kNavSound2 = 30,
    kComTransmit1 = 31,
    kComTransmit2 = 32,
    kComReceiveAll = 33,
    kDmeSound = 34,
    kAdfSound0 = 35,
    kAdfSound1 = 36,
    kMarkerSound = 37,
    kApMaster = 38,
    kApAvailable = 39,
    kCentreCapacity = 40,  // then quantity; left, right and total likewise
    kCrossFeed = 48,
};

constexpr const wchar_t* kAssignments[] = {
    L"EngineFire",         L"Engine1Fire",        L"Engine2Fire",        L"Engine3Fire",
    L"Engine4Fire",        L"LeftEngineFire",     L"RightEngineFire",    L"LowPressure",
    L"OilPressure",        L"Engine1OilPressure", L"Engine2OilPressure", L"Engine3OilPressure",
    L"Engine4OilPressure", L"EngineOilTemp",      L"Engine1OilTemp",     L"Engine2OilTemp",
    L"Engine3OilTemp",     L"Engine4OilTemp",     L"RotorLowRpm",        L"NAV",
    L"NAV1",               L"NAV2",               L"COM1",               L"COM2",
    L"Both",               L"DME",                L"ADF",                L"MKR",
    L"AutoPilot",          L"APMaster",           L"GPS",                L"GearUp",
    L"GearDown",           L"Down",               L"Up",                 L"GearUnsafe",
    L"MasterCaution",      L"MasterWarning",      L"BeaconLight",        L"LandingLights",
    L"ParkingBrakes",      L"PitotHeat",          L"StallWarning",       L"DoorWarning",
    L"VacLow",             L"StrobeLight",        L"FuelLow",            L"LeftFuelLow",
    L"RightFuelLow",       L"CentreFuelLow",      L"FuelCrossFeed",
};
static_assert(sizeof(kAssignments) / sizeof(kAssignments[0]) == 51);

// A decimal integer as the C library reads one: leading white space and a
// sign, up to the first non-digit, 0 without digits. Values beyond any lens
// are held at a bound that is not one.
std::int32_t ReadDecimal(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > 0x7FFFFFFF) value = 0x7FFFFFFF;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

class Drawing {
public:
    Drawing(const std::uint32_t* record, const CPanelClass_Backlit::LampTable& table,
            std::uint8_t* report)
        : record_(record), table_(table), report_(report) {}

    void Lamp(const wchar_t* name, bool on) {
        const auto it = table_.find(name);
        if (it != table_.end() && it->second) {
            CPanelClass_Backlit::SetLamp(*it->second, on, report_, flags_);
        }
    }
    bool Set(int word) const { return record_[word] != 0; }
    float Float(int word) const { return std::bit_cast<float>(record_[word]); }
    std::int32_t Int(int word) const { return static_cast<std::int32_t>(record_[word]); }
    // Quantity over capacity below a tenth; a zero capacity never lights.
    bool Low(int capacityWord) const {
        const double quotient = static_cast<double>(Float(capacityWord + 1)) /
                                static_cast<double>(Float(capacityWord));
        return quotient < static_cast<double>(0.1f);
    }
    const CPanelClass_Backlit::DrawFlags& Flags() const { return flags_; }

private:
    const std::uint32_t* record_;
    const CPanelClass_Backlit::LampTable& table_;
    std::uint8_t* report_;
    CPanelClass_Backlit::DrawFlags flags_;
};

}  // namespace

CPanelClass_Backlit::CPanelClass_Backlit() : CPanelClass(kProductId, record_, kRecordWords) {}

CPanelClass_Backlit::~CPanelClass_Backlit() {
    // Here, while OnDeviceDetached can still reach this class.
    CloseAllDevices();
    StopWatcher();
}

HRESULT CPanelClass_Backlit::DefineSimData() {
    std::uint32_t datumId = 0;
    AddData(datumId, kGroup1);
    AddData(datumId, kGroup2);
    AddData(datumId, kGroup3);
    return AddData(datumId, kGroup4);
}

CPanelClass_Backlit::LampTable CPanelClass_Backlit::NewLampTable() {
    LampTable table;
    for (const wchar_t* name : kAssignments) {
        auto record = std::make_unique<LampRecord>();
        record->assignment = name;
        table.emplace(name, std::move(record));
    }
    return table;
}

std::wstring CPanelClass_Backlit::ProgrammingPath() {
    std::wstring folder;
    if (!av::platform::GetKnownFolder(av::platform::KnownFolder::CommonDocuments, folder)) {
        return std::wstring(1, av::platform::kPathSeparator) + L"TallyProgramming.xml";
    }
    return av::platform::JoinPath(av::platform::JoinPath(folder, L"Plotwise Profiles"),
                                  L"TallyProgramming.xml");
}

bool CPanelClass_Backlit::ReadProgramming(const std::wstring& file, const std::wstring& serial,
                                          LampTable& table) {
    const std::unique_ptr<av::platform::XmlDocument> document = av::platform::XmlDocument::Create();
    if (!document || !document->Load(file)) return false;
    // The serial number is compared here rather than written into the query:
    // whatever it holds (quotes, brackets) it matches only itself.
    std::vector<std::unique_ptr<av::platform::XmlNode>> units;
    if (!document->SelectNodes(L"//Tally/TallyProgramming", units)) return true;
    for (const auto& unit : units) {
        std::wstring id;
        if (!unit->GetAttribute(L"Id", id) || id != serial) continue;
        std::vector<std::unique_ptr<av::platform::XmlNode>> lenses;
        if (!unit->SelectNodes(L"Lense", lenses)) continue;
        for (const auto& lense : lenses) {
            // Each Lense stands alone: what it leaves out is none and not placed.
            std::wstring name;
            std::uint32_t colour = kNone;
            std::int32_t position = -1;
            std::vector<std::unique_ptr<av::platform::XmlNode>> children;
            if (!lense->SelectNodes(L"*", children)) continue;
            for (const auto& child : children) {
                const std::wstring tag = child->GetName();
                if (tag == L"Id") {
                    name = child->GetText();
                } else if (tag == L"Colour") {
                    const std::wstring text = child->GetText();
                    if (text == L"Red") colour = kRed;
                    else if (text == L"Amber") colour = kAmber;
                    else if (text == L"Green") colour = kGreen;
                } else if (tag == L"Assignment") {
                    position = ReadDecimal(child->GetText());
                }
            }
            const auto it = table.find(name);
            if (it == table.end() || !it->second) continue;
            it->second->colour = colour;
            it->second->position = position;
        }
    }
    return true;
}

void CPanelClass_Backlit::SetLamp(const LampRecord& record, bool on, std::uint8_t* report,
                                  DrawFlags& flags) {
    if (record.position < 0 || record.position >= kLenses) return;
    const int byte = record.position / 8;
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << (record.position % 8));
    std::uint8_t& green = report[1 + byte];
    std::uint8_t& red = report[4 + byte];
    if (!on) {
        green = static_cast<std::uint8_t>(green & ~bit);
        red = static_cast<std::uint8_t>(red & ~bit);
        return;
    }
    switch (record.colour) {
        case kGreen:
            green |= bit;
            red = static_cast<std::uint8_t>(red & ~bit);
            break;
        case kRed:
            green = static_cast<std::uint8_t>(green & ~bit);
            red |= bit;
            flags.redLit = true;
            break;
        case kAmber:
            green |= bit;
            red |= bit;
            flags.amberLit = true;
            break;
        default:
            break;
    }
}

void CPanelClass_Backlit::BuildReport(const std::uint32_t* record, const LampTable& table,
                                      std::uint8_t* report) {
    std::memset(report, 0, kLampReportLength);
    report[0] = kLampReportId;
    Drawing d(record, table, report);

    d.Lamp(L"GPS", d.Set(kGpsDrivesNav1));
    d.Lamp(L"NAV", !d.Set(kGpsDrivesNav1));
    d.Lamp(L"NAV1", d.Set(kNavSound1));
    d.Lamp(L"NAV2", d.Set(kNavSound2));
    d.Lamp(L"COM1", d.Set(kComTransmit1));
    d.Lamp(L"COM2", d.Set(kComTransmit2));
    d.Lamp(L"Both", d.Set(kComReceiveAll));
    d.Lamp(L"DME", d.Set(kDmeSound));
    d.Lamp(L"ADF", d.Set(kAdfSound0) || d.Set(kAdfSound1));
    d.Lamp(L"MKR", d.Set(kMarkerSound));
    d.Lamp(L"AutoPilot", d.Set(kApAvailable));
    d.Lamp(L"APMaster", d.Set(kApMaster));

    // Engine lenses only for the engine counts the panel knows.
    const std::int32_t engines = d.Int(kEngineCount);
    const bool counted = engines == 1 || engines == 2 || engines == 4;
    if (engines == 1) {
        d.Lamp(L"EngineFire", d.Set(kFire1));
    } else if (engines == 2) {
        d.Lamp(L"LeftEngineFire", d.Set(kFire1));
        d.Lamp(L"RightEngineFire", d.Set(kFire1 + 1));
    } else if (engines == 4) {
        static const wchar_t* const kFires[] = {L"Engine1Fire", L"Engine2Fire", L"Engine3Fire",
                                                L"Engine4Fire"};
        for (int n = 0; n < 4; ++n) d.Lamp(kFires[n], d.Set(kFire1 + n));
    }
    if (counted) {
        static const wchar_t* const kOilPressure[] = {L"Engine1OilPressure", L"Engine2OilPressure",
                                                      L"Engine3OilPressure", L"Engine4OilPressure"};
        static const wchar_t* const kOilTemp[] = {L"Engine1OilTemp", L"Engine2OilTemp",
                                                  L"Engine3OilTemp", L"Engine4OilTemp"};
        bool anyPressure = false, anyTemp = false, anyFuel = false;
        for (int n = 0; n < engines; ++n) {
            anyPressure = anyPressure || d.Float(kOilPressure1 + n) < 25.0f;
            anyTemp = anyTemp || d.Float(kOilTemperature1 + n) > 115.0f;
            anyFuel = anyFuel || d.Float(kFuelPressure1 + n) < 5.0f;
        }
        d.Lamp(L"OilPressure", anyPressure);
        for (int n = 0; n < engines; ++n) d.Lamp(kOilPressure[n], d.Float(kOilPressure1 + n) < 25.0f);
        d.Lamp(L"EngineOilTemp", anyTemp);
        for (int n = 0; n < engines; ++n) d.Lamp(kOilTemp[n], d.Float(kOilTemperature1 + n) > 115.0f);
        d.Lamp(L"LowPressure", anyFuel);
    }
    if (d.Int(kEngineType) == 3) d.Lamp(L"RotorLowRpm", d.Float(kRotorRpm) < 0.9f);

    d.Lamp(L"CentreFuelLow", d.Low(kCentreCapacity));
    d.Lamp(L"LeftFuelLow", d.Low(kCentreCapacity + 2));
    d.Lamp(L"RightFuelLow", d.Low(kCentreCapacity + 4));
    d.Lamp(L"FuelLow", d.Low(kCentreCapacity + 6));
    d.Lamp(L"FuelCrossFeed", d.Set(kCrossFeed));

    const float gear = d.Float(kGearExtended);
    const bool up = gear == 0.0f;
    const bool down = gear == 1.0f;
    d.Lamp(L"GearUp", up);
    d.Lamp(L"Up", up);
    d.Lamp(L"GearDown", down);
    d.Lamp(L"Down", down);
    d.Lamp(L"GearUnsafe", !up && !down);

    d.Lamp(L"BeaconLight", d.Set(kBeacon));
    d.Lamp(L"LandingLights", d.Set(kLanding));
    d.Lamp(L"StrobeLight", d.Set(kStrobe));
    d.Lamp(L"ParkingBrakes", d.Set(kParkingBrake));
    d.Lamp(L"PitotHeat", d.Set(kPitotHeat));
    d.Lamp(L"StallWarning", d.Set(kStallWarning));
    d.Lamp(L"DoorWarning", d.Float(kCanopyOpen) != 0.0f);
    d.Lamp(L"VacLow", d.Float(kSuction) < 1.4f);
    d.Lamp(L"MasterCaution", d.Flags().amberLit);
    d.Lamp(L"MasterWarning", d.Flags().redLit);
}

void CPanelClass_Backlit::DrawLamps(CHidPanelDevice* device) {
    const auto it = units_.find(device);
    static const LampTable kUnplaced;
    std::uint8_t report[kLampReportLength];
    BuildReport(record_, it != units_.end() ? it->second.table : kUnplaced, report);
    device->PostFeature(report, kLampReportLength);
}

std::wstring CPanelClass_Backlit::UsualProgrammingFile() const {
    return programmingFile_.empty() ? ProgrammingPath() : programmingFile_;
}

std::wstring CPanelClass_Backlit::ProgrammingFile() const {
    return profileFile_.empty() ? UsualProgrammingFile() : profileFile_;
}

void CPanelClass_Backlit::UseLampProgramming(const std::wstring& file) {
    std::wstring path;
    if (!file.empty()) {
        path = av::platform::LocalPath(file);
        const bool absolute = path[0] == L'\\' || path[0] == L'/' ||
                              (path.size() > 1 && path[1] == L':');
        if (!absolute) {
            path = av::platform::JoinPath(av::platform::RemoveFileSpec(UsualProgrammingFile()), path);
        }
    }
    if (path == profileFile_) return;
    profileFile_ = path;
    const std::wstring now = ProgrammingFile();
    CTraceLog::Instance().Trace(L"CPanelClass_Backlit::UseLampProgramming - " + now);
    // The watcher follows one file: it starts again on the new one.
    StopWatcher();
    bool attached;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        attached = !units_.empty();
    }
    if (!attached) return;
    // Read before the watcher starts: one reload at a time writes reports.
    if (!Reload(now, false)) {
        CTraceLog::Instance().Trace(L"CPanelClass_Backlit::UseLampProgramming - " + now +
                                    L" could not be read, no lens is programmed");
    }
    StartWatcher();
}

void CPanelClass_Backlit::OnDeviceAttached(CHidPanelDevice* device) {
    // Watched before it is read, so that no change in between is missed.
    StartWatcher();
    // Read before the lock: the file is the pilot's, not the panel's.
    Unit unit{device->GetSerialNumber(), NewLampTable()};
    ReadProgramming(ProgrammingFile(), unit.serial, unit.table);
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        units_[device] = std::move(unit);
    }
    const std::uint8_t wake[2] = {0xB2, 0x64};
    device->WriteFeature(wake, sizeof wake);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::uint8_t dark[kLampReportLength] = {kLampReportId};
    device->WriteFeature(dark, kLampReportLength);
}

void CPanelClass_Backlit::OnDeviceDetached(CHidPanelDevice* device) {
    {
        std::unique_lock<av::Mutex> lock(mutex_);
        reloadSent_.wait(lock, [this] { return !reloadSending_; });
        units_.erase(device);
    }
    std::uint8_t dark[kLampReportLength] = {kLampReportId};
    device->WriteFeature(dark, kLampReportLength);
}

void CPanelClass_Backlit::StartWatcher() {
    if (watcher_.joinable()) return;
    std::unique_lock<av::Mutex> lock(watchMutex_);
    watchStop_ = false;
    watchReady_ = false;
    watcher_ = std::thread(&CPanelClass_Backlit::WatchLoop, this, ProgrammingFile());
    // Until the folder is watched (or found missing).
    watchWake_.wait(lock, [this] { return watchReady_; });
}

void CPanelClass_Backlit::StopWatcher() {
    if (!watcher_.joinable()) return;
    {
        std::lock_guard<av::Mutex> lock(watchMutex_);
        watchStop_ = true;
        if (watch_ != nullptr) av::platform::FolderWatchStop(watch_);
    }
    watchWake_.notify_all();
    watcher_.join();
}

void CPanelClass_Backlit::WatchLoop(std::wstring file) {
    using av::platform::FolderWatchResult;
    av::platform::ComInitialize();  // the DOM needs COM on this thread
    const std::wstring folder = av::platform::RemoveFileSpec(file);
    for (;;) {
        av::Handle watch = av::platform::FolderWatchOpen(folder);
        {
            std::unique_lock<av::Mutex> lock(watchMutex_);
            if (!watchReady_) {
                watchReady_ = true;
                watchWake_.notify_all();
            }
            if (watchStop_) {
                av::platform::FolderWatchClose(watch);
                break;
            }
            if (watch == nullptr) {
                // No folder yet: look again now and then, off the main thread.
                watchWake_.wait_for(lock, std::chrono::seconds(2), [this] { return watchStop_; });
                continue;
            }
            watch_ = watch;
        }
        for (;;) {
            if (av::platform::FolderWatchWait(watch, 0xFFFFFFFFu) != FolderWatchResult::Changed) break;
            // An editor saves in several steps: wait until the folder is quiet.
            FolderWatchResult settled;
            do {
                settled = av::platform::FolderWatchWait(watch, 200);
            } while (settled == FolderWatchResult::Changed);
            if (settled == FolderWatchResult::Stopped) break;
            Reload(file);
        }
        {
            std::lock_guard<av::Mutex> lock(watchMutex_);
            watch_ = nullptr;
        }
        av::platform::FolderWatchClose(watch);
        std::lock_guard<av::Mutex> lock(watchMutex_);
        if (watchStop_) break;
    }
    av::platform::ComUninitialize();
}

bool CPanelClass_Backlit::Reload(const std::wstring& file, bool keepOnFailure) {
    struct Reading {
        CHidPanelDevice* device;
        std::wstring serial;
        LampTable table;
    };
    std::vector<Reading> read;
    bool readOk = true;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        for (const auto& [device, unit] : units_) read.push_back({device, unit.serial, {}});
    }
    for (Reading& r : read) {
        r.table = NewLampTable();
        if (ReadProgramming(file, r.serial, r.table)) continue;
        if (keepOnFailure) {
            // The file's own name: TallyProgramming.xml, or an aircraft's lamp file.
            const std::size_t slash = file.find_last_of(L"\\/");
            CTraceLog::Instance().Trace(L"CPanelClass_Backlit::Reload - " +
                                        (slash == std::wstring::npos ? file : file.substr(slash + 1)) +
                                        L" could not be read, the programming is kept");
            return false;
        }
        readOk = false;
    }
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        for (Reading& r : read) {
            // A unit detached while the file was read is left out.
            const auto it = units_.find(r.device);
            if (it == units_.end() || it->second.serial != r.serial) {
                r.device = nullptr;
                continue;
            }
            it->second.table = readOk ? std::move(r.table) : NewLampTable();
            // Before the first data the lenses stay dark, as on attach.
            if (hasData_) DrawLamps(r.device);
        }
        reloadSending_ = true;
    }
    for (const Reading& r : read) {
        if (r.device != nullptr) r.device->SendPostedFeatures();
    }
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        reloadSending_ = false;
    }
    reloadSent_.notify_all();
    return readOk;
}
