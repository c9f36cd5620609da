#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "plugins/lumiray/lumiray_library.h"
#include "tools/lumiray_standin/lumiray_standin.h"
#include "tools/lumiray_standin/png_writer.h"

namespace {

using av::platform::RegistryRoot;
using standin::LumirayStandIn;

const wchar_t kKey[] = L"SOFTWARE\\Orlend\\Lumiray";
const wchar_t kValue[] = L"LumirayX86";

// Natively the registry is a file of our own; under Wine it is the prefix's.
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
#if !defined(_WIN32)
        const std::string file =
            av::platform::ToUtf8(av::platform::JoinPath(av::platform::GetExecutableFolder(),
                                                        L"lumiray-registry.reg"));
        std::remove(file.c_str());
        setenv("AVIARO_REGISTRY", file.c_str(), 1);
#endif
        av::platform::DeleteRegistryValue(RegistryRoot::LocalMachine, kKey, kValue);
        LumirayStandIn::Instance().Reset();
    }
    void TearDown() override {
        av::platform::DeleteRegistryValue(RegistryRoot::LocalMachine, kKey, kValue);
        LumirayStandIn::Instance().Reset();
    }
    static void SetLibraryPath(const std::wstring& path) {
        ASSERT_TRUE(av::platform::WriteRegistryString(RegistryRoot::LocalMachine, kKey, kValue,
                                                      path));
    }
};

void AV_STDCALL OnDevice(lumiray::Device, bool, void*) {}
void AV_STDCALL OnEnumerate(lumiray::Device, void*) {}
void AV_STDCALL OnPage(lumiray::Device, lumiray::DWord, bool, void*) {}
void AV_STDCALL OnButtons(lumiray::Device, lumiray::DWord, void*) {}

std::string ImageCrc() {
    const std::vector<unsigned char> image(lumiray::kMiraImageBytes, 0x5A);
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X",
                  static_cast<unsigned>(standin::Crc32(image.data(), image.size())));
    return crc;
}

// Calls every operation once; returns their results in table order.
std::vector<HRESULT> CallEverything(CLumirayLibrary& lib, lumiray::Device device) {
    av::Guid guid{};
    wchar_t serial[16] = {};
    std::vector<unsigned char> image(lumiray::kMiraImageBytes, 0x5A);
    return {
        lib.Initialize(L"Orlend Flight Sim X Plugin"),
        lib.Deinitialize(),
        lib.RegisterDeviceCallback(&OnDevice, &lib),
        lib.Enumerate(&OnEnumerate, &lib),
        lib.RegisterPageCallback(device, &OnPage, &lib),
        lib.RegisterSoftButtonCallback(device, &OnButtons, &lib),
        lib.GetDeviceType(device, &guid),
        lib.GetDeviceInstance(device, &guid),
        lib.SetProfile(device, L"profile", 0),
        lib.AddPage(device, 3, L"CPage_Mira_Gauge", 1),
        lib.RemovePage(device, 9),
        lib.SetLed(device, 3, 6, 1),
        lib.SetString(device, 3, 2, 4, L"ABCDEFGH"),
        lib.SetImage(device, 3, 0, lumiray::kMiraImageBytes, image.data()),
        lib.SetImageFromFile(device, 3, 0, L"file", 0),
        lib.StartServer(device, 3, L"name", 0, nullptr),
        lib.CloseServer(device, 3, 0),
        lib.SendServerMsg(device, 3, 0, 0, 0, 0, nullptr, 0, nullptr),
        lib.SendServerFile(device, 3, 0, 0, L"file", 0, 0, 0, nullptr, 0, nullptr),
        lib.SaveFile(device, 3, 0, L"file", 0, nullptr),
        lib.DisplayFile(device, 3, 0, 0, nullptr),
        lib.DeleteFile(device, 3, 0, nullptr),
        lib.GetSerialNumber(device, serial, 16),
    };
}

TEST_F(Registry, WithoutValueOrLibraryEveryOperationIsNotImplemented) {
    const std::vector<HRESULT> all(lumiray::kEntryCount, E_NOTIMPL);
    auto none = CLumirayLibrary::Load(CLumirayLibrary::EntrySet::Full);
    EXPECT_FALSE(none->IsLoaded());
    EXPECT_EQ(CallEverything(*none, nullptr), all);

    SetLibraryPath(L"NoSuchLumiray.dll");
    auto missing = CLumirayLibrary::Load(CLumirayLibrary::EntrySet::Full);
    EXPECT_FALSE(missing->IsLoaded());
    EXPECT_EQ(CallEverything(*missing, nullptr), all);
    EXPECT_TRUE(LumirayStandIn::Instance().Records().empty());
}

