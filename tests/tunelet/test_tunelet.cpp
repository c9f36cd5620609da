// Tunelet.dll as the player uses it: loaded by path, its class object asked
// for the plug-in, which is handed a player core. The device library is the
// stand-in (or a library that refuses its clients), found through the registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <olectl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "plugins/tunelet/registration.h"
#include "plugins/tunelet/tunelet_interfaces.h"

namespace {

// {00020400-0000-0000-C000-000000000046}
constexpr IID kIID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const wchar_t kLibraryKey[] = L"SOFTWARE\\Orlend\\Lumiray";
const wchar_t kUIPluginsKey[] = L"SOFTWARE\\Microsoft\\MediaPlayer\\UIPlugins";

std::wstring TestFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

std::wstring BinFile(const wchar_t* name) {
    return TestFolder() + AV_BIN_FROM_TEST L"\\" + name;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// "type:text" of a value, e.g. "1:Apartment" or "4:40000001"; "" when missing.
std::string ReadValue(HKEY root, const std::wstring& path, const wchar_t* name) {
    BYTE data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) !=
        ERROR_SUCCESS) {
        return "";
    }
    char text[1100];
    if (type == REG_DWORD) {
        std::snprintf(text, sizeof text, "4:%08lX", *reinterpret_cast<DWORD*>(data));
    } else {
        std::snprintf(text, sizeof text, "%lu:%ls", type, reinterpret_cast<wchar_t*>(data));
    }
    return text;
}

// The device library the plug-in will find; empty: none.
void UseDeviceLibrary(const std::wstring& path) {
    if (path.empty()) {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kLibraryKey, L"LumirayX86");
        return;
    }
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kLibraryKey, L"LumirayX86", REG_SZ,
                              path.c_str(), static_cast<DWORD>((path.size() + 1) * 2)),
              ERROR_SUCCESS);
}

