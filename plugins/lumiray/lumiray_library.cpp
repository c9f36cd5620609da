#include "plugins/lumiray/lumiray_library.h"

#include <string>

#include "platform/registry.h"

#pragma push_macro("DeleteFile")
#undef DeleteFile

using lumiray::Device;
using lumiray::DWord;

namespace {

const wchar_t kLibraryKey[] = L"SOFTWARE\\Orlend\\Lumiray";
const wchar_t kLibraryValue[] = L"LumirayX86";
// The path is read into 512 units of which the last is always the terminator,
// offering the registry 1022 bytes.
constexpr std::size_t kPathUnits = 511;

template <typename Fn>
void Resolve(av::platform::ModuleHandle module, int index, Fn& entry) {
    entry = reinterpret_cast<Fn>(av::platform::GetModuleSymbol(module, lumiray::kEntryNames[index]));
}

}  // namespace

CLumirayLibrary& CLumirayLibrary::Instance() {
#if defined(AV_LUMIRAY_WITHOUT_SERIAL_NUMBER)
    constexpr EntrySet kSet = EntrySet::WithoutSerialNumber;
#else
    constexpr EntrySet kSet = EntrySet::Full;
#endif
    // Never destroyed: the library's own thread may still call back while the
    // process ends, so its code stays mapped until the system unloads it.
    static CLumirayLibrary* const library = new CLumirayLibrary(kSet);
    return *library;
}

std::unique_ptr<CLumirayLibrary> CLumirayLibrary::Load(EntrySet set) {
    return std::unique_ptr<CLumirayLibrary>(new CLumirayLibrary(set));
}

CLumirayLibrary::CLumirayLibrary(EntrySet set) {
    std::wstring path;
    if (!av::platform::ReadRegistryString(av::platform::RegistryRoot::LocalMachine, kLibraryKey,
                                          kLibraryValue, path, kPathUnits)) {
        return;
    }
    module_ = av::platform::LoadModule(path.c_str());
    if (module_ == nullptr) return;
    Resolve(module_, 0, entries_.initialize);
    Resolve(module_, 1, entries_.deinitialize);
    Resolve(module_, 2, entries_.registerDeviceCallback);
    Resolve(module_, 3, entries_.enumerate);
    Resolve(module_, 4, entries_.registerPageCallback);
    Resolve(module_, 5, entries_.registerSoftButtonCallback);
    Resolve(module_, 6, entries_.getDeviceType);
    Resolve(module_, 7, entries_.getDeviceInstance);
    Resolve(module_, 8, entries_.setProfile);
    Resolve(module_, 9, entries_.addPage);
    Resolve(module_, 10, entries_.removePage);
    Resolve(module_, 11, entries_.setLed);
    Resolve(module_, 12, entries_.setString);
    Resolve(module_, 13, entries_.setImage);
    Resolve(module_, 14, entries_.setImageFromFile);
    Resolve(module_, 15, entries_.startServer);
    Resolve(module_, 16, entries_.closeServer);
    Resolve(module_, 17, entries_.sendServerMsg);
    Resolve(module_, 18, entries_.sendServerFile);
    Resolve(module_, 19, entries_.saveFile);
    Resolve(module_, 20, entries_.displayFile);
    Resolve(module_, 21, entries_.deleteFile);
    if (set == EntrySet::Full) Resolve(module_, 22, entries_.getSerialNumber);
}

CLumirayLibrary::CLumirayLibrary(const lumiray::EntryTable& entries)
    : injected_(true), entries_(entries) {}

void CLumirayLibrary::UseEntryTable(const lumiray::EntryTable& entries) {
    entries_ = entries;
    injected_ = true;
}

CLumirayLibrary::~CLumirayLibrary() { av::platform::UnloadModule(module_); }

// Each operation answers E_NOTIMPL without calling anything when its entry point
// is missing; otherwise the library's result is returned unchanged.

HRESULT CLumirayLibrary::Initialize(const wchar_t* pluginName) {
    if (entries_.initialize == nullptr) return E_NOTIMPL;
    return entries_.initialize(pluginName);
}

HRESULT CLumirayLibrary::Deinitialize() {
    if (entries_.deinitialize == nullptr) return E_NOTIMPL;
    return entries_.deinitialize();
}

HRESULT CLumirayLibrary::RegisterDeviceCallback(lumiray::DeviceCallback callback, void* context) {
    if (entries_.registerDeviceCallback == nullptr) return E_NOTIMPL;
    return entries_.registerDeviceCallback(callback, context);
}

HRESULT CLumirayLibrary::Enumerate(lumiray::EnumerateCallback callback, void* context) {
    if (entries_.enumerate == nullptr) return E_NOTIMPL;
    return entries_.enumerate(callback, context);
}

HRESULT CLumirayLibrary::RegisterPageCallback(Device device, lumiray::PageCallback callback,
                                              void* context) {
    if (entries_.registerPageCallback == nullptr) return E_NOTIMPL;
    return entries_.registerPageCallback(device, callback, context);
}

