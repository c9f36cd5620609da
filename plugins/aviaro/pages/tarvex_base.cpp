#include "plugins/aviaro/pages/tarvex_base.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <cwchar>

#include "platform/sync.h"
#include "platform/text.h"
#include "plugins/aviaro/host/client_events.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/lumiray/lumiray_library.h"

namespace {

CTraceLog& Log() { return CTraceLog::Instance(); }
CSimConnectLibrary& Sim() { return CSimConnectLibrary::Instance(); }
CLumirayLibrary& Lumiray() { return CLumirayLibrary::Instance(); }

}  // namespace

CPage_Tarvex_Base::CPage_Tarvex_Base(std::uint32_t pageId, IPageOwner* owner, std::wstring name,
                                     std::uint32_t recordSize)
    : IPage(pageId, owner),
      name_(std::move(name)),
      recordSize_(recordSize <= kMaxRecordSize ? recordSize : kMaxRecordSize) {}

// ---- the device ----

bool CPage_Tarvex_Base::AddToDevice(lumiray::Device device, bool setActive, bool* wasActive) {
    // No page lock here: making the page active may make the library report a
    // page change, which comes back into this page.
    av::Guid type{};
    HRESULT hr = Lumiray().GetDeviceType(device, &type);
    Log().TraceResult(L"Lumiray_GetDeviceType", hr);
    if (FAILED(hr) || !(type == CLumirayLibrary::DeviceType_Tarvex)) return false;
    hr = Lumiray().AddPage(device, PageId(), name_.c_str(),
                           setActive ? lumiray::kPageFlagSetActive : 0);
    Log().TraceResult(L"Lumiray_AddPage", hr);
    if (FAILED(hr)) return false;
    SendToDevice(device, &type);
    if (wasActive != nullptr) *wasActive = setActive;
    return true;
}

void CPage_Tarvex_Base::CutLines() {
    for (auto& line : lines_) line[kShownChars] = L'\0';
}

void CPage_Tarvex_Base::CopyShownLines(wchar_t (&shown)[3][kShownChars + 1]) const {
    for (int i = 0; i < 3; ++i) {
        std::wmemcpy(shown[i], lines_[i], kShownChars);
        shown[i][kShownChars] = L'\0';
    }
}

bool CPage_Tarvex_Base::ShownLinesDiffer(const wchar_t (&shown)[3][kShownChars + 1]) const {
    for (int i = 0; i < 3; ++i) {
        if (std::wcsncmp(shown[i], lines_[i], kShownChars) != 0) return true;
    }
    return false;
}

void CPage_Tarvex_Base::SendToDevice(lumiray::Device device, const av::Guid* deviceType) {
    if (deviceType == nullptr || !(*deviceType == CLumirayLibrary::DeviceType_Tarvex)) return;
    wchar_t shown[3][kShownChars + 1];
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        // A send to this device is under way (on another thread, or further
        // up this one when the library called back from inside SetString): it
        // sends these lines too before it ends.
        if (std::find(sending_.begin(), sending_.end(), device) != sending_.end()) return;
        sending_.push_back(device);
        CutLines();
        CopyShownLines(shown);
    }
    // The lines go out with no lock held, one send after the other; lines
    // formatted while they go out are sent again at once.
    for (;;) {
        for (int i = 0; i < 3; ++i) {
            const HRESULT hr = Lumiray().SetString(device, PageId(), static_cast<lumiray::DWord>(i),
                                                   static_cast<lumiray::DWord>(std::wcslen(shown[i])),
                                                   shown[i]);
            if (Log().IsOn()) {
                wchar_t label[256];
                std::swprintf(label, 256, L"Lumiray_SetString(%d, \"%ls\")", i, shown[i]);
                Log().TraceResult(label, hr);
            }
        }
        std::lock_guard<av::Mutex> lock(mutex_);
        CutLines();
        if (!ShownLinesDiffer(shown)) {
            sending_.erase(std::find(sending_.begin(), sending_.end(), device));
            return;
        }
        CopyShownLines(shown);
    }
}

