// Cabinets through libmspack, delivering FDI's notifications. Spanned sets are
// not read here: a cabinet that continues in another one fails as corrupt.
#include "platform/cab_extract.h"

#include "platform/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace av::platform {

namespace {

std::string NativePath(const std::wstring& path) {
    std::wstring copy = path;
    for (wchar_t& c : copy) {
        if (c == L'\\') c = L'/';
    }
    return ToUtf8(copy);
}

struct File {
    int fd;
    bool owned;  // false for an output file: its handle belongs to the caller
};

// The name libmspack is given for an output file: the caller's handle.
constexpr char kHandlePrefix[] = "\x01handle:";

struct System {
    mspack_system base;
    CabOpen open;
};

mspack_file* SysOpen(mspack_system* self, const char* filename, int mode) {
    auto* system = reinterpret_cast<System*>(self);
    std::size_t prefix = sizeof(kHandlePrefix) - 1;
    if (mode == MSPACK_SYS_OPEN_WRITE && std::strncmp(filename, kHandlePrefix, prefix) == 0) {
        return reinterpret_cast<mspack_file*>(
            new File{static_cast<int>(std::strtol(filename + prefix, nullptr, 10)), false});
    }
    if (mode != MSPACK_SYS_OPEN_READ) return nullptr;
    std::string path = filename;
    std::intptr_t fd = system->open(path.data(), kCabOpenRead, 0);
    if (fd < 0) return nullptr;
    return reinterpret_cast<mspack_file*>(new File{static_cast<int>(fd), true});
}

void SysClose(mspack_file* file) {
    auto* f = reinterpret_cast<File*>(file);
    if (f->owned) ::close(f->fd);
    delete f;
}

int SysRead(mspack_file* file, void* buffer, int bytes) {
    ssize_t n = ::read(reinterpret_cast<File*>(file)->fd, buffer, static_cast<std::size_t>(bytes));
    return n < 0 ? -1 : static_cast<int>(n);
}

int SysWrite(mspack_file* file, void* buffer, int bytes) {
    ssize_t n = ::write(reinterpret_cast<File*>(file)->fd, buffer, static_cast<std::size_t>(bytes));
    return n < 0 ? -1 : static_cast<int>(n);
}

int SysSeek(mspack_file* file, off_t offset, int mode) {
    int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
                 : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                               : SEEK_END;
    return ::lseek(reinterpret_cast<File*>(file)->fd, offset, whence) < 0 ? -1 : 0;
}

off_t SysTell(mspack_file* file) { return ::lseek(reinterpret_cast<File*>(file)->fd, 0, SEEK_CUR); }

void SysMessage(mspack_file*, const char*, ...) {}

void* SysAlloc(mspack_system*, size_t bytes) { return std::malloc(bytes); }
void SysFree(void* buffer) { std::free(buffer); }
void SysCopy(void* source, void* target, size_t bytes) { std::memmove(target, source, bytes); }

// libmspack's error numbers as FDI's.
int FdiError(int error) {
    switch (error) {
    case MSPACK_ERR_OK: return 0;
    case MSPACK_ERR_OPEN: return 1;
    case MSPACK_ERR_SIGNATURE: return 2;
    case MSPACK_ERR_NOMEMORY: return 5;
    case MSPACK_ERR_DECRUNCH: return 7;
    case MSPACK_ERR_WRITE: return 8;
    default: return 4;  // read, seek, format and checksum failures: a corrupt cabinet
    }
}

}  // namespace

struct CabDecompressor::Impl {
    bool loaded = false;
    System system{};
    mscab_decompressor* cabd = nullptr;
    CabErrorRecord* errors = nullptr;

    void Fail(int oper) {
        errors->oper = oper;
        errors->type = 0;
        errors->failed = 1;
    }
};

CabDecompressor::CabDecompressor() : impl_(new Impl) {}
CabDecompressor::~CabDecompressor() {
    Destroy();
    Unload();
    delete impl_;
}

bool CabDecompressor::Load() {
    impl_->loaded = true;
    return true;
}
bool CabDecompressor::IsLoaded() const { return impl_->loaded; }
void CabDecompressor::Unload() { impl_->loaded = false; }

bool CabDecompressor::Create(CabOpen open, CabErrorRecord* errors) {
    if (!impl_->loaded || impl_->cabd) return false;
    mspack_system& s = impl_->system.base;
    s.open = SysOpen;
    s.close = SysClose;
    s.read = SysRead;
    s.write = SysWrite;
    s.seek = SysSeek;
    s.tell = SysTell;
    s.message = SysMessage;
    s.alloc = SysAlloc;
    s.free = SysFree;
    s.copy = SysCopy;
    s.null_ptr = nullptr;
    impl_->system.open = open;
    impl_->errors = errors;
    impl_->cabd = mspack_create_cab_decompressor(&s);
    return impl_->cabd != nullptr;
}

bool CabDecompressor::IsCreated() const { return impl_->cabd != nullptr; }

void CabDecompressor::Destroy() {
    if (!impl_->cabd) return;
    mspack_destroy_cab_decompressor(impl_->cabd);
    impl_->cabd = nullptr;
}

