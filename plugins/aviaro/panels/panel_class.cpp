#include "plugins/aviaro/panels/panel_class.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "platform/hid_device.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include "plugins/aviaro/host/client_events.h"
#include "plugins/aviaro/host/simconnect_library.h"

namespace {

constexpr std::uint32_t kGroupPriorityHighest = 1;  // SIMCONNECT_GROUP_PRIORITY_HIGHEST
constexpr std::uint32_t kHighestOwnGroup = 20;
constexpr std::uint32_t kReaderRetryMs = 1000;
constexpr std::uint32_t kSerialBufferUnits = 126;

wchar_t Fold(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

}  // namespace

bool PanelPathLess::operator()(const std::wstring& a, const std::wstring& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](wchar_t x, wchar_t y) { return Fold(x) < Fold(y); });
}

// ---- CHidPanelDevice ----

std::atomic<std::uint32_t> CHidPanelDevice::readerStopTimeoutMs_{30000};

CHidPanelDevice::CHidPanelDevice() : stopEvent_(av::platform::HidCreateStopEvent()) {}

CHidPanelDevice::~CHidPanelDevice() { Close(); }

void CHidPanelDevice::SetReaderStopTimeout(std::uint32_t milliseconds) {
    readerStopTimeoutMs_ = milliseconds;
}

bool CHidPanelDevice::ReadDeviceIds(const std::wstring& path, std::uint16_t& vendorId,
                                    std::uint16_t& productId) {
    av::Handle h = av::platform::HidOpen(path, false);
    if (h == nullptr) return false;
    const bool read = av::platform::HidGetIds(h, vendorId, productId);
    av::platform::HidClose(h);
    return read;
}

bool CHidPanelDevice::Open(const std::wstring& path, CPanelClass* panel) {
    if (panel_ != nullptr || panel == nullptr) return false;
    panel_ = panel;
    path_ = path;
    handle_ = av::platform::HidOpen(path, false);
    if (handle_ == nullptr) return false;
    if (!av::platform::HidGetInputReportLength(handle_, inputLength_)) return false;
    if (stopEvent_ == nullptr) return false;
    attached_ = true;
    panel_->AttachDevice(this);
    if (!panel_->HasInputReports()) return true;
    reader_ = std::make_shared<Reader>();
    try {
        readerThread_ = std::thread(&CHidPanelDevice::ReadLoop, this, reader_, path_, stopEvent_,
                                    inputLength_);
    } catch (...) {
        reader_.reset();
        return false;
    }
    return true;
}

void CHidPanelDevice::Close() {
    if (readerThread_.joinable()) {
        av::platform::HidSignalStopEvent(stopEvent_);
        bool finished;
        {
            std::unique_lock<av::Mutex> lock(reader_->mutex);
            finished = reader_->ended.wait_for(
                lock, std::chrono::milliseconds(readerStopTimeoutMs_.load()),
                [&] { return reader_->finished; });
            // A reader stuck in the driver is left behind: it owns its handle,
            // buffers and the stop event from now on, and delivers nothing more.
            // A report it is delivering still uses this unit and the panel, so
            // that one is let finish first.
            if (!finished) {
                reader_->ended.wait(lock, [&] { return !reader_->delivering; });
                finished = reader_->finished;
                if (!finished) reader_->abandoned = true;
            }
        }
        if (finished) {
            readerThread_.join();
        } else {
            readerThread_.detach();
            stopEvent_ = nullptr;
        }
        reader_.reset();
    }
    if (attached_) panel_->DetachDevice(this);
    attached_ = false;
    panel_ = nullptr;
    if (handle_ != nullptr) av::platform::HidClose(handle_);
    handle_ = nullptr;
    if (stopEvent_ != nullptr) av::platform::HidCloseStopEvent(stopEvent_);
    stopEvent_ = nullptr;
    lastFeatureLength_ = 0;
    path_.clear();
    std::fill(std::begin(values_), std::end(values_), 0u);
}

