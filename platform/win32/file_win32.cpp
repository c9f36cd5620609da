#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/file.h"

namespace av::platform {
namespace {

// FlushFileBuffers needs a handle with write access; the cache it flushes is
// the file's, whoever wrote it.
bool FlushToDisk(const std::wstring& path) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool ok = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return ok;
}

}  // namespace

std::FILE* OpenFile(const std::wstring& path, const char* mode) {
    std::wstring wide(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path.c_str(), wide.c_str());
}

bool ReplaceFileAtomically(const std::wstring& source, const std::wstring& target) {
    const DWORD existing = GetFileAttributesW(target.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        if ((existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        const DWORD kept = existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        const DWORD own = GetFileAttributesW(source.c_str());
        if (kept != 0 && (own == INVALID_FILE_ATTRIBUTES ||
                          !SetFileAttributesW(source.c_str(), (own & ~FILE_ATTRIBUTE_NORMAL) | kept))) {
            return false;
        }
    }
    if (!FlushToDisk(source)) return false;
    return MoveFileExW(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

FileStamp GetFileStamp(const std::wstring& path) {
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return stamp;
    }
    stamp.exists = true;
    stamp.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.writeTime = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                      data.ftLastWriteTime.dwLowDateTime;
    return stamp;
}

}  // namespace av::platform
