#include "tools/lumiray_standin/lumiray_standin.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "tools/lumiray_standin/png_writer.h"

#if defined(_WIN32) && defined(AV_STANDIN_DLL)
#define STANDIN_EXPORT extern "C" __declspec(dllexport)
#else
#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using lumiray::Device;
using lumiray::DWord;

namespace standin {
namespace {

constexpr std::uintptr_t kHandleBase = 0x4C00;
constexpr HRESULT kInvalidHandle = static_cast<HRESULT>(0x80070006u);     // E_HANDLE
constexpr HRESULT kBufferTooSmall = static_cast<HRESULT>(0x8007007Au);    // ERROR_INSUFFICIENT_BUFFER
constexpr DWord kTarvexColumns = 16;

// The stand-in's own time in the calls a frame or a line makes (the load
// benchmark takes it off the add-on's CPU): SetImage, SetString, SetLed, per
// tenth of a second of the system clock, so that any window can be summed.
const char* const kCostNames[3] = {"Lumiray_SetImage", "Lumiray_SetString", "Lumiray_SetLed"};
struct CostBucket {
    std::uint64_t calls[3] = {};
    std::uint64_t nanoseconds[3] = {};
};
// Never destroyed: written out while other statics are being destroyed.
av::Mutex& g_costMutex = *new av::Mutex;
// Guarded by g_costMutex; key: ms since 1970 / 100.
std::map<long long, CostBucket>& g_costs = *new std::map<long long, CostBucket>;

class CostTimer {
public:
    explicit CostTimer(int entry) : entry_(entry), start_(std::chrono::steady_clock::now()) {}
    ~CostTimer() {
        const auto spent = std::chrono::steady_clock::now() - start_;
        const long long tenth = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::system_clock::now().time_since_epoch()).count() / 100;
        std::lock_guard<av::Mutex> lock(g_costMutex);
        CostBucket& bucket = g_costs[tenth];
        ++bucket.calls[entry_];
        bucket.nanoseconds[entry_] += static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count());
    }

private:
    int entry_;
    std::chrono::steady_clock::time_point start_;
};

std::string Hex(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(hr));
    return buffer;
}

std::string CrcText(std::uint32_t crc) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc));
    return text;
}

std::string Quoted(const wchar_t* text, std::size_t length) {
    if (text == nullptr) return "null";
    return "\"" + av::platform::ToUtf8(std::wstring(text, length)) + "\"";
}

std::string Trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

bool ParseKind(const std::string& word, DeviceKind& kind) {
    if (av::platform::EqualsIgnoreCase(av::platform::FromUtf8(word), L"tarvex")) {
        kind = DeviceKind::Tarvex;
    } else if (av::platform::EqualsIgnoreCase(av::platform::FromUtf8(word), L"mira")) {
        kind = DeviceKind::Mira;
    } else {
        return false;
    }
    return true;
}

const char* KindName(DeviceKind kind) { return kind == DeviceKind::Tarvex ? "tarvex" : "mira"; }

unsigned long Number(const std::string& word) { return std::strtoul(word.c_str(), nullptr, 0); }

// Milliseconds since 1970 by the system clock, which every library of the
// process shares.
std::string RecordTime() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// A Mira image (bottom-up BGR rows) as a PNG file (top-down RGB rows); an
// image of another size is written black.
bool WriteMiraPng(const std::wstring& path, const std::vector<std::uint8_t>& image) {
    std::vector<std::uint8_t> rgb(lumiray::kMiraImageBytes, 0);
    if (image.size() == lumiray::kMiraImageBytes) {
        const std::size_t stride = lumiray::kMiraWidth * 3;
        for (std::size_t y = 0; y < lumiray::kMiraHeight; ++y) {
            const std::uint8_t* src = image.data() + (lumiray::kMiraHeight - 1 - y) * stride;
            std::uint8_t* dst = rgb.data() + y * stride;
            for (std::size_t x = 0; x < stride; x += 3) {
                dst[x] = src[x + 2];
                dst[x + 1] = src[x + 1];
                dst[x + 2] = src[x];
            }
        }
    }
    return WriteFileBytes(path, EncodePng(lumiray::kMiraWidth, lumiray::kMiraHeight, rgb));
}

}  // namespace

LumirayStandIn& LumirayStandIn::Instance() {
    static LumirayStandIn instance;
    return instance;
}

LumirayStandIn::~LumirayStandIn() {
    // A client that never called Lumiray_Deinitialize: end the thread if it can be joined.
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) StopThread();
    if (thread_.joinable()) thread_.detach();
}

void LumirayStandIn::StopThread() {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard<av::Mutex> lock(mutex_);
    stop_ = false;
}

