// Registry values. On Windows the real registry; elsewhere a text file in the
// .reg style named by the environment variable AVIARO_REGISTRY:
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Orlend\Lumiray\Debug]
//   "Aviaro"="/tmp/aviaro-trace.txt"
//   "Flag"=dword:00000001
//
// Key and value names are compared without regard to case, as Windows does.
//
// 64-bit Windows keeps two views of HKLM\SOFTWARE: a 32-bit program's keys live
// under HKLM\SOFTWARE\WOW6432Node. Each call reads or writes the calling
// process's own view unless told otherwise (KEY_WOW64_32KEY, KEY_WOW64_64KEY;
// 32-bit Windows has one view and ignores the choice). The file stands for
// 64-bit Windows: the 64-bit view is the key as written, and the 32-bit view of
// HKLM\SOFTWARE\X is the key HKLM\SOFTWARE\WOW6432Node\X, so tests can tell the
// views apart. Other keys are the same in both views.
#pragma once

#include <cstdint>
#include <string>

namespace av::platform {

enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot };

enum class RegistryView {
    Process,  // the view of the calling process
    Bits32,   // what a 32-bit program sees
    Bits64,   // what a 64-bit program sees
};

// Reads a string value. maxUnits is the size of the caller's buffer in UTF-16
// units including the terminator: a longer value fails as RegQueryValueExW does.
bool ReadRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                        std::wstring& out, std::size_t maxUnits = 512,
                        RegistryView view = RegistryView::Process);
bool ReadRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                       std::uint32_t& out, RegistryView view = RegistryView::Process);
// True when the key exists (it may hold no values).
bool RegistryKeyExists(RegistryRoot root, const std::wstring& key,
                       RegistryView view = RegistryView::Process);

// Writing creates the key when missing.
bool WriteRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                         const std::wstring& data, RegistryView view = RegistryView::Process);
bool WriteRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                        std::uint32_t data, RegistryView view = RegistryView::Process);
bool DeleteRegistryValue(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                         RegistryView view = RegistryView::Process);
// Deletes the key and everything below it.
bool DeleteRegistryKey(RegistryRoot root, const std::wstring& key,
                       RegistryView view = RegistryView::Process);

}  // namespace av::platform
