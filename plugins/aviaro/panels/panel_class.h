// What the four USB HID panels share: the panel class with its open units
// (one CHidPanelDevice each, keyed by device path without regard to letter
// case), its SimConnect data definition, request and client events, and the
// registry switch that stops every event; and the open unit with its reader
// thread, feature reports and per-unit values.
//
// Threads: the dispatch (main) thread calls everything the manager calls;
// each open unit's reader thread delivers its input reports. A panel's lock
// is held for the whole of one input report and the whole of one refresh, so
// the panel logic (the On... hooks and ShowValues of a derived panel) runs
// under it and needs no lock of its own. Under that lock the logic never
// writes a report or calls SimConnect: a display report is posted to the unit
// (PostFeature) and written once the lock is released, and a client event is
// queued (CClientEventQueue) and sent by the dispatch thread.
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "platform/sync.h"
#include "platform/types.h"
#include "plugins/aviaro/devices/panel.h"
#include "plugins/aviaro/host/simconnect_types.h"

class CPanelClass;

// Device paths compare with A-Z folded to a-z; other units by value.
struct PanelPathLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};

inline constexpr std::uint16_t kPanelVendorId = 0x2B71;

// A selector's position: the index of the one bit set in bits, or -1 when not
// exactly one is set.
inline int SingleBitIndex(std::uint32_t bits) {
    return std::has_single_bit(bits) ? std::countr_zero(bits) : -1;
}

// One simulation variable of a panel's data record; a panel's table lists
// them in record order.
struct PanelDatum {
    const char* name;
    const char* unit;
    std::uint32_t type;
    float epsilon = 0.0f;
};
inline constexpr std::uint32_t kDatumF32 = simconnect::kDataTypeFloat32;
inline constexpr std::uint32_t kDatumI32 = simconnect::kDataTypeInt32;

class CHidPanelDevice {
public:
    CHidPanelDevice();
    ~CHidPanelDevice();
    CHidPanelDevice(const CHidPanelDevice&) = delete;
    CHidPanelDevice& operator=(const CHidPanelDevice&) = delete;

    // Opens the path (read/write, shared, no flags) and reads its vendor and
    // product ids.
    static bool ReadDeviceIds(const std::wstring& path, std::uint16_t& vendorId,
                              std::uint16_t& productId);

    // Main thread. Open attaches the unit to the panel and starts its reader;
    // Close stops the reader, detaches the unit and closes its handles.
    bool Open(const std::wstring& path, CPanelClass* panel);
    void Close();

    // Synchronous feature reports on the unit's handle; byte 0 is the report ID.
    bool WriteFeature(const std::uint8_t* buffer, std::uint32_t length);
    bool ReadFeature(std::uint8_t* buffer, std::uint32_t length);

    // The operations below run under the panel's lock.

    // True when the report differs from the one kept from the last call that
    // returned true (or length is 0 or over kMaxFeature, or there is no
    // buffer); keeps a copy.
    bool FeatureChanged(const std::uint8_t* buffer, std::uint32_t length);
    // Queues a report to be written once the panel's lock is released; a later
    // report replaces one not yet written.
    void PostFeature(const std::uint8_t* buffer, std::uint32_t length);
    // Per-unit state of the panel logic, keys 0 to kValueKeys - 1; a key
    // never set (or out of range) reads 0, and one out of range is not kept.
    static constexpr std::uint32_t kValueKeys = 4;
    std::uint32_t GetValue(std::uint32_t key) const {
        return key < kValueKeys ? values_[key] : 0;
    }
    void SetValue(std::uint32_t key, std::uint32_t value) {
        if (key < kValueKeys) values_[key] = value;
    }

    std::wstring GetSerialNumber();
    const std::wstring& Path() const { return path_; }
    std::uint32_t InputReportLength() const { return inputLength_; }

    // Writes what PostFeature queued. Called with no lock held; a write under
    // way on another thread takes the newer report along instead.
    void SendPostedFeatures();

    // How long Close waits for the reader before leaving it behind (tests).
    static void SetReaderStopTimeout(std::uint32_t milliseconds);

private:
    static constexpr std::uint32_t kMaxFeature = 64;

    // What the reader thread owns; shared with it so that a reader left
    // behind after the time-out never touches freed memory. mutex is a leaf,
    // held only to read or change these flags: never while a report is
    // delivered. Close waits for a delivery under way to end before it marks
    // the reader abandoned, so a late report never reaches a closed unit.
    struct Reader {
        av::Mutex mutex;
        av::ConditionVariable ended;  // finished set, or delivering cleared
        bool finished = false;    // guarded by mutex
        bool delivering = false;  // guarded by mutex: a report is being handled
        // Set when Close gave up waiting: the reader delivers nothing more.
        bool abandoned = false;  // guarded by mutex
    };

    static void ReadLoop(CHidPanelDevice* self, std::shared_ptr<Reader> reader,
                         std::wstring path, av::Handle stop, std::uint32_t length);

    CPanelClass* panel_ = nullptr;  // set by Open, read by the reader while it runs
    std::wstring path_;
    av::Handle handle_ = nullptr;
    av::Handle stopEvent_ = nullptr;
    std::uint32_t inputLength_ = 0;
    bool attached_ = false;
    std::thread readerThread_;
    std::shared_ptr<Reader> reader_;

    // Guarded by the panel's lock.
    std::uint32_t values_[kValueKeys] = {};
    std::uint8_t lastFeature_[kMaxFeature] = {};
    std::uint32_t lastFeatureLength_ = 0;  // 0: none kept

