// What the program relies on of the device library: entry-point signatures,
// callback signatures, the two device types and the soft-button bits. Every
// entry point and every callback uses the stdcall convention.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace lumiray {

using DWord = std::uint32_t;
// Opaque, pointer-sized, chosen by the library.
using Device = void*;

// {6C1E0F52-3A7D-4B19-9E40-5D2A7B81C3F6}: the joystick's three-line text display.
inline constexpr av::Guid kDeviceTypeTarvex = {
    0x6C1E0F52, 0x3A7D, 0x4B19, {0x9E, 0x40, 0x5D, 0x2A, 0x7B, 0x81, 0xC3, 0xF6}};
// {A4D29B07-51C8-4E6F-B2D3-08F7E19C6A45}: the instrument panel's 320 x 240 colour display.
inline constexpr av::Guid kDeviceTypeMira = {
    0xA4D29B07, 0x51C8, 0x4E6F, {0xB2, 0xD3, 0x08, 0xF7, 0xE1, 0x9C, 0x6A, 0x45}};

// Soft-button bits, as the button callback reports the whole current state.
enum SoftButton : DWord {
    SoftButton_Select = 0x1,
    SoftButton_Up = 0x2,
    SoftButton_Down = 0x4,
    SoftButton_Left = 0x8,
    SoftButton_Right = 0x10,
    SoftButton_1 = 0x20,
    SoftButton_2 = 0x40,
    SoftButton_3 = 0x80,
    SoftButton_4 = 0x100,
    SoftButton_5 = 0x200,
    SoftButton_6 = 0x400,
};

// Lumiray_AddPage flags.
inline constexpr DWord kPageFlagSetActive = 1;

// The Mira image: 320 x 240, 24 bits per pixel, rows bottom-up, BGR.
inline constexpr DWord kMiraWidth = 320;
inline constexpr DWord kMiraHeight = 240;
inline constexpr DWord kMiraImageBytes = kMiraWidth * kMiraHeight * 3;

// Callbacks the program hands to the library; each gets back the context given
// at registration. The library calls them on a thread of its own.
using DeviceCallback = void(AV_STDCALL*)(Device device, bool added, void* context);
using EnumerateCallback = void(AV_STDCALL*)(Device device, void* context);
using PageCallback = void(AV_STDCALL*)(Device device, DWord page, bool setActive, void* context);
using SoftButtonCallback = void(AV_STDCALL*)(Device device, DWord buttons, void* context);

using PfnInitialize = HRESULT(AV_STDCALL*)(const wchar_t* pluginName);
using PfnDeinitialize = HRESULT(AV_STDCALL*)();
using PfnRegisterDeviceCallback = HRESULT(AV_STDCALL*)(DeviceCallback callback, void* context);
using PfnEnumerate = HRESULT(AV_STDCALL*)(EnumerateCallback callback, void* context);
using PfnRegisterPageCallback = HRESULT(AV_STDCALL*)(Device device, PageCallback callback,
                                                     void* context);
using PfnRegisterSoftButtonCallback = HRESULT(AV_STDCALL*)(Device device,
                                                           SoftButtonCallback callback,
                                                           void* context);
using PfnGetDeviceType = HRESULT(AV_STDCALL*)(Device device, av::Guid* type);
using PfnGetDeviceInstance = HRESULT(AV_STDCALL*)(Device device, av::Guid* instance);
using PfnAddPage = HRESULT(AV_STDCALL*)(Device device, DWord page, DWord flags);
using PfnRemovePage = HRESULT(AV_STDCALL*)(Device device, DWord page);
using PfnSetLed = HRESULT(AV_STDCALL*)(Device device, DWord page, DWord index, DWord value);
// length in characters; the text need not be terminated.
using PfnSetString = HRESULT(AV_STDCALL*)(Device device, DWord page, DWord index, DWord length,
                                          const wchar_t* text);
using PfnSetImage = HRESULT(AV_STDCALL*)(Device device, DWord page, DWord index, DWord size,
                                         const void* data);
// size in characters, terminator included.
using PfnGetSerialNumber = HRESULT(AV_STDCALL*)(Device device, wchar_t* buffer, DWord size);

