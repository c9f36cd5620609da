#include "plugins/aviaro/host/simconnect_library.h"

#include <vector>

#include "platform/module.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "plugins/aviaro/host/trace_log.h"

using simconnect::DWord;

namespace {

template <typename Fn>
void Resolve(void* module, int index, Fn& entry) {
    entry = reinterpret_cast<Fn>(av::platform::GetModuleSymbol(module, simconnect::kEntryNames[index]));
}

// The simulators install SimConnect.dll only as this shared assembly; a program
// without a manifest finds it only through an activation context that names one
// of its versions. Newest first (docs/simconnect-loading.md says where each comes
// from): FSX Steam Edition, FSX SP2 and Acceleration, FSX SP1, FSX RTM. Prepar3D
// installs the FSX ones for FSX clients.
constexpr const wchar_t* kAssemblyName = L"Microsoft.FlightSimulator.SimConnect";
constexpr const wchar_t* kAssemblyArchitecture = L"x86";
constexpr const wchar_t* kAssemblyPublicKeyToken = L"67c7c14424d61b5b";
constexpr const wchar_t* kAssemblyVersions[] = {
    L"10.0.62615.0",
    L"10.0.61259.0",
    L"10.0.61242.0",
    L"10.0.60905.0",
};
constexpr const wchar_t* kFileName = L"SimConnect.dll";

// The 64-bit simulators' SDK folders, named by the variables their SDK users
// set (docs/simconnect-loading.md). The 2020 SDK first: the 2024 simulator runs
// add-ons made for 2020, while a 2024 library is not known to serve 2020.
constexpr const wchar_t* kSdkVariables[] = {
    L"MSFS_SDK",
    L"MSFS2024_SDK",
};
constexpr const wchar_t* kSdkLibrary = L"SimConnect SDK\\lib\\SimConnect.dll";

// Windows paths whatever the host: this order serves the x86-64 Windows build.
std::wstring WindowsPath(std::wstring folder, const wchar_t* file) {
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return folder + L"\\" + file;
}

// Exactly this file; a path that does not load is kept for the trace.
void* LoadFromPath(const simconnect::ModuleLoaders& loaders, const std::wstring& path,
                   std::vector<std::wstring>& tried) {
    void* module = loaders.fromPath != nullptr ? loaders.fromPath(path.c_str()) : nullptr;
    if (module == nullptr) tried.push_back(path);
    return module;
}

void* LoadFromSideBySide(const simconnect::ModuleLoaders& loaders) {
    for (const wchar_t* version : kAssemblyVersions) {
        if (void* module = loaders.sideBySide(kAssemblyName, version, kAssemblyArchitecture,
                                              kAssemblyPublicKeyToken, kFileName)) {
            return module;
        }
    }
    return loaders.byName(kFileName);
}

// A run that finds the library traces nothing here, so its trace is the i686
// build's; one that finds none names every file it tried.
void* LoadFromSdkFolders(const simconnect::ModuleLoaders& loaders) {
    std::vector<std::wstring> tried;
    const std::wstring programFolder =
        loaders.programFolder != nullptr ? loaders.programFolder() : std::wstring();
    if (!programFolder.empty()) {
        if (void* module = LoadFromPath(loaders, WindowsPath(programFolder, kFileName), tried)) {
            return module;
        }
    }
    for (const wchar_t* variable : kSdkVariables) {
        std::wstring sdk;
        if (loaders.environment == nullptr || !loaders.environment(variable, sdk) || sdk.empty()) {
            continue;
        }
        if (void* module = LoadFromPath(loaders, WindowsPath(sdk, kSdkLibrary), tried)) {
            return module;
        }
    }
    for (const std::wstring& path : tried) {
        CTraceLog::Instance().Trace(L"CSimConnectLibrary::Instance - SimConnect.dll not loaded from " +
                                    path);
    }
    return nullptr;
}

}  // namespace

simconnect::ModuleLoaders simconnect::PlatformModuleLoaders() {
    return {&av::platform::FindInProcessModule, &av::platform::LoadSideBySideModule,
            &av::platform::LoadModule,          &av::platform::LoadModuleFromPath,
            &av::platform::GetEnvironmentValue, &av::platform::GetExecutableFolder};
}

void* simconnect::LoadSimConnectModule(const ModuleLoaders& loaders, SearchOrder order) {
    if (void* module = loaders.inProcess(kFileName)) return module;
    return order == SearchOrder::SdkFolders ? LoadFromSdkFolders(loaders)
                                            : LoadFromSideBySide(loaders);
}

CSimConnectLibrary& CSimConnectLibrary::Instance() {
    static CSimConnectLibrary library;
    return library;
}

CSimConnectLibrary::CSimConnectLibrary() {
    module_ = simconnect::LoadSimConnectModule(simconnect::PlatformModuleLoaders());
    if (module_ == nullptr) return;
    Resolve(module_, 0, entries_.open);
    Resolve(module_, 1, entries_.close);
    Resolve(module_, 2, entries_.callDispatch);
    Resolve(module_, 3, entries_.mapClientEventToSimEvent);
    Resolve(module_, 4, entries_.transmitClientEvent);
    Resolve(module_, 5, entries_.addClientEventToNotificationGroup);
    Resolve(module_, 6, entries_.setNotificationGroupPriority);
    Resolve(module_, 7, entries_.addToDataDefinition);
    Resolve(module_, 8, entries_.requestDataOnSimObject);
    Resolve(module_, 9, entries_.requestDataOnSimObjectType);
    Resolve(module_, 10, entries_.subscribeToSystemEvent);
    Resolve(module_, 11, entries_.unsubscribeFromSystemEvent);
    Resolve(module_, 12, entries_.requestSystemState);
    Resolve(module_, 13, entries_.getLastSentPacketID);
}