TEST_F(Registry, EachOperationForwardsItsArgumentsOnce) {
    av::platform::RegisterInProcessModule(L"LumirayStandIn.dll", &LumirayStandIn::Lookup);
    SetLibraryPath(L"LumirayStandIn.dll");
    auto lib = CLumirayLibrary::Load(CLumirayLibrary::EntrySet::Full);
    ASSERT_TRUE(lib->IsLoaded());
    const int mira = LumirayStandIn::Instance().AddDevice(standin::DeviceKind::Mira, L"MIRA-7");
    const lumiray::Device device = LumirayStandIn::Instance().DeviceHandle(mira);

    std::vector<HRESULT> results = CallEverything(*lib, device);
    std::vector<HRESULT> expected(lumiray::kEntryCount, S_OK);
    expected[10] = E_INVALIDARG;  // page 9 was never added
    expected[12] = E_INVALIDARG;  // a Mira has no text lines
    EXPECT_EQ(results, expected);
    const std::vector<std::string> records = LumirayStandIn::Instance().Records();
    const std::vector<std::string> calls = {
        "Lumiray_Initialize name=\"Orlend Flight Sim X Plugin\" -> 00000000",
        "Lumiray_Deinitialize -> 00000000",
        "Lumiray_RegisterDeviceCallback callback=set context=set -> 00000000",
        "Lumiray_Enumerate context=set -> 00000000",
        "report device=1",
        "Lumiray_RegisterPageCallback device=1 callback=set context=set -> 00000000",
        "Lumiray_RegisterSoftButtonCallback device=1 callback=set context=set -> 00000000",
        "Lumiray_GetDeviceType device=1 -> 00000000",
        "Lumiray_GetDeviceInstance device=1 -> 00000000",
        "Lumiray_SetProfile arguments=3 -> 00000000",
        "Lumiray_AddPage device=1 page=3 flags=1 -> 00000000",
        "Lumiray_RemovePage device=1 page=9 -> 80070057",
        "Lumiray_SetLed device=1 page=3 index=6 value=1 -> 00000000",
        "Lumiray_SetString device=1 page=3 index=2 length=4 text=\"ABCD\" -> 80070057",
        "Lumiray_SetImage device=1 page=3 index=0 size=230400 crc=" + ImageCrc() + " -> 00000000",
        "Lumiray_SetImageFromFile arguments=5 -> 00000000",
        "Lumiray_StartServer arguments=5 -> 00000000",
        "Lumiray_CloseServer arguments=3 -> 00000000",
        "Lumiray_SendServerMsg arguments=9 -> 00000000",
        "Lumiray_SendServerFile arguments=11 -> 00000000",
        "Lumiray_SaveFile arguments=6 -> 00000000",
        "Lumiray_DisplayFile arguments=5 -> 00000000",
        "Lumiray_DeleteFile arguments=4 -> 00000000",
        "Lumiray_GetSerialNumber device=1 size=16 -> 00000000",
    };
    EXPECT_EQ(records, calls);
    av::platform::UnregisterInProcessModule(L"LumirayStandIn.dll");
}

