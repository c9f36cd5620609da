#include "plugins/aviaro/host/registration_files.h"

#include "platform/file.h"

bool WriteAllBytes(std::FILE* file, const std::string& bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        return false;
    }
    return std::fflush(file) == 0;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    std::FILE* file = av::platform::OpenFile(path, "rb");
    if (file == nullptr) return false;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

bool WriteFileReplacing(const std::wstring& path, const std::string& bytes,
                        RegistrationFileWriter writer) {
    const std::wstring temporary = path + kReplacementSuffix;
    std::FILE* file = av::platform::OpenFile(temporary, "wb");
    if (file == nullptr) return false;
    const bool written = writer(file, bytes);
    const bool closed = std::fclose(file) == 0;
    if (written && closed && av::platform::ReplaceFileAtomically(temporary, path)) return true;
    av::platform::RemoveFile(temporary);
    return false;
}
