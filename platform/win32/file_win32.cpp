#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/file.h"

namespace av::platform {

std::FILE* OpenFile(const std::wstring& path, const char* mode) {
    std::wstring wide(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path.c_str(), wide.c_str());
}

bool ReplaceFileAtomically(const std::wstring& source, const std::wstring& target) {
    return MoveFileExW(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

}  // namespace av::platform
