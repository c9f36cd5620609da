// Registry values. On Windows the real registry; elsewhere a text file in the
// .reg style named by the environment variable AVIARO_REGISTRY:
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Orlend\Lumiray\Debug]
//   "Aviaro"="/tmp/aviaro-trace.txt"
//   "Flag"=dword:00000001
//
// Key and value names are compared without regard to case, as Windows does.
#pragma once

#include <cstdint>
#include <string>

namespace av::platform {

enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot };

// Reads a string value. maxUnits is the size of the caller's buffer in UTF-16
// units including the terminator: a longer value fails as RegQueryValueExW does.
bool ReadRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                        std::wstring& out, std::size_t maxUnits = 512);
bool ReadRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                       std::uint32_t& out);
// True when the key exists (it may hold no values).
bool RegistryKeyExists(RegistryRoot root, const std::wstring& key);

// Writing creates the key when missing.
bool WriteRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                         const std::wstring& data);
bool WriteRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                        std::uint32_t data);
bool DeleteRegistryValue(RegistryRoot root, const std::wstring& key, const std::wstring& value);
// Deletes the key and everything below it.
bool DeleteRegistryKey(RegistryRoot root, const std::wstring& key);

}  // namespace av::platform
