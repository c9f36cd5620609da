// Folders and paths the program needs: its own path, the user's folders, the
// temporary folder, and joining names the way the platform does.
//
// Elsewhere than Windows the known folders follow XDG and can be overridden
// with AVIARO_APPDATA, AVIARO_LOCAL_APPDATA, AVIARO_DOCUMENTS and
// AVIARO_COMMON_DOCUMENTS.
#pragma once

#include <string>

namespace av::platform {

enum class KnownFolder {
    RoamingAppData,   // CSIDL_APPDATA
    LocalAppData,     // CSIDL_LOCAL_APPDATA
    Documents,        // CSIDL_PERSONAL
    CommonDocuments,  // CSIDL_COMMON_DOCUMENTS
};

inline constexpr wchar_t kPathSeparator =
#if defined(_WIN32)
    L'\\';
#else
    L'/';
#endif

// Full path of the running executable (GetModuleFileNameW(0)).
std::wstring GetExecutablePath();
// The executable's folder, without a trailing separator.
std::wstring GetExecutableFolder();
// False when the folder cannot be determined.
bool GetKnownFolder(KnownFolder folder, std::wstring& out);
std::wstring GetTempFolder();
std::wstring GetCurrentFolder();

// "a" + separator + "b", without doubling a separator already at the end of a.
std::wstring JoinPath(const std::wstring& a, const std::wstring& b);
// A path as configurations and gauge files write it (backslashes) with this
// platform's separators: unchanged on Windows, slashes elsewhere.
std::wstring LocalPath(std::wstring path);
// Everything before the last separator (PathRemoveFileSpecW).
std::wstring RemoveFileSpec(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);
bool CreateDirectoryPath(const std::wstring& path);  // creates missing parents too

}  // namespace av::platform
