// Reading and writing the simulators' configuration files as bytes. A file is
// never rewritten in place: the new bytes go to a file beside it, which then
// replaces it in one step, so a failure part-way leaves the old file as it was.
#pragma once

#include <cstdio>
#include <string>

// Writes all of bytes to an open file; false when anything failed. Tests put
// a failing one in place of the default.
using RegistrationFileWriter = bool (*)(std::FILE* file, const std::string& bytes);

// The default writer: fwrite, then fflush.
bool WriteAllBytes(std::FILE* file, const std::string& bytes);

// Writes bytes to path + kReplacementSuffix and moves that over path (or into
// place when path does not exist yet). False, with path untouched and no file
// left beside it, when any step fails.
bool WriteFileReplacing(const std::wstring& path, const std::string& bytes,
                        RegistrationFileWriter writer = WriteAllBytes);

inline constexpr wchar_t kReplacementSuffix[] = L".aviaro-new";