void LumirayStandIn::SetStrict(bool strict) { strict_ = strict; }

std::unique_lock<std::recursive_mutex> LumirayStandIn::LibraryLock() {
    if (!strict_) return std::unique_lock<std::recursive_mutex>();
    return std::unique_lock<std::recursive_mutex>(libraryLock_);
}

void LumirayStandIn::Reset() {
    StopThread();
    strict_ = false;
    std::lock_guard<av::Mutex> lock(mutex_);
    records_.clear();
    recordFile_.clear();
    recordTime_ = false;
    dumpFolder_.clear();
    frames_ = false;
    quiet_ = false;
    framesWritten_.clear();
    devices_.clear();
    deviceCallback_ = nullptr;
    deviceContext_ = nullptr;
    queue_.clear();
    busy_ = false;
    initialized_ = false;
}

int LumirayStandIn::NewDevice(DeviceKind kind, const std::wstring& serial, bool present) {
    VirtualDevice d;
    d.number = static_cast<int>(devices_.size()) + 1;
    d.kind = kind;
    d.present = present;
    if (serial.empty()) {
        wchar_t buffer[32];
        std::swprintf(buffer, 32, L"%ls%08d", kind == DeviceKind::Tarvex ? L"TRVX" : L"MIRA",
                      d.number);
        d.serial = buffer;
    } else {
        d.serial = serial;
    }
    devices_.push_back(d);
    return d.number;
}

int LumirayStandIn::AddDevice(DeviceKind kind, const std::wstring& serial) {
    std::lock_guard<av::Mutex> lock(mutex_);
    return NewDevice(kind, serial, true);
}

void LumirayStandIn::Enqueue(Command command) {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        queue_.push_back(std::move(command));
    }
    changed_.notify_all();
}

void LumirayStandIn::Arrive(DeviceKind kind, const std::wstring& serial) {
    Command c{{"arrive", KindName(kind)}};
    if (!serial.empty()) c.words.push_back(av::platform::ToUtf8(serial));
    Enqueue(std::move(c));
}

void LumirayStandIn::Remove(int number) { Enqueue(Command{{"remove", std::to_string(number)}}); }

void LumirayStandIn::SetButtons(int number, DWord buttons) {
    Enqueue(Command{{"buttons", std::to_string(number), std::to_string(buttons)}});
}

void LumirayStandIn::ChangePage(int number, DWord page) {
    Enqueue(Command{{"page", std::to_string(number), std::to_string(page)}});
}

void LumirayStandIn::LoadScript(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::vector<std::string> words = Words(Trim(line));
        if (words.empty()) continue;
        DeviceKind kind;
        if (words[0] == "strict") {
            SetStrict(true);
        } else if (words[0] == "frames") {
            std::lock_guard<av::Mutex> lock(mutex_);
            frames_ = true;
        } else if (words[0] == "quiet") {
            std::lock_guard<av::Mutex> lock(mutex_);
            quiet_ = true;
        } else if (words[0] == "device" && words.size() >= 2 && ParseKind(words[1], kind)) {
            AddDevice(kind, words.size() >= 3 ? av::platform::FromUtf8(words[2]) : std::wstring());
        } else if (words[0] == "wait") {
            // The text may hold spaces: keep it whole.
            const std::string t = Trim(line);
            Enqueue(Command{{"wait", Trim(t.substr(4))}});
        } else {
            Enqueue(Command{words});
        }
    }
}

bool LumirayStandIn::LoadScriptFile(const std::string& path) {
    std::string text;
    if (!av::platform::ReadFileBytes(path.c_str(), text)) return false;
    LoadScript(text);
    return true;
}

bool LumirayStandIn::WaitIdle(int milliseconds) {
    std::unique_lock<av::Mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                             [this] { return queue_.empty() && !busy_; });
}

void LumirayStandIn::SetRecordFile(const std::string& path) {
    std::lock_guard<av::Mutex> lock(mutex_);
    recordFile_ = path;
}

void LumirayStandIn::SetRecordTime(bool on) {
    std::lock_guard<av::Mutex> lock(mutex_);
    recordTime_ = on;
}

void LumirayStandIn::SetDumpFolder(const std::wstring& folder) {
    std::lock_guard<av::Mutex> lock(mutex_);
    dumpFolder_ = folder;
}

std::vector<std::string> LumirayStandIn::Records() const {
    std::lock_guard<av::Mutex> lock(mutex_);
    return records_;
}

