#include "plugins/aviaro/devices/aviaro.h"

#include <cwchar>
#include <condition_variable>
#include <map>

#include "platform/hid_notify.h"
#include "platform/message_loop.h"
#include "platform/service.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/xml/xml_node.h"
#include "plugins/lumiray/lumiray_library.h"

namespace {

constexpr const wchar_t* kPluginName = L"Orlend Flight Sim X Plugin";
// Posted to the message window when an instrument panel arrives: with an
// aircraft's profile in use, the dispatch thread gives it the profile's gauge
// for its serial.
constexpr std::uint32_t kMiraArrivedMessage = 0x8000 + 0x101;  // WM_APP + 0x101

// wsprintfW's %p: the pointer's value in upper-case hex, two digits per byte.
std::wstring PointerText(const void* p) {
    wchar_t buffer[24];
    std::swprintf(buffer, 24, L"%0*llX", static_cast<int>(2 * sizeof(void*)),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p)));
    return buffer;
}

CTraceLog& Log() { return CTraceLog::Instance(); }
CLumirayLibrary& Lumiray() { return CLumirayLibrary::Instance(); }
CSimConnectLibrary& Sim() { return CSimConnectLibrary::Instance(); }

// The managers alive in this process. The device library cannot be told to
// forget its callbacks, and it is left running when its service has stopped by
// the end of a run; a callback that comes after the manager is gone must find
// nothing. A callback counts itself in while it runs, and destruction waits
// until none is in flight. The table's lock is a leaf: it is never held while
// a callback runs, because the callback calls the device library, which may
// hold its own lock while calling back.
struct LiveTable {
    struct Entry {
        bool alive = true;
        int inFlight = 0;
    };
    av::Mutex mutex;
    av::ConditionVariable idle;
    std::map<const void*, Entry> managers;  // guarded by mutex
};

LiveTable& Live() {
    static LiveTable table;
    return table;
}

// The manager behind a callback's context while the callback runs, or null.
class LiveManager {
public:
    explicit LiveManager(void* context) {
        LiveTable& live = Live();
        std::lock_guard<av::Mutex> lock(live.mutex);
        const auto it = live.managers.find(context);
        if (context == nullptr || it == live.managers.end() || !it->second.alive) return;
        ++it->second.inFlight;
        manager = static_cast<CAviaro*>(context);
    }
    ~LiveManager() {
        if (manager == nullptr) return;
        LiveTable& live = Live();
        {
            std::lock_guard<av::Mutex> lock(live.mutex);
            --live.managers[manager].inFlight;
        }
        live.idle.notify_all();
    }
    LiveManager(const LiveManager&) = delete;
    LiveManager& operator=(const LiveManager&) = delete;

    CAviaro* manager = nullptr;
};

}  // namespace

CAviaro::CAviaro(PageFactory pageFactory, PanelSet panels)
    : pageFactory_(pageFactory), panels_(std::move(panels)) {
    LoadMiraList();
    std::lock_guard<av::Mutex> lock(Live().mutex);
    Live().managers[this] = LiveTable::Entry{};
}

CAviaro::~CAviaro() {
    {
        // Callbacks from now on find nothing; those under way finish first.
        LiveTable& live = Live();
        std::unique_lock<av::Mutex> lock(live.mutex);
        live.managers[this].alive = false;
        live.idle.wait(lock, [&] { return live.managers[this].inFlight == 0; });
        live.managers.erase(this);
    }
    // Pages are normally gone already (OnFinalize); a run that never
    // initialised still destroys what it made.
    DeletePages();
    FreeXmlTree(configuration_);
}

template <typename Fn>
void CAviaro::ForEachPanel(Fn fn) {
    for (auto& panel : panels_) {
        if (panel) fn(*panel);
    }
}

std::vector<CAviaro::PagePtr> CAviaro::PagesInOrder() const {
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    std::vector<PagePtr> pages;
    pages.reserve(pages_.size());
    for (const auto& [id, page] : pages_) pages.push_back(page);
    return pages;
}

CAviaro::PagePtr CAviaro::FindPage(std::uint32_t id) const {
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    const auto it = pages_.find(id);
    return it != pages_.end() ? it->second : nullptr;
}