void CHidPanelDevice::ReadLoop(CHidPanelDevice* self, std::shared_ptr<Reader> reader,
                               std::wstring path, av::Handle stop, std::uint32_t length) {
    const auto finish = [&] {
        bool abandoned;
        {
            std::lock_guard<av::Mutex> lock(reader->mutex);
            reader->finished = true;
            abandoned = reader->abandoned;
            reader->ended.notify_all();
        }
        // Left behind, the reader owns the stop event; closed without the lock.
        if (abandoned) av::platform::HidCloseStopEvent(stop);
    };
    av::Handle h = av::platform::HidOpen(path, true);
    if (h == nullptr || length == 0) {
        if (h != nullptr) av::platform::HidClose(h);
        finish();
        return;
    }
    std::vector<std::uint8_t> current, previous;
    try {
        current.assign(length, 0);
        previous.assign(length, 0);
    } catch (...) {
        av::platform::HidClose(h);
        finish();
        return;
    }
    for (;;) {
        std::uint32_t got = 0;
        const av::platform::HidReadResult r =
            av::platform::HidReadInput(h, stop, current.data(), length, got);
        if (r == av::platform::HidReadResult::Stopped) break;
        if (r == av::platform::HidReadResult::NoEvent) {
            if (av::platform::HidWaitStop(stop, kReaderRetryMs)) break;
            continue;
        }
        if (r != av::platform::HidReadResult::Data) continue;
        {
            std::lock_guard<av::Mutex> lock(reader->mutex);
            if (reader->abandoned) break;
            reader->delivering = true;
        }
        // Without the reader's lock: delivery writes to the unit and takes
        // the panel's lock, and Close must not wait on either to take it.
        self->panel_->DeliverInputReport(self, got, previous.data(), current.data());
        {
            std::lock_guard<av::Mutex> lock(reader->mutex);
            reader->delivering = false;
            reader->ended.notify_all();
        }
        // A report cut short is not a state of the unit: the next one is
        // still compared with the last whole one.
        if (got == length) std::memcpy(previous.data(), current.data(), length);
    }
    av::platform::HidClose(h);
    finish();
}

bool CHidPanelDevice::WriteFeature(const std::uint8_t* buffer, std::uint32_t length) {
    if (handle_ == nullptr) return false;
    return av::platform::HidSetFeature(handle_, buffer, length);
}

bool CHidPanelDevice::ReadFeature(std::uint8_t* buffer, std::uint32_t length) {
    if (handle_ == nullptr) return false;
    return av::platform::HidGetFeature(handle_, buffer, length);
}

bool CHidPanelDevice::FeatureChanged(const std::uint8_t* buffer, std::uint32_t length) {
    if (length == 0 || buffer == nullptr) return true;
    if (lastFeatureLength_ == length && std::memcmp(lastFeature_, buffer, length) == 0) {
        return false;
    }
    // A report too long to keep (PostFeature drops it too) always counts as changed.
    lastFeatureLength_ = length <= kMaxFeature ? length : 0;
    std::memcpy(lastFeature_, buffer, lastFeatureLength_);
    return true;
}

void CHidPanelDevice::PostFeature(const std::uint8_t* buffer, std::uint32_t length) {
    if (buffer == nullptr || length == 0 || length > kMaxFeature) return;
    std::lock_guard<av::Mutex> lock(outMutex_);
    std::memcpy(posted_, buffer, length);
    postedLength_ = length;
    pending_ = true;
}

void CHidPanelDevice::SendPostedFeatures() {
    std::uint8_t report[kMaxFeature];
    std::unique_lock<av::Mutex> lock(outMutex_);
    // One writer at a time, always the newest report last.
    if (sending_) return;
    sending_ = true;
    while (pending_) {
        const std::uint32_t length = postedLength_;
        std::memcpy(report, posted_, length);
        pending_ = false;
        lock.unlock();
        WriteFeature(report, length);
        lock.lock();
    }
    sending_ = false;
}

std::wstring CHidPanelDevice::GetSerialNumber() {
    wchar_t buffer[kSerialBufferUnits + 1] = {};
    if (handle_ == nullptr ||
        !av::platform::HidGetSerialNumber(handle_, buffer,
                                            kSerialBufferUnits * sizeof(wchar_t))) {
        return std::wstring();
    }
    buffer[kSerialBufferUnits] = L'\0';
    return buffer;
}

// ---- CPanelClass ----

CPanelClass::CPanelClass(std::uint16_t productId, std::uint32_t* record,
                         std::uint32_t recordWords)
    : transmit_(ReadTransmitSwitch()),
      productId_(productId),
      record_(record),
      recordWords_(recordWords) {}

CPanelClass::~CPanelClass() { CloseAllDevices(); }

bool CPanelClass::IsPanelDevice(const wchar_t* path) {
    std::uint16_t vendor = 0, product = 0;
    return CHidPanelDevice::ReadDeviceIds(path, vendor, product) && vendor == kPanelVendorId &&
           product == productId_;
}

bool CPanelClass::ReadTransmitSwitch() {
    std::uint32_t value = 0;
    return !(av::platform::ReadRegistryDword(av::platform::RegistryRoot::LocalMachine,
                                             L"SOFTWARE\\Orlend\\VelPanels\\NoTransmit", L"",
                                             value) &&
             value == 1);
}

bool CPanelClass::IsPowered(const std::uint32_t* record) {
    return record[0] != 0 &&
           (record[1] != 0 || record[2] != 0 || record[3] != 0 || record[4] != 0 || record[5] != 0);
}