HRESULT CLumirayLibrary::RegisterSoftButtonCallback(Device device,
                                                    lumiray::SoftButtonCallback callback,
                                                    void* context) {
    if (entries_.registerSoftButtonCallback == nullptr) return E_NOTIMPL;
    return entries_.registerSoftButtonCallback(device, callback, context);
}

HRESULT CLumirayLibrary::GetDeviceType(Device device, av::Guid* type) {
    if (entries_.getDeviceType == nullptr) return E_NOTIMPL;
    return entries_.getDeviceType(device, type);
}

HRESULT CLumirayLibrary::GetDeviceInstance(Device device, av::Guid* instance) {
    if (entries_.getDeviceInstance == nullptr) return E_NOTIMPL;
    return entries_.getDeviceInstance(device, instance);
}

HRESULT CLumirayLibrary::SetProfile(Device device, const wchar_t* profile, DWord flags) {
    if (entries_.setProfile == nullptr) return E_NOTIMPL;
    return entries_.setProfile(device, profile, flags);
}

HRESULT CLumirayLibrary::AddPage(Device device, DWord page, const wchar_t*, DWord flags) {
    if (entries_.addPage == nullptr) return E_NOTIMPL;
    return entries_.addPage(device, page, flags);
}

HRESULT CLumirayLibrary::RemovePage(Device device, DWord page) {
    if (entries_.removePage == nullptr) return E_NOTIMPL;
    return entries_.removePage(device, page);
}

HRESULT CLumirayLibrary::SetLed(Device device, DWord page, DWord index, DWord value) {
    if (entries_.setLed == nullptr) return E_NOTIMPL;
    return entries_.setLed(device, page, index, value);
}

HRESULT CLumirayLibrary::SetString(Device device, DWord page, DWord index, DWord length,
                                   const wchar_t* text) {
    if (entries_.setString == nullptr) return E_NOTIMPL;
    return entries_.setString(device, page, index, length, text);
}

HRESULT CLumirayLibrary::SetImage(Device device, DWord page, DWord index, DWord size,
                                  const void* data) {
    if (entries_.setImage == nullptr) return E_NOTIMPL;
    return entries_.setImage(device, page, index, size, data);
}

HRESULT CLumirayLibrary::SetImageFromFile(Device device, DWord page, DWord index,
                                          const wchar_t* file, DWord flags) {
    if (entries_.setImageFromFile == nullptr) return E_NOTIMPL;
    return entries_.setImageFromFile(device, page, index, file, flags);
}

HRESULT CLumirayLibrary::StartServer(Device device, DWord page, const wchar_t* name, DWord flags,
                                     void* context) {
    if (entries_.startServer == nullptr) return E_NOTIMPL;
    return entries_.startServer(device, page, name, flags, context);
}

HRESULT CLumirayLibrary::CloseServer(Device device, DWord page, DWord server) {
    if (entries_.closeServer == nullptr) return E_NOTIMPL;
    return entries_.closeServer(device, page, server);
}

HRESULT CLumirayLibrary::SendServerMsg(Device device, DWord page, DWord server, DWord message,
                                       DWord wParam, DWord lParam, const void* data, DWord size,
                                       void* context) {
    if (entries_.sendServerMsg == nullptr) return E_NOTIMPL;
    return entries_.sendServerMsg(device, page, server, message, wParam, lParam, data, size,
                                  context);
}

HRESULT CLumirayLibrary::SendServerFile(Device device, DWord page, DWord server, DWord message,
                                        const wchar_t* file, DWord offset, DWord length,
                                        DWord flags, const void* header, DWord headerSize,
                                        void* context) {
    if (entries_.sendServerFile == nullptr) return E_NOTIMPL;
    return entries_.sendServerFile(device, page, server, message, file, offset, length, flags,
                                   header, headerSize, context);
}

HRESULT CLumirayLibrary::SaveFile(Device device, DWord page, DWord fileIndex, const wchar_t* file,
                                  DWord flags, void* context) {
    if (entries_.saveFile == nullptr) return E_NOTIMPL;
    return entries_.saveFile(device, page, fileIndex, file, flags, context);
}

HRESULT CLumirayLibrary::DisplayFile(Device device, DWord page, DWord fileIndex, DWord flags,
                                     void* context) {
    if (entries_.displayFile == nullptr) return E_NOTIMPL;
    return entries_.displayFile(device, page, fileIndex, flags, context);
}

HRESULT CLumirayLibrary::DeleteFile(Device device, DWord page, DWord fileIndex, void* context) {
    if (entries_.deleteFile == nullptr) return E_NOTIMPL;
    return entries_.deleteFile(device, page, fileIndex, context);
}

HRESULT CLumirayLibrary::GetSerialNumber(Device device, wchar_t* buffer, DWord size) {
    if (entries_.getSerialNumber == nullptr) return E_NOTIMPL;
    return entries_.getSerialNumber(device, buffer, size);
}

#pragma pop_macro("DeleteFile")
