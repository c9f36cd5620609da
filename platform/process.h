// Process-wide services: COM, the debugger output, the command line, the
// environment.
#pragma once

#include <string>
#include <vector>

namespace av::platform {

void ComInitialize();    // CoInitialize(NULL); the result is not examined
void ComUninitialize();  // CoUninitialize()

// OutputDebugStringW on Windows. Elsewhere the text goes to standard error when
// AVIARO_DEBUG_OUTPUT is set. Tests may capture it.
void DebugOutput(const wchar_t* text);
using DebugOutputSink = void (*)(const wchar_t* text);
void SetDebugOutputSink(DebugOutputSink sink);  // 0 restores the default

// CommandLineToArgvW(GetCommandLineW()) on Windows.
std::vector<std::wstring> GetCommandLineArgs();

// The value of an environment variable (GetEnvironmentVariableW; getenv
// elsewhere, UTF-8). False when it is not set; a variable set to an empty
// value reads as true with an empty value.
bool GetEnvironmentValue(const wchar_t* name, std::wstring& out);

}  // namespace av::platform
