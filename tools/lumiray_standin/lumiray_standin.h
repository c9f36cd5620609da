// The device-library stand-in: virtual Tarvex and Mira devices behind the
// library's entry points. It records every call with its arguments, keeps
// strings, images and LEDs per page and shows those of the active page, calls
// back on a thread of its own, and can write out what each device shows.
//
// Script (AVIARO_LUMIRAY_SCRIPT for the DLL form), one command a line, '#'
// starts a comment. Devices are numbered 1, 2, ... in the order they appear.
//
//   device tarvex|mira [serial]   present from the start (when the script is loaded)
//   strict                        from now on one library lock is held inside every
//                                 entry point and while calling back, as a real
//                                 library may do (a client that calls in while
//                                 holding a lock its callbacks need then hangs)
//   arrive tarvex|mira [serial]   plugged in later: device callback (added)
//   remove <n>                    unplugged: device callback (removed)
//   buttons <n> <bits>            the whole soft-button state, e.g. 0x20
//   press <n> <bits>              buttons <bits>, then buttons 0
//   page <n> <id>|next|prev       the user switches pages: (old, false), then (new, true)
//   wait <text>                   until a recorded line contains text (10 s at most)
//   sleep <ms>
//   dump                          writes the screens to the dump folder
//   quiet                         from now on (when the script is loaded)
//                                 Lumiray_SetImage checks its arguments but neither
//                                 keeps nor checksums the image (its record shows
//                                 crc=00000000): the load benchmark measures the
//                                 program, not the stand-in
//   frames                        from now on (when the script is loaded) every
//                                 image a Mira is sent that was not sent before is
//                                 written to the dump folder as frame-<crc>.png, the
//                                 crc its Lumiray_SetImage record line shows
//
// Everything but "device" runs on the stand-in's thread, which starts with
// Lumiray_Initialize and ends with Lumiray_Deinitialize.
//
// Record (in memory, and appended to AVIARO_LUMIRAY_RECORD for the DLL form),
// one line per call or delivery, for example
//   Lumiray_AddPage device=1 page=3 flags=1 -> 00000000
//   deliver page device=1 page=3 active=1
//
// Dump (AVIARO_LUMIRAY_DUMP names the folder; written by "dump" and at
// Lumiray_Deinitialize): tarvex-<n>.txt holds "page <id>" and the three lines;
// mira-<n>.png the image, mira-<n>.txt "page <id>" and "leds" with six values.
//
// With SetRecordTime (AVIARO_LUMIRAY_RECORD_TIME=1 for the DLL form) each line
// in the file starts with the wall-clock time in milliseconds since 1970 and a
// space, the clock every library of the process reads, so records of several
// stand-ins can be merged in order.
//
// Cost (AVIARO_LUMIRAY_COST names a file for the DLL form, written when the
// library is unloaded): per tenth of a second of the system clock and entry
// point a frame or a line uses (SetImage, SetString, SetLed), the calls made
// and the time spent inside them once the library lock was taken, e.g.
// "1700000000100 Lumiray_SetImage calls=2 ns=3456789" (the tenth's start in
// milliseconds since 1970).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/sync.h"
#include "plugins/lumiray/lumiray_types.h"

namespace standin {

enum class DeviceKind { Tarvex, Mira };

// What one device shows: the content of its active page.
struct Screen {
    DeviceKind kind = DeviceKind::Tarvex;
    lumiray::DWord page = 0;  // 0: no active page
    std::wstring lines[3];
    std::vector<std::uint8_t> image;  // 320 x 240 BGR bottom-up; empty when never set
    lumiray::DWord leds[6] = {};
};

class LumirayStandIn {
public:
    static LumirayStandIn& Instance();

    // Stops the thread and forgets devices, callbacks, records, script and files.
    void Reset();

    // A device present from the start; returns its number.
    int AddDevice(DeviceKind kind, const std::wstring& serial = std::wstring());
    // Run-time events, delivered in order on the stand-in's thread.
    void Arrive(DeviceKind kind, const std::wstring& serial = std::wstring());
    void Remove(int number);
    void SetButtons(int number, lumiray::DWord buttons);
    void ChangePage(int number, lumiray::DWord page);
    // One library lock held inside every entry point (but Initialize and
    // Deinitialize, which start and join the thread) and around every
    // callback. Reentrant, as a critical section is.
    void SetStrict(bool strict);
    std::unique_lock<std::recursive_mutex> LibraryLock();
    // Script text as described above; "device" and "strict" lines take effect at once.
    void LoadScript(const std::string& text);
    bool LoadScriptFile(const std::string& path);
    // True when everything queued so far has been delivered.
    bool WaitIdle(int milliseconds);

