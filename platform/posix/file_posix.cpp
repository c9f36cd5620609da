#include <cstdio>

#include "platform/file.h"
#include "platform/text.h"

namespace av::platform {

std::FILE* OpenFile(const std::wstring& path, const char* mode) {
    return std::fopen(ToUtf8(path).c_str(), mode);
}

bool ReplaceFileAtomically(const std::wstring& source, const std::wstring& target) {
    return std::rename(ToUtf8(source).c_str(), ToUtf8(target).c_str()) == 0;
}

bool RemoveFile(const std::wstring& path) { return std::remove(ToUtf8(path).c_str()) == 0; }

}  // namespace av::platform
