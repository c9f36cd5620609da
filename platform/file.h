// Files by wide path (_wfopen on Windows, UTF-8 paths elsewhere), and replacing
// a file in one step so that neither a failed write nor a power cut right after
// a save leaves a half-written or empty file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace av::platform {

std::FILE* OpenFile(const std::wstring& path, const char* mode);
// The whole file. False (bytes empty) when it cannot be opened or read.
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
// The same for a path in the C runtime's own narrow encoding (an environment
// variable's value, for example).
bool ReadFileBytes(const char* path, std::string& bytes);

// Moves source (a complete, closed file) over target in one step, durably:
//  1. a read-only target is left as it is and the call fails: a file the user
//     protected is not ours to overwrite (Windows' MoveFileEx refuses it too;
//     off Windows "read-only" means no write permission bit at all);
//  2. the target's attributes go to the new file: hidden and system on Windows
//     (the archive bit stays set, as on every file written), the permission
//     bits elsewhere;
//  3. source's bytes are flushed to disk (FlushFileBuffers, fsync) before the
//     move, so the rename can never land ahead of the data;
//  4. MoveFileExW with REPLACE_EXISTING and WRITE_THROUGH on Windows; rename
//     and then an fsync of the folder elsewhere, so the new name is on disk.
// Also used when target does not exist yet. On failure target is untouched
// and source is still there (the caller removes it).
bool ReplaceFileAtomically(const std::wstring& source, const std::wstring& target);
bool RemoveFile(const std::wstring& path);

// What tells one version of a file from the next without reading it: its size
// and last-write time (all zero for a file that is not there).
struct FileStamp {
    bool exists = false;
    std::uint64_t size = 0;
    std::uint64_t writeTime = 0;  // the platform's own units
    bool operator==(const FileStamp&) const = default;
};
FileStamp GetFileStamp(const std::wstring& path);

}  // namespace av::platform