bool CabDecompressor::Copy(const char* name, const char* folder, CabNotify notify,
                           void* context) {
    mscab_decompressor* cabd = impl_->cabd;
    if (!cabd) return false;
    std::string path = std::string(folder) + name;
    mscabd_cabinet* cabinet = cabd->open(cabd, path.c_str());
    if (!cabinet) {
        impl_->Fail(FdiError(cabd->last_error(cabd)));
        return false;
    }
    bool ok = true;
    if (cabinet->prevname || cabinet->nextname) {
        impl_->Fail(4);
        ok = false;
    }
    CabNotice info;
    info.name = "";
    info.path = folder;
    if (ok && notify(CabNote::CabinetInfo, info, context) == -1) {
        impl_->Fail(11);
        ok = false;
    }
    for (mscabd_file* file = cabinet->files; ok && file; file = file->next) {
        CabNotice notice;
        notice.name = file->filename;
        notice.attributes = static_cast<std::uint16_t>(file->attribs);
        notice.date = static_cast<std::uint16_t>(((file->date_y - 1980) << 9) |
                                                 (file->date_m << 5) | file->date_d);
        notice.time = static_cast<std::uint16_t>((file->time_h << 11) | (file->time_m << 5) |
                                                 (file->time_s / 2));
        std::intptr_t handle = notify(CabNote::CopyFile, notice, context);
        if (handle == 0) continue;
        if (handle < 0) {
            impl_->Fail(11);
            ok = false;
            break;
        }
        std::string target = kHandlePrefix + std::to_string(handle);
        int error = cabd->extract(cabd, file, target.c_str());
        notice.file = handle;
        if (error != MSPACK_ERR_OK) {
            CabCloseFile(handle);
            impl_->Fail(FdiError(error));
            ok = false;
            break;
        }
        if (notify(CabNote::CloseFileInfo, notice, context) != 1) {
            impl_->Fail(11);
            ok = false;
        }
    }
    cabd->close(cabd, cabinet);
    return ok;
}

std::intptr_t CabOpenFile(const std::wstring& path, int flags, int mode) {
    std::string native = NativePath(path);
    int posixFlags = O_CLOEXEC;
    if (flags & 0x0100) {  // _O_CREAT
        ::chmod(native.c_str(), 0644);
        posixFlags |= O_CREAT;
    }
    if (flags & 0x0200) posixFlags |= O_TRUNC;
    if (flags & 0x0001) posixFlags |= O_WRONLY;
    else if (flags & 0x0002) posixFlags |= O_RDWR;
    else posixFlags |= O_RDONLY;
    mode_t permissions = (mode & 0x80) ? 0644 : 0444;
    int fd = ::open(native.c_str(), posixFlags, permissions);
    return fd;
}

int CabCloseFile(std::intptr_t file) { return ::close(static_cast<int>(file)); }

bool CabIsFolder(const std::wstring& path) {
    struct stat info;
    return ::stat(NativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

unsigned long CabCreateFolder(const std::wstring& path) {
    if (::mkdir(NativePath(path).c_str(), 0755) == 0) return 0;
    return errno == EEXIST ? 183 : 3;  // ERROR_ALREADY_EXISTS, ERROR_PATH_NOT_FOUND
}

void CabSetFileInfo(const std::wstring& path, std::uint16_t date, std::uint16_t time,
                    std::uint16_t attributes) {
    std::string native = NativePath(path);
    struct stat info;
    if (::stat(native.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    std::tm stamp{};
    stamp.tm_year = ((date >> 9) & 0x7F) + 80;
    stamp.tm_mon = ((date >> 5) & 0x0F) - 1;
    stamp.tm_mday = date & 0x1F;
    stamp.tm_hour = (time >> 11) & 0x1F;
    stamp.tm_min = (time >> 5) & 0x3F;
    stamp.tm_sec = (time & 0x1F) * 2;
    stamp.tm_isdst = -1;
    std::time_t seconds = (attributes & 0x100) ? timegm(&stamp) : std::mktime(&stamp);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = seconds;
    times[1].tv_nsec = 0;
    ::utimensat(AT_FDCWD, native.c_str(), times, 0);
    // Read-only is the only one of the attributes a POSIX file can carry.
    ::chmod(native.c_str(), (attributes & 0x01) ? (info.st_mode & 07555) : (info.st_mode | 0200));
}

namespace {

bool DeleteNativeTree(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir != nullptr) {
        bool ok = true;
        while (ok) {
            dirent* entry = ::readdir(dir);
            if (entry == nullptr) break;
            std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            std::string path = folder + "/" + name;
            struct stat info;
            if (::lstat(path.c_str(), &info) != 0) {
                ok = false;
            } else if (S_ISDIR(info.st_mode)) {
                ::chmod(path.c_str(), info.st_mode | 0700);
                ok = DeleteNativeTree(path);
            } else {
                // Files and links alike: unlink never follows a link.
                ok = ::unlink(path.c_str()) == 0;
            }
        }
        ::closedir(dir);
        if (!ok) return false;
    }
    return ::rmdir(folder.c_str()) == 0;
}

}  // namespace

bool DeleteFolderTree(const std::wstring& folder) {
    std::string native = NativePath(folder);
    struct stat info;
    // The folder itself must be a real folder, not a link to one.
    if (::lstat(native.c_str(), &info) != 0) return false;
    if (!S_ISDIR(info.st_mode)) return ::unlink(native.c_str()) == 0;
    return DeleteNativeTree(native);
}

std::wstring CabSystemMessage(int code) {
    return FromUtf8(std::strerror(code));
}

}  // namespace av::platform
