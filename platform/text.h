// Conversions between the program's UTF-16 text and 8-bit text.
#pragma once

#include <string>

namespace av::platform {

// To the ANSI code page (Windows-1252 on a western Windows; Windows-1252 elsewhere).
// Characters without a representation become '?'.
std::string ToAnsi(const std::wstring& text);
// From the ANSI code page.
std::wstring FromAnsi(const std::string& text);
// UTF-8, for file names off Windows and for stand-in records.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// Windows-1252 exactly as Windows converts it, on every platform: false when a
// character has no byte. The five bytes the code page leaves unassigned are
// the code points U+0081, U+008D, U+008F, U+0090 and U+009D, both ways.
bool ToWindows1252(const std::wstring& text, std::string& out);
std::wstring FromWindows1252(const std::string& text);

// Case-insensitive comparison of UTF-16 text as Windows compares names.
bool EqualsIgnoreCase(const std::wstring& a, const std::wstring& b);

}  // namespace av::platform
