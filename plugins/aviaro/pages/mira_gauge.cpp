#include "plugins/aviaro/pages/mira_gauge.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <random>

#include "platform/cab_extract.h"
#include "platform/folder_watch.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "plugins/aviaro/gauge_package/cab_extractor.h"
#include "plugins/aviaro/host/client_events.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/xml/xml_node.h"
#include "plugins/lumiray/lumiray_library.h"

namespace {

CTraceLog& Log() { return CTraceLog::Instance(); }
CSimConnectLibrary& Sim() { return CSimConnectLibrary::Instance(); }
CLumirayLibrary& Lumiray() { return CLumirayLibrary::Instance(); }

using av::platform::kPathSeparator;

const std::wstring* Attribute(const CXmlNode* node, const wchar_t* name) {
    return node != nullptr ? node->GetAttribute(name) : nullptr;
}

using StampedFiles = std::vector<std::pair<std::wstring, av::platform::FileStamp>>;

std::vector<std::wstring> NamesOf(const StampedFiles& files) {
    std::vector<std::wstring> names;
    for (const auto& file : files) names.push_back(file.first);
    return names;
}

// A quiet time after the last change before a file is read again: an editor
// saves in several steps.
constexpr std::uint32_t kSettleMs = 200;

// Whether two frames hold the same bytes, eight at a time: the C runtime's
// memcmp goes byte by byte on some systems (a third of a frame's cost under
// Wine, measured), and the two frames mostly differ late or not at all.
bool SameFrame(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) {
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) return false;
    }
    for (; i < size; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

}  // namespace

// ---- the frame buffer ----

CDibBuffer::CDibBuffer() : section_(kSize, 0) {
    copies_.push_back(std::make_unique<Copy>());
    copies_.back()->bytes.assign(kSize, 0);
    published_ = copies_.back().get();
}

RasterView CDibBuffer::Select() {
    RasterView view;
    // Bottom-up: the top row is the last one in memory.
    view.bits = section_.data() + static_cast<std::size_t>(kHeight - 1) * kRowBytes;
    view.width = kWidth;
    view.height = kHeight;
    view.stride = -static_cast<std::ptrdiff_t>(kRowBytes);
    view.bytesPerPixel = 3;
    return view;
}

bool CDibBuffer::Deselect() {
    Copy* last;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        last = published_;
    }
    // Only Deselect writes a copy's bytes, and one Deselect runs at a time:
    // the published copy is read here without the lock.
    if (SameFrame(last->bytes.data(), section_.data(), kSize)) return false;
    // A send still reading an earlier copy keeps it; a spare one is reused.
    Copy* target = nullptr;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        for (const std::unique_ptr<Copy>& copy : copies_) {
            if (copy.get() != published_ && copy->holders == 0) {
                target = copy.get();
                break;
            }
        }
        if (target == nullptr) {
            copies_.push_back(std::make_unique<Copy>());
            target = copies_.back().get();
            target->bytes.resize(kSize);
        }
    }
    std::memcpy(target->bytes.data(), section_.data(), kSize);
    std::lock_guard<av::Mutex> lock(mutex_);
    published_ = target;
    return true;
}

std::shared_ptr<const std::vector<std::uint8_t>> CDibBuffer::Published() const {
    Copy* copy;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        copy = published_;
        ++copy->holders;
    }
    return std::shared_ptr<const std::vector<std::uint8_t>>(
        &copy->bytes, [this, copy](const std::vector<std::uint8_t>*) { Release(copy); });
}

void CDibBuffer::Release(Copy* copy) const {
    std::lock_guard<av::Mutex> lock(mutex_);
    --copy->holders;
}

// ---- configuration ----

