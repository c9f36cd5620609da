#include <windows.h>
#include <dbt.h>
#include <setupapi.h>

extern "C" {
#include <hidsdi.h>
}

#include <vector>

#include "platform/hid_notify.h"
#include "platform/win32/hid_device_win32.h"

namespace av::platform {

Handle RegisterHidNotifications(Handle window) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.dbcc_classguid);
    return RegisterDeviceNotificationW(static_cast<HWND>(window), &filter,
                                       DEVICE_NOTIFY_WINDOW_HANDLE);
}

void UnregisterHidNotifications(Handle notification) {
    if (notification != nullptr) UnregisterDeviceNotification(notification);
}

namespace {

// A list of zero-ended strings with an empty one at the end, from the table in
// use: simulated units instead of the system's.
std::vector<std::wstring> ListFromTable(DWORD(WINAPI* list)(LPWSTR, DWORD)) {
    std::vector<std::wstring> paths;
    std::vector<wchar_t> buffer;
    for (int attempt = 0; attempt < 4; ++attempt) {  // the list may grow meanwhile
        const DWORD needed = list(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (needed == 0) return paths;
        if (needed <= buffer.size()) {
            // Read within needed only, whatever the list holds.
            std::wstring path;
            for (DWORD i = 0; i < needed && !(buffer[i] == L'\0' && path.empty()); ++i) {
                if (buffer[i] != L'\0') {
                    path += buffer[i];
                } else {
                    paths.push_back(path);
                    path.clear();
                }
            }
            return paths;
        }
        buffer.assign(needed, L'\0');
    }
    return paths;
}

}  // namespace

std::vector<std::wstring> EnumerateHidInterfaces() {
    if (const auto list = HidFunctionsInUse().listInterfaces) return ListFromTable(list);
    std::vector<std::wstring> paths;
    GUID guid;
    HidD_GetHidGuid(&guid);
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return paths;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data)) break;
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        std::vector<unsigned char> buffer(needed);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);  // the fixed header only
        if (SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, nullptr, nullptr)) {
            paths.emplace_back(detail->DevicePath);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

bool ReadDeviceBroadcast(std::intptr_t lParam, std::uint32_t& deviceType, std::wstring& path) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (header == nullptr) return false;
    deviceType = header->dbch_devicetype;
    path.clear();
    if (deviceType == DBT_DEVTYP_DEVICEINTERFACE) {
        path = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam)->dbcc_name;
    }
    return true;
}

}  // namespace av::platform