void LumirayStandIn::Record(const std::string& line) {
    bool waited;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        waited = recordWaiters_ > 0;
        records_.push_back(line);
        if (!recordFile_.empty()) {
            // Appended and closed line by line, so that the record survives a crash.
            if (std::FILE* f = std::fopen(recordFile_.c_str(), "ab")) {
                if (recordTime_) std::fprintf(f, "%s ", RecordTime().c_str());
                std::fprintf(f, "%s\n", line.c_str());
                std::fclose(f);
            }
        }
    }
    // Only a "wait" looks at new lines: the thread is not woken for nothing.
    if (waited) changed_.notify_all();
}

LumirayStandIn::VirtualDevice* LumirayStandIn::Find(Device device) {
    const auto value = reinterpret_cast<std::uintptr_t>(device);
    if (value <= kHandleBase || value > kHandleBase + devices_.size()) return nullptr;
    VirtualDevice& d = devices_[value - kHandleBase - 1];
    return d.present ? &d : nullptr;
}

const LumirayStandIn::VirtualDevice* LumirayStandIn::FindNumber(int number) const {
    if (number < 1 || static_cast<std::size_t>(number) > devices_.size()) return nullptr;
    return &devices_[static_cast<std::size_t>(number) - 1];
}

std::string LumirayStandIn::Describe(Device device) {
    const auto value = reinterpret_cast<std::uintptr_t>(device);
    if (value > kHandleBase && value <= kHandleBase + devices_.size()) {
        return "device=" + std::to_string(value - kHandleBase);
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "device=%p", device);
    return buffer;
}

Device LumirayStandIn::DeviceHandle(int number) const {
    std::lock_guard<av::Mutex> lock(mutex_);
    if (FindNumber(number) == nullptr) return nullptr;
    return reinterpret_cast<Device>(kHandleBase + static_cast<std::uintptr_t>(number));
}

bool LumirayStandIn::GetScreen(int number, Screen& screen) const {
    std::lock_guard<av::Mutex> lock(mutex_);
    const VirtualDevice* d = FindNumber(number);
    if (d == nullptr || !d->present) return false;
    screen = Screen();
    screen.kind = d->kind;
    const auto it = d->pages.find(d->active);
    if (d->active == 0 || it == d->pages.end()) return true;
    screen.page = d->active;
    for (int i = 0; i < 3; ++i) screen.lines[i] = it->second.lines[i];
    screen.image = it->second.image;
    for (int i = 0; i < 6; ++i) screen.leds[i] = it->second.leds[i];
    return true;
}

bool LumirayStandIn::Dump(const std::wstring& folder) const {
    std::vector<std::pair<int, Screen>> screens;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        for (const VirtualDevice& d : devices_) {
            if (d.present) screens.emplace_back(d.number, Screen());
        }
    }
    if (!av::platform::CreateDirectoryPath(folder)) return false;
    bool ok = true;
    for (auto& [number, screen] : screens) {
        if (!GetScreen(number, screen)) continue;
        const std::string base =
            std::string(KindName(screen.kind)) + "-" + std::to_string(number);
        std::string text = screen.page == 0 ? "page none\n"
                                            : "page " + std::to_string(screen.page) + "\n";
        if (screen.kind == DeviceKind::Tarvex) {
            for (const std::wstring& line : screen.lines) {
                text += av::platform::ToUtf8(line);
                text += '\n';
            }
        } else {
            text += "leds";
            for (DWord led : screen.leds) {
                text += ' ';
                text += std::to_string(led);
            }
            text += "\n";
            ok &= WriteMiraPng(
                av::platform::JoinPath(folder, av::platform::FromUtf8(base + ".png")),
                screen.image);
        }
        ok &= WriteFileBytes(av::platform::JoinPath(folder, av::platform::FromUtf8(base + ".txt")),
                             std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    return ok;
}

// The thread: runs queued commands in order, delivering callbacks without the lock.
void LumirayStandIn::Run() {
    for (;;) {
        Command command;
        {
            std::unique_lock<av::Mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            command = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
        }
        Execute(command);
        {
            std::lock_guard<av::Mutex> lock(mutex_);
            busy_ = false;
        }
        changed_.notify_all();
    }
}

void LumirayStandIn::Execute(const Command& command) {
    const std::vector<std::string>& w = command.words;
    const std::string& verb = w[0];
    DeviceKind kind;
    if (verb == "arrive" && w.size() >= 2 && ParseKind(w[1], kind)) {
        int number;
        {
            std::lock_guard<av::Mutex> lock(mutex_);
            number = NewDevice(kind, w.size() >= 3 ? av::platform::FromUtf8(w[2]) : std::wstring(),
                               true);
        }
        DeliverDevice(number, true);
    } else if (verb == "remove" && w.size() == 2) {
        const int number = static_cast<int>(Number(w[1]));
        bool known;
        {
            std::lock_guard<av::Mutex> lock(mutex_);
            VirtualDevice* d = const_cast<VirtualDevice*>(FindNumber(number));
            known = d != nullptr && d->present;
            if (known) {
                d->present = false;
                d->pages.clear();
                d->order.clear();
                d->active = 0;
            }
        }
        if (known) {
            DeliverDevice(number, false);
        } else {
            Record("skip remove " + w[1] + " (no such device)");
        }
    } else if ((verb == "buttons" || verb == "press") && w.size() == 3) {
        const int number = static_cast<int>(Number(w[1]));
        DeliverButtons(number, static_cast<DWord>(Number(w[2])));
        if (verb == "press") DeliverButtons(number, 0);
    } else if (verb == "page" && w.size() == 3) {
        DeliverPage(static_cast<int>(Number(w[1])), w[2]);
    } else if (verb == "wait" && w.size() == 2) {
        std::unique_lock<av::Mutex> lock(mutex_);
        ++recordWaiters_;
        const bool seen = changed_.wait_for(lock, std::chrono::seconds(10), [&] {
            if (stop_) return true;
            for (const std::string& r : records_) {
                if (r.find(w[1]) != std::string::npos) return true;
            }
            return false;
        });
        --recordWaiters_;
        lock.unlock();
        if (!seen) Record("wait timed out: " + w[1]);
    } else if (verb == "sleep" && w.size() == 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(Number(w[1])));
    } else if (verb == "dump") {
        std::wstring folder;
        {
            std::lock_guard<av::Mutex> lock(mutex_);
            folder = dumpFolder_;
        }
        if (folder.empty() || !Dump(folder)) Record("dump failed");
    } else {
        std::string line;
        for (const std::string& word : w) line += (line.empty() ? "" : " ") + word;
        Record("skip unknown script line: " + line);
    }
}

