// The backlit annunciator panel: 24 lenses, each lit green, red or amber. The
// pilot programs per unit (by its USB serial number), in TallyProgramming.xml
// of the common documents folder, which warning each lens shows and in which
// colour; the panel works out from simulator data which warnings are active.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/sync.h"
#include "plugins/aviaro/panels/panel_class.h"

class CPanelClass_Backlit : public CPanelClass {
public:
    static constexpr std::uint16_t kProductId = 0x0A24;
    static constexpr std::uint32_t kRecordWords = 49;
    static constexpr std::uint32_t kLampReportLength = 7;
    static constexpr std::uint8_t kLampReportId = 0xB8;
    static constexpr int kLenses = 24;

    enum Colour : std::uint32_t { kNone = 0, kGreen = 1, kRed = 2, kAmber = 3 };

    struct LampRecord {
        std::wstring assignment;
        std::uint32_t colour = kNone;
        std::int32_t position = -1;  // lens 0-23; -1 not placed
    };
    // By assignment name, compared exactly; looked up by a literal without
    // making a string of it (the drawing runs on every data record).
    using LampTable = std::map<std::wstring, std::unique_ptr<LampRecord>, std::less<>>;

    // What lit while one report was drawn.
    struct DrawFlags {
        bool amberLit = false;
        bool redLit = false;
    };

    CPanelClass_Backlit();
    ~CPanelClass_Backlit() override;

    bool HasInputReports() override { return false; }
    void OnDeviceAttached(CHidPanelDevice* device) override;
    void OnDeviceDetached(CHidPanelDevice* device) override;
    void OnInputReport(CHidPanelDevice*, std::uint32_t, const std::uint8_t*,
                       const std::uint8_t*) override {}

    // Builds the unit's lamp report from its table and posts it, every time.
    // Under the panel's lock.
    void DrawLamps(CHidPanelDevice* device);

    // A table with every assignment, none placed.
    static LampTable NewLampTable();
    // Programs the table from the file for the serial number: the Lense
    // elements of every TallyProgramming whose Id equals serial exactly.
    // False when the file cannot be read (the table is then unchanged).
    static bool ReadProgramming(const std::wstring& file, const std::wstring& serial,
                                LampTable& table);
    // <common documents>\Plotwise Profiles\TallyProgramming.xml, or
    // \TallyProgramming.xml when that folder is unknown.
    static std::wstring ProgrammingPath();
    // Lights (on) or darkens the record's lens in the 7-byte report; a record
    // not placed on one of the 24 lenses is never drawn.
    static void SetLamp(const LampRecord& record, bool on, std::uint8_t* report,
                        DrawFlags& flags);
    // Reads the programming from this file instead of ProgrammingPath()
    // (tests). Main thread, before units are attached.
    //
    // While units are attached a watcher thread follows the file's folder: when
    // the file changes, each attached unit's programming is read again and
    // shown at once. A file that cannot be read keeps the programming.
    void UseProgrammingFile(const std::wstring& path) { programmingFile_ = path; }
    // An aircraft profile's programming: every attached unit is programmed
    // from it at once and shown, and the watcher follows it from then on. A
    // name without a folder is looked for beside the usual file; empty goes
    // back to the usual file. A file that cannot be read leaves every lens
    // unplaced, as a missing file does at attach, and is traced.
    void UseLampProgramming(const std::wstring& file) override;

    // The lamp report for a record of kRecordWords words.
    static void BuildReport(const std::uint32_t* record, const LampTable& table,
                            std::uint8_t* report);

protected:
    HRESULT DefineSimData() override;
    bool AdvancesGroupCounter() const override { return false; }
    void RefreshDevice(CHidPanelDevice* device) override {
        hasData_ = true;
        DrawLamps(device);
    }

private:
    struct Unit {
        std::wstring serial;
        LampTable table;
    };

    // The file without a profile's; the file in use (the profile's, if any).
    std::wstring UsualProgrammingFile() const;
    std::wstring ProgrammingFile() const;
    void StartWatcher();  // main thread
    void StopWatcher();   // main thread
    void WatchLoop(std::wstring file);
    // Reads the file again for every attached unit and shows the result.
    // False when the file could not be read: the programming is kept, or,
    // with keepOnFailure false, every unit's lenses are left unplaced.
    bool Reload(const std::wstring& file, bool keepOnFailure = true);

    std::uint32_t record_[kRecordWords] = {};  // guarded by mutex_
    bool hasData_ = false;                     // guarded by mutex_: a record has come
    // Each attached unit's serial number and programming; guarded by mutex_.
    std::map<CHidPanelDevice*, Unit> units_;
    std::wstring programmingFile_;  // main thread; empty: ProgrammingPath()
    std::wstring profileFile_;      // main thread; empty: programmingFile_

    // Set while the watcher writes the reports of a reload, with no lock held;
    // detach waits for it to clear before a unit leaves units_, so the
    // watcher never writes to a unit that is being closed. Guarded by mutex_.
    bool reloadSending_ = false;
    av::ConditionVariable reloadSent_;
    std::thread watcher_;  // main thread
    av::Mutex watchMutex_;  // a leaf
    av::ConditionVariable watchWake_;
    bool watchStop_ = false;   // guarded by watchMutex_
    bool watchReady_ = false;  // guarded by watchMutex_: the first watch was tried
    void* watch_ = nullptr;    // guarded by watchMutex_: the watcher's open watch
};
