#include "tests/host/test_helpers.h"

#include <cstdio>
#include <filesystem>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/text.h"

std::wstring MakeTempFolder(const char* name) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "aviaro-tests" / name;
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder, ec);
    return folder.wstring();
}

std::string ReadBytes(const std::wstring& path) {
    std::FILE* f = av::platform::OpenFile(path, "rb");
    if (f == nullptr) return "<missing>";
    std::string bytes;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}
