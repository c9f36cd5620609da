#include <dlfcn.h>

#include "platform/module.h"
#include "platform/module_table.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace av::platform {

ModuleHandle LoadModule(const wchar_t* name) {
    if (name == nullptr) return nullptr;
    if (ModuleHandle m = detail::FindInProcessModule(name)) return m;
    // "SimConnect.dll" is looked for as "SimConnect.so" beside the executable.
    std::wstring file = name;
    const std::wstring dll = L".dll";
    if (file.size() > dll.size() && EqualsIgnoreCase(file.substr(file.size() - dll.size()), dll)) {
        file.resize(file.size() - dll.size());
    }
    file += L".so";
    if (file.find(L'/') == std::wstring::npos) file = JoinPath(GetExecutableFolder(), file);
    return dlopen(ToUtf8(file).c_str(), RTLD_NOW | RTLD_LOCAL);
}

ModuleHandle LoadModuleFromPath(const wchar_t* fullPath) {
    if (fullPath == nullptr || fullPath[0] != L'/') return nullptr;
    return dlopen(ToUtf8(fullPath).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* GetModuleSymbol(ModuleHandle module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    bool inProcess = false;
    void* symbol = detail::FindInProcessSymbol(module, name, inProcess);
    if (inProcess) return symbol;
    return dlsym(module, name);
}

void UnloadModule(ModuleHandle module) {
    if (module == nullptr || detail::IsInProcessModule(module)) return;
    dlclose(module);
}

// Side-by-side assemblies exist only on Windows; libraries are found by name.
ModuleHandle LoadSideBySideModule(const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*,
                                  const wchar_t*) {
    return nullptr;
}

}  // namespace av::platform