// ---- the run ----

bool CAviaro::OnInitialize() {
    Log().Trace(L"CAviaro::OnInitialize");
    {
        std::lock_guard<av::Mutex> lock(tablesMutex_);
        arrivalWindow_ = Window();
    }
    std::uint32_t nextId = 0;
    if (InitializePages(&nextId) && IsDeviceServiceRunning()) InitializeLumiray();
    const bool result = InitializePanels(&nextId);
    if (!profiles_.Empty()) {
        // Drawn after every page and panel, so that their ids stay as they were.
        titleDefinition_ = Sim().NextDefinitionId();
        HRESULT hr = Sim().AddToDataDefinition(titleDefinition_, "TITLE", nullptr,
                                               simconnect::kDataTypeString256, 0.0f,
                                               simconnect::kUnused);
        Log().TraceResult(L"CAviaro::OnInitialize - SimConnect_AddToDataDefinition(TITLE)", hr);
        hr = Sim().SubscribeToSystemEvent(kEventAircraftLoaded, "AircraftLoaded");
        Log().TraceResult(
            L"CAviaro::OnInitialize - SimConnect_SubscribeToSystemEvent(AircraftLoaded)", hr);
    }
    Log().TraceBool(L"CAviaro::OnInitialize", result);
    return result;
}

void CAviaro::OnFinalize() {
    Log().Trace(L"CAviaro::OnFinalize");
    {
        // The window goes after this: a unit arriving from now on posts nothing.
        std::lock_guard<av::Mutex> lock(tablesMutex_);
        arrivalWindow_ = nullptr;
    }
    if (IsDeviceServiceRunning()) FinalizeLumiray();
    // A page's workers (a gauge page's render thread) may still run when the
    // simulator never reported a stop: end them all before any page goes.
    for (const PagePtr& page : PagesInOrder()) {
        if (page) page->OnSimStop();
    }
    DeletePages();
    if (deviceNotification_ != nullptr) {
        av::platform::UnregisterHidNotifications(deviceNotification_);
        deviceNotification_ = nullptr;
    }
    ForEachPanel([](IPanel& p) { p.CloseAllDevices(); });
    Log().TraceBool(L"CAviaro::OnFinalize", true);
}

void CAviaro::OnSimStart() {
    Log().Trace(L"CAviaro::OnSimStart");
    for (const PagePtr& page : PagesInOrder()) {
        if (page) page->OnSimStart();
    }
    ForEachPanel([](IPanel& p) { p.RequestSimData(); });
    RequestAircraftTitle();
}

void CAviaro::OnSimStop() {
    Log().Trace(L"CAviaro::OnSimStop");
    SaveMiraList();
    for (const PagePtr& page : PagesInOrder()) {
        if (page) page->OnSimStop();
    }
    ForEachPanel([](IPanel& p) { p.OnSimStop(); });
}

void CAviaro::OnSimData(std::uint32_t requestId, const void* data, std::uint32_t size) {
    if (requestId == kTitleRequestId && titleDefinition_ != 0) {
        // Up to 256 bytes of ANSI text, ended by a zero when shorter.
        const char* text = static_cast<const char*>(data);
        std::size_t length = 0;
        const std::size_t limit = size < 256 ? size : 256;
        while (length < limit && text[length] != '\0') ++length;
        OnAircraftTitle(av::platform::FromAnsi(std::string(text, length)));
        return;
    }
    if (PagePtr page = FindPage(requestId)) page->OnSimRecieveData(data, size);
    ForEachPanel([&](IPanel& p) { p.OnSimObjectData(requestId, data, size); });
}

