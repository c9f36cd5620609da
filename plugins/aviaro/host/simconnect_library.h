// The process-wide binding of SimConnect.dll: loaded by name on first use, never
// linked against, never unloaded. Every caller that talks to the simulator goes
// through here.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "plugins/aviaro/host/simconnect_types.h"

namespace simconnect {

// The ways the binding can find SimConnect.dll.
struct ModuleLoaders {
    void* (*inProcess)(const wchar_t* name);
    void* (*sideBySide)(const wchar_t* assemblyName, const wchar_t* version,
                        const wchar_t* processorArchitecture, const wchar_t* publicKeyToken,
                        const wchar_t* fileName);
    void* (*byName)(const wchar_t* name);
    // Exactly this file, never searched for.
    void* (*fromPath)(const wchar_t* fullPath);
    // False when the variable is not set.
    bool (*environment)(const wchar_t* name, std::wstring& value);
    // The running program's folder; empty when unknown.
    std::wstring (*programFolder)();
};

// The platform's loaders (platform/module.h, process.h, paths.h).
ModuleLoaders PlatformModuleLoaders();

// Where a build looks for SimConnect.dll. The 32-bit simulators install it as
// an x86 side-by-side assembly, which only the i686 build can load; the 64-bit
// simulators leave it in their SDK, and the x86-64 build looks there.
enum class SearchOrder {
    // A stand-in registered in-process; else the simulators' side-by-side
    // assembly, one published version after the other, newest first; else by
    // plain name (beside the program). Nothing is traced.
    SideBySide,
    // A stand-in registered in-process; else "<program folder>\SimConnect.dll";
    // else "<SDK>\SimConnect SDK\lib\SimConnect.dll" for the SDK folder named
    // by MSFS_SDK, then by MSFS2024_SDK (a variable unset or empty is skipped).
    // Never searched for by name. When none loads, each file tried is traced.
    SdkFolders,
};

#if defined(_WIN64)
inline constexpr SearchOrder kBuildSearchOrder = SearchOrder::SdkFolders;
#else
inline constexpr SearchOrder kBuildSearchOrder = SearchOrder::SideBySide;
#endif

// SimConnect.dll as the binding loads it, in the given order: the first that
// loads wins; 0 when none does.
void* LoadSimConnectModule(const ModuleLoaders& loaders,
                           SearchOrder order = kBuildSearchOrder);

}  // namespace simconnect

class CSimConnectLibrary {
public:
    // The one instance; the first call (on the main thread, before any other
    // thread exists) loads SimConnect.dll.
    static CSimConnectLibrary& Instance();

    // A binding over a given entry table instead of the DLL (tests, in-process
    // stand-in). A missing entry is 0.
    explicit CSimConnectLibrary(const simconnect::EntryTable& entries);
    // Replaces the entry points of this binding and forgets the connection.
    // Counters keep counting: ids are never given back.
    void UseEntryTable(const simconnect::EntryTable& entries);

    CSimConnectLibrary(const CSimConnectLibrary&) = delete;
    CSimConnectLibrary& operator=(const CSimConnectLibrary&) = delete;

    HRESULT Open(const char* name, av::Handle window, simconnect::DWord userEvent,
                 av::Handle event, simconnect::DWord configIndex);
    HRESULT Close();
    HRESULT CallDispatch(simconnect::DispatchProc dispatch, void* context);
    HRESULT MapClientEventToSimEvent(simconnect::DWord eventId, const char* eventName);
    HRESULT TransmitClientEvent(simconnect::DWord objectId, simconnect::DWord eventId,
                                simconnect::DWord data, simconnect::DWord groupId,
                                simconnect::DWord flags);
    HRESULT AddClientEventToNotificationGroup(simconnect::DWord groupId,
                                              simconnect::DWord eventId, bool maskable);
    HRESULT SetNotificationGroupPriority(simconnect::DWord groupId, simconnect::DWord priority);
    HRESULT AddToDataDefinition(simconnect::DWord defineId, const char* datumName,
                                const char* unitsName, simconnect::DWord datumType,
                                float epsilon, simconnect::DWord datumId);
    HRESULT RequestDataOnSimObject(simconnect::DWord requestId, simconnect::DWord defineId,
                                   simconnect::DWord objectId, simconnect::DWord period,
                                   simconnect::DWord flags, simconnect::DWord origin,
                                   simconnect::DWord interval, simconnect::DWord limit);
    HRESULT RequestDataOnSimObjectType(simconnect::DWord requestId, simconnect::DWord defineId,
                                       simconnect::DWord radiusMeters,
                                       simconnect::DWord objectType);
    HRESULT SubscribeToSystemEvent(simconnect::DWord eventId, const char* systemEventName);
    HRESULT UnsubscribeFromSystemEvent(simconnect::DWord eventId);
    HRESULT RequestSystemState(simconnect::DWord requestId, const char* state);
    HRESULT GetLastSentPacketID(simconnect::DWord* packetId);

    // Interlocked; the first definition id is 2, the first client event id 5
    // (1 to 4 are the system-event ids).
    std::uint32_t NextDefinitionId();
    std::uint32_t NextEventId();

    av::Handle Connection() const { return connection_; }
    bool IsLoaded() const { return module_ != nullptr || injected_; }

private:
    CSimConnectLibrary();  // loads the DLL

    av::Handle connection_ = nullptr;
    void* module_ = nullptr;
    bool injected_ = false;
    simconnect::EntryTable entries_;
    std::atomic<std::uint32_t> definitionIds_{1};
    std::atomic<std::uint32_t> eventIds_{4};
};
