// HID arrival and removal: registering the message window for device-interface
// notifications of the HID class, listing the HID interfaces present, and
// reading the device path out of a WM_DEVICECHANGE message.
//
// Windows: RegisterDeviceNotificationW with the HID class GUID, SetupAPI.
// Elsewhere: a virtual HID bus that tests drive; an arrival or removal posts
// the same WM_DEVICECHANGE message to the registered window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace av::platform {

inline constexpr std::uint32_t kWmDeviceChange = 0x0219;
inline constexpr std::uintptr_t kDbtDeviceArrival = 0x8000;
inline constexpr std::uintptr_t kDbtDeviceQueryRemove = 0x8001;
inline constexpr std::uintptr_t kDbtDeviceRemoveComplete = 0x8004;
inline constexpr std::uint32_t kDbtDevtypDeviceInterface = 5;

// Registers window for HID device-interface notifications; 0 on failure.
Handle RegisterHidNotifications(Handle window);
void UnregisterHidNotifications(Handle notification);

// Device paths of every HID interface present (SetupDiGetClassDevsW with
// DIGCF_PRESENT | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE).
std::vector<std::wstring> EnumerateHidInterfaces();

// The broadcast header's device type of a WM_DEVICECHANGE lParam, and the
// device path when it is a device interface. False for a null lParam.
bool ReadDeviceBroadcast(std::intptr_t lParam, std::uint32_t& deviceType, std::wstring& path);

#if !defined(_WIN32)
// The virtual HID bus.
void SetVirtualHidRegistrationFails(bool fails);
void VirtualHidArrive(const std::wstring& path);  // present, and posts an arrival
void VirtualHidRemove(const std::wstring& path);  // gone, and posts a removal
void VirtualHidPostBroadcast(std::uintptr_t wParam, std::uint32_t deviceType,
                             const std::wstring& path);
void VirtualHidReset();
#endif

}  // namespace av::platform
