#include "plugins/tunelet/registration.h"

#include <cwchar>

namespace tunelet {

LONG CRegistryWriter::CreateKey(HKEY root, const wchar_t* path, HKEY* key) {
    return RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                           key, nullptr);
}

LONG CRegistryWriter::SetValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data,
                               DWORD size) {
    return RegSetValueExW(key, name, 0, type, data, size);
}

LONG CRegistryWriter::DeleteTree(HKEY root, const wchar_t* path) {
    return RegDeleteTreeW(root, path);
}

namespace {

// Capabilities: a background plug-in that the player starts by itself.
constexpr DWORD kPluginTypeBackground = 0x00000001;
constexpr DWORD kPluginFlagsInstallAutorun = 0x40000000;

// One key being written: the first failure sticks and later writes are skipped.
class CKeyWriter {
public:
    CKeyWriter(CRegistryWriter& writer, HKEY root, const wchar_t* path) : writer_(writer) {
        error_ = writer_.CreateKey(root, path, &key_);
        if (error_ != ERROR_SUCCESS) key_ = nullptr;
    }
    ~CKeyWriter() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    CKeyWriter(const CKeyWriter&) = delete;
    CKeyWriter& operator=(const CKeyWriter&) = delete;

    void String(const wchar_t* name, const std::wstring& data) {
        Set(name, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    }
    void Dword(const wchar_t* name, DWORD data) {
        Set(name, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
    }
    LONG Error() const { return error_; }

private:
    void Set(const wchar_t* name, DWORD type, const BYTE* data, DWORD size) {
        if (error_ == ERROR_SUCCESS) error_ = writer_.SetValue(key_, name, type, data, size);
    }

    CRegistryWriter& writer_;
    HKEY key_ = nullptr;
    LONG error_ = ERROR_SUCCESS;
};

LONG WriteEntries(const std::wstring& modulePath, CRegistryWriter& writer) {
    {
        CKeyWriter key(writer, HKEY_CLASSES_ROOT, kClassKey);
        key.String(nullptr, L"Tunelet Class");
        if (key.Error() != ERROR_SUCCESS) return key.Error();
    }
    {
        const std::wstring inproc = std::wstring(kClassKey) + L"\\InprocServer32";
        CKeyWriter key(writer, HKEY_CLASSES_ROOT, inproc.c_str());
        key.String(nullptr, modulePath);
        key.String(L"ThreadingModel", L"Apartment");
        if (key.Error() != ERROR_SUCCESS) return key.Error();
    }
    CKeyWriter key(writer, HKEY_LOCAL_MACHINE, kPluginKey);
    key.String(L"FriendlyName", L"res://Tunelet.dll/RT_STRING/#102");
    key.String(L"Description", L"res://Tunelet.dll/RT_STRING/#103");
    key.Dword(L"Capabilities", kPluginFlagsInstallAutorun | kPluginTypeBackground);
    return key.Error();
}

// Deletes one key whole; one that is not there is already gone.
LONG RemoveKey(CRegistryWriter& writer, HKEY root, const wchar_t* path) {
    const LONG error = writer.DeleteTree(root, path);
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

// Both keys are tried; the first failure is returned.
LONG RemoveKeys(CRegistryWriter& writer) {
    const LONG classError = RemoveKey(writer, HKEY_CLASSES_ROOT, kClassKey);
    const LONG pluginError = RemoveKey(writer, HKEY_LOCAL_MACHINE, kPluginKey);
    return classError != ERROR_SUCCESS ? classError : pluginError;
}

}  // namespace

HRESULT RegisterServer(const std::wstring& modulePath, CRegistryWriter& writer) {
    LONG error = RemoveKeys(writer);
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    error = WriteEntries(modulePath, writer);
    if (error != ERROR_SUCCESS) {
        RemoveKeys(writer);
        return HRESULT_FROM_WIN32(error);
    }
    return S_OK;
}

HRESULT UnregisterServer(CRegistryWriter& writer) {
    const LONG error = RemoveKeys(writer);
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

void AnnouncePluginChange() {
    const UINT message = RegisterWindowMessageA("WMPlayer_PluginAddRemove");
    if (message != 0) PostMessageW(HWND_BROADCAST, message, 0, 0);
}

}  // namespace tunelet
