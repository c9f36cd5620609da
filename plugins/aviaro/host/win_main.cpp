// Windows entry point of Aviaro.exe.
#include <windows.h>

#include <string>

#include "platform/process.h"
#include "platform/win32/hid_device_win32.h"
#include "plugins/aviaro/app/application.h"
#include "plugins/aviaro/host/aviaro_main.h"
#include "plugins/aviaro/host/trace_log.h"

namespace {

// The HID stand-in (tools/hid_standin) of the Wine tests and the demo: taken
// only from the program's own folder, by full path, so that the shipped
// program, which never has the file, always uses the system's HID functions.
void UseHidStandInBesideProgram() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    const std::size_t slash = n == 0 || n >= path.size() ? std::wstring::npos
                                                         : path.find_last_of(L'\\', n);
    if (slash == std::wstring::npos) return;
    path.resize(slash + 1);
    path += L"HidStandIn.dll";
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const auto proc = module == nullptr ? nullptr
                                        : reinterpret_cast<av::platform::HidStandInFunctionsProc>(
                                              reinterpret_cast<void (*)()>(GetProcAddress(
                                                  module, av::platform::kHidStandInExport)));
    const av::platform::HidWin32Functions* table = proc != nullptr ? proc() : nullptr;
    if (table == nullptr) {
        CTraceLog::Instance().Trace(L"HidStandIn - cannot use " + path);
        return;
    }
    av::platform::UseHidFunctions(*table);
    CTraceLog::Instance().Trace(L"HidStandIn - simulated HID panels from " + path);
}

// After the trace file is open and before any HID handle is.
bool RunWithHidStandIn(av::Handle instance) {
    UseHidStandInBesideProgram();
    return RunAviaroApplication(instance);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    av::platform::ComInitialize();
    AviaroMainHooks hooks = DefaultAviaroMainHooks();
    hooks.run = &RunWithHidStandIn;
    const int code = AviaroMain(instance, av::platform::GetCommandLineArgs(), hooks);
    av::platform::ComUninitialize();
    return code;
}