void CPage_Tarvex_Base::OnPageActivated(lumiray::Device device) {
    (void)device;
    std::lock_guard<av::Mutex> lock(mutex_);
    DebugPageActivated();
    UpdateLines(record_.data());
}

void CPage_Tarvex_Base::DebugPageActivated() {
    if (!Log().IsOn()) return;
    wchar_t text[256];
    std::swprintf(text, 256, L"\nPAGE_ACTIVATED : %ls\n", name_.c_str());
    Log().Trace(text);
}

// ---- the simulator ----

void CPage_Tarvex_Base::OnSimInitialize(const void* initParams) {
    (void)initParams;
    // The manager initialises a page on the dispatch thread before it offers
    // the page to any device, so nothing else reaches the page while its
    // definitions are made; the page lock is not held across SimConnect.
    Log().Trace(name_ + L"::OnSimInitialize");
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        defineId_ = Sim().NextDefinitionId();
        nextDatumId_ = 0;
    }
    DefineSimData();
    const HRESULT hr = Sim().SetNotificationGroupPriority(PageId(), 1);
    Log().TraceResult((name_ + L"::OnSimInitialize - SimConnect_SetNotificationGroupPriority").c_str(),
                      hr);
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        const std::array<std::uint8_t, kMaxRecordSize> zero{};
        UpdateLines(zero.data());
    }
    if (RefreshesOnInitialize() && Owner() != nullptr) Owner()->RefreshPage(this);
}

void CPage_Tarvex_Base::AddDatum(const wchar_t* datumName, const wchar_t* unitName,
                                 std::uint32_t datumType, float epsilon, const wchar_t* label) {
    const HRESULT hr = Sim().AddToDataDefinition(
        defineId_, av::platform::ToAnsi(datumName).c_str(), av::platform::ToAnsi(unitName).c_str(),
        datumType, epsilon, nextDatumId_++);
    Log().TraceResult(
        (name_ + L"::OnSimInitialize - SimConnect_AddToDataDefinition(" + label + L")").c_str(), hr);
}

std::uint32_t CPage_Tarvex_Base::MapClientEvent(const wchar_t* eventName) {
    // The id is spent even when the mapping fails: ids are never given back.
    const std::uint32_t id = Sim().NextEventId();
    HRESULT hr = Sim().MapClientEventToSimEvent(id, av::platform::ToAnsi(eventName).c_str());
    if (FAILED(hr)) return 0;
    Log().TraceResult(L"SimConnect_MapClientEventToSimEvent", hr);
    hr = Sim().AddClientEventToNotificationGroup(PageId(), id, false);
    Log().TraceResult(L"SimConnect_AddClientEventToNotificationGroup", hr);
    return FAILED(hr) ? 0 : id;
}

void CPage_Tarvex_Base::TriggerEvent(std::uint32_t eventId) {
    if (eventId == 0) return;
    CClientEventQueue::Instance().Post(simconnect::kObjectIdUser, eventId, 0, PageId(), 0,
                                       L"TriggerEvent");
}

void CPage_Tarvex_Base::OnSimStart() {
    std::uint32_t defineId;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        defineId = defineId_;
    }
    const HRESULT hr = Sim().RequestDataOnSimObject(
        PageId(), defineId, simconnect::kObjectIdUser, simconnect::kPeriodSimFrame,
        simconnect::kDataRequestFlagChanged, 0, 0, 0);
    Log().TraceResult(L"SimConnect_RequestDataOnSimObject", hr);
}

