// Cabinets through libmspack, delivering FDI's notifications. A spanned set is
// followed as FDI follows it: a file that continues in the next cabinet makes
// that cabinet be asked for (NextCabinet, looked for in the same folder) and
// appended; files continued from a previous cabinet are only announced
// (PartialFile), since the copy of that cabinet wrote them.
#include "platform/cab_extract.h"

#include "platform/paths.h"
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
#include <list>
#include <string>
#include <vector>

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

namespace {

// FDI's folder numbers for entries of a spanned set.
constexpr std::uint16_t kContinuedFromPrev = 0xFFFD;
constexpr std::uint16_t kContinuedToNext = 0xFFFE;
constexpr std::uint16_t kContinuedBoth = 0xFFFF;

std::uint16_t Get16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

// The folder number of every entry libmspack lists, read from the header
// (libmspack keeps the entries' order but not their continuation numbers).
// libmspack drops entries it cannot use, so each is found by name, in order.
// Empty when the header cannot be read: the caller then treats every entry as
// starting here.
std::vector<std::uint16_t> EntryFolders(CabOpen open, const std::string& path,
                                        const mscabd_file* files) {
    std::string copy = path;
    std::intptr_t fd = open(copy.data(), kCabOpenRead, 0);
    if (fd < 0) return {};
    std::string bytes;
    char buffer[4096];
    ssize_t n;
    while (bytes.size() < (1u << 20) &&
           (n = ::read(static_cast<int>(fd), buffer, sizeof(buffer))) > 0) {
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    CabCloseFile(fd);
    if (bytes.size() < 36) return {};
    std::size_t at = Get16(bytes, 16) | (static_cast<std::size_t>(Get16(bytes, 18)) << 16);
    std::size_t left = Get16(bytes, 28);
    std::vector<std::uint16_t> folders;
    for (const mscabd_file* file = files; file; file = file->next) {
        bool found = false;
        while (!found && left > 0 && at + 16 <= bytes.size()) {
            std::size_t end = bytes.find('\0', at + 16);
            if (end == std::string::npos) return {};
            found = bytes.compare(at + 16, end - at - 16, file->filename) == 0;
            if (found) folders.push_back(Get16(bytes, at + 8));
            at = end + 1;
            --left;
        }
        if (!found) return {};
    }
    return folders;
}

}  // namespace

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
    std::size_t count = 0;
    for (mscabd_file* file = cabinet->files; file; file = file->next) ++count;
    std::vector<std::uint16_t> folders = EntryFolders(impl_->system.open, path, cabinet->files);
    bool ok = true;
    CabNotice info;
    info.name = cabinet->nextname ? cabinet->nextname : "";
    info.path = folder;
    if (notify(CabNote::CabinetInfo, info, context) == -1) {
        impl_->Fail(11);
        ok = false;
    }
    // The last cabinet of the set appended so far.
    mscabd_cabinet* last = cabinet;
    std::list<std::string> nextPaths;
    // A folder continued from the previous cabinet can only be read with that
    // cabinet in front; its own entries are then found again by name, place
    // and size in the joined list.
    struct Own {
        std::string name;
        unsigned offset;
        unsigned length;
    };
    std::vector<Own> own;
    std::vector<mscabd_file> ownFiles;  // their dates and attributes
    mscabd_file standIn{};
    bool continued = false;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        continued = continued || folders[i] == kContinuedFromPrev || folders[i] == kContinuedBoth;
    }
    if (ok && continued && cabinet->prevname) {
        for (mscabd_file* file = cabinet->files; file; file = file->next) {
            own.push_back({file->filename, file->offset, file->length});
            ownFiles.push_back(*file);
        }
        nextPaths.push_back(std::string(folder) + cabinet->prevname);
        mscabd_cabinet* previous = cabd->open(cabd, nextPaths.back().c_str());
        if (!previous) {
            impl_->Fail(FdiError(cabd->last_error(cabd)) == 0 ? 1 : FdiError(cabd->last_error(cabd)));
            ok = false;
        } else if (previous->set_id != cabinet->set_id ||
                   previous->set_index + 1 != cabinet->set_index ||
                   cabd->prepend(cabd, cabinet, previous) != MSPACK_ERR_OK) {
            cabd->close(cabd, previous);
            impl_->Fail(10);
            ok = false;
        } else {
            cabinet = previous;  // the head of the set, closed last
        }
    }
    std::size_t index = 0;
    // Appending re-makes the file list: the entries of this cabinet stay
    // first, so they are found again by position.
    auto entry = [&](std::size_t wanted) {
        mscabd_file* file = cabinet->files;
        if (!own.empty()) {
            const Own& o = own[wanted];
            auto same = [](const Own& a, const mscabd_file* f) {
                return a.name == f->filename && a.offset == f->offset && a.length == f->length;
            };
            while (file && !same(o, file)) file = file->next;
            if (file || folders[wanted] != 0) return file;
            // libmspack drops the joined folder's entries of the later
            // cabinet from the list; an entry wholly in this cabinet but in
            // that folder is read through a copy of a continued entry.
            for (std::size_t i = 0; i < own.size(); ++i) {
                if (folders[i] != kContinuedFromPrev && folders[i] != kContinuedBoth) continue;
                for (mscabd_file* f = cabinet->files; f; f = f->next) {
                    if (!same(own[i], f)) continue;
                    standIn = ownFiles[wanted];  // its name, place, size, date and attributes
                    standIn.next = nullptr;
                    standIn.filename = const_cast<char*>(o.name.c_str());
                    standIn.folder = f->folder;  // the joined folder
                    return &standIn;
                }
            }
            return file;
        }
        for (std::size_t i = 0; file && i < wanted; ++i) file = file->next;
        return file;
    };
    for (; ok && index < count; ++index) {
        mscabd_file* file = entry(index);
        if (!file) {
            impl_->Fail(4);
            ok = false;
            break;
        }
        std::uint16_t number = index < folders.size() ? folders[index] : 0;
        CabNotice notice;
        notice.name = file->filename;
        if (number == kContinuedFromPrev || number == kContinuedBoth) {
            if (notify(CabNote::PartialFile, notice, context) == -1) {
                impl_->Fail(11);
                ok = false;
            }
            continue;
        }
        if ((number == kContinuedToNext || number == kContinuedBoth) && last->nextname) {
            // Ask for the next cabinet; a failed attempt is reported back
            // through the same notification, which may give up.
            std::string nextName = last->nextname;
            CabNotice next;
            next.name = nextName.c_str();
            next.path = folder;
            if (notify(CabNote::NextCabinet, next, context) == -1) {
                impl_->Fail(11);
                ok = false;
                break;
            }
            // libmspack keeps the name it is given until the set is closed.
            nextPaths.push_back(std::string(folder) + nextName);
            mscabd_cabinet* following = cabd->open(cabd, nextPaths.back().c_str());
            if (!following) {
                next.error = FdiError(cabd->last_error(cabd));
                if (next.error == 0) next.error = 1;
                notify(CabNote::NextCabinet, next, context);
                impl_->Fail(next.error);
                ok = false;
                break;
            }
            // Another set, or not the cabinet that follows: FDI's check.
            if (following->set_id != last->set_id || following->set_index != last->set_index + 1 ||
                cabd->append(cabd, last, following) != MSPACK_ERR_OK) {
                cabd->close(cabd, following);
                next.error = 10;
                notify(CabNote::NextCabinet, next, context);
                impl_->Fail(10);
                ok = false;
                break;
            }
            last = following;
            file = entry(index);
            if (!file) {
                impl_->Fail(4);
                ok = false;
                break;
            }
            notice.name = file->filename;
        }
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
    // Closing the first cabinet closes the ones appended to it.
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

bool CabCreateFolders(const std::wstring& path) {
    return CreateDirectoryPath(FromUtf8(NativePath(path)));
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
