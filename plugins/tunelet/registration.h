// The registry entries that make the player load the plug-in: the class id
// under HKEY_CLASSES_ROOT\CLSID and the plug-in's key under the player's
// UIPlugins key. Both keys belong to this class id alone and are written and
// removed whole; their parents are never removed.
#pragma once

#include <windows.h>

#include <string>

namespace tunelet {

// The registry calls registration makes, so that a test can make one fail.
class CRegistryWriter {
public:
    virtual ~CRegistryWriter() = default;
    // RegCreateKeyExW for writing; *key is valid only on ERROR_SUCCESS.
    virtual LONG CreateKey(HKEY root, const wchar_t* path, HKEY* key);
    virtual LONG SetValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data,
                          DWORD size);
    // RegDeleteTreeW: the key with everything below it.
    virtual LONG DeleteTree(HKEY root, const wchar_t* path);
};

inline constexpr wchar_t kClassKey[] = L"CLSID\\{F27B8E19-04C6-4A3D-8B5E-92C1D7A06F38}";
inline constexpr wchar_t kPluginKey[] =
    L"SOFTWARE\\Microsoft\\MediaPlayer\\UIPlugins\\{F27B8E19-04C6-4A3D-8B5E-92C1D7A06F38}";

// Writes every entry for the DLL at modulePath, after removing what an earlier
// registration left. A failure part way removes both keys again, so the player
// never finds a half-written class, and is returned.
HRESULT RegisterServer(const std::wstring& modulePath, CRegistryWriter& writer);
// Removes both keys; a key that is not there is no failure.
HRESULT UnregisterServer(CRegistryWriter& writer);

// Tells running players to read their plug-in list again: the registered
// message "WMPlayer_PluginAddRemove" posted to every top-level window.
void AnnouncePluginChange();

}  // namespace tunelet
