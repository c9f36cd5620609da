#include <windows.h>

#include "platform/module.h"
#include "platform/module_table.h"

namespace av::platform {

ModuleHandle LoadModule(const wchar_t* name) {
    if (name == nullptr) return nullptr;
    if (ModuleHandle m = detail::FindInProcessModule(name)) return m;
    return ::LoadLibraryW(name);
}

void* GetModuleSymbol(ModuleHandle module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    bool inProcess = false;
    void* symbol = detail::FindInProcessSymbol(module, name, inProcess);
    if (inProcess) return symbol;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(ModuleHandle module) {
    if (module == nullptr || detail::IsInProcessModule(module)) return;
    ::FreeLibrary(static_cast<HMODULE>(module));
}

}  // namespace av::platform
