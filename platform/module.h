// Loading a library by name and finding its entry points.
//
// Besides the file system, a process can register in-process modules under a
// library name; they are found first. Tests and the native demo use this to put
// a stand-in where a Windows DLL would be loaded.
#pragma once

#include "platform/types.h"

namespace av::platform {

using ModuleHandle = void*;
using SymbolLookup = void* (*)(const char* name);

// LoadLibraryW on Windows; dlopen of "<folder of the executable>/<name without .dll>.so"
// elsewhere. Returns 0 when the module cannot be loaded.
ModuleHandle LoadModule(const wchar_t* name);
// GetProcAddress / dlsym by exact name. Returns 0 when absent.
void* GetModuleSymbol(ModuleHandle module, const char* name);
void UnloadModule(ModuleHandle module);

// In-process modules, matched by name without regard to case.
void RegisterInProcessModule(const wchar_t* name, SymbolLookup lookup);
void UnregisterInProcessModule(const wchar_t* name);

}  // namespace av::platform