std::intptr_t CAviaro::OnWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) {
    if (message == kMiraArrivedMessage) {
        if (profile_ != nullptr) {
            Log().Trace(L"CAviaro::OnMiraArrived - profile \"" + profile_->name +
                        L"\" applied again for the new unit");
            ApplyProfile(profile_);
        }
        return 1;
    }
    if (message != av::platform::kWmDeviceChange) return 0;
    const bool arrival = wParam == av::platform::kDbtDeviceArrival;
    const bool removal = wParam == av::platform::kDbtDeviceQueryRemove ||
                         wParam == av::platform::kDbtDeviceRemoveComplete;
    std::uint32_t deviceType = 0;
    std::wstring path;
    if ((arrival || removal) && av::platform::ReadDeviceBroadcast(lParam, deviceType, path) &&
        deviceType == av::platform::kDbtDevtypDeviceInterface) {
        if (arrival) {
            ForEachPanel([&](IPanel& p) { p.OpenDevice(path.c_str()); });
        } else {
            ForEachPanel([&](IPanel& p) { p.CloseDevice(path.c_str()); });
        }
    }
    return 1;
}

// ---- pages ----

bool CAviaro::InitializePages(std::uint32_t* nextId) {
    CXmlNode* root = nullptr;
    if (!ReadXmlFile(L"Aviaro.xml", &root)) {
        Log().Trace(L"CAviaro::InitializePages - Failed to parse file");
        return false;
    }
    if (root == nullptr) {
        Log().Trace(L"CAviaro::InitializePages - root == NULL");
        return false;
    }
    std::uint32_t counter = 1;
    for (std::size_t i = 0; i < root->GetChildCount(); ++i) {
        const CXmlNode* child = root->GetChild(i);
        if (av::platform::EqualsIgnoreCase(child->GetName(), L"Gauge")) {
            Log().Trace(L"CAviaro::InitializePages - Gauge Page");
            IPage* page = pageFactory_ ? pageFactory_(PageKind::Gauge, counter, this, false)
                                       : nullptr;
            ++counter;
            const GaugePageInitParams params{child};
            const std::uint32_t id = counter - 1;
            if (AddPage(page, &params)) gaugePages_.push_back({id, child, child});
        } else if (av::platform::EqualsIgnoreCase(child->GetName(), L"Tarvex")) {
            LoadTarvexPages(child, &counter);
        }
    }
    profiles_.Load(root);
    if (profiles_.Empty()) {
        FreeXmlTree(root);
        gaugePages_.clear();
    } else {
        configuration_ = root;
    }
    *nextId = counter;
    return true;
}

void CAviaro::LoadTarvexPages(const CXmlNode* element, std::uint32_t* counter) {
    struct Kind {
        const wchar_t* element;
        PageKind kind;
        const wchar_t* trace;
    };
    static const Kind kKinds[] = {
        {L"ComNav", PageKind::ComNav, L"CAviaro::LoadTarvexPages - COM Page"},
        {L"Adf", PageKind::Adf, L"CAviaro::LoadTarvexPages - ADF Page"},
        {L"Dme", PageKind::Dme, L"CAviaro::LoadTarvexPages - DME Page"},
        {L"Xpndr", PageKind::Xpndr, L"CAviaro::LoadTarvexPages - XPNDR Page"},
        {L"Autopilot", PageKind::Autopilot, L"CAviaro::LoadTarvexPages - AUTOPILOT Page"},
        {L"VorHdg", PageKind::VorHdg, L"CAviaro::LoadTarvexPages - VOR/HDG Page"},
    };
    for (std::size_t i = 0; i < element->GetChildCount(); ++i) {
        const CXmlNode* child = element->GetChild(i);
        for (const Kind& k : kKinds) {
            if (!av::platform::EqualsIgnoreCase(child->GetName(), k.element)) continue;
            Log().Trace(k.trace);
            bool radio1 = false;
            if (k.kind == PageKind::ComNav) {
                const std::wstring* value = child->GetAttribute(L"Radio1");
                radio1 = value != nullptr && av::platform::EqualsIgnoreCase(*value, L"true");
            }
            IPage* page = pageFactory_ ? pageFactory_(k.kind, *counter, this, radio1) : nullptr;
            // A page that could not be made takes no id.
            if (page != nullptr) ++*counter;
            AddPage(page, nullptr);
            break;
        }
    }
}

