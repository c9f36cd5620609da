#include "tests/manager/fake_lumiray.h"

#include "platform/text.h"

namespace {

using lumiray::Device;
using lumiray::DWord;

FakeLumiray& F() { return FakeLumiray::Get(); }

HRESULT AV_STDCALL Initialize(const wchar_t* name) {
    const std::lock_guard<std::recursive_mutex> held(F().library);
    F().Record("Initialize " + av::platform::ToUtf8(name));
    return S_OK;
}
HRESULT AV_STDCALL Deinitialize() {
    const std::lock_guard<std::recursive_mutex> held(F().library);
    F().Record("Deinitialize");
    return S_OK;
}
HRESULT AV_STDCALL RegisterDeviceCallback(lumiray::DeviceCallback cb, void* ctx) {
    const std::lock_guard<std::recursive_mutex> held(F().library);
    F().Record("RegisterDeviceCallback");
    std::lock_guard<std::mutex> lock(F().mutex);
    F().deviceCallback = cb;
    F().deviceContext = ctx;
    return S_OK;
}
HRESULT AV_STDCALL Enumerate(lumiray::EnumerateCallback cb, void* ctx) {
    const std::lock_guard<std::recursive_mutex> held(F().library);
    F().Record("Enumerate");
    for (const auto& [d, f] : F().present) cb(d, ctx);
    return S_OK;
}
HRESULT AV_STDCALL RegisterPageCallback(Device d, lumiray::PageCallback cb, void* ctx) {
    const std::lock_guard<std::recursive_mutex> held(F().library);
    F().Record("RegisterPageCallback " + DeviceName(d));
    std::lock_guard<std::mutex> lock(F().mutex);
    if (F().known[d].failPageCallback) return E_FAIL;
    F().pageCallbacks[d] = {cb, ctx};
    return S_OK;
}
HRESULT AV_STDCALL RegisterSoftButtonCallback(Device d, lumiray::SoftButtonCallback cb, void* ctx) {
    const std::lock_guard<std::recursive_mutex> held(F().library);
    F().Record("RegisterSoftButtonCallback " + DeviceName(d));
    std::lock_guard<std::mutex> lock(F().mutex);
    F().buttonCallbacks[d] = {cb, ctx};
    return S_OK;
}
HRESULT AV_STDCALL GetDeviceType(Device d, av::Guid* type) {
    const std::lock_guard<std::recursive_mutex> held(F().library);
    std::lock_guard<std::mutex> lock(F().mutex);
    const auto it = F().known.find(d);
    if (it == F().known.end()) return E_FAIL;
    *type = it->second.type;
    return S_OK;
}
HRESULT AV_STDCALL AddPage(Device d, DWord page, DWord flags) {
    const std::lock_guard<std::recursive_mutex> held(F().library);
    F().Record("AddPage " + DeviceName(d) + " " + std::to_string(page) + " " +
               std::to_string(flags));
    return S_OK;
}
HRESULT AV_STDCALL SetString(Device d, DWord page, DWord index, DWord length, const wchar_t* text) {
    const std::lock_guard<std::recursive_mutex> held(F().library);
    F().Record("SetString " + DeviceName(d) + " " + std::to_string(page) + " " +
               std::to_string(index) + " " + av::platform::ToUtf8(std::wstring(text, length)));
    return S_OK;
}
HRESULT AV_STDCALL GetSerialNumber(Device d, wchar_t* buffer, DWord size) {
    const std::lock_guard<std::recursive_mutex> held(F().library);
    std::lock_guard<std::mutex> lock(F().mutex);
    const std::wstring& serial = F().known[d].serial;
    if (serial == L"<fail>") return E_FAIL;
    // Fills the whole buffer when the serial is as long as it: no terminator.
    for (DWord i = 0; i < size; ++i) buffer[i] = i < serial.size() ? serial[i] : L'\0';
    return S_OK;
}

}  // namespace

std::string DeviceName(lumiray::Device d) {
    return "dev" + std::to_string(reinterpret_cast<std::uintptr_t>(d));
}

FakeLumiray& FakeLumiray::Get() {
    static FakeLumiray fake;
    return fake;
}

void FakeLumiray::Reset() {
    std::lock_guard<std::mutex> lock(mutex);
    present.clear();
    known.clear();
    calls_.clear();
    deviceCallback = nullptr;
    deviceContext = nullptr;
    pageCallbacks.clear();
    buttonCallbacks.clear();
}

lumiray::EntryTable FakeLumiray::Entries() const {
    lumiray::EntryTable t;
    t.initialize = &Initialize;
    t.deinitialize = &Deinitialize;
    t.registerDeviceCallback = &RegisterDeviceCallback;
    t.enumerate = &Enumerate;
    t.registerPageCallback = &RegisterPageCallback;
    t.registerSoftButtonCallback = &RegisterSoftButtonCallback;
    t.getDeviceType = &GetDeviceType;
    t.addPage = &AddPage;
    t.setString = &SetString;
    t.getSerialNumber = &GetSerialNumber;
    return t;
}

void FakeLumiray::Record(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    calls_.push_back(line);
}

std::vector<std::string> FakeLumiray::Calls() const {
    std::lock_guard<std::mutex> lock(mutex);
    return calls_;
}

void FakeLumiray::ClearCalls() {
    std::lock_guard<std::mutex> lock(mutex);
    calls_.clear();
}

void FakeLumiray::FirePage(lumiray::Device d, lumiray::DWord page, bool active) {
    std::pair<lumiray::PageCallback, void*> cb;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = pageCallbacks.find(d);
        if (it == pageCallbacks.end()) return;
        cb = it->second;
    }
    const std::lock_guard<std::recursive_mutex> held(library);
    cb.first(d, page, active, cb.second);
}

void FakeLumiray::FireButtons(lumiray::Device d, lumiray::DWord buttons) {
    std::pair<lumiray::SoftButtonCallback, void*> cb;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = buttonCallbacks.find(d);
        if (it == buttonCallbacks.end()) return;
        cb = it->second;
    }
    const std::lock_guard<std::recursive_mutex> held(library);
    cb.first(d, buttons, cb.second);
}
