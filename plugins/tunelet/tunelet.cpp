#include "plugins/tunelet/tunelet.h"

#include <olectl.h>

#include <climits>
#include <new>

#include "plugins/lumiray/lumiray_library.h"
#include "plugins/tunelet/module.h"

namespace {

const wchar_t kClientName[] = L"Tunelet";

}  // namespace

HRESULT CTunelet::CreateInstance(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    CTunelet* tunelet = new (std::nothrow) CTunelet();
    if (tunelet == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = tunelet->library_->Initialize(kClientName);
    if (FAILED(hr)) {
        delete tunelet;  // the player gets no object without the device library
        return hr;
    }
    tunelet->initialized_ = true;
    const HRESULT found = tunelet->QueryInterface(iid, object);
    tunelet->Release();  // the creation reference; destroys the object when found failed
    return found;
}

CTunelet::CTunelet() {
    tunelet::LockModule();
    library_ = &tunelet::DeviceLibrary();
}

CTunelet::~CTunelet() {
    // Only an object that registered with the library deregisters: another
    // object of this process may still be registered under the same name.
    if (initialized_) library_->Deinitialize();
    DisconnectCore();
    tunelet::UnlockModule();
}

HRESULT CTunelet::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == kIID_IWMPEvents || iid == kIID_IUnknown) {
        *object = static_cast<IWMPEvents*>(this);
    } else if (iid == kIID_IWMPPluginUI) {
        *object = static_cast<IWMPPluginUI*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CTunelet::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG CTunelet::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
        // Unadvising hands the sink back to the connection point, which may
        // AddRef and Release it once more: keep the count well away from 0.
        references_ = LONG_MAX / 2;
        delete this;
    }
    return static_cast<ULONG>(left);
}

void CTunelet::DisconnectCore() {
    if (connectionPoint_ != nullptr) {
        if (cookie_ != 0) connectionPoint_->Unadvise(cookie_);
        cookie_ = 0;
        connectionPoint_->Release();
        connectionPoint_ = nullptr;
    }
    if (core_ != nullptr) {
        core_->Release();
        core_ = nullptr;
    }
}

HRESULT CTunelet::SetCore(IWMPCore* core) {
    DisconnectCore();
    if (core == nullptr) return S_OK;
    core->AddRef();
    core_ = core;

    IConnectionPointContainer* container = nullptr;
    HRESULT hr = core_->QueryInterface(kIID_IConnectionPointContainer,
                                       reinterpret_cast<void**>(&container));
    if (FAILED(hr)) return hr;
    IConnectionPoint* point = nullptr;
    hr = container->FindConnectionPoint(kIID_IWMPEvents, &point);
    if (SUCCEEDED(hr)) {
        connectionPoint_ = point;
        DWORD cookie = 0;
        hr = connectionPoint_->Advise(static_cast<IWMPEvents*>(this), &cookie);
        // Advise that answers success with the cookie 0 leaves nothing that
        // could ever be unadvised: that is no connection either.
        if (SUCCEEDED(hr) && cookie == 0) hr = CONNECT_E_CANNOTCONNECT;
        if (SUCCEEDED(hr)) {
            cookie_ = cookie;
        } else {
            connectionPoint_->Release();
            connectionPoint_ = nullptr;
        }
    }
    container->Release();
    return hr;
}

HRESULT CTunelet::Create(HWND, HWND*) { return E_NOTIMPL; }

HRESULT CTunelet::Destroy() { return E_NOTIMPL; }

HRESULT CTunelet::DisplayPropertyPage(HWND) { return E_NOTIMPL; }

HRESULT CTunelet::GetProperty(const WCHAR*, VARIANT* value) {
    if (value == nullptr) return E_POINTER;
    return E_NOTIMPL;
}

HRESULT CTunelet::SetProperty(const WCHAR*, const VARIANT*) { return E_NOTIMPL; }

HRESULT CTunelet::TranslateAccelerator(MSG*) { return E_NOTIMPL; }