bool CAviaro::AddPage(IPage* page, const void* initParams) {
    Log().Trace(L"CAviaro::AddPage\n");
    if (page == nullptr) {
        Log().Trace(L"CAviaro::AddPage - Page pointer invalid\n");
        return false;
    }
    PagePtr owned(page);
    {
        std::lock_guard<av::Mutex> lock(tablesMutex_);
        if (pages_.count(page->PageId()) != 0) {
            Log().Trace(L"CAviaro::AddPage - Page already Exists\n");
            return false;  // owned destroys it
        }
    }
    page->OnSimInitialize(initParams);
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    pages_.emplace(page->PageId(), std::move(owned));
    return true;
}

void CAviaro::DeletePages() {
    std::map<std::uint32_t, PagePtr> pages;
    {
        std::lock_guard<av::Mutex> lock(tablesMutex_);
        pages.swap(pages_);
    }
    // Destroyed in id order, outside the lock: a destructor may wait for a
    // worker that is itself calling RefreshPage.
    for (auto& [id, page] : pages) page.reset();
}

std::vector<std::uint32_t> CAviaro::PageIds() const {
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    std::vector<std::uint32_t> ids;
    for (const auto& [id, page] : pages_) ids.push_back(id);
    return ids;
}

// ---- the device library ----

bool CAviaro::IsDeviceServiceRunning() { return av::platform::IsServiceRunning(L"Lumirayd"); }

bool CAviaro::InitializeLumiray() {
    HRESULT hr = Lumiray().Initialize(kPluginName);
    Log().TraceResult(L"CAviaro::InitializeLumiray - Lumiray_Initialize", hr);
    if (FAILED(hr)) return false;
    hr = Lumiray().RegisterDeviceCallback(&CAviaro::DeviceChangeCallback, this);
    Log().TraceResult(L"CAviaro::InitializeLumiray - Lumiray_RegisterDeviceCallback", hr);
    if (FAILED(hr)) return false;
    hr = Lumiray().Enumerate(&CAviaro::EnumerateCallback, this);
    Log().TraceResult(L"CAviaro::InitializeLumiray - Lumiray_Enumerate", hr);
    return SUCCEEDED(hr);
}

void CAviaro::FinalizeLumiray() {
    const HRESULT hr = Lumiray().Deinitialize();
    Log().TraceResult(L"CAviaro::FinalizeLumiray - Lumiray_Deinitialize", hr);
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    devices_.clear();
}

void AV_STDCALL CAviaro::DeviceChangeCallback(lumiray::Device device, bool added, void* context) {
    const LiveManager live(context);
    if (live.manager != nullptr) live.manager->OnDeviceChange(device, added);
}

void AV_STDCALL CAviaro::EnumerateCallback(lumiray::Device device, void* context) {
    const LiveManager live(context);
    if (live.manager != nullptr) live.manager->OnDeviceChange(device, true);
}

void AV_STDCALL CAviaro::PageChangeCallback(lumiray::Device device, lumiray::DWord page,
                                            bool setActive, void* context) {
    const LiveManager live(context);
    if (live.manager != nullptr) live.manager->OnPageChange(device, page, setActive);
}

void AV_STDCALL CAviaro::SoftButtonCallback(lumiray::Device device, lumiray::DWord buttons,
                                            void* context) {
    const LiveManager live(context);
    if (live.manager != nullptr) live.manager->OnSoftButtonChange(device, buttons);
}

int CAviaro::CountDevicesOfType(lumiray::Device device) {
    av::Guid type{};
    if (FAILED(Lumiray().GetDeviceType(device, &type))) return 0;
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    int n = 0;
    for (const auto& [handle, record] : devices_) {
        if (record.deviceType == type) ++n;
    }
    return n;
}

