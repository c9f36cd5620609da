#include <windows.h>
#include <shlobj.h>

#include "platform/paths.h"

namespace av::platform {

std::wstring GetExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::wstring();
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring GetExecutableFolder() { return RemoveFileSpec(GetExecutablePath()); }

bool GetKnownFolder(KnownFolder folder, std::wstring& out) {
    int csidl = CSIDL_APPDATA;
    switch (folder) {
        case KnownFolder::RoamingAppData: csidl = CSIDL_APPDATA; break;
        case KnownFolder::LocalAppData: csidl = CSIDL_LOCAL_APPDATA; break;
        case KnownFolder::Documents: csidl = CSIDL_PERSONAL; break;
        case KnownFolder::CommonDocuments: csidl = CSIDL_COMMON_DOCUMENTS; break;
    }
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return false;
    out = path;
    return true;
}

std::wstring GetTempFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, path);
    std::wstring result(path, n);
    while (!result.empty() && result.back() == L'\\') result.pop_back();
    return result;
}

std::wstring GetCurrentFolder() {
    const DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return std::wstring();
    std::wstring buffer(n, L'\0');
    const DWORD m = GetCurrentDirectoryW(n, buffer.data());
    buffer.resize(m);
    return buffer;
}

bool FileExists(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectoryPath(const std::wstring& path) {
    if (path.empty()) return false;
    if (DirectoryExists(path)) return true;
    const std::wstring parent = RemoveFileSpec(path);
    if (!parent.empty() && parent != path && !DirectoryExists(parent)) {
        if (!CreateDirectoryPath(parent)) return false;
    }
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace av::platform
