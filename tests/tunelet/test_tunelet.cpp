// Tunelet.dll as the player uses it: loaded by path, asked for its class
// object, the plug-in made and handed player cores. The device library is the
// stand-in, or one that refuses its clients, found through the registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <olectl.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "plugins/tunelet/registration.h"
#include "plugins/tunelet/tunelet_interfaces.h"

namespace {

constexpr IID kIID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

std::wstring TestFile(const std::wstring& name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring exe(path);
    return exe.substr(0, exe.find_last_of(L'\\') + 1) + name;
}

const std::wstring g_bin = TestFile(AV_BIN_FROM_TEST L"\\");
const std::wstring g_record = TestFile(L"tunelet-lumiray-record.txt");
const HMODULE g_dll = LoadLibraryW((g_bin + L"Tunelet.dll").c_str());

// The DLL's exports, by the names COM looks for (undecorated on i686 as well).
template <typename Fn = HRESULT(WINAPI*)()>
Fn Export(const char* name, HMODULE module = g_dll) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
HRESULT CanUnloadNow() { return Export("DllCanUnloadNow")(); }
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return Export<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, iid, object);
}

// What the player does: the class object, then the instance from it.
HRESULT Create(IUnknown* outer, REFIID iid, void** object) {
    IClassFactory* factory = nullptr;
    const HRESULT hr = GetClassObject(kCLSID_Tunelet, kIID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    EXPECT_EQ(CanUnloadNow(), S_FALSE);  // the factory holds the DLL
    const HRESULT created = factory->CreateInstance(outer, iid, object);
    factory->Release();
    return created;
}

// The device library the plug-in will find; empty: none.
void UseDeviceLibrary(const std::wstring& path) {
    const wchar_t* key = L"SOFTWARE\\Orlend\\Lumiray";
    if (path.empty()) RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key, L"LumirayX86");
    if (!path.empty()) {
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, L"LumirayX86", REG_SZ, path.c_str(),
                        static_cast<DWORD>((path.size() + 1) * 2));
    }
}

// The count AddRef answers, left as it was.
ULONG References(void* object) {
    static_cast<IUnknown*>(object)->AddRef();
    return static_cast<IUnknown*>(object)->Release();
}

class Tunelet : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        _wputenv((L"AVIARO_LUMIRAY_RECORD=" + g_record).c_str());  // read as the stand-in loads
        ASSERT_NE(g_dll, nullptr);
    }
    static void TearDownTestSuite() { UseDeviceLibrary(L""); }
    void SetUp() override { UseDeviceLibrary(g_bin + L"Lumiray.dll"); }
    // Nothing may be left alive; this also lets the next test load its library.
    void TearDown() override { EXPECT_EQ(CanUnloadNow(), S_OK); }
};