    // Lock order: the panel's lock, then outMutex_. outMutex_ is a leaf and is
    // never held while writing to the unit.
    av::Mutex outMutex_;
    std::uint8_t posted_[kMaxFeature] = {};  // guarded by outMutex_
    std::uint32_t postedLength_ = 0;         // guarded by outMutex_
    bool pending_ = false;                   // guarded by outMutex_
    bool sending_ = false;                   // guarded by outMutex_

    static std::atomic<std::uint32_t> readerStopTimeoutMs_;
};

class CPanelClass : public IPanel {
public:
    // Each derived panel closes its units in its own destructor, while
    // OnDeviceDetached still reaches it; by here the map is empty.
    ~CPanelClass() override;

    // Slots of the panel: the product test, whether units are read, and the
    // hooks that run under the panel's lock.
    // By default: the path opens and carries the panel's vendor and product ids.
    virtual bool IsPanelDevice(const wchar_t* path);
    virtual bool HasInputReports() { return true; }
    // Attach runs on the main thread before the unit's reader starts, detach
    // after it has ended; both are called without the panel's lock and take it
    // around the shared state they touch (not around reading or writing the
    // unit).
    virtual void OnDeviceAttached(CHidPanelDevice* device) = 0;
    virtual void OnDeviceDetached(CHidPanelDevice* device) = 0;
    // Under the panel's lock, on the unit's reader thread.
    // previous and current hold InputReportLength bytes; length is what was read.
    virtual void OnInputReport(CHidPanelDevice* device, std::uint32_t length,
                               const std::uint8_t* previous, const std::uint8_t* current) = 0;

    // IPanel, main thread.
    bool InitSimData(std::uint32_t* nextId) override;
    void OpenDevice(const wchar_t* path) override;
    void CloseDevice(const wchar_t* path) override;
    void CloseAllDevices() override;
    void RequestSimData() override;
    void OnSimStop() override {}
    // Compares the record with the stored one and refreshes every unit when
    // it changed. A block shorter than the record is ignored.
    void OnSimObjectData(std::uint32_t requestId, const void* data, std::uint32_t size) override;

    // The reader thread's entry: one input report under the panel's lock, then
    // the unit's display written without it.
    void DeliverInputReport(CHidPanelDevice* device, std::uint32_t length,
                            const std::uint8_t* previous, const std::uint8_t* current);
    // Called by CHidPanelDevice::Open and Close (main thread, reader not running).
    void AttachDevice(CHidPanelDevice* device);
    void DetachDevice(CHidPanelDevice* device);

    std::uint32_t DefinitionId() const { return definitionId_; }
    std::uint32_t GroupId() const { return groupId_; }
    bool Transmits() const { return transmit_; }
    std::size_t DeviceCount() const { return devices_.size(); }

    static bool ReadTransmitSwitch();
    static bool IsPowered(const std::uint32_t* record);

protected:
    // productId is the panel's USB product id; record points at its data
    // record of recordWords 32-bit words.
    CPanelClass(std::uint16_t productId, std::uint32_t* record, std::uint32_t recordWords);

    // Adds the panel's datums and maps its events (InitSimData, after the ids
    // are taken); its result is InitSimData's. Runs on the main thread with no
    // lock held, before any unit is open.
    virtual HRESULT DefineSimData() = 0;
    // Whether the panel takes its group id from the counter (advancing it).
    virtual bool AdvancesGroupCounter() const { return true; }
    // Refreshes one unit after the record changed; under the panel's lock.
    virtual void RefreshDevice(CHidPanelDevice* device) = 0;

    // Adds the table's datums in order, numbered on from datumId; stops at
    // the first that fails and returns its result.
    HRESULT AddData(std::uint32_t& datumId, std::span<const PanelDatum> table);
    // The six datums of IsPowered.
    HRESULT AddPowerData(std::uint32_t& datumId);
    // Maps names[i] to a new client event in the panel's group, in order, and
    // keeps its id in ids[i] (0 when it could not be mapped).
    template <std::size_t N>
    void MapEvents(const char* const (&names)[N], std::array<std::uint32_t, N>& ids) {
        for (std::size_t i = 0; i < N; ++i) ids[i] = MapEvent(names[i]);
    }
    // Queues the event; it goes out from the dispatch thread once sent on.
    void SendEvent(std::uint32_t eventId, std::uint32_t data);
    // The bits of input bytes 1 to 3 that came on since the previous report;
    // pressed[0] (the report ID's place) is 0.
    static void PressedBits(const std::uint8_t* previous, const std::uint8_t* current,
                            std::uint8_t (&pressed)[4]) {
        pressed[0] = 0;
        for (int i = 1; i <= 3; ++i) {
            pressed[i] = static_cast<std::uint8_t>((previous[i] ^ current[i]) & current[i]);
        }
    }

    // The panel's lock. Lock order: the panel's lock, then a unit's
    // outMutex_, then the client-event queue's lock (leaves). It is never held
    // while calling SimConnect, the manager or the HID driver, so a thread
    // that holds it always finishes without waiting on another.
    av::Mutex mutex_;

private:
    std::uint32_t MapEvent(const char* name);

    using DeviceMap = std::map<std::wstring, std::unique_ptr<CHidPanelDevice>, PanelPathLess>;

    DeviceMap devices_;  // main thread only
    std::uint32_t definitionId_ = 0;  // fixed by InitSimData before any reader runs
    std::uint32_t groupId_ = 0;       // fixed by InitSimData before any reader runs
    bool transmit_ = true;
    std::uint16_t productId_;
    std::uint32_t* record_;  // guarded by mutex_
    std::uint32_t recordWords_;
};
