// Loading a library by name and finding its entry points.
//
// Besides the file system, a process can register in-process modules under a
// library name; they are found first. Tests and the native demo use this to put
// a stand-in where a Windows DLL would be loaded.
//
// Some libraries are installed only as shared side-by-side assemblies (under
// WinSxS): a plain LoadLibraryW from a program without a manifest never finds
// them. LoadSideBySideModule loads one through an activation context that names
// one exact assembly version; off Windows there are no such assemblies.
#pragma once

#include "platform/types.h"

namespace av::platform {

using ModuleHandle = void*;
using SymbolLookup = void* (*)(const char* name);

// LoadLibraryW on Windows; dlopen of "<folder of the executable>/<name without .dll>.so"
// elsewhere. Returns 0 when the module cannot be loaded.
ModuleHandle LoadModule(const wchar_t* name);
// Exactly the file at this full path, never searched for: a relative path is
// refused (0). On Windows LoadLibraryExW with LOAD_WITH_ALTERED_SEARCH_PATH, so
// that the module's own dependencies are looked for in its folder first;
// elsewhere dlopen of that path. In-process modules are not consulted.
ModuleHandle LoadModuleFromPath(const wchar_t* fullPath);
// GetProcAddress / dlsym by exact name. Returns 0 when absent.
void* GetModuleSymbol(ModuleHandle module, const char* name);
void UnloadModule(ModuleHandle module);

// fileName from the shared side-by-side assembly with exactly this identity
// (e.g. "Microsoft.FlightSimulator.SimConnect", "10.0.61259.0", "x86",
// "67c7c14424d61b5b", "SimConnect.dll"); 0 when that version is not installed or
// the file does not load. On Windows: a dependency manifest in a temporary file,
// CreateActCtxW, ActivateActCtx, LoadLibraryW, DeactivateActCtx, ReleaseActCtx;
// the file is deleted before the library is loaded. Elsewhere always 0.
ModuleHandle LoadSideBySideModule(const wchar_t* assemblyName, const wchar_t* version,
                                  const wchar_t* processorArchitecture,
                                  const wchar_t* publicKeyToken, const wchar_t* fileName);

// In-process modules, matched by name without regard to case.
void RegisterInProcessModule(const wchar_t* name, SymbolLookup lookup);
void UnregisterInProcessModule(const wchar_t* name);
// The in-process module registered under name, without looking at the file
// system; 0 when none is.
ModuleHandle FindInProcessModule(const wchar_t* name);

}  // namespace av::platform