std::uint32_t ParseNumber(const wchar_t* text) {
    if (text == nullptr) return 0;
    std::uint64_t value = 0;
    std::size_t length = std::wcslen(text);
    if (length > 2 && (text[1] == L'x' || text[1] == L'X')) {
        for (const wchar_t* p = text + 2; *p != 0; ++p) {
            int digit;
            if (*p >= L'0' && *p <= L'9') digit = *p - L'0';
            else if (*p >= L'a' && *p <= L'f') digit = *p - L'a' + 10;
            else if (*p >= L'A' && *p <= L'F') digit = *p - L'A' + 10;
            else break;
            value = (value << 4) | static_cast<std::uint64_t>(digit);
        }
    } else {
        const wchar_t* p = text;
        while (*p == L' ' || *p == L'\t' || *p == L'\n') ++p;
        for (; *p >= L'0' && *p <= L'9'; ++p) value = value * 10 + static_cast<std::uint64_t>(*p - L'0');
    }
    return static_cast<std::uint32_t>(value);
}

std::wstring CPage_Mira_Gauge::ReadFsxSetupPath() {
    std::wstring path;
    // FSX is a 32-bit program: on 64-bit Windows its key lives in the 32-bit
    // view, which the x86-64 build must ask for.
    if (!av::platform::ReadRegistryString(
            av::platform::RegistryRoot::LocalMachine,
            L"SOFTWARE\\Microsoft\\Microsoft Games\\flight simulator\\10.0", L"SetupPath", path,
            512, av::platform::RegistryView::Bits32)) {
        return std::wstring();
    }
    if (path.size() > 260) path.resize(260);
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

bool CPage_Mira_Gauge::MakeExtractionFolder(std::wstring& folder) {
    std::wstring temp = av::platform::GetTempFolder();
    if (temp.empty()) return false;
    if (temp.back() != L'\\' && temp.back() != L'/') temp += kPathSeparator;
    // A random (version 4) GUID: unique per page load.
    std::random_device random;
    std::uint32_t words[4];
    for (std::uint32_t& word : words) word = random();
    unsigned char data4[8];
    for (int i = 0; i < 8; ++i) data4[i] = static_cast<unsigned char>(words[2 + i / 4] >> (8 * (i % 4)));
    data4[0] = static_cast<unsigned char>((data4[0] & 0x3F) | 0x80);
    unsigned data2 = words[1] & 0xFFFF;
    unsigned data3 = ((words[1] >> 16) & 0x0FFF) | 0x4000;
    wchar_t name[261];
    int n = std::swprintf(name, 261, L"%ls{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                          temp.c_str(), words[0], data2, data3, data4[0], data4[1], data4[2],
                          data4[3], data4[4], data4[5], data4[6], data4[7]);
    if (n < 0) return false;
    folder = name;
    // The GUID folder itself is made when the first file is written into it.
    std::wstring parent = folder.substr(0, folder.find_last_of(L"\\/"));
    if (!av::platform::DirectoryExists(parent)) av::platform::CreateDirectoryPath(parent);
    return true;
}

bool CPage_Mira_Gauge::ExtractGaugePackage(const std::wstring& cabinetPath,
                                           const std::wstring& folder) {
    CCabExtractor extractor;
    if (!extractor.Initialize()) {
        extractor.Close();
        return false;
    }
    bool ok = extractor.Extract(cabinetPath, folder);
    if (!ok) Log().Trace(extractor.GetErrorTextW());
    extractor.Close();
    return ok;
}

bool CPage_Mira_Gauge::DeleteFolderTree(const std::wstring& folder) {
    return av::platform::DeleteFolderTree(folder);
}

bool CPage_Mira_Gauge::ResolveGaugeSource(const CXmlNode* element, Source& source) {
    if (element == nullptr) return false;
    const std::wstring* rootFolder = Attribute(element, L"RootFolder");
    const bool absolute =
        rootFolder != nullptr && av::platform::EqualsIgnoreCase(*rootFolder, L"Absolute");
    std::wstring root;
    if (absolute) {
        Log().Trace(L"RootFolder=Absolute");
    } else if (rootFolder != nullptr && av::platform::EqualsIgnoreCase(*rootFolder, L"Fsx")) {
        root = ReadFsxSetupPath();
        Log().Trace(L"RootFolder=Fsx");
    } else {
        root = av::platform::GetExecutableFolder();
        Log().Trace(L"RootFolder=Relative");
    }
    const std::wstring* fileAttribute = Attribute(element, L"File");
    const std::wstring file = fileAttribute != nullptr ? *fileAttribute : std::wstring();
    const std::wstring* cabFile = Attribute(element, L"CabFile");
    if (cabFile == nullptr) {
        source.gaugePath = absolute ? file : root + kPathSeparator + file;
    } else {
        source.cabinetPath = absolute ? *cabFile : root + kPathSeparator + *cabFile;
        source.fileInPackage = file;
    }
    return true;
}

bool CPage_Mira_Gauge::ResolveGaugeFile(const CXmlNode* element, std::wstring& gaugePath,
                                        std::wstring& extractionFolder) {
    Source source;
    return ResolveGaugeSource(element, source) && UnpackGaugeSource(source, gaugePath, extractionFolder);
}

bool CPage_Mira_Gauge::UnpackGaugeSource(const Source& source, std::wstring& gaugePath,
                                         std::wstring& extractionFolder) {
    if (source.cabinetPath.empty()) {
        gaugePath = source.gaugePath;
        return true;
    }
    std::wstring folder;
    if (!MakeExtractionFolder(folder)) return false;
    extractionFolder = folder;
    if (!ExtractGaugePackage(source.cabinetPath, folder)) return false;
    gaugePath = folder + kPathSeparator + source.fileInPackage;
    return true;
}

// ---- the page ----

CPage_Mira_Gauge::CPage_Mira_Gauge(std::uint32_t pageId, IPageOwner* owner)
    : IPage(pageId, owner), pageId_(pageId), gauge_(std::make_shared<Gauge>(&pageId_)) {}

CPage_Mira_Gauge::~CPage_Mira_Gauge() {
    StopWatcher();
    CClientEventQueue::Instance().CancelTasks(this);
    StopRenderThread();
    // No device-library call may still read the frame or the renderer.
    std::unique_lock<av::Mutex> lock(callsMutex_);
    closing_ = true;
    callsDone_.wait(lock, [this] { return calls_ == 0; });
}

bool CPage_Mira_Gauge::EnterDeviceCall() {
    std::lock_guard<av::Mutex> lock(callsMutex_);
    if (closing_) return false;
    ++calls_;
    return true;
}

void CPage_Mira_Gauge::LeaveDeviceCall() {
    std::lock_guard<av::Mutex> lock(callsMutex_);
    if (--calls_ == 0) callsDone_.notify_all();
}

std::shared_ptr<CPage_Mira_Gauge::Gauge> CPage_Mira_Gauge::Current() const {
    std::lock_guard<av::Mutex> lock(gaugeMutex_);
    return gauge_;
}

std::uint64_t CPage_Mira_Gauge::FramesDrawn() const {
    std::lock_guard<av::Mutex> lock(stateMutex_);
    return framesDrawn_;
}

void CPage_Mira_Gauge::OnPageActivated(lumiray::Device device) {
    Log().Trace(L"CPage_Mira_Gauge::OnPageActivated");
    if (Owner() != nullptr) Owner()->SetDevicePageName(device, Current()->m_renderer.GetGaugeName());
}

bool CPage_Mira_Gauge::AddToDevice(lumiray::Device device, bool setActive, bool* wasActive) {
    Log().Trace(L"CPage_Mira_Gauge::AddToDevice");
    av::Guid type{};
    const HRESULT typeResult = Lumiray().GetDeviceType(device, &type);
    bool active = setActive;
    const std::wstring gaugeName = Current()->m_renderer.GetGaugeName();
    if (Owner() != nullptr) {
        const std::wstring remembered = Owner()->GetDevicePageName(device);
        if (!remembered.empty()) active = remembered == gaugeName;
    }
    Log().TraceResult(L"CPage_Mira_Gauge::AddToDevice - Lumiray_GetDeviceType", typeResult);
    if (FAILED(typeResult) || !(type == CLumirayLibrary::DeviceType_Mira)) return false;
    const HRESULT hr = Lumiray().AddPage(device, PageId(), L"CPage_Mira_Gauge",
                                         active ? lumiray::kPageFlagSetActive : 0);
    Log().TraceResult(L"CPage_Mira_Gauge::AddToDevice - Lumiray_AddPage", hr);
    if (FAILED(hr)) return false;
    SendToDevice(device, &type);
    SendLedsToDevice(device, &type);
    if (active && Owner() != nullptr) Owner()->SetDevicePageName(device, gaugeName);
    if (wasActive != nullptr) *wasActive = active;
    return true;
}

void CPage_Mira_Gauge::SendToDevice(lumiray::Device device, const av::Guid* deviceType) {
    if (deviceType == nullptr || !(*deviceType == CLumirayLibrary::DeviceType_Mira)) return;
    if (!EnterDeviceCall()) return;
    // No lock is held across the library call: the library may hold its own
    // while it calls back into this page on another thread.
    const std::shared_ptr<const std::vector<std::uint8_t>> frame = frameBuffer_.Published();
    try {
        const HRESULT hr = Lumiray().SetImage(device, PageId(), 0, frameBuffer_.GetSize(),
                                              frame->data());
        if (FAILED(hr)) {
            sendFailed_.store(true);
            Log().TraceResult(L"CPage_Mira_Gauge::SendToDevice - Lumiray_SetImage", hr);
        }
    } catch (...) {
        sendFailed_.store(true);
        av::platform::DebugOutput(L"Exception caught on SetImage\n");
    }
    LeaveDeviceCall();
}

void CPage_Mira_Gauge::SendLedsToDevice(lumiray::Device device, const av::Guid* deviceType) {
    if (deviceType == nullptr || !(*deviceType == CLumirayLibrary::DeviceType_Mira)) return;
    if (!EnterDeviceCall()) return;
    const std::shared_ptr<Gauge> gauge = Current();
    for (int led = 1; led <= 6; ++led) {
        const HRESULT hr = Lumiray().SetLed(device, PageId(), static_cast<lumiray::DWord>(led),
                                            gauge->m_renderer.HasButton(led) ? 1 : 0);
        Log().TraceResult(L"CPage_Mira_Gauge::SendToDevice - Lumiray_SetLed", hr);
    }
    LeaveDeviceCall();
}

void CPage_Mira_Gauge::OnSimInitialize(const void* initParams) {
    Log().Trace(L"CPage_Mira_Gauge::OnSimInitialize");
    Gauge& gauge = *gauge_;
    defineId_ = Sim().NextDefinitionId();
    gauge.variables.SetDefineId(defineId_);
    Sim().SetNotificationGroupPriority(PageId(), 1);
    bool loaded = false;
    std::vector<std::wstring> files;
    if (initParams != nullptr) {
        const CXmlNode* element = static_cast<const GaugePageInitParams*>(initParams)->gauge;
        const std::wstring* timeout = Attribute(element, L"Timeout");
        frameInterval_ = timeout != nullptr ? ParseNumber(timeout->c_str()) : kConfiguredInterval;
        if (ResolveGaugeSource(element, source_)) {
            hasSource_ = true;
            buttonDefinitions_ = ReadButtons(element);
            std::wstring failed;
            loaded = LoadGauge(gauge, files, failed);
        }
    }
    if (!loaded) {
        Log().Trace(L"m_renderer.LoadFromFile failed or pvInitParams was NULL - loading debug data");
        gauge.m_renderer.LoadDebugGauge(gauge.variables);
    }
    gauge.variables.Commit();
    DrawFrame();
    if (hasSource_) {
        // Mending a gauge that did not load brings it, too.
        SetWatchedFiles(std::move(files));
        StartWatcher();
    }
}

std::vector<CPage_Mira_Gauge::ButtonDefinition> CPage_Mira_Gauge::ReadButtons(
    const CXmlNode* element) {
    std::vector<ButtonDefinition> buttons;
    for (std::size_t i = 0; element != nullptr && i < element->GetChildCount(); ++i) {
        const CXmlNode* child = element->GetChild(i);
        if (child == nullptr || child->GetName() != L"Button") continue;
        const std::wstring* id = child->GetAttribute(L"Id");
        const std::wstring* name = child->GetAttribute(L"Name");
        const std::wstring* event = child->GetAttribute(L"Event");
        if (id == nullptr || name == nullptr || event == nullptr) continue;
        const std::wstring* bold = child->GetAttribute(L"Bold");
        const std::wstring* rgb = child->GetAttribute(L"RGB");
        buttons.push_back({static_cast<int>(ParseNumber(id->c_str())), *name, *event,
                           bold != nullptr ? static_cast<int>(ParseNumber(bold->c_str())) : 400,
                           rgb != nullptr ? ParseNumber(rgb->c_str()) : 0xFFFFFFu});
    }
    return buttons;
}

bool CPage_Mira_Gauge::LoadGauge(Gauge& gauge, std::vector<std::wstring>& files,
                                 std::wstring& failed) const {
    files.clear();
    failed.clear();
    files.push_back(av::platform::LocalPath(source_.cabinetPath.empty() ? source_.gaugePath
                                                                         : source_.cabinetPath));
    std::wstring gaugePath;
    std::wstring folder;  // the package unpacked
    if (!UnpackGaugeSource(source_, gaugePath, folder)) {
        failed = source_.cabinetPath;  // only a package can fail here
        if (!folder.empty()) DeleteFolderTree(folder);
        return false;
    }
    const bool loaded = gauge.m_renderer.LoadFromFile(gauge.variables, av::platform::LocalPath(gaugePath));
    for (const ButtonDefinition& b : buttonDefinitions_) {
        gauge.m_renderer.AddButton(b.id, b.name, b.event, b.weight, b.colour);
    }
    // What could not be read, named as the author knows it.
    auto name = [&](const std::wstring& path) {
        if (folder.empty() || path.compare(0, folder.size(), folder) != 0) return path;
        return source_.cabinetPath + path.substr(folder.size());
    };
    auto bitmap = [&](const CGaugeImage& image) {
        if (image.Path().empty()) return;
        if (folder.empty()) files.push_back(av::platform::LocalPath(image.Path()));
        if (!image.IsLoaded() && failed.empty()) failed = av::platform::LocalPath(name(image.Path()));
    };
    const CGaugeRenderer& renderer = gauge.m_renderer;
    renderer.ForEachImage(bitmap);
    // Unreadable or without a background: the file itself (or its bitmap).
    if (!loaded && (failed.empty() || renderer.Background().Path().empty())) failed = av::platform::LocalPath(name(gaugePath));
    if (!folder.empty()) DeleteFolderTree(folder);
    return loaded;
}

bool CPage_Mira_Gauge::DrawFrame() {
    const std::shared_ptr<Gauge> gauge = Current();
    gauge->m_renderer.Render(frameBuffer_.Select());
    return frameBuffer_.Deselect();
}

void CPage_Mira_Gauge::OnSimStart() {
    const HRESULT hr = Sim().RequestDataOnSimObject(PageId(), defineId_, 0, 3, 1, 0, 0, 0);
    Log().TraceResult(L"CPage_Mira_Gauge::OnSimStart - SimConnect_RequestDataOnSimObject", hr);
    requested_ = true;
    if (renderThread_.joinable()) return;
    {
        std::lock_guard<av::Mutex> lock(stateMutex_);
        stop_ = false;
        running_ = true;
    }
    renderThread_ = std::thread(&CPage_Mira_Gauge::RenderThread, this);
}

void CPage_Mira_Gauge::OnSimStop() { StopRenderThread(); }

void CPage_Mira_Gauge::StopRenderThread() {
    if (!renderThread_.joinable()) return;
    std::unique_lock<av::Mutex> lock(stateMutex_);
    stop_ = true;
    stateChanged_.notify_all();
    if (!stateChanged_.wait_for(lock, std::chrono::seconds(30), [this] { return !running_; })) {
        // The thread cannot be ended from outside without leaving the frame or
        // the renderer half-used: it is waited for until it ends by itself.
        av::platform::DebugOutput(L"Aviaro.exe - RenderThread failed to stop in 30s - Terminating it\n");
    }
    lock.unlock();
    renderThread_.join();
}

void CPage_Mira_Gauge::RenderThread() {
    const auto interval = std::chrono::milliseconds(frameInterval_);
    std::unique_lock<av::Mutex> lock(stateMutex_);
    for (;;) {
        // Asleep until the simulator reports new values or the page stops.
        waitingForData_ = true;
        stateChanged_.wait(lock, [this] { return stop_ || dirty_; });
        waitingForData_ = false;
        if (stop_) break;
        Current()->variables.Commit();
        dirty_ = false;
        ++framesDrawn_;
        lock.unlock();
        // A frame byte for byte the one the displays have is not sent again,
        // unless a send of that one failed.
        const bool changed = DrawFrame();
        const bool retry = sendFailed_.exchange(false);
        if ((changed || retry) && Owner() != nullptr) Owner()->RefreshPage(this);
        lock.lock();
        // At most one frame per interval.
        if (stateChanged_.wait_for(lock, interval, [this] { return stop_; })) break;
    }
    running_ = false;
    stateChanged_.notify_all();
}

void CPage_Mira_Gauge::OnSimRecieveData(const void* data, std::uint32_t size) {
    // The dispatch thread, the only one that replaces the gauge: no lock.
    if (!gauge_->variables.OnReceiveData(data, size)) return;
    std::lock_guard<av::Mutex> lock(stateMutex_);
    dirty_ = true;
    // Between two frames the thread looks at dirty when its interval is over.
    if (waitingForData_) stateChanged_.notify_all();
}

void CPage_Mira_Gauge::OnButtonPress(std::uint32_t buttons) {
    struct Row {
        std::uint32_t bit;
        const wchar_t* trace;
        int knob;  // -1: a soft button
        bool sideA;
        int softButton;
    };
    static const Row kRows[] = {
        {2, L"CPage_Mira_Gauge::OnButtonPress(SoftButton_Up)", 0, true, 0},
        {4, L"CPage_Mira_Gauge::OnButtonPress(SoftButton_Down)", 0, false, 0},
        {8, L"CPage_Mira_Gauge::OnButtonPress(SoftButton_Left)", 1, true, 0},
        {16, L"CPage_Mira_Gauge::OnButtonPress(SoftButton_Right)", 1, false, 0},
        {32, L"CPage_Mira_Gauge::OnButtonPress(SoftButton_1)", -1, false, 1},
        {64, L"CPage_Mira_Gauge::OnButtonPress(SoftButton_2)", -1, false, 2},
        {128, L"CPage_Mira_Gauge::OnButtonPress(SoftButton_3)", -1, false, 3},
        {256, L"CPage_Mira_Gauge::OnButtonPress(SoftButton_4)", -1, false, 4},
        {512, L"CPage_Mira_Gauge::OnButtonPress(SoftButton_5)", -1, false, 5},
        {1024, L"CPage_Mira_Gauge::OnButtonPress(SoftButton_6)", -1, false, 6},
    };
    if (!EnterDeviceCall()) return;
    const std::shared_ptr<Gauge> gauge = Current();
    for (const Row& row : kRows) {
        if ((buttons & row.bit) == 0) continue;
        Log().Trace(row.trace);
        if (row.knob >= 0) {
            gauge->m_renderer.OnKnob(row.knob, row.sideA, PageId(), gauge->variables);
        } else {
            gauge->m_renderer.OnSoftButton(row.softButton);
        }
    }
    LeaveDeviceCall();
}

// ---- live reloading ----

void CPage_Mira_Gauge::ReloadGauge() {
    auto gauge = std::make_shared<Gauge>(&pageId_);
    const std::uint32_t defineId = Sim().NextDefinitionId();
    gauge->variables.SetDefineId(defineId);
    std::vector<std::wstring> files;
    std::wstring failed;
    if (!LoadGauge(*gauge, files, failed) || !failed.empty()) {
        Log().Trace(L"CPage_Mira_Gauge::ReloadGauge - " + failed +
                    L" could not be read, the gauge is kept");
        // Mending the shown gauge's files or the ones this try named brings
        // the next try.
        std::vector<std::wstring> both = WatchedFiles();
        for (std::wstring& file : files) {
            if (std::find(both.begin(), both.end(), file) == both.end()) both.push_back(std::move(file));
        }
        SetWatchedFiles(std::move(both));
        return;
    }
    Log().Trace(L"CPage_Mira_Gauge::ReloadGauge - " +
                (source_.cabinetPath.empty() ? source_.gaugePath : source_.cabinetPath) +
                L" reloaded");
    InstallGauge(std::move(gauge), defineId, std::move(files),
                 L"CPage_Mira_Gauge::ReloadGauge - SimConnect_RequestDataOnSimObject");
}

void CPage_Mira_Gauge::ShowGauge(const CXmlNode* element) {
    Source source;
    hasSource_ = ResolveGaugeSource(element, source);
    source_ = source;
    buttonDefinitions_ = ReadButtons(element);
    auto gauge = std::make_shared<Gauge>(&pageId_);
    const std::uint32_t defineId = Sim().NextDefinitionId();
    gauge->variables.SetDefineId(defineId);
    std::vector<std::wstring> files;
    std::wstring failed;
    if (!hasSource_ || !LoadGauge(*gauge, files, failed)) {
        Log().Trace(L"CPage_Mira_Gauge::ShowGauge - " +
                    (failed.empty() ? std::wstring(L"the gauge") : failed) +
                    L" could not be read, showing the test gauge");
        gauge->m_renderer.LoadDebugGauge(gauge->variables);
    } else {
        Log().Trace(L"CPage_Mira_Gauge::ShowGauge - " + gauge->m_renderer.GetGaugeName() +
                    L" from " +
                    (source_.cabinetPath.empty() ? source_.gaugePath : source_.cabinetPath));
    }
    InstallGauge(std::move(gauge), defineId, std::move(files),
                 L"CPage_Mira_Gauge::ShowGauge - SimConnect_RequestDataOnSimObject");
    // Mending a gauge that did not load brings it, too.
    if (hasSource_) StartWatcher();
}

void CPage_Mira_Gauge::InstallGauge(std::shared_ptr<Gauge> gauge, std::uint32_t defineId,
                                    std::vector<std::wstring> files, const wchar_t* requestLabel) {
    gauge->variables.Commit();
    std::shared_ptr<Gauge> old;
    {
        std::lock_guard<av::Mutex> lock(gaugeMutex_);
        old = std::move(gauge_);
        gauge_ = gauge;
        defineId_ = defineId;
    }
    // The same request id: the simulator replaces the request for the old
    // definition, whose blocks stop.
    if (requested_) {
        const HRESULT hr = Sim().RequestDataOnSimObject(PageId(), defineId, 0, 3, 1, 0, 0, 0);
        Log().TraceResult(requestLabel, hr);
    }
    SetWatchedFiles(std::move(files));
    if (renderThread_.joinable()) {
        std::lock_guard<av::Mutex> lock(stateMutex_);
        dirty_ = true;
        stateChanged_.notify_all();
    } else {
        DrawFrame();
        if (Owner() != nullptr) Owner()->RefreshPage(this);
    }
    // The old gauge goes here, or with the last thread still using it.
}

std::vector<std::wstring> CPage_Mira_Gauge::WatchedFiles() const {
    std::lock_guard<av::Mutex> lock(watchMutex_);
    return NamesOf(watchFiles_);
}

void CPage_Mira_Gauge::SetWatchedFiles(std::vector<std::wstring> files) {
    // Stamped right after reading, before the lock.
    StampedFiles stamped;
    for (std::wstring& file : files) {
        const av::platform::FileStamp stamp = av::platform::GetFileStamp(file);
        stamped.emplace_back(std::move(file), stamp);
    }
    std::lock_guard<av::Mutex> lock(watchMutex_);
    const bool moved = av::platform::FoldersOfFiles(NamesOf(watchFiles_)) != av::platform::FoldersOfFiles(NamesOf(stamped));
    watchFiles_ = std::move(stamped);
    ++watchGeneration_;
    // Other folders: the watcher opens them anew.
    if (moved && watch_ != nullptr) av::platform::FolderWatchStop(watch_);
    watchWake_.notify_all();
}

void CPage_Mira_Gauge::StartWatcher() {
    if (watcher_.joinable()) return;
    {
        std::lock_guard<av::Mutex> lock(watchMutex_);
        watchStop_ = false;
    }
    watcher_ = std::thread(&CPage_Mira_Gauge::WatchLoop, this);
}

void CPage_Mira_Gauge::StopWatcher() {
    if (!watcher_.joinable()) return;
    {
        std::lock_guard<av::Mutex> lock(watchMutex_);
        watchStop_ = true;
        if (watch_ != nullptr) av::platform::FolderWatchStop(watch_);
        watchWake_.notify_all();
    }
    watcher_.join();
}

void CPage_Mira_Gauge::WatchLoop() {
    using av::platform::FolderWatchResult;
    StampedFiles stamps;  // as last read
    std::uint64_t generation = 0;
    // Takes a new list of files; those followed already keep the stamp they
    // had when the change was seen, so a change made while they were being
    // read is seen again. The caller holds watchMutex_.
    auto take = [&] {
        StampedFiles next = watchFiles_;
        for (auto& [file, stamp] : next) {
            const auto it = std::find_if(stamps.begin(), stamps.end(),
                                         [&](const auto& s) { return s.first == file; });
            if (it != stamps.end()) stamp = it->second;
        }
        stamps.swap(next);
        generation = watchGeneration_;
    };
    // Asks the dispatch thread for a reload when a file is not as last read;
    // loading registers variables and maps events, that thread's work.
    auto check = [&] {
        bool changed = false;
        for (auto& [file, stamp] : stamps) {
            const av::platform::FileStamp now = av::platform::GetFileStamp(file);
            if (now == stamp) continue;
            stamp = now;
            changed = true;
        }
        if (changed) CClientEventQueue::Instance().PostTask(this, [this] { ReloadGauge(); });
    };
    for (;;) {
        {
            std::lock_guard<av::Mutex> lock(watchMutex_);
            if (watchStop_) break;
            take();
        }
        // Each folder on its own: a change in a sub-folder is not reported
        // with its parent's on every system.
        av::Handle watch = av::platform::FolderWatchOpenForFiles(NamesOf(stamps));
        {
            std::unique_lock<av::Mutex> lock(watchMutex_);
            if (watchStop_) {
                av::platform::FolderWatchClose(watch);
                break;
            }
            if (watch == nullptr || watchGeneration_ != generation) {
                av::platform::FolderWatchClose(watch);
                // No folder there (yet): look again now and then, on this thread.
                watchWake_.wait_for(lock, std::chrono::seconds(2), [&] {
                    return watchStop_ || watchGeneration_ != generation;
                });
                continue;
            }
            watch_ = watch;
        }
        check();  // what changed before the watch was open
        for (;;) {
            if (av::platform::FolderWatchWait(watch, 0xFFFFFFFFu) != FolderWatchResult::Changed) break;
            FolderWatchResult settled;
            do {
                settled = av::platform::FolderWatchWait(watch, kSettleMs);
            } while (settled == FolderWatchResult::Changed);
            if (settled == FolderWatchResult::Stopped) break;
            {
                std::lock_guard<av::Mutex> lock(watchMutex_);
                if (watchGeneration_ != generation) take();
            }
            check();
        }
        std::unique_lock<av::Mutex> lock(watchMutex_);
        watch_ = nullptr;
        av::platform::FolderWatchClose(watch);
        if (watchStop_) break;
        // A watch that failed by itself (its folder removed) is opened again
        // after a while; one stopped for other folders at once.
        watchWake_.wait_for(lock, std::chrono::seconds(2), [&] {
            return watchStop_ || watchGeneration_ != generation;
        });
    }
}
