// Cabinet.dll's FDI, loaded by name at run time.
#include "platform/cab_extract.h"
#include "platform/paths.h"

#include <windows.h>

#include <fcntl.h>
#include <fdi.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cstdlib>

namespace av::platform {

static_assert(sizeof(CabErrorRecord) == sizeof(ERF), "CabErrorRecord is FDI's ERF");

namespace {

using FdiCreateFn = HFDI(DIAMONDAPI*)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE,
                                      PFNSEEK, int, PERF);
using FdiCopyFn = BOOL(DIAMONDAPI*)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*);
using FdiIsCabinetFn = BOOL(DIAMONDAPI*)(HFDI, INT_PTR, PFDICABINETINFO);
using FdiDestroyFn = BOOL(DIAMONDAPI*)(HFDI);

FNALLOC(Alloc) { return std::malloc(cb); }
FNFREE(Free) { std::free(pv); }
FNREAD(Read) { return static_cast<UINT>(_read(static_cast<int>(hf), pv, cb)); }
FNWRITE(Write) { return static_cast<UINT>(_write(static_cast<int>(hf), pv, cb)); }
// FDI may close a handle it never opened: Wine's, after a next cabinet that
// could not be opened, closes 0, which is the C run-time's standard input,
// and the next file opened then gets descriptor 0. Every handle FDI has from
// the open callback is above the three standard ones.
FNCLOSE(Close) { return hf > 2 ? _close(static_cast<int>(hf)) : 0; }
FNSEEK(Seek) { return _lseek(static_cast<int>(hf), dist, seektype); }

struct CopyContext {
    CabNotify notify;
    void* context;
};

FNFDINOTIFY(Notify) {
    auto* copy = static_cast<CopyContext*>(pfdin->pv);
    CabNotice notice;
    notice.name = pfdin->psz1;
    notice.path = pfdin->psz3;
    notice.file = pfdin->hf;
    notice.date = pfdin->date;
    notice.time = pfdin->time;
    notice.attributes = pfdin->attribs;
    notice.error = static_cast<int>(pfdin->fdie);
    return copy->notify(static_cast<CabNote>(fdint), notice, copy->context);
}

}  // namespace

struct CabDecompressor::Impl {
    HMODULE module = nullptr;
    FdiCreateFn create = nullptr;
    FdiCopyFn copy = nullptr;
    FdiIsCabinetFn isCabinet = nullptr;
    FdiDestroyFn destroy = nullptr;
    HFDI context = nullptr;
};

CabDecompressor::CabDecompressor() : impl_(new Impl) {}
CabDecompressor::~CabDecompressor() {
    Destroy();
    Unload();
    delete impl_;
}

bool CabDecompressor::Load() {
    if (impl_->module) return true;
    HMODULE module = LoadLibraryA("Cabinet.dll");
    if (!module) return false;
    impl_->create = reinterpret_cast<FdiCreateFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "FDICreate")));
    impl_->copy = reinterpret_cast<FdiCopyFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "FDICopy")));
    impl_->isCabinet = reinterpret_cast<FdiIsCabinetFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "FDIIsCabinet")));
    impl_->destroy = reinterpret_cast<FdiDestroyFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "FDIDestroy")));
    if (!impl_->create || !impl_->copy || !impl_->isCabinet || !impl_->destroy) {
        FreeLibrary(module);
        impl_->create = nullptr;
        impl_->copy = nullptr;
        impl_->isCabinet = nullptr;
        impl_->destroy = nullptr;
        return false;
    }
    impl_->module = module;
    return true;
}

bool CabDecompressor::IsLoaded() const { return impl_->module != nullptr; }

void CabDecompressor::Unload() {
    if (!impl_->module) return;
    FreeLibrary(impl_->module);
    impl_->module = nullptr;
}

bool CabDecompressor::Create(CabOpen open, CabErrorRecord* errors) {
    if (!impl_->module || impl_->context) return false;
    impl_->context = impl_->create(Alloc, Free, reinterpret_cast<PFNOPEN>(open), Read, Write,
                                   Close, Seek, cpu80386, reinterpret_cast<PERF>(errors));
    return impl_->context != nullptr;
}

bool CabDecompressor::IsCreated() const { return impl_->context != nullptr; }

void CabDecompressor::Destroy() {
    if (!impl_->context) return;
    impl_->destroy(impl_->context);
    impl_->context = nullptr;
}

bool CabDecompressor::Copy(const char* name, const char* folder, CabNotify notify,
                           void* context) {
    if (!impl_->context) return false;
    CopyContext copy{notify, context};
    return impl_->copy(impl_->context, const_cast<char*>(name), const_cast<char*>(folder), 0,
                       Notify, nullptr, &copy) != FALSE;
}

std::intptr_t CabOpenFile(const std::wstring& path, int flags, int mode) {
    if (flags & _O_CREAT) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    int fd = -1;
    if (_wsopen_s(&fd, path.c_str(), flags, _SH_DENYNO, mode) != 0) return -1;
    return fd;
}

int CabCloseFile(std::intptr_t file) { return _close(static_cast<int>(file)); }

bool CabCreateFolders(const std::wstring& path) { return CreateDirectoryPath(path); }

void CabSetFileInfo(const std::wstring& path, std::uint16_t date, std::uint16_t time,
                    std::uint16_t attributes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    FILETIME stamp;
    if (DosDateTimeToFileTime(date, time, &stamp)) {
        FILETIME utc = stamp;
        if (!(attributes & 0x100)) LocalFileTimeToFileTime(&stamp, &utc);
        SetFileTime(file, &utc, nullptr, &utc);
    }
    CloseHandle(file);
    SetFileAttributesW(path.c_str(), attributes & 0x27);
}

bool DeleteFolderTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        bool ok = true;
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
                SetFileAttributesW(path.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            }
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A junction or a folder link: remove the link, not what it points at.
                ok = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                         ? RemoveDirectoryW(path.c_str()) != FALSE
                         : DeleteFolderTree(path);
            } else {
                ok = DeleteFileW(path.c_str()) != FALSE;
            }
        } while (ok && FindNextFileW(find, &found));
        FindClose(find);
        if (!ok) return false;
    }
    return RemoveDirectoryW(folder.c_str()) != FALSE;
}

std::wstring CabSystemMessage(int code) {
    wchar_t buffer[5000] = {};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(code),
                                  0, buffer, 5000, nullptr);
    return std::wstring(buffer, length);
}

}  // namespace av::platform