void LumirayStandIn::DeliverDevice(int number, bool added) {
    lumiray::DeviceCallback callback;
    void* context;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        callback = deviceCallback_;
        context = deviceContext_;
    }
    const std::string what = std::string(added ? "added" : "removed") + " device=" +
                             std::to_string(number);
    if (callback == nullptr) {
        Record("skip device " + what + " (no callback)");
        return;
    }
    Record("deliver device " + what);
    const auto held = LibraryLock();
    callback(reinterpret_cast<Device>(kHandleBase + static_cast<std::uintptr_t>(number)), added,
             context);
}

void LumirayStandIn::DeliverButtons(int number, DWord buttons) {
    lumiray::SoftButtonCallback callback = nullptr;
    void* context = nullptr;
    bool known;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        const VirtualDevice* d = FindNumber(number);
        known = d != nullptr && d->present;
        if (known) {
            callback = d->buttonCallback;
            context = d->buttonContext;
        }
    }
    char bits[16];
    std::snprintf(bits, sizeof bits, "0x%04X", static_cast<unsigned>(buttons));
    const std::string what = "buttons device=" + std::to_string(number) + " bits=" + bits;
    if (!known || callback == nullptr) {
        Record("skip " + what + (known ? " (no callback)" : " (no such device)"));
        return;
    }
    Record("deliver " + what);
    const auto held = LibraryLock();
    callback(reinterpret_cast<Device>(kHandleBase + static_cast<std::uintptr_t>(number)), buttons,
             context);
}

void LumirayStandIn::DeliverPage(int number, const std::string& target) {
    lumiray::PageCallback callback = nullptr;
    void* context = nullptr;
    DWord from = 0;
    DWord to = 0;
    std::string problem;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        VirtualDevice* d = const_cast<VirtualDevice*>(FindNumber(number));
        if (d == nullptr || !d->present) {
            problem = "no such device";
        } else if (d->order.empty()) {
            problem = "no pages";
        } else {
            from = d->active;
            if (target == "next" || target == "prev") {
                std::size_t at = 0;
                while (at < d->order.size() && d->order[at] != from) ++at;
                if (at == d->order.size()) {
                    to = d->order.front();
                } else if (target == "next") {
                    to = d->order[(at + 1) % d->order.size()];
                } else {
                    to = d->order[(at + d->order.size() - 1) % d->order.size()];
                }
            } else {
                to = static_cast<DWord>(Number(target));
            }
            if (d->pages.count(to) == 0) {
                problem = "no page " + std::to_string(to);
            } else if (to == from) {
                problem = "already active";
            } else {
                d->active = to;
                callback = d->pageCallback;
                context = d->pageContext;
            }
        }
    }
    if (!problem.empty()) {
        Record("skip page device=" + std::to_string(number) + " " + target + " (" + problem + ")");
        return;
    }
    const Device device = reinterpret_cast<Device>(kHandleBase + static_cast<std::uintptr_t>(number));
    const std::string who = "page device=" + std::to_string(number);
    if (callback == nullptr) {
        Record("skip " + who + " page=" + std::to_string(to) + " (no callback)");
        return;
    }
    const auto held = LibraryLock();
    if (from != 0) {
        Record("deliver " + who + " page=" + std::to_string(from) + " active=0");
        callback(device, from, false, context);
    }
    Record("deliver " + who + " page=" + std::to_string(to) + " active=1");
    callback(device, to, true, context);
}