TEST_F(Registry, PlayerEntrySetLeavesOutTheSerialNumberAndMissingEntriesAreNotImplemented) {
    av::platform::RegisterInProcessModule(L"LumirayStandIn.dll", &LumirayStandIn::Lookup);
    SetLibraryPath(L"LumirayStandIn.dll");
    auto player = CLumirayLibrary::Load(CLumirayLibrary::EntrySet::WithoutSerialNumber);
    const int mira = LumirayStandIn::Instance().AddDevice(standin::DeviceKind::Mira);
    wchar_t serial[16] = {L'x'};
    EXPECT_EQ(player->GetSerialNumber(LumirayStandIn::Instance().DeviceHandle(mira), serial, 16),
              E_NOTIMPL);
    EXPECT_EQ(serial[0], L'x');
    EXPECT_EQ(player->Entries().getSerialNumber, nullptr);
    EXPECT_EQ(player->Initialize(L"Tunelet"), S_OK);
    EXPECT_EQ(player->Deinitialize(), S_OK);
    av::platform::UnregisterInProcessModule(L"LumirayStandIn.dll");

    // A library that offers only two of the entry points.
    av::platform::RegisterInProcessModule(L"PartialLumiray.dll", [](const char* name) -> void* {
        if (std::strcmp(name, "Lumiray_Initialize") == 0 ||
            std::strcmp(name, "Lumiray_AddPage") == 0) {
            return LumirayStandIn::Lookup(name);
        }
        return nullptr;
    });
    SetLibraryPath(L"PartialLumiray.dll");
    auto partial = CLumirayLibrary::Load(CLumirayLibrary::EntrySet::Full);
    EXPECT_TRUE(partial->IsLoaded());
    std::vector<HRESULT> results = CallEverything(*partial, nullptr);
    std::vector<HRESULT> expected(lumiray::kEntryCount, E_NOTIMPL);
    expected[0] = S_OK;
    expected[9] = static_cast<HRESULT>(0x80070006u);  // the stand-in knows no device 0
    EXPECT_EQ(results, expected);
    av::platform::UnregisterInProcessModule(L"PartialLumiray.dll");
}

TEST(LumirayBinding, InjectedTableIsUsedAndCanBeReplaced) {
    LumirayStandIn::Instance().Reset();
    lumiray::EntryTable table;
    CLumirayLibrary lib(table);
    EXPECT_TRUE(lib.IsLoaded());
    EXPECT_EQ(lib.Initialize(L"x"), E_NOTIMPL);
    lib.UseEntryTable(LumirayStandIn::Entries());
    EXPECT_EQ(lib.Initialize(L"Tunelet"), S_OK);
    EXPECT_EQ(lib.Deinitialize(), S_OK);
    EXPECT_EQ(LumirayStandIn::Instance().Records(),
              (std::vector<std::string>{"Lumiray_Initialize name=\"Tunelet\" -> 00000000",
                                        "Lumiray_Deinitialize -> 00000000"}));
    EXPECT_EQ(CLumirayLibrary::DeviceType_Tarvex, lumiray::kDeviceTypeTarvex);
    EXPECT_EQ(lumiray::SoftButton_6, 0x400u);
}

// The stand-in built as a library of its own (Lumiray.dll under Wine, Lumiray.so
// natively), found through the registry. Under Wine the end-to-end script
// registers it with "reg add", writes its script and runs this test with
// AVIARO_LUMIRAY_E2E set.
std::vector<lumiray::Device> g_enumerated;
void AV_STDCALL CollectDevice(lumiray::Device device, void*) { g_enumerated.push_back(device); }