void CPage_Tarvex_Base::OnSimRecieveData(const void* data, std::uint32_t size) {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        if (size != recordSize_ || data == nullptr) {
            Log().Trace(name_ + L"::OnSimRecieveData - Data Format Size Mismatch");
            return;
        }
        if (std::memcmp(record_.data(), data, recordSize_) == 0) return;
        std::memcpy(record_.data(), data, recordSize_);
        // Most changes of a record do not show (a DME distance moving in its
        // third decimal): the device is sent only what it would show differently.
        wchar_t before[3][kShownChars + 1];
        CopyShownLines(before);
        UpdateLines(record_.data());
        if (!ShownLinesDiffer(before)) return;
    }
    if (Owner() != nullptr) Owner()->RefreshPage(this);
}

// ---- the buttons ----

void CPage_Tarvex_Base::OnButtonPress(std::uint32_t buttons) {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        if (!HandleButtons(buttons)) return;
        UpdateLines(record_.data());
    }
    // The events of the press go out before the lines are sent: from here on
    // the dispatch thread, from any other thread once it has been woken.
    CClientEventQueue::Instance().Flush();
    if (Owner() != nullptr) Owner()->RefreshPage(this);
}

void CPage_Tarvex_Base::StepButtons(std::uint32_t buttons, const TarvexButtonRow* rows, int rowCount,
                                    const std::uint32_t* events, const wchar_t* const* traces) {
    static constexpr std::uint32_t kBits[3] = {lumiray::SoftButton_Select, lumiray::SoftButton_Up,
                                               lumiray::SoftButton_Down};
    for (int b = 0; b < 3; ++b) {
        if ((buttons & kBits[b]) == 0) continue;
        if (traces != nullptr) Log().Trace(traces[b]);
        if (selection_ < 0 || selection_ >= rowCount) continue;
        const TarvexButtonRow& row = rows[selection_];
        const int action = b == 0 ? row.select : (b == 1 ? row.up : row.down);
        if (action >= 0) {
            selection_ = action;
        } else {
            TriggerEvent(events[-1 - action]);
        }
    }
}

// ---- lines and records ----

void CPage_Tarvex_Base::FormatLine(int index, const wchar_t* format, ...) {
    if (index < 0 || index > 2) return;
    wchar_t* line = lines_[index];
    va_list args;
    va_start(args, format);
    const int written = std::vswprintf(line, kLineChars, format, args);
    va_end(args);
    // A line too long for its buffer is kept as far as it fits.
    if (written < 0) line[kLineChars - 1] = L'\0';
}

std::wstring CPage_Tarvex_Base::Line(int index) const {
    if (index < 0 || index > 2) return std::wstring();
    std::lock_guard<av::Mutex> lock(mutex_);
    return lines_[index];
}

int CPage_Tarvex_Base::Selection() const {
    std::lock_guard<av::Mutex> lock(mutex_);
    return selection_;
}

std::uint32_t CPage_Tarvex_Base::DefineId() const {
    std::lock_guard<av::Mutex> lock(mutex_);
    return defineId_;
}

std::int32_t CPage_Tarvex_Base::Int32At(const std::uint8_t* record, int index) {
    std::int32_t value;
    std::memcpy(&value, record + 4 * index, sizeof value);
    return value;
}

float CPage_Tarvex_Base::Float32At(const std::uint8_t* record, int index) {
    float value;
    std::memcpy(&value, record + 4 * index, sizeof value);
    return value;
}

double CPage_Tarvex_Base::Float64At(const std::uint8_t* record, int index) {
    double value;
    std::memcpy(&value, record + 8 * index, sizeof value);
    return value;
}

double CPage_Tarvex_Base::Normalise360(double degrees) {
    // Subtracting 360 at a time never ends for infinity and takes ages for a
    // huge value: bring far-off values near first. Ordinary values take the
    // plain loops, so their digits are exactly those of the loops.
    if (!std::isfinite(degrees)) return degrees;
    if (std::fabs(degrees) > 36000.0) degrees = std::fmod(degrees, 360.0);
    while (degrees > 360.0) degrees -= 360.0;
    while (degrees < 0.0) degrees += 360.0;
    // A negative zero is not below 0 and would print as -00.00.
    return degrees == 0.0 ? 0.0 : degrees;
}