CSimConnectLibrary::CSimConnectLibrary(const simconnect::EntryTable& entries)
    : injected_(true), entries_(entries) {}

void CSimConnectLibrary::UseEntryTable(const simconnect::EntryTable& entries) {
    entries_ = entries;
    injected_ = true;
    connection_ = nullptr;
}

// Each forwarding operation answers E_NOTIMPL without calling anything when its
// entry point is missing; otherwise the library's result is returned unchanged.
// The connection handle is passed as it is, even when no connection is open.

HRESULT CSimConnectLibrary::Open(const char* name, av::Handle window, DWord userEvent,
                                 av::Handle event, DWord configIndex) {
    if (entries_.open == nullptr) return E_NOTIMPL;
    return entries_.open(&connection_, name, window, userEvent, event, configIndex);
}

HRESULT CSimConnectLibrary::Close() {
    if (entries_.close == nullptr) return E_NOTIMPL;
    return entries_.close(connection_);
}

HRESULT CSimConnectLibrary::CallDispatch(simconnect::DispatchProc dispatch, void* context) {
    if (entries_.callDispatch == nullptr) return E_NOTIMPL;
    return entries_.callDispatch(connection_, dispatch, context);
}

HRESULT CSimConnectLibrary::MapClientEventToSimEvent(DWord eventId, const char* eventName) {
    if (entries_.mapClientEventToSimEvent == nullptr) return E_NOTIMPL;
    return entries_.mapClientEventToSimEvent(connection_, eventId, eventName);
}

HRESULT CSimConnectLibrary::TransmitClientEvent(DWord objectId, DWord eventId, DWord data,
                                                DWord groupId, DWord flags) {
    if (entries_.transmitClientEvent == nullptr) return E_NOTIMPL;
    return entries_.transmitClientEvent(connection_, objectId, eventId, data, groupId, flags);
}

HRESULT CSimConnectLibrary::AddClientEventToNotificationGroup(DWord groupId, DWord eventId,
                                                              bool maskable) {
    if (entries_.addClientEventToNotificationGroup == nullptr) return E_NOTIMPL;
    return entries_.addClientEventToNotificationGroup(connection_, groupId, eventId,
                                                      maskable ? 1 : 0);
}

HRESULT CSimConnectLibrary::SetNotificationGroupPriority(DWord groupId, DWord priority) {
    if (entries_.setNotificationGroupPriority == nullptr) return E_NOTIMPL;
    return entries_.setNotificationGroupPriority(connection_, groupId, priority);
}

HRESULT CSimConnectLibrary::AddToDataDefinition(DWord defineId, const char* datumName,
                                                const char* unitsName, DWord datumType,
                                                float epsilon, DWord datumId) {
    if (entries_.addToDataDefinition == nullptr) return E_NOTIMPL;
    return entries_.addToDataDefinition(connection_, defineId, datumName, unitsName, datumType,
                                        epsilon, datumId);
}

HRESULT CSimConnectLibrary::RequestDataOnSimObject(DWord requestId, DWord defineId,
                                                   DWord objectId, DWord period, DWord flags,
                                                   DWord origin, DWord interval, DWord limit) {
    if (entries_.requestDataOnSimObject == nullptr) return E_NOTIMPL;
    return entries_.requestDataOnSimObject(connection_, requestId, defineId, objectId, period,
                                           flags, origin, interval, limit);
}

HRESULT CSimConnectLibrary::RequestDataOnSimObjectType(DWord requestId, DWord defineId,
                                                       DWord radiusMeters, DWord objectType) {
    if (entries_.requestDataOnSimObjectType == nullptr) return E_NOTIMPL;
    return entries_.requestDataOnSimObjectType(connection_, requestId, defineId, radiusMeters,
                                               objectType);
}

HRESULT CSimConnectLibrary::SubscribeToSystemEvent(DWord eventId, const char* systemEventName) {
    if (entries_.subscribeToSystemEvent == nullptr) return E_NOTIMPL;
    return entries_.subscribeToSystemEvent(connection_, eventId, systemEventName);
}

HRESULT CSimConnectLibrary::UnsubscribeFromSystemEvent(DWord eventId) {
    if (entries_.unsubscribeFromSystemEvent == nullptr) return E_NOTIMPL;
    return entries_.unsubscribeFromSystemEvent(connection_, eventId);
}

HRESULT CSimConnectLibrary::RequestSystemState(DWord requestId, const char* state) {
    if (entries_.requestSystemState == nullptr) return E_NOTIMPL;
    return entries_.requestSystemState(connection_, requestId, state);
}

HRESULT CSimConnectLibrary::GetLastSentPacketID(DWord* packetId) {
    if (entries_.getLastSentPacketID == nullptr) return E_NOTIMPL;
    return entries_.getLastSentPacketID(connection_, packetId);
}

std::uint32_t CSimConnectLibrary::NextDefinitionId() { return ++definitionIds_; }

std::uint32_t CSimConnectLibrary::NextEventId() { return ++eventIds_; }