TEST(LumirayModule, UsedEntryPointsReachTheLibraryWithTheirArguments) {
    const char* record = std::getenv("AVIARO_LUMIRAY_RECORD");
#if defined(_WIN32)
    if (std::getenv("AVIARO_LUMIRAY_E2E") == nullptr || record == nullptr) {
        GTEST_SKIP() << "run by tests/wine/e2e_lumiray.sh";
    }
#else
    const std::wstring here = av::platform::GetExecutableFolder();
    const std::string recordFile =
        av::platform::ToUtf8(av::platform::JoinPath(here, L"lumiray-module-record.txt"));
    const std::string scriptFile =
        av::platform::ToUtf8(av::platform::JoinPath(here, L"lumiray-module-script.txt"));
    const std::string registryFile =
        av::platform::ToUtf8(av::platform::JoinPath(here, L"lumiray-module-registry.reg"));
    std::remove(recordFile.c_str());
    std::remove(registryFile.c_str());
    if (std::FILE* f = std::fopen(scriptFile.c_str(), "wb")) {
        std::fputs("device tarvex\ndevice mira MIRA-E2E\n", f);
        std::fclose(f);
    }
    setenv("AVIARO_LUMIRAY_RECORD", recordFile.c_str(), 1);
    setenv("AVIARO_LUMIRAY_SCRIPT", scriptFile.c_str(), 1);
    setenv("AVIARO_REGISTRY", registryFile.c_str(), 1);
    record = recordFile.c_str();
    ASSERT_TRUE(av::platform::WriteRegistryString(RegistryRoot::LocalMachine, kKey, kValue,
                                                  av::platform::FromUtf8(AV_LUMIRAY_MODULE)));
#endif
    auto lib = CLumirayLibrary::Load(CLumirayLibrary::EntrySet::Full);
    ASSERT_TRUE(lib->IsLoaded());

    // The script gives the library a Tarvex (1) and a Mira (2).
    EXPECT_EQ(lib->Initialize(L"Orlend Flight Sim X Plugin"), S_OK);
    EXPECT_EQ(lib->RegisterDeviceCallback(&OnDevice, lib.get()), S_OK);
    g_enumerated.clear();
    EXPECT_EQ(lib->Enumerate(&CollectDevice, lib.get()), S_OK);
    ASSERT_EQ(g_enumerated.size(), 2u);
    const lumiray::Device tarvex = g_enumerated[0];
    const lumiray::Device mira = g_enumerated[1];
    EXPECT_EQ(lib->RegisterPageCallback(tarvex, &OnPage, lib.get()), S_OK);
    EXPECT_EQ(lib->RegisterSoftButtonCallback(tarvex, &OnButtons, lib.get()), S_OK);
    av::Guid type{};
    EXPECT_EQ(lib->GetDeviceType(tarvex, &type), S_OK);
    EXPECT_EQ(type, CLumirayLibrary::DeviceType_Tarvex);
    EXPECT_EQ(lib->GetDeviceType(mira, &type), S_OK);
    EXPECT_EQ(type, CLumirayLibrary::DeviceType_Mira);
    wchar_t serial[16] = {};
    EXPECT_EQ(lib->GetSerialNumber(mira, serial, 16), S_OK);
    EXPECT_EQ(std::wstring(serial), L"MIRA-E2E");
    EXPECT_EQ(lib->AddPage(tarvex, 4, L"CPage_Tarvex_Com", 1), S_OK);
    EXPECT_EQ(lib->SetString(tarvex, 4, 1, 11, L"NAV1 113.90 and more"), S_OK);
    EXPECT_EQ(lib->AddPage(mira, 5, L"CPage_Mira_Gauge", 0), S_OK);
    EXPECT_EQ(lib->SetLed(mira, 5, 2, 1), S_OK);
    std::vector<unsigned char> image(lumiray::kMiraImageBytes);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i % 251);
    EXPECT_EQ(lib->SetImage(mira, 5, 0, lumiray::kMiraImageBytes, image.data()), S_OK);
    EXPECT_EQ(lib->SetString(mira, 5, 0, 3, L"abc"), E_INVALIDARG);
    EXPECT_EQ(lib->Deinitialize(), S_OK);

    std::string text;
    ASSERT_TRUE(av::platform::ReadFileBytes(record, text));
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X",
                  static_cast<unsigned>(standin::Crc32(image.data(), image.size())));
    EXPECT_EQ(text,
              "Lumiray_Initialize name=\"Orlend Flight Sim X Plugin\" -> 00000000\n"
              "Lumiray_RegisterDeviceCallback callback=set context=set -> 00000000\n"
              "Lumiray_Enumerate context=set -> 00000000\n"
              "report device=1\n"
              "report device=2\n"
              "Lumiray_RegisterPageCallback device=1 callback=set context=set -> 00000000\n"
              "Lumiray_RegisterSoftButtonCallback device=1 callback=set context=set -> 00000000\n"
              "Lumiray_GetDeviceType device=1 -> 00000000\n"
              "Lumiray_GetDeviceType device=2 -> 00000000\n"
              "Lumiray_GetSerialNumber device=2 size=16 -> 00000000\n"
              "Lumiray_AddPage device=1 page=4 flags=1 -> 00000000\n"
              "Lumiray_SetString device=1 page=4 index=1 length=11 text=\"NAV1 113.90\" -> 00000000\n"
              "Lumiray_AddPage device=2 page=5 flags=0 -> 00000000\n"
              "Lumiray_SetLed device=2 page=5 index=2 value=1 -> 00000000\n"
              "Lumiray_SetImage device=2 page=5 index=0 size=230400 crc=" + std::string(crc) +
                  " -> 00000000\n"
              "Lumiray_SetString device=2 page=5 index=0 length=3 text=\"abc\" -> 80070057\n"
              "Lumiray_Deinitialize -> 00000000\n");
}

}  // namespace
