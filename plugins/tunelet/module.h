// What the whole DLL shares: its lock count (live objects, held class
// factories, LockServer) and its binding of the device library.
#pragma once

#include <windows.h>

class CLumirayLibrary;

namespace tunelet {

void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// The process-wide binding of the device library, loaded on first use. The
// caller must hold a module lock for as long as it uses the reference.
CLumirayLibrary& DeviceLibrary();

// DllCanUnloadNow: S_OK when no lock is held. The binding is released then,
// outside the loader lock, since FreeLibrary is not safe from DllMain; a later
// object loads the library again.
HRESULT CanUnloadNow();

}  // namespace tunelet
