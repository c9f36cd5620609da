// The service state from the service control manager.
#include <windows.h>

#include "platform/service.h"

namespace av::platform {

bool IsServiceRunning(const wchar_t* name) {
    if (name == nullptr || *name == L'\0') return false;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return false;
    bool running = false;
    if (SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS)) {
        SERVICE_STATUS status = {};
        running = QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return running;
}

}  // namespace av::platform
