// The process-wide binding of the device library. Its path stands in the
// registry (HKLM "SOFTWARE\Orlend\Lumiray", value "LumirayX86"); it is loaded on
// first use and forwards every call. Without the value, the library or an entry
// point, the operation answers E_NOTIMPL and calls nothing.
#pragma once

#include <memory>

#include "platform/module.h"
#include "plugins/lumiray/lumiray_types.h"

// <windows.h> turns DeleteFile into DeleteFileW; the operation keeps its name.
#pragma push_macro("DeleteFile")
#undef DeleteFile

class CLumirayLibrary {
public:
    static constexpr av::Guid DeviceType_Tarvex = lumiray::kDeviceTypeTarvex;
    static constexpr av::Guid DeviceType_Mira = lumiray::kDeviceTypeMira;

    // Which entry points are looked up: the program takes all 23; the media
    // player plug-in takes all but Lumiray_GetSerialNumber.
    enum class EntrySet { Full, WithoutSerialNumber };

    // The one instance; the first call loads the library. Build with
    // AV_LUMIRAY_WITHOUT_SERIAL_NUMBER defined for the plug-in's entry set.
    // The module stays loaded until the process ends.
    static CLumirayLibrary& Instance();

    // A fresh binding made exactly as Instance makes its own (tests). It
    // unloads the library when destroyed.
    static std::unique_ptr<CLumirayLibrary> Load(EntrySet set);

    // A binding over a given entry table instead of the library (tests,
    // in-process stand-in). A missing entry is 0.
    explicit CLumirayLibrary(const lumiray::EntryTable& entries);
    // Replaces the entry points of this binding.
    void UseEntryTable(const lumiray::EntryTable& entries);

    ~CLumirayLibrary();
    CLumirayLibrary(const CLumirayLibrary&) = delete;
    CLumirayLibrary& operator=(const CLumirayLibrary&) = delete;

    // True when the library was loaded or an entry table was given.
    bool IsLoaded() const { return module_ != nullptr || injected_; }
    const lumiray::EntryTable& Entries() const { return entries_; }

    HRESULT Initialize(const wchar_t* pluginName);
    HRESULT Deinitialize();
    HRESULT RegisterDeviceCallback(lumiray::DeviceCallback callback, void* context);
    HRESULT Enumerate(lumiray::EnumerateCallback callback, void* context);
    HRESULT RegisterPageCallback(lumiray::Device device, lumiray::PageCallback callback,
                                 void* context);
    HRESULT RegisterSoftButtonCallback(lumiray::Device device,
                                       lumiray::SoftButtonCallback callback, void* context);
    HRESULT GetDeviceType(lumiray::Device device, av::Guid* type);
    HRESULT GetDeviceInstance(lumiray::Device device, av::Guid* instance);
    HRESULT SetProfile(lumiray::Device device, const wchar_t* profile, lumiray::DWord flags);
    // debugName (callers pass their class name) is for the reader of the code
    // only: the library receives device, page and flags.
    HRESULT AddPage(lumiray::Device device, lumiray::DWord page, const wchar_t* debugName,
                    lumiray::DWord flags);
    HRESULT RemovePage(lumiray::Device device, lumiray::DWord page);
    HRESULT SetLed(lumiray::Device device, lumiray::DWord page, lumiray::DWord index,
                   lumiray::DWord value);
    HRESULT SetString(lumiray::Device device, lumiray::DWord page, lumiray::DWord index,
                      lumiray::DWord length, const wchar_t* text);
    HRESULT SetImage(lumiray::Device device, lumiray::DWord page, lumiray::DWord index,
                     lumiray::DWord size, const void* data);
    HRESULT SetImageFromFile(lumiray::Device device, lumiray::DWord page, lumiray::DWord index,
                             const wchar_t* file, lumiray::DWord flags);
    HRESULT StartServer(lumiray::Device device, lumiray::DWord page, const wchar_t* name,
                        lumiray::DWord flags, void* context);
    HRESULT CloseServer(lumiray::Device device, lumiray::DWord page, lumiray::DWord server);
    HRESULT SendServerMsg(lumiray::Device device, lumiray::DWord page, lumiray::DWord server,
                          lumiray::DWord message, lumiray::DWord wParam, lumiray::DWord lParam,
                          const void* data, lumiray::DWord size, void* context);
    HRESULT SendServerFile(lumiray::Device device, lumiray::DWord page, lumiray::DWord server,
                           lumiray::DWord message, const wchar_t* file, lumiray::DWord offset,
                           lumiray::DWord length, lumiray::DWord flags, const void* header,
                           lumiray::DWord headerSize, void* context);
    HRESULT SaveFile(lumiray::Device device, lumiray::DWord page, lumiray::DWord fileIndex,
                     const wchar_t* file, lumiray::DWord flags, void* context);
    HRESULT DisplayFile(lumiray::Device device, lumiray::DWord page, lumiray::DWord fileIndex,
                        lumiray::DWord flags, void* context);
    HRESULT DeleteFile(lumiray::Device device, lumiray::DWord page, lumiray::DWord fileIndex,
                       void* context);
    HRESULT GetSerialNumber(lumiray::Device device, wchar_t* buffer, lumiray::DWord size);

private:
    explicit CLumirayLibrary(EntrySet set);  // reads the registry and loads the library

    av::platform::ModuleHandle module_ = nullptr;
    bool injected_ = false;
    lumiray::EntryTable entries_;
};

#pragma pop_macro("DeleteFile")