    void SetRecordFile(const std::string& path);
    void SetRecordTime(bool on);
    void SetDumpFolder(const std::wstring& folder);
    std::vector<std::string> Records() const;
    void Record(const std::string& line);

    lumiray::Device DeviceHandle(int number) const;  // 0 when unknown
    bool GetScreen(int number, Screen& screen) const;
    // Writes every present device's screen into folder; false on a write error.
    bool Dump(const std::wstring& folder) const;

    // The entry table for the in-process form, and the symbol lookup for
    // av::platform::RegisterInProcessModule.
    static lumiray::EntryTable Entries();
    static void* Lookup(const char* name);
    // The cost lines above; false when the file cannot be written.
    static bool WriteCosts(const std::string& path);

    // Behind the exported entry points.
    HRESULT Initialize(const wchar_t* name);
    HRESULT Deinitialize();
    HRESULT RegisterDeviceCallback(lumiray::DeviceCallback callback, void* context);
    HRESULT Enumerate(lumiray::EnumerateCallback callback, void* context);
    HRESULT RegisterPageCallback(lumiray::Device device, lumiray::PageCallback callback,
                                 void* context);
    HRESULT RegisterSoftButtonCallback(lumiray::Device device,
                                       lumiray::SoftButtonCallback callback, void* context);
    HRESULT GetDeviceGuid(lumiray::Device device, av::Guid* out, bool instance);
    HRESULT AddPage(lumiray::Device device, lumiray::DWord page, lumiray::DWord flags);
    HRESULT RemovePage(lumiray::Device device, lumiray::DWord page);
    HRESULT SetLed(lumiray::Device device, lumiray::DWord page, lumiray::DWord index,
                   lumiray::DWord value);
    HRESULT SetString(lumiray::Device device, lumiray::DWord page, lumiray::DWord index,
                      lumiray::DWord length, const wchar_t* text);
    HRESULT SetImage(lumiray::Device device, lumiray::DWord page, lumiray::DWord index,
                     lumiray::DWord size, const void* data);
    HRESULT GetSerialNumber(lumiray::Device device, wchar_t* buffer, lumiray::DWord size);

private:
    struct Page {
        std::wstring lines[3];
        std::vector<std::uint8_t> image;
        lumiray::DWord leds[6] = {};
    };
    struct VirtualDevice {
        int number = 0;
        DeviceKind kind = DeviceKind::Tarvex;
        std::wstring serial;
        bool present = false;
        std::map<lumiray::DWord, Page> pages;
        std::vector<lumiray::DWord> order;  // page ids in the order they were added
        lumiray::DWord active = 0;
        lumiray::PageCallback pageCallback = nullptr;
        void* pageContext = nullptr;
        lumiray::SoftButtonCallback buttonCallback = nullptr;
        void* buttonContext = nullptr;
    };
    struct Command {
        std::vector<std::string> words;
    };

    LumirayStandIn() = default;
    ~LumirayStandIn();
    void StopThread();
    void Run();
    void Execute(const Command& command);
    void Enqueue(Command command);
    int NewDevice(DeviceKind kind, const std::wstring& serial, bool present);  // mutex held
    VirtualDevice* Find(lumiray::Device device);                               // mutex held
    const VirtualDevice* FindNumber(int number) const;                         // mutex held
    void DeliverButtons(int number, lumiray::DWord buttons);
    void DeliverPage(int number, const std::string& target);
    void DeliverDevice(int number, bool added);
    std::string Describe(lumiray::Device device);  // "device=3"; mutex held
    // Stores a per-device callback and its context in the given fields.
    template <typename Callback>
    HRESULT RegisterPerDevice(const char* entry, lumiray::Device device, Callback callback,
                              void* context, Callback VirtualDevice::*callbackField,
                              void* VirtualDevice::*contextField);

    // Lock order: libraryLock_ (strict mode only), then mutex_. mutex_ is
    // never held while a callback runs; libraryLock_ is, in strict mode.
    std::recursive_mutex libraryLock_;
    std::atomic<bool> strict_{false};
    mutable av::Mutex mutex_;
    av::ConditionVariable changed_;  // queue, records, stop
    std::vector<std::string> records_;
    std::string recordFile_;
    bool recordTime_ = false;
    std::wstring dumpFolder_;
    bool frames_ = false;
    bool quiet_ = false;
    int recordWaiters_ = 0;  // "wait" commands waiting for a record line
    std::set<std::uint32_t> framesWritten_;  // crcs of the frames written
    std::vector<VirtualDevice> devices_;  // index number-1
    lumiray::DeviceCallback deviceCallback_ = nullptr;
    void* deviceContext_ = nullptr;
    std::deque<Command> queue_;
    bool busy_ = false;
    bool stop_ = false;
    bool initialized_ = false;
    std::thread thread_;
};

}  // namespace standin