bool CPanelClass::InitSimData(std::uint32_t* nextId) {
    definitionId_ = CSimConnectLibrary::Instance().NextDefinitionId();
    groupId_ = nextId != nullptr ? *nextId : 0;
    if (nextId != nullptr && AdvancesGroupCounter()) ++*nextId;
    return SUCCEEDED(DefineSimData());
}

HRESULT CPanelClass::AddData(std::uint32_t& datumId, std::span<const PanelDatum> table) {
    CSimConnectLibrary& sim = CSimConnectLibrary::Instance();
    for (const PanelDatum& d : table) {
        const HRESULT hr = sim.AddToDataDefinition(definitionId_, d.name, d.unit, d.type,
                                                   d.epsilon, datumId++);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CPanelClass::AddPowerData(std::uint32_t& datumId) {
    static constexpr PanelDatum kPower[] = {
        {"AVIONICS MASTER SWITCH", "Bool", kDatumI32},
        {"ELECTRICAL MASTER BATTERY", "Bool", kDatumI32},
        {"GENERAL ENG MASTER ALTERNATOR:1", "Bool", kDatumI32},
        {"GENERAL ENG MASTER ALTERNATOR:2", "Bool", kDatumI32},
        {"GENERAL ENG MASTER ALTERNATOR:3", "Bool", kDatumI32},
        {"GENERAL ENG MASTER ALTERNATOR:4", "Bool", kDatumI32},
    };
    return AddData(datumId, kPower);
}

std::uint32_t CPanelClass::MapEvent(const char* name) {
    CSimConnectLibrary& sim = CSimConnectLibrary::Instance();
    const std::uint32_t id = sim.NextEventId();
    if (FAILED(sim.MapClientEventToSimEvent(id, name))) return 0;
    if (FAILED(sim.AddClientEventToNotificationGroup(groupId_, id, false))) return 0;
    return id;
}

void CPanelClass::SendEvent(std::uint32_t eventId, std::uint32_t data) {
    if (eventId == 0 || !transmit_) return;
    // Group ids above 20 are sent by priority rather than through the group.
    if (groupId_ > kHighestOwnGroup) {
        CClientEventQueue::Instance().Post(simconnect::kObjectIdUser, eventId, data,
                                           kGroupPriorityHighest,
                                           simconnect::kEventFlagGroupIdIsPriority, nullptr);
    } else {
        CClientEventQueue::Instance().Post(simconnect::kObjectIdUser, eventId, data, groupId_, 0,
                                           nullptr);
    }
}

void CPanelClass::RequestSimData() {
    CSimConnectLibrary::Instance().RequestDataOnSimObject(
        definitionId_, definitionId_, simconnect::kObjectIdUser, simconnect::kPeriodSimFrame,
        simconnect::kDataRequestFlagChanged, 0, 0, 0);
}

void CPanelClass::OpenDevice(const wchar_t* path) {
    if (path == nullptr || !IsPanelDevice(path)) return;
    const std::wstring key(path);
    if (devices_.count(key) != 0) return;
    auto device = std::make_unique<CHidPanelDevice>();
    // One that fails to open is closed again as it goes.
    if (device->Open(key, this)) devices_.emplace(key, std::move(device));
}

void CPanelClass::CloseDevice(const wchar_t* path) {
    if (path == nullptr) return;
    const auto it = devices_.find(path);
    if (it == devices_.end()) return;
    it->second->Close();
    devices_.erase(it);
}

void CPanelClass::CloseAllDevices() {
    for (auto& entry : devices_) entry.second->Close();
    devices_.clear();
}

void CPanelClass::OnSimObjectData(std::uint32_t requestId, const void* data, std::uint32_t size) {
    if (requestId != definitionId_ || data == nullptr) return;
    const std::uint32_t bytes = recordWords_ * 4;
    if (size < bytes) return;  // never read past the block
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        if (std::memcmp(record_, data, bytes) == 0) return;
        std::memcpy(record_, data, bytes);
        for (auto& entry : devices_) RefreshDevice(entry.second.get());
    }
    for (auto& entry : devices_) entry.second->SendPostedFeatures();
}

void CPanelClass::DeliverInputReport(CHidPanelDevice* device, std::uint32_t length,
                                     const std::uint8_t* previous, const std::uint8_t* current) {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        OnInputReport(device, length, previous, current);
    }
    // The events it queued wake the dispatch thread, which alone sends them.
    device->SendPostedFeatures();
}

void CPanelClass::AttachDevice(CHidPanelDevice* device) {
    OnDeviceAttached(device);
    device->SendPostedFeatures();
}

void CPanelClass::DetachDevice(CHidPanelDevice* device) {
    // Anything still posted goes first: the detach report is the last one.
    device->SendPostedFeatures();
    OnDeviceDetached(device);
}