void CAviaro::OnDeviceChange(lumiray::Device device, bool added) {
    if (!added) {
        std::lock_guard<av::Mutex> lock(tablesMutex_);
        devices_.erase(device);
        return;
    }
    const int n = CountDevicesOfType(device);
    AddDevice(device);
    // The first device of a type starts on the first page that accepts it, the
    // second device of the type on the second such page, and so on.
    int accepted = 0;
    for (const PagePtr& page : PagesInOrder()) {
        if (!page) continue;
        bool wasActive = false;
        if (!page->AddToDevice(device, accepted == n, &wasActive)) continue;
        if (wasActive) {
            std::lock_guard<av::Mutex> lock(tablesMutex_);
            const auto it = devices_.find(device);
            if (it != devices_.end()) it->second.currentPage = page->PageId();
        }
        ++accepted;
    }
    // A profile's gauge for this unit is shown by the dispatch thread, which
    // alone asks the simulator for a gauge's data and knows the profile.
    // Posted under the lock, so the window cannot go meanwhile; posting calls
    // nothing back.
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    const auto it = devices_.find(device);
    if (it != devices_.end() && it->second.deviceType == CLumirayLibrary::DeviceType_Mira &&
        arrivalWindow_ != nullptr) {
        av::platform::PostWindowMessage(arrivalWindow_, kMiraArrivedMessage, 0, 0);
    }
}

void CAviaro::AddDevice(lumiray::Device device) {
    {
        std::lock_guard<av::Mutex> lock(tablesMutex_);
        if (devices_.count(device) != 0) return;
    }
    HRESULT hr = Lumiray().RegisterPageCallback(device, &CAviaro::PageChangeCallback, this);
    Log().TraceResult(L"CAviaro::AddDevice - Lumiray_RegisterPageCallback", hr);
    if (FAILED(hr)) return;
    hr = Lumiray().RegisterSoftButtonCallback(device, &CAviaro::SoftButtonCallback, this);
    Log().TraceResult(L"CAviaro::AddDevice - Lumiray_RegisterSoftButtonChangeCallback", hr);
    if (FAILED(hr)) return;
    DeviceRecord record;
    hr = Lumiray().GetDeviceType(device, &record.deviceType);
    Log().TraceResult(L"CAviaro::AddDevice - Lumiray_GetDeviceType", hr);
    if (FAILED(hr)) return;
    if (record.deviceType == CLumirayLibrary::DeviceType_Mira) {
        hr = Lumiray().GetSerialNumber(device, record.serialNumber, 16);
        Log().TraceResult(L"CAviaro::AddDevice - Lumiray_GetSerialNumber", hr);
        // Whatever the library left there, the serial is text of at most 15 units.
        if (FAILED(hr)) record.serialNumber[0] = L'\0';
        record.serialNumber[15] = L'\0';
    }
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    devices_.emplace(device, record);
}

void CAviaro::OnPageChange(lumiray::Device device, std::uint32_t page, bool setActive) {
    Log().Trace(L"CAviaro::OnPageChange");
    av::Guid deviceType{};
    PagePtr target;
    {
        std::lock_guard<av::Mutex> lock(tablesMutex_);
        const auto it = devices_.find(device);
        if (it == devices_.end()) return;
        DeviceRecord& record = it->second;
        if (Log().IsOn()) {
            wchar_t line[256];
            std::swprintf(line, 256, L"OnPageChange(%ls, %d, %ls) changed from %d\n",
                          PointerText(device).c_str(), static_cast<int>(page),
                          setActive ? L"TRUE" : L"FALSE", static_cast<int>(record.currentPage));
            Log().Trace(line);
        }
        if (!setActive) {
            record.currentPage = kPageDeactivated;
            return;
        }
        if (record.currentPage == page) {
            Log().Trace(L"CAviaro::OnPageChange - not changed");
            return;
        }
        record.currentPage = page;
        deviceType = record.deviceType;
        const auto p = pages_.find(page);
        if (p == pages_.end()) {
            Log().Trace(L"CAviaro::OnPageChange - page not found");
            return;
        }
        if (!p->second) {
            Log().Trace(L"CAviaro::OnPageChange - page pointer");
            return;
        }
        target = p->second;
    }
    target->OnPageActivated(device);
    target->SendToDevice(device, &deviceType);
    target->SendLedsToDevice(device, &deviceType);
}

void CAviaro::OnSoftButtonChange(lumiray::Device device, std::uint32_t buttons) {
    PagePtr target;
    std::uint32_t pressed;
    {
        std::lock_guard<av::Mutex> lock(tablesMutex_);
        const auto it = devices_.find(device);
        if (it == devices_.end()) return;
        DeviceRecord& record = it->second;
        const std::uint32_t old = record.buttons;
        // A report that repeats the stored state passes the whole state.
        pressed = old == buttons ? buttons : ((old ^ buttons) & buttons);
        record.buttons = buttons;
        const auto p = pages_.find(record.currentPage);
        if (p != pages_.end()) target = p->second;
    }
    if (target) target->OnButtonPress(pressed);
}

