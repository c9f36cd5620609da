// Tunelet.dll as the player uses it: loaded by path, its class object asked
// for the plug-in, which is handed a player core. The device library is the
// stand-in (or one that refuses its clients), found through the registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <olectl.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "plugins/tunelet/registration.h"
#include "plugins/tunelet/tunelet_interfaces.h"

namespace {

constexpr IID kIID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const std::string kCreated =
    "Lumiray_Initialize name=\"Tunelet\" -> 00000000\nLumiray_Deinitialize -> 00000000\n";

std::wstring TestFile(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring exe(path);
    return exe.substr(0, exe.find_last_of(L'\\') + 1) + name;
}

std::wstring BinFile(const wchar_t* name) { return TestFile(AV_BIN_FROM_TEST L"\\") + name; }

bool KeyExists(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The device library the plug-in will find; empty: none.
void UseDeviceLibrary(const std::wstring& path) {
    if (path.empty()) {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orlend\\Lumiray", L"LumirayX86");
    } else {
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orlend\\Lumiray", L"LumirayX86", REG_SZ,
                        path.c_str(), static_cast<DWORD>((path.size() + 1) * 2));
    }
}

std::string ReadText(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The count AddRef answers, left as it was.
ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

class Tunelet : public ::testing::Test {
protected:
    template <typename Fn>
    static Fn Export(const char* name) {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    static void SetUpTestSuite() {
        _wputenv((L"AVIARO_LUMIRAY_RECORD=" + record_).c_str());  // read as the stand-in loads
        module_ = LoadLibraryW(BinFile(L"Tunelet.dll").c_str());
        ASSERT_NE(module_, nullptr);
        // The names COM looks for, undecorated on i686 as well.
        canUnloadNow_ = Export<HRESULT(WINAPI*)()>("DllCanUnloadNow");
        getClassObject_ = Export<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>("DllGetClassObject");
        register_ = Export<HRESULT(WINAPI*)()>("DllRegisterServer");
        unregister_ = Export<HRESULT(WINAPI*)()>("DllUnregisterServer");
        ASSERT_TRUE(canUnloadNow_ && getClassObject_ && register_ && unregister_);
    }
    static void TearDownTestSuite() {
        UseDeviceLibrary(L"");
        FreeLibrary(module_);
    }
    void SetUp() override {
        DeleteFileW(record_.c_str());
        UseDeviceLibrary(BinFile(L"Lumiray.dll"));
    }
    // Nothing may be left alive; this also lets the next test load its library.
    void TearDown() override { EXPECT_EQ(canUnloadNow_(), S_OK); }

    static HRESULT Create(IUnknown* outer, REFIID iid, void** object) {
        IClassFactory* factory = nullptr;
        HRESULT hr = getClassObject_(kCLSID_Tunelet, kIID_IClassFactory,
                                     reinterpret_cast<void**>(&factory));
        if (FAILED(hr)) return hr;
        EXPECT_EQ(canUnloadNow_(), S_FALSE);  // the factory holds the DLL
        hr = factory->CreateInstance(outer, iid, object);
        factory->Release();
        return hr;
    }
    static IWMPPluginUI* NewPlugin() {
        void* plugin = nullptr;
        EXPECT_EQ(Create(nullptr, kIID_IWMPPluginUI, &plugin), S_OK);
        return static_cast<IWMPPluginUI*>(plugin);
    }

    static inline HMODULE module_ = nullptr;
    static inline const std::wstring record_ = TestFile(L"tunelet-lumiray-record.txt");
    static inline HRESULT(WINAPI* canUnloadNow_)() = nullptr;
    static inline HRESULT(WINAPI* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
    static inline HRESULT(WINAPI* register_)() = nullptr;
    static inline HRESULT(WINAPI* unregister_)() = nullptr;
};

TEST_F(Tunelet, StringTableNamesThePluginForThePlayer) {
    wchar_t text[64] = {};
    EXPECT_EQ(LoadStringW(module_, 102, text, 64), 26);
    EXPECT_STREQ(text, L"Orlend Media Player Plugin");
    EXPECT_EQ(LoadStringW(module_, 103, text, 64), 46);
    EXPECT_STREQ(text, L"Displays media information on Lumiray displays");
    EXPECT_EQ(LoadStringW(module_, 101, text, 64) + LoadStringW(module_, 104, text, 64), 0);
}

// Creation registers with the device library as "Tunelet"; without the
// library, or when it refuses, the player gets the library's answer and no
// object, and the DLL (with the library) is free to go at once.
TEST_F(Tunelet, CreationTakesTheDeviceLibrarysAnswer) {
    const std::wstring refusing = TestFile(L"LumirayRefusing.dll");
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
        {"stand-in", BinFile(L"Lumiray.dll"), nullptr, kIID_IWMPEvents, S_OK, kCreated},
        {"interface not offered", BinFile(L"Lumiray.dll"), nullptr, kIID_IDispatch, E_NOINTERFACE,
         kCreated},
        {"aggregation", BinFile(L"Lumiray.dll"), outer, kIID_IWMPPluginUI, CLASS_E_NOAGGREGATION,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(record_.c_str());
        UseDeviceLibrary(c.library);
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(Create(c.outer, c.iid, &object), c.result);
        EXPECT_EQ(object == nullptr, c.result != S_OK);
        if (c.result == S_OK) {
            EXPECT_EQ(References(static_cast<IUnknown*>(object)), 1u);
            EXPECT_EQ(canUnloadNow_(), S_FALSE);  // the object holds the DLL
            EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), 0u);
        }
        if (c.library == refusing) {
            using LogFn = const wchar_t*(WINAPI*)();
            const auto log = reinterpret_cast<LogFn>(reinterpret_cast<void*>(
                GetProcAddress(GetModuleHandleW(refusing.c_str()), "RefusingLibrary_Log")));
            ASSERT_NE(log, nullptr);
            EXPECT_STREQ(log(), L"Initialize Tunelet\n");  // nothing to deinitialize
        }
        EXPECT_EQ(canUnloadNow_(), S_OK);
        EXPECT_EQ(ReadText(record_), c.record);
    }
    EXPECT_EQ(GetModuleHandleW(refusing.c_str()), nullptr);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject_(kCLSID_Tunelet, kIID_IUnknown, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject_(kIID_IWMPEvents, kIID_IClassFactory, &none),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
}

TEST_F(Tunelet, AnswersItsTwoInterfacesAndNoUserInterface) {
    IWMPPluginUI* plugin = NewPlugin();
    ASSERT_NE(plugin, nullptr);
    void* events = nullptr;
    void* unknown = nullptr;
    void* ui = nullptr;
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(plugin->QueryInterface(kIID_IWMPEvents, &events), S_OK);
    EXPECT_EQ(plugin->QueryInterface(kIID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(events)->QueryInterface(kIID_IWMPPluginUI, &ui), S_OK);
    EXPECT_EQ(plugin->QueryInterface(kIID_IDispatch, &other), E_NOINTERFACE);
    EXPECT_EQ(unknown, events);  // IUnknown is answered through IWMPEvents
    EXPECT_EQ(ui, static_cast<void*>(plugin));
    EXPECT_NE(events, static_cast<void*>(plugin));
    EXPECT_EQ(other, nullptr);
    for (void* held : {events, unknown, ui}) static_cast<IUnknown*>(held)->Release();

    VARIANT value;
    VariantInit(&value);
    HWND window = nullptr;
    MSG message = {};
    EXPECT_EQ(plugin->GetProperty(L"PluginName", nullptr), E_POINTER);
    EXPECT_EQ(plugin->GetProperty(L"PluginName", &value), E_NOTIMPL);
    EXPECT_EQ(plugin->SetProperty(L"PluginName", &value), E_NOTIMPL);
    EXPECT_EQ(plugin->Create(nullptr, &window), E_NOTIMPL);
    EXPECT_EQ(plugin->Destroy(), E_NOTIMPL);
    EXPECT_EQ(plugin->DisplayPropertyPage(nullptr), E_NOTIMPL);
    EXPECT_EQ(plugin->TranslateAccelerator(&message), E_NOTIMPL);
    EXPECT_EQ(plugin->Release(), 0u);
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
        *object = iid == kIID_IUnknown || (hasContainer && iid == kIID_IConnectionPointContainer)
                      ? this : nullptr;
        return *object != nullptr ? (++coreRefs, S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++coreRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --coreRefs; }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
        return E_NOTIMPL;
    }
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
        HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(
            IConnectionPointContainer**) override {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
            player.Log(sink == player.expectedSink ? "Advise IWMPEvents" : "Advise ?");
            *cookie = 0;
            if (FAILED(player.adviseResult)) return player.adviseResult;
            (player.sink = sink)->AddRef();
            *cookie = player.cookie;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
            player.Log("Unadvise " + std::to_string(cookie));
            if (player.sink == nullptr || cookie != player.cookie) return CONNECT_E_NOCONNECTION;
            player.sink->Release();
            player.sink = nullptr;
            return S_OK;
        }
    } point{*this};

    std::string name;
    std::vector<std::string>& log;
    bool hasContainer = true;
    HRESULT findResult = S_OK;
    HRESULT adviseResult = S_OK;
    DWORD cookie = 0;
    IUnknown* expectedSink = nullptr;
    IUnknown* sink = nullptr;
    ULONG coreRefs = 1;
    ULONG pointRefs = 1;
};

IUnknown* EventsOf(IWMPPluginUI* plugin) {
    void* events = nullptr;
    plugin->QueryInterface(kIID_IWMPEvents, &events);
    static_cast<IUnknown*>(events)->Release();
    return static_cast<IUnknown*>(events);
}

TEST_F(Tunelet, SetCoreConnectsToThePlayersEventsOrSaysWhyNot) {
    const std::string qi = "core: QueryInterface IConnectionPointContainer";
    const std::string find = "core: FindConnectionPoint IWMPEvents";
    const std::string advise = "core: Advise IWMPEvents";
    struct Case {
        const char* name;
        bool hasContainer;
        HRESULT findResult, adviseResult;
        DWORD cookie;
        HRESULT result;
        std::vector<std::string> calls;        // through SetCore(NULL)
        ULONG coreRefs, pointRefs, pluginRefs;  // while set
        ULONG pluginRefsAfter;                  // after SetCore(NULL)
    } cases[] = {
        {"connected", true, S_OK, S_OK, 677, S_OK, {qi, find, advise, "core: Unadvise 677"},
         2, 2, 2, 1},
        {"advise fails", true, S_OK, CONNECT_E_ADVISELIMIT, 677, CONNECT_E_ADVISELIMIT,
         {qi, find, advise}, 2, 1, 1, 1},
        // Advised, but never to be unadvised: the player keeps the sink.
        {"cookie 0", true, S_OK, S_OK, 0, CONNECT_E_CANNOTCONNECT, {qi, find, advise}, 2, 1, 2, 2},
        {"no connection point", true, CONNECT_E_NOCONNECTION, S_OK, 677, CONNECT_E_NOCONNECTION,
         {qi, find}, 2, 1, 1, 1},
        {"no container", false, S_OK, S_OK, 677, E_NOINTERFACE, {qi}, 2, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> log;
        FakePlayer player("core", log);
        player.hasContainer = c.hasContainer;
        player.findResult = c.findResult;
        player.adviseResult = c.adviseResult;
        player.cookie = c.cookie;
        IWMPPluginUI* plugin = NewPlugin();
        ASSERT_NE(plugin, nullptr);
        player.expectedSink = EventsOf(plugin);

        EXPECT_EQ(plugin->SetCore(player.Core()), c.result);
        EXPECT_EQ(player.coreRefs, c.coreRefs);
        EXPECT_EQ(player.pointRefs, c.pointRefs);
        EXPECT_EQ(References(plugin), c.pluginRefs);
        EXPECT_EQ(plugin->SetCore(nullptr), S_OK);
        EXPECT_EQ(log, c.calls);
        EXPECT_EQ(player.coreRefs + player.pointRefs, 2u);
        EXPECT_EQ(plugin->Release(), c.pluginRefsAfter - 1);
    }
}

TEST_F(Tunelet, ASecondCoreReplacesTheFirstAndTheLastReleaseLetsGo) {
    std::vector<std::string> log;
    FakePlayer first("first", log);
    FakePlayer second("second", log);
    first.cookie = 11;
    second.cookie = 22;
    IWMPPluginUI* plugin = NewPlugin();
    ASSERT_NE(plugin, nullptr);
    first.expectedSink = second.expectedSink = EventsOf(plugin);

    EXPECT_EQ(plugin->SetCore(nullptr), S_OK);  // a fresh object has nothing to let go
    EXPECT_EQ(plugin->SetCore(first.Core()), S_OK);
    EXPECT_EQ(plugin->SetCore(second.Core()), S_OK);
    // A core whose events cannot be reached is still held, until the object goes.
    second.adviseResult = E_FAIL;
    EXPECT_EQ(plugin->SetCore(second.Core()), E_FAIL);
    EXPECT_EQ(first.coreRefs + first.pointRefs, 2u);
    EXPECT_EQ(second.coreRefs, 2u);
    EXPECT_EQ(second.pointRefs, 1u);
    EXPECT_EQ(plugin->Release(), 0u);
    EXPECT_EQ(second.coreRefs, 1u);
    EXPECT_EQ(log, (std::vector<std::string>{
                       "first: QueryInterface IConnectionPointContainer",
                       "first: FindConnectionPoint IWMPEvents", "first: Advise IWMPEvents",
                       "first: Unadvise 11", "second: QueryInterface IConnectionPointContainer",
                       "second: FindConnectionPoint IWMPEvents", "second: Advise IWMPEvents",
                       "second: Unadvise 22", "second: QueryInterface IConnectionPointContainer",
                       "second: FindConnectionPoint IWMPEvents", "second: Advise IWMPEvents"}));
    EXPECT_EQ(ReadText(record_), kCreated);
}

std::vector<std::string> g_posts;

BOOL WINAPI RecordPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    char text[96];
    std::snprintf(text, sizeof text, "%s %s %lu %ld",
                  window == HWND_BROADCAST ? "broadcast" : "window",
                  message == RegisterWindowMessageA("WMPlayer_PluginAddRemove")
                      ? "WMPlayer_PluginAddRemove" : "other",
                  static_cast<unsigned long>(wParam), static_cast<long>(lParam));
    g_posts.push_back(text);
    return TRUE;
}

// Points the module's import of function at replacement.
bool PatchImport(HMODULE module, const char* function, void* replacement) {
    BYTE* const base = reinterpret_cast<BYTE*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; d->Name != 0; ++d) {
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
                                base + names->u1.AddressOfData)->Name, function) != 0) {
                continue;
            }
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(void*), protection, &protection);
            return true;
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
    LONG SetValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data,
                  DWORD size) override {
        return writes++ == failAt ? ERROR_ACCESS_DENIED
                                  : CRegistryWriter::SetValue(key, name, type, data, size);
    }
    int failAt;
    int writes = 0;
};

