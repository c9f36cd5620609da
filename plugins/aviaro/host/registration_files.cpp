#include "plugins/aviaro/host/registration_files.h"

#include "platform/file.h"

bool WriteAllBytes(std::FILE* file, const std::string& bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        return false;
    }
    return std::fflush(file) == 0;
}

bool WriteFileReplacing(const std::wstring& path, const std::string& bytes,
                        RegistrationFileWriter writer) {
    const std::wstring temporary = path + kReplacementSuffix;
    std::FILE* file = av::platform::OpenFile(temporary, "wb");
    if (file == nullptr) return false;
    const bool written = writer(file, bytes);
    const bool closed = std::fclose(file) == 0;
    // The replace puts the bytes on disk before the move, so a power cut right
    // after install cannot leave an empty exe.xml; it keeps the file's hidden or
    // system attribute and leaves a read-only file as the user set it.
    if (written && closed && av::platform::ReplaceFileAtomically(temporary, path)) return true;
    av::platform::RemoveFile(temporary);
    return false;
}
