// The in-process server's entry points.
#include <windows.h>
#include <olectl.h>

#include <string>

#include "plugins/tunelet/class_factory.h"
#include "plugins/tunelet/module.h"
#include "plugins/tunelet/registration.h"
#include "plugins/tunelet/tunelet_interfaces.h"

namespace {

HINSTANCE g_instance = nullptr;

// The DLL's full path, however long.
std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(g_instance, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllRegisterServer() {
    const std::wstring path = ModulePath();
    HRESULT hr = E_FAIL;
    if (path.empty()) {
        const DWORD error = GetLastError();
        if (error != ERROR_SUCCESS) hr = HRESULT_FROM_WIN32(error);
    } else {
        tunelet::CRegistryWriter writer;
        hr = tunelet::RegisterServer(path, writer);
    }
    tunelet::AnnouncePluginChange();
    return hr;
}

STDAPI DllUnregisterServer() {
    tunelet::CRegistryWriter writer;
    const HRESULT hr = tunelet::UnregisterServer(writer);
    tunelet::AnnouncePluginChange();
    return hr;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != kCLSID_Tunelet) return CLASS_E_CLASSNOTAVAILABLE;
    return CTuneletFactory::Instance().QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() { return tunelet::CanUnloadNow(); }
