// Files by wide path (_wfopen on Windows, UTF-8 paths elsewhere), and replacing
// a file in one step so that a failed write never leaves a half-written file.
#pragma once

#include <cstdio>
#include <string>

namespace av::platform {

std::FILE* OpenFile(const std::wstring& path, const char* mode);
// The whole file. False (bytes empty) when it cannot be opened or read.
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
// The same for a path in the C runtime's own narrow encoding (an environment
// variable's value, for example).
bool ReadFileBytes(const char* path, std::string& bytes);
// Moves source over target in one step (MoveFileExW with REPLACE_EXISTING,
// rename elsewhere). The source is gone afterwards when this succeeds.
bool ReplaceFileAtomically(const std::wstring& source, const std::wstring& target);
bool RemoveFile(const std::wstring& path);

}  // namespace av::platform