// Creation registers with the device library as "Tunelet"; without the
// library, or when it refuses, the player gets the library's answer and no
// object, and the DLL (with the library) is free to go at once.
TEST_F(Tunelet, CreationTakesTheDeviceLibrarysAnswer) {
    const std::wstring refusing = TestFile(L"LumirayRefusing.dll"), standIn = g_bin + L"Lumiray.dll";
    const std::string created =
        "Lumiray_Initialize name=\"Tunelet\" -> 00000000\nLumiray_Deinitialize -> 00000000\n";
    int notAnObject = 0;  // never called: aggregation is refused first
    IUnknown* const outer = reinterpret_cast<IUnknown*>(&notAnObject);
    struct Case {
        const char* name;
        std::wstring library;
        IUnknown* outer;
        IID iid;
        HRESULT result;
        std::string record;  // the stand-in's, after the object is gone
    } cases[] = {
        {"no library", L"", nullptr, kIID_IWMPPluginUI, E_NOTIMPL, ""},
        {"library refuses", refusing, nullptr, kIID_IWMPPluginUI, E_ACCESSDENIED, ""},
        {"stand-in", standIn, nullptr, kIID_IWMPEvents, S_OK, created},
        {"interface not offered", standIn, nullptr, kIID_IDispatch, E_NOINTERFACE, created},
        {"aggregation", standIn, outer, kIID_IWMPPluginUI, CLASS_E_NOAGGREGATION, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(g_record.c_str());
        UseDeviceLibrary(c.library);
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(Create(c.outer, c.iid, &object), c.result);
        EXPECT_EQ(object == nullptr, c.result != S_OK);
        if (c.result == S_OK) {
            EXPECT_EQ(References(object), 1u);
            EXPECT_EQ(CanUnloadNow(), S_FALSE);  // the object holds the DLL
            EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), 0u);
        }
        if (c.library == refusing) {
            // A client the library turned away has nothing to deinitialize.
            const auto deinitialized = Export<LONG(WINAPI*)()>("RefusingLibrary_Deinitialized",
                                                               GetModuleHandleW(refusing.c_str()));
            ASSERT_NE(deinitialized, nullptr);
            EXPECT_EQ(deinitialized(), 0);
        }
        EXPECT_EQ(CanUnloadNow(), S_OK);
        std::ifstream in(g_record.c_str(), std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.record);
    }
    EXPECT_EQ(GetModuleHandleW(refusing.c_str()), nullptr);  // let go of at S_OK

    IClassFactory* factory = nullptr;  // LockServer holds the DLL past the factory's release
    ASSERT_EQ(GetClassObject(kCLSID_Tunelet, kIID_IUnknown, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(GetClassObject(kIID_IWMPEvents, kIID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
}

// A player core with a connection point for IWMPEvents. As a real one does,
// the connection point holds the sink from Advise until Unadvise.
struct FakePlayer final : public IConnectionPointContainer {
    FakePlayer(const char* name, std::vector<std::string>& log) : name(name), log(log) {}
    ~FakePlayer() {
        if (sink != nullptr) sink->Release();  // one that could not be unadvised
    }
    void Log(const std::string& line) { log.push_back(name + ": " + line); }
    IWMPCore* Core() { return reinterpret_cast<IWMPCore*>(static_cast<IUnknown*>(this)); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == kIID_IConnectionPointContainer) Log("QueryInterface IConnectionPointContainer");
        const bool offered = iid == kIID_IUnknown || (hasContainer && iid == kIID_IConnectionPointContainer);
        *object = offered ? this : nullptr;
        return offered ? (++coreRefs, S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++coreRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --coreRefs; }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** found) override {
        Log(iid == kIID_IWMPEvents ? "FindConnectionPoint IWMPEvents" : "FindConnectionPoint ?");
        *found = SUCCEEDED(findResult) ? (++pointRefs, &point) : nullptr;
        return findResult;
    }
    struct Point final : public IConnectionPoint {
        explicit Point(FakePlayer& p) : player(p) {}
        FakePlayer& player;
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
        ULONG STDMETHODCALLTYPE AddRef() override { return ++player.pointRefs; }
        ULONG STDMETHODCALLTYPE Release() override { return --player.pointRefs; }
        HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
            player.Log(sink == player.expectedSink ? "Advise IWMPEvents" : "Advise ?");
            *cookie = FAILED(player.adviseResult) ? 0 : player.cookie;
            if (SUCCEEDED(player.adviseResult)) (player.sink = sink)->AddRef();
            return player.adviseResult;
        }
        HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
            player.Log("Unadvise " + std::to_string(cookie));
            if (player.sink == nullptr || cookie != player.cookie) return CONNECT_E_NOCONNECTION;
            std::exchange(player.sink, nullptr)->Release();
            return S_OK;
        }
    } point{*this};

    std::string name;
    std::vector<std::string>& log;
    bool hasContainer = true;
    HRESULT findResult = S_OK, adviseResult = S_OK;
    DWORD cookie = 677;
    IUnknown* expectedSink = nullptr;
    IUnknown* sink = nullptr;
    ULONG coreRefs = 1, pointRefs = 1;
};

