#include "plugins/tunelet/module.h"

#include <memory>

#include "plugins/lumiray/lumiray_library.h"

namespace tunelet {
namespace {

LONG g_locks = 0;
// Guards g_library. Taken after a module lock is held, never while calling the
// library.
SRWLOCK g_libraryLock = SRWLOCK_INIT;
CLumirayLibrary* g_library = nullptr;  // guarded by g_libraryLock

}  // namespace

void LockModule() { InterlockedIncrement(&g_locks); }

void UnlockModule() { InterlockedDecrement(&g_locks); }

LONG ModuleLockCount() { return InterlockedCompareExchange(&g_locks, 0, 0); }

CLumirayLibrary& DeviceLibrary() {
    AcquireSRWLockExclusive(&g_libraryLock);
    if (g_library == nullptr) {
        g_library =
            CLumirayLibrary::Load(CLumirayLibrary::EntrySet::WithoutSerialNumber).release();
    }
    CLumirayLibrary& library = *g_library;
    ReleaseSRWLockExclusive(&g_libraryLock);
    return library;
}

HRESULT CanUnloadNow() {
    AcquireSRWLockExclusive(&g_libraryLock);
    const bool unused = ModuleLockCount() == 0;
    CLumirayLibrary* released = nullptr;
    if (unused) {
        released = g_library;
        g_library = nullptr;
    }
    ReleaseSRWLockExclusive(&g_libraryLock);
    delete released;  // unloads the library
    return unused ? S_OK : S_FALSE;
}

}  // namespace tunelet