// Entry points.

HRESULT LumirayStandIn::Initialize(const wchar_t* name) {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        initialized_ = true;
        if (!thread_.joinable()) thread_ = std::thread(&LumirayStandIn::Run, this);
    }
    Record("Lumiray_Initialize name=" + Quoted(name, name ? std::wcslen(name) : 0) +
           " -> 00000000");
    return S_OK;
}

HRESULT LumirayStandIn::Deinitialize() {
    if (std::this_thread::get_id() == thread_.get_id()) {
        Record("Lumiray_Deinitialize (from a callback) -> " + Hex(E_FAIL));
        return E_FAIL;
    }
    StopThread();
    std::wstring folder;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        initialized_ = false;
        deviceCallback_ = nullptr;
        deviceContext_ = nullptr;
        for (VirtualDevice& d : devices_) {
            d.pageCallback = nullptr;
            d.buttonCallback = nullptr;
        }
        folder = dumpFolder_;
    }
    Record("Lumiray_Deinitialize -> 00000000");
    if (!folder.empty() && !Dump(folder)) Record("dump failed");
    return S_OK;
}

HRESULT LumirayStandIn::RegisterDeviceCallback(lumiray::DeviceCallback callback, void* context) {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        deviceCallback_ = callback;
        deviceContext_ = context;
    }
    Record(std::string("Lumiray_RegisterDeviceCallback callback=") + (callback ? "set" : "0") +
           " context=" + (context ? "set" : "0") + " -> 00000000");
    return S_OK;
}

HRESULT LumirayStandIn::Enumerate(lumiray::EnumerateCallback callback, void* context) {
    std::vector<int> present;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        for (const VirtualDevice& d : devices_) {
            if (d.present) present.push_back(d.number);
        }
    }
    const HRESULT result = callback == nullptr ? E_POINTER : S_OK;
    Record(std::string("Lumiray_Enumerate context=") + (context ? "set" : "0") + " -> " +
           Hex(result));
    if (callback == nullptr) return result;
    for (int number : present) {
        Record("report device=" + std::to_string(number));
        callback(reinterpret_cast<Device>(kHandleBase + static_cast<std::uintptr_t>(number)),
                 context);
    }
    return result;
}

template <typename Callback>
HRESULT LumirayStandIn::RegisterPerDevice(const char* entry, Device device, Callback callback,
                                          void* context, Callback VirtualDevice::*callbackField,
                                          void* VirtualDevice::*contextField) {
    HRESULT result = S_OK;
    std::string who;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        who = Describe(device);
        if (VirtualDevice* d = Find(device)) {
            d->*callbackField = callback;
            d->*contextField = context;
        } else {
            result = kInvalidHandle;
        }
    }
    Record(std::string(entry) + " " + who + " callback=" + (callback ? "set" : "0") +
           " context=" + (context ? "set" : "0") + " -> " + Hex(result));
    return result;
}

HRESULT LumirayStandIn::RegisterPageCallback(Device device, lumiray::PageCallback callback,
                                             void* context) {
    return RegisterPerDevice("Lumiray_RegisterPageCallback", device, callback, context,
                             &VirtualDevice::pageCallback, &VirtualDevice::pageContext);
}

HRESULT LumirayStandIn::RegisterSoftButtonCallback(Device device,
                                                   lumiray::SoftButtonCallback callback,
                                                   void* context) {
    return RegisterPerDevice("Lumiray_RegisterSoftButtonCallback", device, callback, context,
                             &VirtualDevice::buttonCallback, &VirtualDevice::buttonContext);
}