// A fresh object is given nothing, then the first core (connecting as the
// case says), then a second core whose Advise fails: the first is unadvised
// and let go of, the second held until the object's last Release.
TEST_F(Tunelet, SetCoreConnectsToThePlayersEventsOrSaysWhyNot) {
    const std::string qi = "QueryInterface IConnectionPointContainer", find = "FindConnectionPoint IWMPEvents",
                      advise = "Advise IWMPEvents";
    struct Case {
        const char* name;
        bool hasContainer;
        HRESULT findResult, adviseResult;
        DWORD cookie;
        HRESULT result;
        std::vector<std::string> calls;  // the first core's
        ULONG pointRefs, pluginRefs;     // while the first is set
        ULONG pluginLeft;                // what the last Release answers
    } cases[] = {
        {"connected", true, S_OK, S_OK, 677, S_OK, {qi, find, advise, "Unadvise 677"}, 2, 2, 0},
        {"advise fails", true, S_OK, CONNECT_E_ADVISELIMIT, 677, CONNECT_E_ADVISELIMIT, {qi, find, advise}, 1, 1, 0},
        // Advised, but never to be unadvised: the player keeps the sink.
        {"cookie 0", true, S_OK, S_OK, 0, CONNECT_E_CANNOTCONNECT, {qi, find, advise}, 1, 2, 1},
        {"no connection point", true, CONNECT_E_NOCONNECTION, S_OK, 677, CONNECT_E_NOCONNECTION, {qi, find}, 1, 1, 0},
        {"no container", false, S_OK, S_OK, 677, E_NOINTERFACE, {qi}, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> log;
        FakePlayer second("second", log);  // outlives first, which may hold the object
        FakePlayer first("first", log);
        first.hasContainer = c.hasContainer;
        first.findResult = c.findResult;
        first.adviseResult = c.adviseResult;
        first.cookie = c.cookie;
        second.adviseResult = E_FAIL;
        IWMPPluginUI* plugin = nullptr;
        ASSERT_EQ(Create(nullptr, kIID_IWMPPluginUI, reinterpret_cast<void**>(&plugin)), S_OK);
        // IWMPEvents answers IUnknown and is the sink; IWMPPluginUI is another pointer.
        void *events = nullptr, *unknown = nullptr, *other = plugin;
        EXPECT_EQ(plugin->QueryInterface(kIID_IWMPEvents, &events), S_OK);
        EXPECT_EQ(static_cast<IUnknown*>(events)->QueryInterface(kIID_IUnknown, &unknown), S_OK);
        EXPECT_EQ(plugin->QueryInterface(kIID_IDispatch, &other), E_NOINTERFACE);
        EXPECT_TRUE(unknown == events && events != static_cast<void*>(plugin) && other == nullptr);
        static_cast<IUnknown*>(events)->Release();
        static_cast<IUnknown*>(unknown)->Release();
        first.expectedSink = second.expectedSink = static_cast<IUnknown*>(events);
        VARIANT value;
        VariantInit(&value);
        EXPECT_EQ(plugin->GetProperty(L"PluginName", nullptr), E_POINTER);
        EXPECT_EQ(plugin->GetProperty(L"PluginName", &value), E_NOTIMPL);

        EXPECT_EQ(plugin->SetCore(nullptr), S_OK);  // a fresh object has nothing to let go
        EXPECT_EQ(plugin->SetCore(first.Core()), c.result);
        EXPECT_EQ(first.coreRefs, 2u);  // held, connected or not
        EXPECT_EQ(first.pointRefs, c.pointRefs);
        EXPECT_EQ(References(plugin), c.pluginRefs);
        EXPECT_EQ(plugin->SetCore(second.Core()), E_FAIL);
        EXPECT_EQ(first.coreRefs + first.pointRefs, 2u);
        EXPECT_EQ(second.coreRefs + second.pointRefs, 3u);  // the core stays held, its point does not
        std::vector<std::string> calls;
        for (const std::string& call : c.calls) calls.push_back("first: " + call);
        for (const std::string& call : {qi, find, advise}) calls.push_back("second: " + call);
        EXPECT_EQ(log, calls);
        EXPECT_EQ(plugin->Release(), c.pluginLeft);
        EXPECT_EQ(second.coreRefs, 1u + c.pluginLeft);  // the last Release lets go
    }
}

// What the DLL posts, as "broadcast" when it is the player's message to every top-level window.
std::vector<std::string> g_posts;
BOOL WINAPI RecordPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool broadcast = window == HWND_BROADCAST && wParam == 0 && lParam == 0 &&
                           message == RegisterWindowMessageA("WMPlayer_PluginAddRemove");
    g_posts.push_back(broadcast ? "broadcast" : "other " + std::to_string(message));
    return TRUE;
}

