#include <windows.h>

#include <vector>

#include "platform/registry.h"

namespace av::platform {
namespace {

HKEY Root(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
        case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
        case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    }
    return HKEY_LOCAL_MACHINE;
}

}  // namespace

bool ReadRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                        std::wstring& out, std::size_t maxUnits) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(Root(root), key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    std::vector<wchar_t> buffer(maxUnits + 1, L'\0');  // one spare unit keeps it terminated
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(maxUnits * sizeof(wchar_t));
    const LONG result = RegQueryValueExW(handle, value.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    out = buffer.data();
    return true;
}

bool ReadRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                       std::uint32_t& out) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(Root(root), key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD data = 0;
    DWORD bytes = sizeof data;
    const LONG result = RegQueryValueExW(handle, value.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(&data), &bytes);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS || type != REG_DWORD) return false;
    out = data;
    return true;
}

bool RegistryKeyExists(RegistryRoot root, const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(Root(root), key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

bool WriteRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                         const std::wstring& data) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(Root(root), key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result =
        RegSetValueExW(handle, value.empty() ? nullptr : value.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

bool WriteRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                        std::uint32_t data) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(Root(root), key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD d = data;
    const LONG result = RegSetValueExW(handle, value.empty() ? nullptr : value.c_str(), 0,
                                       REG_DWORD, reinterpret_cast<const BYTE*>(&d), sizeof d);
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

bool DeleteRegistryValue(RegistryRoot root, const std::wstring& key, const std::wstring& value) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(Root(root), key.c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result = RegDeleteValueW(handle, value.c_str());
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

bool DeleteRegistryKey(RegistryRoot root, const std::wstring& key) {
    // Given a subkey, RegDeleteTreeW deletes that key itself too.
    return RegDeleteTreeW(Root(root), key.c_str()) == ERROR_SUCCESS;
}

}  // namespace av::platform
