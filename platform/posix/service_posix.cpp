// The service state as a value of the registry file.
#include <cstdint>
#include <string>

#include "platform/registry.h"
#include "platform/service.h"

namespace av::platform {

bool IsServiceRunning(const wchar_t* name) {
    if (name == nullptr || *name == L'\0') return false;
    std::uint32_t running = 0;
    return ReadRegistryDword(RegistryRoot::LocalMachine,
                             std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\") + name,
                             L"Running", running) &&
           running == 1;
}

}  // namespace av::platform
