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

// Added to every access mask; 32-bit Windows ignores both flags.
REGSAM ViewFlag(RegistryView view) {
    switch (view) {
        case RegistryView::Process: return 0;
        case RegistryView::Bits32: return KEY_WOW64_32KEY;
        case RegistryView::Bits64: return KEY_WOW64_64KEY;
    }
    return 0;
}

}  // namespace

bool ReadRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                        std::wstring& out, std::size_t maxUnits, RegistryView view) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(Root(root), key.c_str(), 0, KEY_READ | ViewFlag(view), &handle) != ERROR_SUCCESS) {
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
                       std::uint32_t& out, RegistryView view) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(Root(root), key.c_str(), 0, KEY_READ | ViewFlag(view), &handle) != ERROR_SUCCESS) {
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

bool RegistryKeyExists(RegistryRoot root, const std::wstring& key, RegistryView view) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(Root(root), key.c_str(), 0, KEY_READ | ViewFlag(view), &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

bool WriteRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                         const std::wstring& data, RegistryView view) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(Root(root), key.c_str(), 0, nullptr, 0, KEY_WRITE | ViewFlag(view),
                        nullptr, &handle,
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
                        std::uint32_t data, RegistryView view) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(Root(root), key.c_str(), 0, nullptr, 0, KEY_WRITE | ViewFlag(view),
                        nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD d = data;
    const LONG result = RegSetValueExW(handle, value.empty() ? nullptr : value.c_str(), 0,
                                       REG_DWORD, reinterpret_cast<const BYTE*>(&d), sizeof d);
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

bool DeleteRegistryValue(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                         RegistryView view) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(Root(root), key.c_str(), 0, KEY_SET_VALUE | ViewFlag(view), &handle) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result = RegDeleteValueW(handle, value.c_str());
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

bool DeleteRegistryKey(RegistryRoot root, const std::wstring& key, RegistryView view) {
    // Given a subkey, RegDeleteTreeW deletes that key itself too.
    if (view == RegistryView::Process) return RegDeleteTreeW(Root(root), key.c_str()) == ERROR_SUCCESS;
    // RegDeleteTreeW takes no view: empty the key opened in that view, then
    // delete the key itself there.
    HKEY handle = nullptr;
    if (RegOpenKeyExW(Root(root), key.c_str(), 0,
                      DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE |
                          ViewFlag(view),
                      &handle) != ERROR_SUCCESS) {
        return false;
    }
    const LONG emptied = RegDeleteTreeW(handle, nullptr);
    RegCloseKey(handle);
    if (emptied != ERROR_SUCCESS) return false;
    return RegDeleteKeyExW(Root(root), key.c_str(), ViewFlag(view), 0) == ERROR_SUCCESS;
}

}  // namespace av::platform