void CAviaro::RefreshPage(IPage* page) {
    if (page == nullptr) return;
    std::vector<std::pair<lumiray::Device, av::Guid>> shown;
    {
        std::lock_guard<av::Mutex> lock(tablesMutex_);
        for (const auto& [device, record] : devices_) {
            if (record.currentPage == page->PageId()) shown.emplace_back(device, record.deviceType);
        }
    }
    for (const auto& [device, type] : shown) page->SendToDevice(device, &type);
}

std::map<lumiray::Device, DeviceRecord> CAviaro::Devices() const {
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    return devices_;
}

// ---- saved page names ----

std::wstring CAviaro::GetMiraListPath() const { return CMiraList::GetMiraListPath(); }

void CAviaro::LoadMiraList() {
    CMiraList loaded;
    loaded.Load(GetMiraListPath());
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    pageNames_ = std::move(loaded);
}

std::wstring CAviaro::GetDevicePageName(lumiray::Device device) {
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    const auto it = devices_.find(device);
    if (it == devices_.end()) return std::wstring();
    return pageNames_.Get(profileName_, it->second.serialNumber);
}

void CAviaro::SetDevicePageName(lumiray::Device device, const std::wstring& name) {
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    const auto it = devices_.find(device);
    if (it == devices_.end()) return;
    pageNames_.Set(profileName_, it->second.serialNumber, name);
}

void CAviaro::SaveMiraList() {
    CMiraList snapshot;
    {
        std::lock_guard<av::Mutex> lock(tablesMutex_);
        snapshot = pageNames_;
    }
    snapshot.Save(GetMiraListPath());
}

// ---- the HID panels ----

bool CAviaro::InitializePanels(std::uint32_t* nextId) {
    ForEachPanel([&](IPanel& p) { p.InitSimData(nextId); });
    deviceNotification_ = av::platform::RegisterHidNotifications(Window());
    if (deviceNotification_ == nullptr) return false;
    for (const std::wstring& path : av::platform::EnumerateHidInterfaces()) {
        ForEachPanel([&](IPanel& p) { p.OpenDevice(path.c_str()); });
    }
    return true;
}

// ---- aircraft profiles ----

void CAviaro::OnAircraftLoaded() {
    Log().Trace(L"CAviaro::OnAircraftLoaded");
    RequestAircraftTitle();
}

void CAviaro::RequestAircraftTitle() {
    if (titleDefinition_ == 0) return;
    // Once: the answer comes as a data block under kTitleRequestId.
    const HRESULT hr = Sim().RequestDataOnSimObject(kTitleRequestId, titleDefinition_,
                                                    simconnect::kObjectIdUser,
                                                    simconnect::kPeriodOnce, 0, 0, 0, 0);
    Log().TraceResult(L"CAviaro::RequestAircraftTitle - SimConnect_RequestDataOnSimObject", hr);
}

void CAviaro::OnAircraftTitle(const std::wstring& title) {
    const AircraftProfile* chosen = profiles_.Choose(title);
    if (chosen != nullptr) {
        Log().Trace(L"CAviaro::OnAircraftTitle - \"" + title + L"\" matches Title=\"" +
                    chosen->pattern + L"\": profile \"" + chosen->name + L"\"");
    } else {
        Log().Trace(L"CAviaro::OnAircraftTitle - \"" + title +
                    L"\" matches no Aircraft section: no profile");
    }
    if (chosen == profile_) return;
    ApplyProfile(chosen);
}

std::wstring CAviaro::ProfileName() const {
    std::lock_guard<av::Mutex> lock(tablesMutex_);
    return profileName_;
}

