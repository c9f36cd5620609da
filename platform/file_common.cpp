#include <cstdio>

#include "platform/file.h"

namespace av::platform {
namespace {

bool ReadAll(std::FILE* file, std::string& bytes) {
    bytes.clear();
    if (file == nullptr) return false;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    if (!ok) bytes.clear();
    return ok;
}

}  // namespace

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    return ReadAll(OpenFile(path, "rb"), bytes);
}

bool ReadFileBytes(const char* path, std::string& bytes) {
    return ReadAll(path != nullptr ? std::fopen(path, "rb") : nullptr, bytes);
}

}  // namespace av::platform
