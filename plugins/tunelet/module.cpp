#include "plugins/tunelet/module.h"

#include <memory>

#include "plugins/lumiray/lumiray_library.h"

namespace tunelet {
namespace {

LONG g_locks = 0;
// Guards g_library. Taken after a module lock is held; never held while the
// library is loaded, unloaded or called.
SRWLOCK g_libraryLock = SRWLOCK_INIT;
CLumirayLibrary* g_library = nullptr;  // guarded by g_libraryLock

}  // namespace

void LockModule() { InterlockedIncrement(&g_locks); }

void UnlockModule() { InterlockedDecrement(&g_locks); }

LONG ModuleLockCount() { return InterlockedCompareExchange(&g_locks, 0, 0); }

CLumirayLibrary& DeviceLibrary() {
    AcquireSRWLockExclusive(&g_libraryLock);
    CLumirayLibrary* library = g_library;
    ReleaseSRWLockExclusive(&g_libraryLock);
    if (library != nullptr) return *library;
    // Loaded without the lock: loading runs the library's own start-up code.
    std::unique_ptr<CLumirayLibrary> loaded =
        CLumirayLibrary::Load(CLumirayLibrary::EntrySet::WithoutSerialNumber);
    AcquireSRWLockExclusive(&g_libraryLock);
    if (g_library == nullptr) g_library = loaded.release();
    library = g_library;
    ReleaseSRWLockExclusive(&g_libraryLock);
    return *library;  // a binding loaded meanwhile by another thread is let go of here
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
