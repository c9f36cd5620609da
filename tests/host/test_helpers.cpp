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
    std::string bytes;
    if (!av::platform::ReadFileBytes(path, bytes)) return "<missing>";
    return bytes;
}