std::string ReadText(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// References counted by AddRef's answer, without changing them.
ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

class Tunelet : public ::testing::Test {
protected:
    using DllCanUnloadNowFn = HRESULT(WINAPI*)();
    using DllGetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using DllRegisterFn = HRESULT(WINAPI*)();

    static void SetUpTestSuite() {
        // The stand-in reads where to record when it is loaded.
        record_ = TestFolder() + L"tunelet-lumiray-record.txt";
        _wputenv((L"AVIARO_LUMIRAY_RECORD=" + record_).c_str());
        module_ = LoadLibraryW(BinFile(L"Tunelet.dll").c_str());
        ASSERT_NE(module_, nullptr);
        // The names COM looks for, undecorated on i686 as well.
        canUnloadNow_ = reinterpret_cast<DllCanUnloadNowFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
        getClassObject_ = reinterpret_cast<DllGetClassObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        register_ = reinterpret_cast<DllRegisterFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllRegisterServer")));
        unregister_ = reinterpret_cast<DllRegisterFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllUnregisterServer")));
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
    void TearDown() override {
        // Nothing may be left alive; this also lets the next test load its library.
        EXPECT_EQ(canUnloadNow_(), S_OK);
    }

    // A plug-in object over the stand-in.
    IWMPPluginUI* NewPlugin() {
        IWMPPluginUI* plugin = nullptr;
        IClassFactory* factory = nullptr;
        EXPECT_EQ(getClassObject_(kCLSID_Tunelet, kIID_IClassFactory,
                                  reinterpret_cast<void**>(&factory)), S_OK);
        if (factory == nullptr) return nullptr;
        EXPECT_EQ(factory->CreateInstance(nullptr, kIID_IWMPPluginUI,
                                          reinterpret_cast<void**>(&plugin)), S_OK);
        factory->Release();
        return plugin;
    }

    static inline HMODULE module_ = nullptr;
    static inline std::wstring record_;
    static inline DllCanUnloadNowFn canUnloadNow_ = nullptr;
    static inline DllGetClassObjectFn getClassObject_ = nullptr;
    static inline DllRegisterFn register_ = nullptr;
    static inline DllRegisterFn unregister_ = nullptr;
};

TEST_F(Tunelet, StringTableNamesThePluginForThePlayer) {
    wchar_t text[128] = {};
    EXPECT_EQ(LoadStringW(module_, 102, text, 128), 26);
    EXPECT_STREQ(text, L"Orlend Media Player Plugin");
    EXPECT_EQ(LoadStringW(module_, 103, text, 128), 46);
    EXPECT_STREQ(text, L"Displays media information on Lumiray displays");
    EXPECT_EQ(LoadStringW(module_, 101, text, 128), 0);
    EXPECT_EQ(LoadStringW(module_, 104, text, 128), 0);
}

// Creation registers with the device library as "Tunelet"; without the
// library, or when it refuses, the player gets no object and the library's
// code, and the DLL is free to go at once.
TEST_F(Tunelet, CreationTakesTheDeviceLibrarysAnswer) {
    const std::wstring refusing = TestFolder() + L"LumirayRefusing.dll";
    int notAnObject = 0;  // never called: aggregation is refused first
    IUnknown* const outer = reinterpret_cast<IUnknown*>(&notAnObject);
    struct Case {
        const char* name;
        std::wstring library;
        IUnknown* outer;
        IID iid;
        HRESULT result;
        std::string record;   // the stand-in's, after the object is gone
        std::wstring refusingLog;
    } cases[] = {
        {"no library", L"", nullptr, kIID_IWMPPluginUI, E_NOTIMPL, "", L""},
        {"library file missing", TestFolder() + L"NoSuchLumiray.dll", nullptr, kIID_IWMPPluginUI,
         E_NOTIMPL, "", L""},
        {"library refuses", refusing, nullptr, kIID_IWMPPluginUI,
         static_cast<HRESULT>(0x80070005), "", L"Initialize Tunelet\n"},
        {"stand-in", BinFile(L"Lumiray.dll"), nullptr, kIID_IWMPEvents, S_OK,
         "Lumiray_Initialize name=\"Tunelet\" -> 00000000\nLumiray_Deinitialize -> 00000000\n",
         L""},
        {"stand-in, interface not offered", BinFile(L"Lumiray.dll"), nullptr, kIID_IDispatch,
         E_NOINTERFACE,
         "Lumiray_Initialize name=\"Tunelet\" -> 00000000\nLumiray_Deinitialize -> 00000000\n",
         L""},
        {"aggregation", BinFile(L"Lumiray.dll"), outer, kIID_IWMPPluginUI,
         CLASS_E_NOAGGREGATION, "", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(record_.c_str());
        UseDeviceLibrary(c.library);
        EXPECT_EQ(canUnloadNow_(), S_OK);
        IClassFactory* factory = nullptr;
        ASSERT_EQ(getClassObject_(kCLSID_Tunelet, kIID_IClassFactory,
                                  reinterpret_cast<void**>(&factory)), S_OK);
        EXPECT_EQ(canUnloadNow_(), S_FALSE);  // the factory holds the DLL
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->CreateInstance(c.outer, c.iid, &object), c.result);
        factory->Release();
        if (c.result == S_OK) {
            ASSERT_NE(object, nullptr);
            IUnknown* unknown = static_cast<IUnknown*>(object);
            EXPECT_EQ(References(unknown), 1u);
            EXPECT_EQ(canUnloadNow_(), S_FALSE);  // the object holds the DLL
            EXPECT_EQ(unknown->Release(), 0u);
        } else {
            EXPECT_EQ(object, nullptr);
        }
        if (c.library == refusing) {
            using LogFn = const wchar_t*(WINAPI*)();
            const auto log = reinterpret_cast<LogFn>(reinterpret_cast<void*>(
                GetProcAddress(GetModuleHandleW(refusing.c_str()), "RefusingLibrary_Log")));
            ASSERT_NE(log, nullptr);
            EXPECT_EQ(std::wstring(log()), c.refusingLog);  // no Deinitialize without Initialize
        }
        EXPECT_EQ(canUnloadNow_(), S_OK);
        EXPECT_EQ(ReadText(record_), c.record);
    }
    // The library is let go with the last lock, and LockServer is a lock too.
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
    EXPECT_EQ(plugin->QueryInterface(kIID_IWMPEvents, &events), S_OK);
    EXPECT_EQ(plugin->QueryInterface(kIID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(static_cast<IWMPEvents*>(events)->QueryInterface(kIID_IWMPPluginUI, &ui), S_OK);
    EXPECT_EQ(unknown, events);  // IUnknown is answered through IWMPEvents
    EXPECT_EQ(ui, static_cast<void*>(plugin));
    EXPECT_NE(events, static_cast<void*>(plugin));
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(plugin->QueryInterface(kIID_IDispatch, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(References(plugin), 4u);
    static_cast<IUnknown*>(events)->Release();
    static_cast<IUnknown*>(unknown)->Release();
    plugin->Release();

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

// A player core with a connection point for IWMPEvents, configured per case.
// Like a real one, the connection point holds the sink until it is unadvised.
struct FakePlayer final : public IConnectionPointContainer {
    FakePlayer(std::string name, std::vector<std::string>& log) : name(std::move(name)), log(log) {}
    ~FakePlayer() {
        if (sink != nullptr) sink->Release();  // one that could not be unadvised
    }
    std::string name;
    std::vector<std::string>& log;
    bool hasContainer = true;
    HRESULT findResult = S_OK;
    HRESULT adviseResult = S_OK;
    DWORD cookieToGive = 0;
    IUnknown* expectedSink = nullptr;
    IUnknown* sink = nullptr;
    ULONG coreRefs = 1;
    ULONG pointRefs = 1;

    IUnknown* Core() { return static_cast<IConnectionPointContainer*>(this); }
    void Log(const std::string& line) { log.push_back(name + ": " + line); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == kIID_IConnectionPointContainer) Log("QueryInterface IConnectionPointContainer");
        if (iid == kIID_IUnknown || (hasContainer && iid == kIID_IConnectionPointContainer)) {
            *object = Core();
            ++coreRefs;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++coreRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --coreRefs; }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        Log(iid == kIID_IWMPEvents ? "FindConnectionPoint IWMPEvents" : "FindConnectionPoint ?");
        *point = nullptr;
        if (FAILED(findResult)) return findResult;
        *point = &point_;
        ++pointRefs;
        return S_OK;
    }
    // IConnectionPoint's own IUnknown counts separately: it is another object.
    struct Point final : public IConnectionPoint {
        FakePlayer* player;
        explicit Point(FakePlayer* p) : player(p) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return ++player->pointRefs; }
        ULONG STDMETHODCALLTYPE Release() override { return --player->pointRefs; }
        HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(
            IConnectionPointContainer**) override {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE Advise(IUnknown* s, DWORD* cookie) override {
            player->Log(s == player->expectedSink ? "Advise IWMPEvents" : "Advise ?");
            *cookie = 0;
            if (FAILED(player->adviseResult)) return player->adviseResult;
            s->AddRef();
            player->sink = s;
            *cookie = player->cookieToGive;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
            player->Log("Unadvise " + std::to_string(cookie));
            if (player->sink == nullptr || cookie != player->cookieToGive) {
                return CONNECT_E_NOCONNECTION;
            }
            player->sink->Release();
            player->sink = nullptr;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override {
            return E_NOTIMPL;
        }
    } point_{this};
};

IWMPCore* AsCore(FakePlayer& player) { return reinterpret_cast<IWMPCore*>(player.Core()); }

IUnknown* EventsOf(IWMPPluginUI* plugin) {
    void* events = nullptr;
    plugin->QueryInterface(kIID_IWMPEvents, &events);
    static_cast<IUnknown*>(events)->Release();
    return static_cast<IUnknown*>(events);
}

TEST_F(Tunelet, SetCoreConnectsToThePlayersEventsOrSaysWhyNot) {
    const std::vector<std::string> connectCalls = {
        "core: QueryInterface IConnectionPointContainer", "core: FindConnectionPoint IWMPEvents",
        "core: Advise IWMPEvents"};
    struct Case {
        const char* name;
        bool hasContainer;
        HRESULT findResult;
        HRESULT adviseResult;
        DWORD cookie;
        HRESULT result;
        std::vector<std::string> calls;  // through SetCore(NULL)
        ULONG coreRefs, pointRefs, pluginRefs;  // while set
        ULONG pluginRefsAfter;                  // after SetCore(NULL)
    } cases[] = {
        {"connected", true, S_OK, S_OK, 677, S_OK,
         {connectCalls[0], connectCalls[1], connectCalls[2], "core: Unadvise 677"}, 2, 2, 2, 1},
        {"advise fails", true, S_OK, CONNECT_E_ADVISELIMIT, 677, CONNECT_E_ADVISELIMIT,
         connectCalls, 2, 1, 1, 1},
        // Advised, but never to be unadvised: the player keeps the sink.
        {"cookie 0", true, S_OK, S_OK, 0, CONNECT_E_CANNOTCONNECT, connectCalls, 2, 1, 2, 2},
        {"no connection point", true, CONNECT_E_NOCONNECTION, S_OK, 677, CONNECT_E_NOCONNECTION,
         {connectCalls[0], connectCalls[1]}, 2, 1, 1, 1},
        {"no container", false, S_OK, S_OK, 677, E_NOINTERFACE, {connectCalls[0]}, 2, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> log;
        FakePlayer player("core", log);
        player.hasContainer = c.hasContainer;
        player.findResult = c.findResult;
        player.adviseResult = c.adviseResult;
        player.cookieToGive = c.cookie;
        IWMPPluginUI* plugin = NewPlugin();
        ASSERT_NE(plugin, nullptr);
        player.expectedSink = EventsOf(plugin);

        EXPECT_EQ(plugin->SetCore(AsCore(player)), c.result);
        EXPECT_EQ(player.coreRefs, c.coreRefs);
        EXPECT_EQ(player.pointRefs, c.pointRefs);
        EXPECT_EQ(References(plugin), c.pluginRefs);
        EXPECT_EQ(plugin->SetCore(nullptr), S_OK);
        EXPECT_EQ(log, c.calls);
        EXPECT_EQ(player.coreRefs, 1u);
        EXPECT_EQ(player.pointRefs, 1u);
        EXPECT_EQ(References(plugin), c.pluginRefsAfter);
        EXPECT_EQ(plugin->Release(), c.pluginRefsAfter - 1);
    }
}

TEST_F(Tunelet, ASecondCoreReplacesTheFirstAndTheLastReleaseLetsGo) {
    std::vector<std::string> log;
    FakePlayer first("first", log);
    FakePlayer second("second", log);
    first.cookieToGive = 11;
    second.cookieToGive = 22;
    IWMPPluginUI* plugin = NewPlugin();
    ASSERT_NE(plugin, nullptr);
    first.expectedSink = second.expectedSink = EventsOf(plugin);

    EXPECT_EQ(plugin->SetCore(nullptr), S_OK);  // a fresh object has nothing to let go
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(plugin->SetCore(AsCore(first)), S_OK);
    EXPECT_EQ(plugin->SetCore(AsCore(second)), S_OK);
    EXPECT_EQ(log, (std::vector<std::string>{
                       "first: QueryInterface IConnectionPointContainer",
                       "first: FindConnectionPoint IWMPEvents", "first: Advise IWMPEvents",
                       "first: Unadvise 11", "second: QueryInterface IConnectionPointContainer",
                       "second: FindConnectionPoint IWMPEvents", "second: Advise IWMPEvents"}));
    EXPECT_EQ(first.coreRefs, 1u);
    EXPECT_EQ(first.pointRefs, 1u);
    EXPECT_EQ(second.coreRefs, 2u);
    EXPECT_EQ(second.pointRefs, 2u);

    // A core whose events cannot be reached is still held, until the object goes.
    second.adviseResult = E_FAIL;
    EXPECT_EQ(plugin->SetCore(AsCore(second)), E_FAIL);
    EXPECT_EQ(log.back(), "second: Advise IWMPEvents");
    EXPECT_EQ(log[log.size() - 4], "second: Unadvise 22");
    EXPECT_EQ(second.coreRefs, 2u);
    EXPECT_EQ(plugin->Release(), 0u);
    EXPECT_EQ(second.coreRefs, 1u);
    EXPECT_EQ(second.pointRefs, 1u);
    EXPECT_EQ(ReadText(record_),
              "Lumiray_Initialize name=\"Tunelet\" -> 00000000\nLumiray_Deinitialize -> 00000000\n");
}

std::vector<std::string> g_posts;

BOOL WINAPI RecordPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    char text[128];
    std::snprintf(text, sizeof text, "%s %s %lu %ld",
                  window == HWND_BROADCAST ? "broadcast" : "window",
                  message == RegisterWindowMessageA("WMPlayer_PluginAddRemove")
                      ? "WMPlayer_PluginAddRemove" : "other",
                  static_cast<unsigned long>(wParam), static_cast<long>(lParam));
    g_posts.push_back(text);
    return TRUE;
}

// Points module's import of dll!function at replacement.
bool PatchImport(HMODULE module, const char* dll, const char* function, void* replacement) {
    BYTE* const base = reinterpret_cast<BYTE*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name != 0; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
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
class FailingWriter : public tunelet::CRegistryWriter {
public:
    explicit FailingWriter(int failAt) : failAt_(failAt) {}
    LONG CreateKey(HKEY root, const wchar_t* path, HKEY* key) override {
        return Fails() ? ERROR_ACCESS_DENIED : CRegistryWriter::CreateKey(root, path, key);
    }
    LONG SetValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data,
                  DWORD size) override {
        return Fails() ? ERROR_ACCESS_DENIED
                       : CRegistryWriter::SetValue(key, name, type, data, size);
    }
    int writes = 0;

private:
    bool Fails() { return writes++ == failAt_; }
    int failAt_;
};

TEST_F(Tunelet, RegistrationWritesTheTableOrNothing) {
    const std::wstring inproc = std::wstring(tunelet::kClassKey) + L"\\InprocServer32";
    for (int failAt = 0; failAt < 9; ++failAt) {
        SCOPED_TRACE(failAt);
        FailingWriter writer(failAt);
        EXPECT_EQ(tunelet::RegisterServer(L"C:\\Plug-ins\\Tunelet.dll", writer),
                  static_cast<HRESULT>(0x80070005));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, tunelet::kClassKey));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, tunelet::kPluginKey));
    }
    FailingWriter writer(-1);
    EXPECT_EQ(tunelet::RegisterServer(L"C:\\Plug-ins\\Tunelet.dll", writer), S_OK);
    EXPECT_EQ(writer.writes, 9);
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, tunelet::kClassKey, nullptr), "1:Tunelet Class");
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, inproc, nullptr), "1:C:\\Plug-ins\\Tunelet.dll");
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, inproc, L"ThreadingModel"), "1:Apartment");
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, tunelet::kPluginKey, L"FriendlyName"),
              "1:res://Tunelet.dll/RT_STRING/#102");
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, tunelet::kPluginKey, L"Description"),
              "1:res://Tunelet.dll/RT_STRING/#103");
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, tunelet::kPluginKey, L"Capabilities"), "4:40000001");

    // The DLL's own entry points: its full path, and running players are told
    // (seen through its import of PostMessageW: Wine here has no display).
    ASSERT_TRUE(PatchImport(module_, "user32.dll", "PostMessageW",
                            reinterpret_cast<void*>(&RecordPost)));
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module_, path, MAX_PATH);
    // Left by an earlier registration: goes with it.
    RegSetKeyValueW(HKEY_CLASSES_ROOT, inproc.c_str(), L"Stale", REG_SZ, L"x", 4);
    g_posts.clear();
    EXPECT_EQ(register_(), S_OK);
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, inproc, nullptr),
              "1:" + std::string(path, path + wcslen(path)));
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, inproc, L"Stale"), "");
    EXPECT_EQ(unregister_(), S_OK);
    EXPECT_EQ(unregister_(), S_OK);  // nothing left to remove is no failure
    const std::string post = "broadcast WMPlayer_PluginAddRemove 0 0";
    EXPECT_EQ(g_posts, (std::vector<std::string>{post, post, post}));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, tunelet::kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, tunelet::kPluginKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUIPluginsKey));
}

}  // namespace
