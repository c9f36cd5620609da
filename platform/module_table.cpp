#include "platform/module_table.h"

#include <list>
#include <mutex>
#include <string>

#include "platform/text.h"

namespace av::platform {
namespace {

struct Registration {
    std::wstring name;
    SymbolLookup lookup;
};

std::mutex& TableMutex() {
    static std::mutex mutex;
    return mutex;
}

// A list keeps each registration's address stable: it is the module handle.
std::list<Registration>& Table() {
    static std::list<Registration> table;
    return table;
}

}  // namespace

void RegisterInProcessModule(const wchar_t* name, SymbolLookup lookup) {
    std::lock_guard<std::mutex> lock(TableMutex());
    for (Registration& r : Table()) {
        if (EqualsIgnoreCase(r.name, name)) {
            r.lookup = lookup;
            return;
        }
    }
    Table().push_back({name, lookup});
}

void UnregisterInProcessModule(const wchar_t* name) {
    std::lock_guard<std::mutex> lock(TableMutex());
    // The entry stays so that handles given out remain valid; it finds nothing.
    for (Registration& r : Table()) {
        if (EqualsIgnoreCase(r.name, name)) r.lookup = nullptr;
    }
}

ModuleHandle FindInProcessModule(const wchar_t* name) {
    return name != nullptr ? detail::FindInProcessModule(name) : nullptr;
}

namespace detail {

ModuleHandle FindInProcessModule(const wchar_t* name) {
    std::lock_guard<std::mutex> lock(TableMutex());
    for (Registration& r : Table()) {
        if (r.lookup != nullptr && EqualsIgnoreCase(r.name, name)) return &r;
    }
    return nullptr;
}

bool IsInProcessModule(ModuleHandle module) {
    std::lock_guard<std::mutex> lock(TableMutex());
    for (Registration& r : Table()) {
        if (&r == module) return true;
    }
    return false;
}

void* FindInProcessSymbol(ModuleHandle module, const char* name, bool& found) {
    std::lock_guard<std::mutex> lock(TableMutex());
    for (Registration& r : Table()) {
        if (&r == module) {
            found = true;
            return r.lookup != nullptr ? r.lookup(name) : nullptr;
        }
    }
    found = false;
    return nullptr;
}

}  // namespace detail
}  // namespace av::platform
