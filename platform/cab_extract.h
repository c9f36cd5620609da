// Reading cabinet (.cab) files: Cabinet.dll's FDI interface on Windows, loaded
// at run time; libmspack elsewhere. Both deliver the same notifications in the
// same order, so what the caller does with the files (where they go, which
// names it refuses) is written once, above this layer.
//
// Paths cross this layer as byte strings in the caller's own encoding: the
// decompressor only joins them and hands them back to the caller's open
// callback, which turns them into real paths. The helpers at the end take real
// (wide) paths, with a backslash as the separator on every platform.
#pragma once

#include <cstdint>
#include <string>

namespace av::platform {

// FDI's ERF, field for field: the error number, the Windows error code (0 when
// none) and whether an error happened.
struct CabErrorRecord {
    int oper = 0;
    int type = 0;
    int failed = 0;
};

// FDI's notification types, with FDI's numbers.
enum class CabNote : int {
    CabinetInfo = 0,
    PartialFile = 1,
    CopyFile = 2,
    CloseFileInfo = 3,
    NextCabinet = 4,
    Enumerate = 5,
};

struct CabNotice {
    // CopyFile, CloseFileInfo: the entry's name as stored in the cabinet (may
    // hold sub-folders separated by backslashes). NextCabinet: the name of the
    // next cabinet of the set.
    const char* name = nullptr;
    // NextCabinet: the folder the decompressor looks in.
    const char* path = nullptr;
    // CloseFileInfo: the handle the caller returned for CopyFile.
    std::intptr_t file = 0;
    // CopyFile, CloseFileInfo: MS-DOS date and time, and the attribute word
    // (0x01 read-only, 0x02 hidden, 0x04 system, 0x20 archive, 0x40 run after
    // extraction, 0x80 name is UTF-8).
    std::uint16_t date = 0;
    std::uint16_t time = 0;
    std::uint16_t attributes = 0;
    // NextCabinet: non-zero when the previous attempt to open it failed.
    int error = 0;
};

// What the caller returns: CopyFile a file handle from CabOpenFile (0 skips the
// entry, -1 aborts); CloseFileInfo 1 (0 or -1 aborts); NextCabinet 0 or -1;
// the others 0.
using CabNotify = std::intptr_t (*)(CabNote note, const CabNotice& notice, void* context);
// Opens a cabinet (flags kCabOpenRead) or an output file (kCabOpenWrite) named
// by a path in the caller's encoding; a handle from CabOpenFile, -1 on failure.
using CabOpen = std::intptr_t (*)(char* path, int flags, int mode);

// The C run-time's flag values, as FDI passes them.
inline constexpr int kCabOpenRead = 0x8000;   // _O_BINARY | _O_RDONLY
inline constexpr int kCabOpenWrite = 0x8321;  // _O_BINARY | _O_CREAT | _O_TRUNC | _O_SEQUENTIAL | _O_WRONLY
inline constexpr int kCabOpenMode = 0x180;    // _S_IREAD | _S_IWRITE

class CabDecompressor {
public:
    CabDecompressor();
    ~CabDecompressor();
    CabDecompressor(const CabDecompressor&) = delete;
    CabDecompressor& operator=(const CabDecompressor&) = delete;

    // Windows: LoadLibraryA("Cabinet.dll") and its four entry points (FDICreate,
    // FDICopy, FDIIsCabinet, FDIDestroy); false, with nothing loaded, when any
    // is missing. Elsewhere always true.
    bool Load();
    bool IsLoaded() const;
    void Unload();

    // FDICreate with the caller's open callback; the record receives the
    // decompressor's errors from now on.
    bool Create(CabOpen open, CabErrorRecord* errors);
    bool IsCreated() const;
    void Destroy();

    // FDICopy: every entry that starts in folder + name, through notify.
    bool Copy(const char* name, const char* folder, CabNotify notify, void* context);

private:
    struct Impl;
    Impl* impl_;
};

// Files and folders for the caller, by wide path with backslashes.
// CabOpenFile: the C run-time's open, sharing read and write; with
// kCabOpenWrite a read-only file left from an earlier run is made writable
// first. Returns -1 on failure.
std::intptr_t CabOpenFile(const std::wstring& path, int flags, int mode);
int CabCloseFile(std::intptr_t file);
// Creates the folder and any missing parents; true when it exists afterwards.
bool CabCreateFolders(const std::wstring& path);
// Creation and last-write time from the MS-DOS date and time (local time
// unless bit 0x100 of attributes says UTC), then the attributes masked with
// 0x27. Nothing when the file cannot be opened.
void CabSetFileInfo(const std::wstring& path, std::uint16_t date, std::uint16_t time,
                    std::uint16_t attributes);
// Deletes folder with everything in it, as far as it can: read-only files are
// made writable first; a symbolic link or junction inside is removed itself,
// never followed. The first failure ends the walk (false), leaving the rest.
bool DeleteFolderTree(const std::wstring& folder);
// The system's message for an error code, empty when it has none.
std::wstring CabSystemMessage(int code);

}  // namespace av::platform