// Points the module's import of function at replacement.
bool PatchImport(HMODULE module, const char* function, void* replacement) {
    BYTE* const base = reinterpret_cast<BYTE*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
             base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
         d->Name != 0; ++d) {
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
             name->u1.AddressOfData != 0; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name, function)) {
                continue;
            }
            DWORD protection = 0;
            VirtualProtect(&slot->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            return VirtualProtect(&slot->u1.Function, sizeof(void*), protection, &protection) != FALSE;
        }
    }
    return false;
}

// Fails the n-th key or value write with ERROR_ACCESS_DENIED.
struct FailingWriter : public tunelet::CRegistryWriter {
    explicit FailingWriter(int failAt) : failAt(failAt) {}
    LONG CreateKey(HKEY root, const wchar_t* path, HKEY* key) override {
        return writes++ == failAt ? ERROR_ACCESS_DENIED : CRegistryWriter::CreateKey(root, path, key);
    }
    LONG SetValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD size) override {
        return writes++ == failAt ? ERROR_ACCESS_DENIED : CRegistryWriter::SetValue(key, name, type, data, size);
    }
    int failAt;
    int writes = 0;
};

bool KeyExists(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    return RegOpenKeyExW(root, path, 0, KEY_READ, &key) == ERROR_SUCCESS && RegCloseKey(key) == ERROR_SUCCESS;
}

// The entries themselves, their removal and their parents staying are checked
// through regsvr32 (tests/wine/e2e_tunelet.sh).
TEST_F(Tunelet, RegistrationWritesAllOrNothingAndTellsThePlayers) {
    for (int failAt = 0; failAt <= 9; ++failAt) {  // nine writes
        SCOPED_TRACE(failAt);
        FailingWriter writer(failAt);
        EXPECT_EQ(tunelet::RegisterServer(L"C:\\Plug-ins\\Tunelet.dll", writer), failAt < 9 ? E_ACCESSDENIED : S_OK);
        EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, tunelet::kClassKey), failAt == 9);
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, tunelet::kPluginKey), failAt == 9);
    }

    // The DLL's own entry points (its import of PostMessageW shows what it
    // posts: Wine has no display here).
    ASSERT_TRUE(PatchImport(g_dll, "PostMessageW", reinterpret_cast<void*>(&RecordPost)));
    const std::wstring inproc = std::wstring(tunelet::kClassKey) + L"\\InprocServer32";
    RegSetKeyValueW(HKEY_CLASSES_ROOT, inproc.c_str(), L"Stale", REG_SZ, L"x", 4);
    EXPECT_EQ(Export("DllRegisterServer")(), S_OK);
    EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, inproc.c_str(), L"Stale", RRF_RT_ANY, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);  // gone with the old registration
    EXPECT_EQ(Export("DllUnregisterServer")(), S_OK);
    EXPECT_EQ(Export("DllUnregisterServer")(), S_OK);  // nothing left to remove is no failure
    EXPECT_EQ(g_posts, std::vector<std::string>(3, "broadcast"));
}

}  // namespace
