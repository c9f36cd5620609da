// Portable scalar types shared by the core and the platform layer.
//
// The core never includes <windows.h>. These aliases have the sizes and values
// that Windows gives them, so structures and results cross the platform layer
// unchanged. Each constant is guarded: a translation unit that has already
// included <windows.h> keeps the system's own definitions.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
typedef long HRESULT;  // the same type <winnt.h> gives it
#define AV_STDCALL __stdcall
#else
typedef std::int32_t HRESULT;
#define AV_STDCALL
#endif

static_assert(sizeof(HRESULT) == 4, "HRESULT is 32 bits");

#ifndef S_OK
inline constexpr HRESULT S_OK = 0;
#endif
#ifndef S_FALSE
inline constexpr HRESULT S_FALSE = 1;
#endif
#ifndef E_NOTIMPL
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
#endif
#ifndef E_POINTER
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
#endif
#ifndef E_FAIL
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
#endif
#ifndef E_INVALIDARG
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
#endif
#ifndef E_OUTOFMEMORY
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
#endif
#ifndef SUCCEEDED
inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
#endif
#ifndef FAILED
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
#endif

namespace av {

// Opaque operating-system handles (HANDLE, HWND, HMODULE, HINSTANCE).
using Handle = void*;

using DWord = std::uint32_t;

// Same layout as the Windows GUID.
struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];

    friend bool operator==(const Guid&, const Guid&) = default;
};

static_assert(sizeof(Guid) == 16, "GUID is 16 bytes");
static_assert(sizeof(wchar_t) == 2 || sizeof(wchar_t) == 4, "wchar_t");

}  // namespace av
