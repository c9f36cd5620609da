#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/file.h"
#include "platform/text.h"

namespace av::platform {
namespace {

// fsync of a file or folder; EINVAL (a file system that cannot sync this
// kind of object) is not a failure of ours.
bool SyncToDisk(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return ok;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::FILE* OpenFile(const std::wstring& path, const char* mode) {
    return std::fopen(ToUtf8(path).c_str(), mode);
}

bool ReplaceFileAtomically(const std::wstring& source, const std::wstring& target) {
    const std::string from = ToUtf8(source);
    const std::string to = ToUtf8(target);
    struct stat existing {};
    if (::stat(to.c_str(), &existing) == 0) {
        if ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            errno = EACCES;
            return false;
        }
        if (S_ISREG(existing.st_mode) && ::chmod(from.c_str(), existing.st_mode & 07777) != 0) {
            return false;
        }
    }
    if (!SyncToDisk(from, O_RDONLY)) return false;
    if (std::rename(from.c_str(), to.c_str()) != 0) return false;
    return SyncToDisk(FolderOf(to), O_RDONLY | O_DIRECTORY);
}

bool RemoveFile(const std::wstring& path) { return std::remove(ToUtf8(path).c_str()) == 0; }

FileStamp GetFileStamp(const std::wstring& path) {
    FileStamp stamp;
    struct stat st {};
    if (::stat(ToUtf8(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return stamp;
    stamp.exists = true;
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.writeTime = static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                      static_cast<std::uint64_t>(st.st_mtim.tv_nsec);
    return stamp;
}

}  // namespace av::platform
