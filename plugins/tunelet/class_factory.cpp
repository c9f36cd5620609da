#include "plugins/tunelet/class_factory.h"

#include "plugins/tunelet/module.h"
#include "plugins/tunelet/tunelet.h"

CTuneletFactory& CTuneletFactory::Instance() {
    static CTuneletFactory factory;
    return factory;
}

HRESULT CTuneletFactory::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == kIID_IUnknown || iid == kIID_IClassFactory) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// The factory is never deleted; its references are module locks.
ULONG CTuneletFactory::AddRef() {
    tunelet::LockModule();
    return 2;
}

ULONG CTuneletFactory::Release() {
    tunelet::UnlockModule();
    return 1;
}

HRESULT CTuneletFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return CTunelet::CreateInstance(iid, object);
}

HRESULT CTuneletFactory::LockServer(BOOL lock) {
    if (lock) {
        tunelet::LockModule();
    } else {
        tunelet::UnlockModule();
    }
    return S_OK;
}
