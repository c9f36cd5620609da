// Whether a Windows service is running.
//
// On Windows the service control manager is asked. Elsewhere the service is
// running when the registry file (platform/registry.h) holds, under
//
//   [HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name>]
//   "Running"=dword:00000001
//
// the value 1; a missing key or value, or any other value, means not running.
#pragma once

namespace av::platform {

// True only when the service exists, its status can be read and its state is
// SERVICE_RUNNING. False for a null or empty name.
bool IsServiceRunning(const wchar_t* name);

}  // namespace av::platform
