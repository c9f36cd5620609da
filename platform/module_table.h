// In-process modules, shared by both module loaders.
#pragma once

#include "platform/module.h"

namespace av::platform::detail {

// The registration's handle when name is registered, else 0.
ModuleHandle FindInProcessModule(const wchar_t* name);
// The symbol when module is an in-process handle; found is set accordingly.
void* FindInProcessSymbol(ModuleHandle module, const char* name, bool& found);
bool IsInProcessModule(ModuleHandle module);

}  // namespace av::platform::detail