// Entry points the program looks up but never calls. Only their argument count
// is known to matter; the types are this program's choice.
using PfnSetProfile = HRESULT(AV_STDCALL*)(Device device, const wchar_t* profile, DWord flags);
using PfnSetImageFromFile = HRESULT(AV_STDCALL*)(Device device, DWord page, DWord index,
                                                 const wchar_t* file, DWord flags);
using PfnStartServer = HRESULT(AV_STDCALL*)(Device device, DWord page, const wchar_t* name,
                                            DWord flags, void* context);
using PfnCloseServer = HRESULT(AV_STDCALL*)(Device device, DWord page, DWord server);
using PfnSendServerMsg = HRESULT(AV_STDCALL*)(Device device, DWord page, DWord server,
                                              DWord message, DWord wParam, DWord lParam,
                                              const void* data, DWord size, void* context);
using PfnSendServerFile = HRESULT(AV_STDCALL*)(Device device, DWord page, DWord server,
                                               DWord message, const wchar_t* file, DWord offset,
                                               DWord length, DWord flags, const void* header,
                                               DWord headerSize, void* context);
using PfnSaveFile = HRESULT(AV_STDCALL*)(Device device, DWord page, DWord fileIndex,
                                         const wchar_t* file, DWord flags, void* context);
using PfnDisplayFile = HRESULT(AV_STDCALL*)(Device device, DWord page, DWord fileIndex,
                                            DWord flags, void* context);
using PfnDeleteFile = HRESULT(AV_STDCALL*)(Device device, DWord page, DWord fileIndex,
                                           void* context);

// The 23 entry points, in the order they are looked up. A missing one is 0.
struct EntryTable {
    PfnInitialize initialize = nullptr;
    PfnDeinitialize deinitialize = nullptr;
    PfnRegisterDeviceCallback registerDeviceCallback = nullptr;
    PfnEnumerate enumerate = nullptr;
    PfnRegisterPageCallback registerPageCallback = nullptr;
    PfnRegisterSoftButtonCallback registerSoftButtonCallback = nullptr;
    PfnGetDeviceType getDeviceType = nullptr;
    PfnGetDeviceInstance getDeviceInstance = nullptr;
    PfnSetProfile setProfile = nullptr;
    PfnAddPage addPage = nullptr;
    PfnRemovePage removePage = nullptr;
    PfnSetLed setLed = nullptr;
    PfnSetString setString = nullptr;
    PfnSetImage setImage = nullptr;
    PfnSetImageFromFile setImageFromFile = nullptr;
    PfnStartServer startServer = nullptr;
    PfnCloseServer closeServer = nullptr;
    PfnSendServerMsg sendServerMsg = nullptr;
    PfnSendServerFile sendServerFile = nullptr;
    PfnSaveFile saveFile = nullptr;
    PfnDisplayFile displayFile = nullptr;
    PfnDeleteFile deleteFile = nullptr;
    PfnGetSerialNumber getSerialNumber = nullptr;
};

inline constexpr int kEntryCount = 23;

// Exact export names, in table order.
inline constexpr const char* kEntryNames[kEntryCount] = {
    "Lumiray_Initialize",
    "Lumiray_Deinitialize",
    "Lumiray_RegisterDeviceCallback",
    "Lumiray_Enumerate",
    "Lumiray_RegisterPageCallback",
    "Lumiray_RegisterSoftButtonCallback",
    "Lumiray_GetDeviceType",
    "Lumiray_GetDeviceInstance",
    "Lumiray_SetProfile",
    "Lumiray_AddPage",
    "Lumiray_RemovePage",
    "Lumiray_SetLed",
    "Lumiray_SetString",
    "Lumiray_SetImage",
    "Lumiray_SetImageFromFile",
    "Lumiray_StartServer",
    "Lumiray_CloseServer",
    "Lumiray_SendServerMsg",
    "Lumiray_SendServerFile",
    "Lumiray_SaveFile",
    "Lumiray_DisplayFile",
    "Lumiray_DeleteFile",
    "Lumiray_GetSerialNumber",
};

static_assert(sizeof(EntryTable) == kEntryCount * sizeof(void*), "one pointer per entry");

}  // namespace lumiray
