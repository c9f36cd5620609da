// A device library that turns every client away: Lumiray_Initialize fails with
// E_ACCESSDENIED. It counts Deinitialize calls for the test to read.
#include <windows.h>

namespace {
LONG g_deinitialized = 0;
}

extern "C" __declspec(dllexport) HRESULT WINAPI Lumiray_Initialize(const wchar_t*) { return E_ACCESSDENIED; }

extern "C" __declspec(dllexport) HRESULT WINAPI Lumiray_Deinitialize() {
    ++g_deinitialized;
    return S_OK;
}

extern "C" __declspec(dllexport) LONG WINAPI RefusingLibrary_Deinitialized() { return g_deinitialized; }
