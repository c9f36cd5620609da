#pragma once

#include <string>

// A fresh, empty temporary folder for one test.
std::wstring MakeTempFolder(const char* name);
// The bytes of a file, or "<missing>".
std::string ReadBytes(const std::wstring& path);
