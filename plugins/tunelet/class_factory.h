// The class factory of CTunelet. There is one, for the life of the DLL; each
// reference to it holds a module lock, so a player that keeps the factory
// keeps the DLL loaded.
#pragma once

#include <windows.h>
#include <unknwn.h>

class CTuneletFactory final : public IClassFactory {
public:
    static CTuneletFactory& Instance();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;
};