void CAviaro::ApplyProfile(const AircraftProfile* profile) {
    profile_ = profile;
    const std::wstring name = profile != nullptr ? profile->name : std::wstring();
    {
        // From here on the units' page names are this profile's.
        std::lock_guard<av::Mutex> lock(tablesMutex_);
        profileName_ = name;
    }
    Log().Trace(L"CAviaro::ApplyProfile - " +
                (profile != nullptr ? L"profile \"" + name + L"\"" : std::wstring(L"no profile")));

    auto show = [&](GaugePageSlot& slot, const CXmlNode* element) {
        if (slot.shown == element) return;
        slot.shown = element;
        if (PagePtr page = FindPage(slot.id)) page->ShowGauge(element);
    };
    auto slotOf = [&](std::uint32_t id) -> GaugePageSlot* {
        for (GaugePageSlot& slot : gaugePages_) {
            if (slot.id == id) return &slot;
        }
        return nullptr;
    };

    // By order: the profile's i-th gauge on the i-th gauge page; the rest
    // show their own.
    for (std::size_t i = 0; i < gaugePages_.size(); ++i) {
        const bool ordered = profile != nullptr && i < profile->gauges.size();
        show(gaugePages_[i], ordered ? profile->gauges[i] : gaugePages_[i].own);
    }

    struct Unit {
        lumiray::Device device;
        std::wstring serial;
        std::uint32_t page;
    };
    std::vector<Unit> units;
    {
        std::lock_guard<av::Mutex> lock(tablesMutex_);
        for (const auto& [device, record] : devices_) {
            if (record.deviceType == CLumirayLibrary::DeviceType_Mira) {
                units.push_back({device, record.serialNumber, record.currentPage});
            }
        }
    }
    for (const Unit& unit : units) {
        // Back on the page last shown in this profile, when a page shows it.
        std::uint32_t target = unit.page;
        const std::wstring saved = [&] {
            std::lock_guard<av::Mutex> lock(tablesMutex_);
            return pageNames_.Get(name, unit.serial);
        }();
        if (!saved.empty()) {
            for (const GaugePageSlot& slot : gaugePages_) {
                const PagePtr page = FindPage(slot.id);
                if (page && page->GaugeName() == saved) {
                    target = slot.id;
                    break;
                }
            }
        }
        // A gauge for this very unit goes onto the page it shows.
        if (profile != nullptr) {
            for (const auto& [serial, element] : profile->unitGauges) {
                if (serial != unit.serial) continue;
                if (GaugePageSlot* slot = slotOf(target)) {
                    show(*slot, element);
                } else {
                    Log().Trace(L"CAviaro::ApplyProfile - unit " + serial +
                                L" shows no gauge page, its Gauge is skipped");
                }
                break;
            }
        }
        const PagePtr page = FindPage(target);
        if (!page || slotOf(target) == nullptr) continue;
        av::Guid type = CLumirayLibrary::DeviceType_Mira;
        if (target != unit.page) {
            const HRESULT hr = Lumiray().AddPage(unit.device, target, L"CPage_Mira_Gauge",
                                                 lumiray::kPageFlagSetActive);
            Log().TraceResult(L"CAviaro::ApplyProfile - Lumiray_AddPage", hr);
            if (FAILED(hr)) continue;
            {
                std::lock_guard<av::Mutex> lock(tablesMutex_);
                const auto it = devices_.find(unit.device);
                if (it != devices_.end()) it->second.currentPage = target;
            }
            page->OnPageActivated(unit.device);
            page->SendToDevice(unit.device, &type);
            page->SendLedsToDevice(unit.device, &type);
        } else {
            // Its buttons may be others now. Remembered for this profile even
            // if the pilot never turns a page; a gauge without a name (the
            // test gauge) does not overwrite the name of a gauge that was shown.
            page->SendLedsToDevice(unit.device, &type);
            if (!page->GaugeName().empty()) SetDevicePageName(unit.device, page->GaugeName());
        }
        const std::wstring shown = page->GaugeName();
        Log().Trace(L"CAviaro::ApplyProfile - unit " + unit.serial + L" on page " +
                    std::to_wstring(target) + L": " + (shown.empty() ? L"(no name)" : shown));
    }

    const std::wstring lamps = profile != nullptr ? profile->lampProgramming : std::wstring();
    ForEachPanel([&](IPanel& p) { p.UseLampProgramming(lamps); });
}
