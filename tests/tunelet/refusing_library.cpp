// A device library that turns every client away: Lumiray_Initialize fails with
// E_ACCESSDENIED. It keeps a log of its calls for the test to read.
#include <windows.h>

#include <string>

namespace {
std::wstring g_log;
}

extern "C" __declspec(dllexport) HRESULT WINAPI Lumiray_Initialize(const wchar_t* name) {
    g_log += L"Initialize ";
    g_log += name != nullptr ? name : L"(null)";
    g_log += L"\n";
    return E_ACCESSDENIED;
}

extern "C" __declspec(dllexport) HRESULT WINAPI Lumiray_Deinitialize() {
    g_log += L"Deinitialize\n";
    return S_OK;
}

extern "C" __declspec(dllexport) const wchar_t* WINAPI RefusingLibrary_Log() {
    return g_log.c_str();
}
