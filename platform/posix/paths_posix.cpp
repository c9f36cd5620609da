#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/paths.h"
#include "platform/text.h"

namespace av::platform {
namespace {

std::wstring Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? FromUtf8(value) : std::wstring();
}

std::wstring Home() {
    std::wstring home = Env("HOME");
    return home.empty() ? std::wstring(L"/tmp") : home;
}

}  // namespace

std::wstring GetExecutablePath() {
    std::string buffer(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return std::wstring();
    buffer.resize(static_cast<std::size_t>(n));
    return FromUtf8(buffer);
}

std::wstring GetExecutableFolder() { return RemoveFileSpec(GetExecutablePath()); }

bool GetKnownFolder(KnownFolder folder, std::wstring& out) {
    switch (folder) {
        case KnownFolder::RoamingAppData:
            out = Env("AVIARO_APPDATA");
            if (out.empty()) out = Env("XDG_CONFIG_HOME");
            if (out.empty()) out = JoinPath(Home(), L".config");
            return true;
        case KnownFolder::LocalAppData:
            out = Env("AVIARO_LOCAL_APPDATA");
            if (out.empty()) out = Env("XDG_DATA_HOME");
            if (out.empty()) out = JoinPath(JoinPath(Home(), L".local"), L"share");
            return true;
        case KnownFolder::Documents:
            out = Env("AVIARO_DOCUMENTS");
            if (out.empty()) out = Env("XDG_DOCUMENTS_DIR");
            if (out.empty()) out = JoinPath(Home(), L"Documents");
            return true;
        case KnownFolder::CommonDocuments:
            out = Env("AVIARO_COMMON_DOCUMENTS");
            if (out.empty()) out = L"/usr/local/share/Documents";
            return true;
    }
    return false;
}

std::wstring GetTempFolder() {
    std::wstring tmp = Env("TMPDIR");
    return tmp.empty() ? std::wstring(L"/tmp") : tmp;
}

std::wstring GetCurrentFolder() {
    std::string buffer(4096, '\0');
    if (getcwd(buffer.data(), buffer.size()) == nullptr) return std::wstring();
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return FromUtf8(buffer);
}

bool FileExists(const std::wstring& path) {
    struct stat st {};
    return stat(ToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::wstring& path) {
    struct stat st {};
    return stat(ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectoryPath(const std::wstring& path) {
    if (path.empty()) return false;
    if (DirectoryExists(path)) return true;
    const std::wstring parent = RemoveFileSpec(path);
    if (!parent.empty() && parent != path && !DirectoryExists(parent)) {
        if (!CreateDirectoryPath(parent)) return false;
    }
    return mkdir(ToUtf8(path).c_str(), 0777) == 0 || errno == EEXIST;
}

}  // namespace av::platform