HRESULT LumirayStandIn::GetDeviceGuid(Device device, av::Guid* out, bool instance) {
    HRESULT result = S_OK;
    std::string who;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        who = Describe(device);
        VirtualDevice* d = Find(device);
        if (d == nullptr) {
            result = kInvalidHandle;
        } else if (out == nullptr) {
            result = E_POINTER;
        } else if (instance) {
            // A fixed pattern with the device number in the last bytes.
            *out = {0x1B7E0000u + static_cast<std::uint32_t>(d->number), 0x51A5, 0x4D00,
                    {0x80, 0x00, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(d->number)}};
        } else {
            *out = d->kind == DeviceKind::Tarvex ? lumiray::kDeviceTypeTarvex
                                                 : lumiray::kDeviceTypeMira;
        }
    }
    Record(std::string(instance ? "Lumiray_GetDeviceInstance " : "Lumiray_GetDeviceType ") + who +
           " -> " + Hex(result));
    return result;
}

HRESULT LumirayStandIn::AddPage(Device device, DWord page, DWord flags) {
    HRESULT result = S_OK;
    std::string who;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        who = Describe(device);
        if (VirtualDevice* d = Find(device)) {
            if (d->pages.count(page) == 0) {
                d->pages[page] = Page();
                d->order.push_back(page);
            }
            if (flags & lumiray::kPageFlagSetActive) d->active = page;
        } else {
            result = kInvalidHandle;
        }
    }
    Record("Lumiray_AddPage " + who + " page=" + std::to_string(page) +
           " flags=" + std::to_string(flags) + " -> " + Hex(result));
    return result;
}

HRESULT LumirayStandIn::RemovePage(Device device, DWord page) {
    HRESULT result = S_OK;
    std::string who;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        who = Describe(device);
        VirtualDevice* d = Find(device);
        if (d == nullptr) {
            result = kInvalidHandle;
        } else if (d->pages.erase(page) == 0) {
            result = E_INVALIDARG;
        } else {
            std::erase(d->order, page);
            if (d->active == page) d->active = 0;
        }
    }
    Record("Lumiray_RemovePage " + who + " page=" + std::to_string(page) + " -> " + Hex(result));
    return result;
}

HRESULT LumirayStandIn::SetLed(Device device, DWord page, DWord index, DWord value) {
    HRESULT result = S_OK;
    std::string who;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        who = Describe(device);
        VirtualDevice* d = Find(device);
        if (d == nullptr) {
            result = kInvalidHandle;
        } else if (d->kind != DeviceKind::Mira || index < 1 || index > 6 ||
                   d->pages.count(page) == 0) {
            result = E_INVALIDARG;
        } else {
            d->pages[page].leds[index - 1] = value;
        }
    }
    Record("Lumiray_SetLed " + who + " page=" + std::to_string(page) + " index=" +
           std::to_string(index) + " value=" + std::to_string(value) + " -> " + Hex(result));
    return result;
}

HRESULT LumirayStandIn::SetString(Device device, DWord page, DWord index, DWord length,
                                  const wchar_t* text) {
    HRESULT result = S_OK;
    std::string who;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        who = Describe(device);
        VirtualDevice* d = Find(device);
        if (d == nullptr) {
            result = kInvalidHandle;
        } else if (text == nullptr && length > 0) {
            result = E_POINTER;
        } else if (d->kind != DeviceKind::Tarvex || index > 2 || d->pages.count(page) == 0) {
            result = E_INVALIDARG;
        } else {
            // The display has 16 columns; the record below keeps what was sent.
            d->pages[page].lines[index].assign(text, length < kTarvexColumns ? length
                                                                             : kTarvexColumns);
        }
    }
    Record("Lumiray_SetString " + who + " page=" + std::to_string(page) + " index=" +
           std::to_string(index) + " length=" + std::to_string(length) +
           " text=" + Quoted(text, length) + " -> " + Hex(result));
    return result;
}

HRESULT LumirayStandIn::SetImage(Device device, DWord page, DWord index, DWord size,
                                 const void* data) {
    HRESULT result = S_OK;
    std::string who;
    std::uint32_t crc = 0;
    std::wstring framePath;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        who = Describe(device);
        VirtualDevice* d = Find(device);
        if (d == nullptr) {
            result = kInvalidHandle;
        } else if (data == nullptr) {
            result = E_POINTER;
        } else if (d->kind != DeviceKind::Mira || index != 0 || size != lumiray::kMiraImageBytes ||
                   d->pages.count(page) == 0) {
            result = E_INVALIDARG;
        } else if (!quiet_) {
            const auto* bytes = static_cast<const std::uint8_t*>(data);
            d->pages[page].image.assign(bytes, bytes + size);
            crc = Crc32(bytes, size);
            if (frames_ && !dumpFolder_.empty() && framesWritten_.insert(crc).second) {
                framePath = av::platform::JoinPath(
                    dumpFolder_, av::platform::FromUtf8("frame-" + CrcText(crc) + ".png"));
            }
        }
    }
    const std::string crcText = CrcText(crc);
    // Written before the call is recorded, so that a reader of the record finds it.
    if (!framePath.empty() &&
        !(av::platform::CreateDirectoryPath(dumpFolder_) &&
          WriteMiraPng(framePath, std::vector<std::uint8_t>(
                                      static_cast<const std::uint8_t*>(data),
                                      static_cast<const std::uint8_t*>(data) + size)))) {
        Record("frame failed crc=" + crcText);
    }
    Record("Lumiray_SetImage " + who + " page=" + std::to_string(page) + " index=" +
           std::to_string(index) + " size=" + std::to_string(size) + " crc=" + crcText + " -> " +
           Hex(result));
    return result;
}