// The entries themselves, their removal and their parents staying are checked
// through regsvr32 (tests/wine/e2e_tunelet.sh).
TEST_F(Tunelet, RegistrationWritesAllOrNothingAndTellsThePlayers) {
    for (int failAt = 0; failAt <= 9; ++failAt) {
        SCOPED_TRACE(failAt);
        FailingWriter writer(failAt);
        EXPECT_EQ(tunelet::RegisterServer(L"C:\\Plug-ins\\Tunelet.dll", writer),
                  failAt < 9 ? E_ACCESSDENIED : S_OK);
        EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, tunelet::kClassKey), failAt == 9);
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, tunelet::kPluginKey), failAt == 9);
    }

    // The DLL's own entry points (its import of PostMessageW shows what it
    // posts: Wine has no display here).
    ASSERT_TRUE(PatchImport(module_, "PostMessageW", reinterpret_cast<void*>(&RecordPost)));
    const std::wstring inproc = std::wstring(tunelet::kClassKey) + L"\\InprocServer32";
    RegSetKeyValueW(HKEY_CLASSES_ROOT, inproc.c_str(), L"Stale", REG_SZ, L"x", 4);
    EXPECT_EQ(register_(), S_OK);
    EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, inproc.c_str(), L"Stale", RRF_RT_ANY, nullptr,
                           nullptr, nullptr), ERROR_FILE_NOT_FOUND);  // gone with the old one
    EXPECT_EQ(unregister_(), S_OK);
    EXPECT_EQ(unregister_(), S_OK);  // nothing left to remove is no failure
    EXPECT_EQ(g_posts, std::vector<std::string>(3, "broadcast WMPlayer_PluginAddRemove 0 0"));
}

}  // namespace