HRESULT LumirayStandIn::GetSerialNumber(Device device, wchar_t* buffer, DWord size) {
    HRESULT result = S_OK;
    std::string who;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        who = Describe(device);
        VirtualDevice* d = Find(device);
        if (d == nullptr) {
            result = kInvalidHandle;
        } else if (buffer == nullptr) {
            result = E_POINTER;
        } else if (d->serial.size() + 1 > size) {
            if (size > 0) buffer[0] = L'\0';
            result = kBufferTooSmall;
        } else {
            std::memcpy(buffer, d->serial.c_str(), (d->serial.size() + 1) * sizeof(wchar_t));
        }
    }
    Record("Lumiray_GetSerialNumber " + who + " size=" + std::to_string(size) + " -> " +
           Hex(result));
    return result;
}

}  // namespace standin

using standin::LumirayStandIn;

namespace {

// Entry points the program never calls: recorded with their argument count.
HRESULT Unused(const char* name, int arguments) {
    LumirayStandIn::Instance().Record(std::string(name) + " arguments=" +
                                      std::to_string(arguments) + " -> 00000000");
    return S_OK;
}

}  // namespace

STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_Initialize(const wchar_t* name) {
    return LumirayStandIn::Instance().Initialize(name);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_Deinitialize() {
    return LumirayStandIn::Instance().Deinitialize();
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_RegisterDeviceCallback(lumiray::DeviceCallback callback,
                                                                 void* context) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return LumirayStandIn::Instance().RegisterDeviceCallback(callback, context);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_Enumerate(lumiray::EnumerateCallback callback,
                                                    void* context) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return LumirayStandIn::Instance().Enumerate(callback, context);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_RegisterPageCallback(Device device,
                                                               lumiray::PageCallback callback,
                                                               void* context) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return LumirayStandIn::Instance().RegisterPageCallback(device, callback, context);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_RegisterSoftButtonCallback(
    Device device, lumiray::SoftButtonCallback callback, void* context) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return LumirayStandIn::Instance().RegisterSoftButtonCallback(device, callback, context);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_GetDeviceType(Device device, av::Guid* type) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return LumirayStandIn::Instance().GetDeviceGuid(device, type, false);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_GetDeviceInstance(Device device, av::Guid* instance) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return LumirayStandIn::Instance().GetDeviceGuid(device, instance, true);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_SetProfile(Device, const wchar_t*, DWord) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return Unused("Lumiray_SetProfile", 3);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_AddPage(Device device, DWord page, DWord flags) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return LumirayStandIn::Instance().AddPage(device, page, flags);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_RemovePage(Device device, DWord page) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return LumirayStandIn::Instance().RemovePage(device, page);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_SetLed(Device device, DWord page, DWord index,
                                                 DWord value) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    const standin::CostTimer timer(2);
    return LumirayStandIn::Instance().SetLed(device, page, index, value);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_SetString(Device device, DWord page, DWord index,
                                                    DWord length, const wchar_t* text) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    const standin::CostTimer timer(1);
    return LumirayStandIn::Instance().SetString(device, page, index, length, text);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_SetImage(Device device, DWord page, DWord index,
                                                   DWord size, const void* data) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    const standin::CostTimer timer(0);
    return LumirayStandIn::Instance().SetImage(device, page, index, size, data);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_SetImageFromFile(Device, DWord, DWord, const wchar_t*,
                                                           DWord) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return Unused("Lumiray_SetImageFromFile", 5);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_StartServer(Device, DWord, const wchar_t*, DWord,
                                                      void*) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return Unused("Lumiray_StartServer", 5);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_CloseServer(Device, DWord, DWord) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return Unused("Lumiray_CloseServer", 3);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_SendServerMsg(Device, DWord, DWord, DWord, DWord, DWord,
                                                        const void*, DWord, void*) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return Unused("Lumiray_SendServerMsg", 9);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_SendServerFile(Device, DWord, DWord, DWord,
                                                         const wchar_t*, DWord, DWord, DWord,
                                                         const void*, DWord, void*) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return Unused("Lumiray_SendServerFile", 11);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_SaveFile(Device, DWord, DWord, const wchar_t*, DWord,
                                                   void*) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return Unused("Lumiray_SaveFile", 6);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_DisplayFile(Device, DWord, DWord, DWord, void*) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return Unused("Lumiray_DisplayFile", 5);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_DeleteFile(Device, DWord, DWord, void*) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return Unused("Lumiray_DeleteFile", 4);
}
STANDIN_EXPORT HRESULT AV_STDCALL Lumiray_GetSerialNumber(Device device, wchar_t* buffer,
                                                          DWord size) {
    const auto held = LumirayStandIn::Instance().LibraryLock();
    return LumirayStandIn::Instance().GetSerialNumber(device, buffer, size);
}

namespace standin {

lumiray::EntryTable LumirayStandIn::Entries() {
    lumiray::EntryTable t;
    t.initialize = &Lumiray_Initialize;
    t.deinitialize = &Lumiray_Deinitialize;
    t.registerDeviceCallback = &Lumiray_RegisterDeviceCallback;
    t.enumerate = &Lumiray_Enumerate;
    t.registerPageCallback = &Lumiray_RegisterPageCallback;
    t.registerSoftButtonCallback = &Lumiray_RegisterSoftButtonCallback;
    t.getDeviceType = &Lumiray_GetDeviceType;
    t.getDeviceInstance = &Lumiray_GetDeviceInstance;
    t.setProfile = &Lumiray_SetProfile;
    t.addPage = &Lumiray_AddPage;
    t.removePage = &Lumiray_RemovePage;
    t.setLed = &Lumiray_SetLed;
    t.setString = &Lumiray_SetString;
    t.setImage = &Lumiray_SetImage;
    t.setImageFromFile = &Lumiray_SetImageFromFile;
    t.startServer = &Lumiray_StartServer;
    t.closeServer = &Lumiray_CloseServer;
    t.sendServerMsg = &Lumiray_SendServerMsg;
    t.sendServerFile = &Lumiray_SendServerFile;
    t.saveFile = &Lumiray_SaveFile;
    t.displayFile = &Lumiray_DisplayFile;
    t.deleteFile = &Lumiray_DeleteFile;
    t.getSerialNumber = &Lumiray_GetSerialNumber;
    return t;
}

void* LumirayStandIn::Lookup(const char* name) {
    const lumiray::EntryTable t = Entries();
    void* const entries[lumiray::kEntryCount] = {
        reinterpret_cast<void*>(t.initialize),
        reinterpret_cast<void*>(t.deinitialize),
        reinterpret_cast<void*>(t.registerDeviceCallback),
        reinterpret_cast<void*>(t.enumerate),
        reinterpret_cast<void*>(t.registerPageCallback),
        reinterpret_cast<void*>(t.registerSoftButtonCallback),
        reinterpret_cast<void*>(t.getDeviceType),
        reinterpret_cast<void*>(t.getDeviceInstance),
        reinterpret_cast<void*>(t.setProfile),
        reinterpret_cast<void*>(t.addPage),
        reinterpret_cast<void*>(t.removePage),
        reinterpret_cast<void*>(t.setLed),
        reinterpret_cast<void*>(t.setString),
        reinterpret_cast<void*>(t.setImage),
        reinterpret_cast<void*>(t.setImageFromFile),
        reinterpret_cast<void*>(t.startServer),
        reinterpret_cast<void*>(t.closeServer),
        reinterpret_cast<void*>(t.sendServerMsg),
        reinterpret_cast<void*>(t.sendServerFile),
        reinterpret_cast<void*>(t.saveFile),
        reinterpret_cast<void*>(t.displayFile),
        reinterpret_cast<void*>(t.deleteFile),
        reinterpret_cast<void*>(t.getSerialNumber),
    };
    for (int i = 0; i < lumiray::kEntryCount; ++i) {
        if (name != nullptr && std::strcmp(name, lumiray::kEntryNames[i]) == 0) return entries[i];
    }
    return nullptr;
}

bool LumirayStandIn::WriteCosts(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    std::lock_guard<av::Mutex> lock(g_costMutex);
    for (const auto& [tenth, bucket] : g_costs) {
        for (int i = 0; i < 3; ++i) {
            if (bucket.calls[i] == 0) continue;
            std::fprintf(file, "%lld %s calls=%llu ns=%llu\n", tenth * 100, kCostNames[i],
                         static_cast<unsigned long long>(bucket.calls[i]),
                         static_cast<unsigned long long>(bucket.nanoseconds[i]));
        }
    }
    return std::fclose(file) == 0;
}

}  // namespace standin
