#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/module.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tests/host/test_helpers.h"

namespace {

TEST(Text, Windows1252RoundTripAndUnrepresentableCharacters) {
    std::string bytes;
    EXPECT_TRUE(av::platform::ToWindows1252(L"Fl\u00fcgel \u20ac5 \u00ab\u00bb\u00b0", bytes));
    EXPECT_EQ(bytes, "Fl\xfcgel \x80" "5 \xab\xbb\xb0");
    EXPECT_EQ(av::platform::FromWindows1252(bytes), L"Fl\u00fcgel \u20ac5 \u00ab\u00bb\u00b0");
    EXPECT_FALSE(av::platform::ToWindows1252(L"\u65e5\u672c", bytes));
    EXPECT_EQ(bytes, "??");
    // Undefined bytes of the code page map to the same code point, as Windows does.
    EXPECT_EQ(av::platform::FromWindows1252("\x81\x8d"), L"\u0081\u008d");
}

TEST(Text, Utf8AndCaseInsensitiveComparison) {
    const std::wstring text = L"a\u00e9\u20ac\U0001F600";
    EXPECT_EQ(av::platform::ToUtf8(text), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    EXPECT_EQ(av::platform::FromUtf8(av::platform::ToUtf8(text)), text);
    EXPECT_EQ(av::platform::FromUtf8("a\xff" "b\xc3"), L"a\ufffdb\ufffd");
    EXPECT_TRUE(av::platform::EqualsIgnoreCase(L"-Uninstall", L"-UNINSTALL"));
    EXPECT_FALSE(av::platform::EqualsIgnoreCase(L"-run", L"-runs"));
}

TEST(Paths, JoinAndRemoveFileSpec) {
    const wchar_t s = av::platform::kPathSeparator;
    const std::wstring a = std::wstring(L"root") + s + L"dir";
    EXPECT_EQ(av::platform::JoinPath(a, L"f.xml"), a + s + L"f.xml");
    EXPECT_EQ(av::platform::JoinPath(a + s, L"f.xml"), a + s + L"f.xml");
    EXPECT_EQ(av::platform::JoinPath(L"", L"f.xml"), L"f.xml");
    EXPECT_EQ(av::platform::RemoveFileSpec(a + s + L"f.xml"), a);
    EXPECT_EQ(av::platform::RemoveFileSpec(L"f.xml"), L"");
    EXPECT_FALSE(av::platform::GetExecutablePath().empty());
}

void* AV_STDCALL Answer() { return nullptr; }

void* LookupAnswer(const char* name) {
    return std::strcmp(name, "Answer") == 0 ? reinterpret_cast<void*>(&Answer) : nullptr;
}

TEST(Module, InProcessModulesAreFoundFirstByNameWithoutCase) {
    EXPECT_EQ(av::platform::LoadModule(L"NoSuchLibrary.dll"), nullptr);
    av::platform::RegisterInProcessModule(L"Answer.dll", &LookupAnswer);
    av::platform::ModuleHandle m = av::platform::LoadModule(L"ANSWER.DLL");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(av::platform::GetModuleSymbol(m, "Answer"), reinterpret_cast<void*>(&Answer));
    EXPECT_EQ(av::platform::GetModuleSymbol(m, "answer"), nullptr);  // names are exact
    av::platform::UnregisterInProcessModule(L"answer.dll");
    EXPECT_EQ(av::platform::GetModuleSymbol(m, "Answer"), nullptr);
    EXPECT_EQ(av::platform::LoadModule(L"Answer.dll"), nullptr);
    av::platform::UnloadModule(m);
}

#if defined(_WIN32)
TEST(Registry, DeletingAKeyTakesItsSubkeysAndSaysSo) {
    using av::platform::RegistryRoot;
    const std::wstring key = L"SOFTWARE\\AviaroRegistryTest";
    ASSERT_TRUE(av::platform::WriteRegistryString(RegistryRoot::CurrentUser, key + L"\\Sub",
                                                  L"v", L"1"));
    ASSERT_TRUE(av::platform::WriteRegistryDword(RegistryRoot::CurrentUser, key, L"d", 2));
    EXPECT_TRUE(av::platform::DeleteRegistryKey(RegistryRoot::CurrentUser, key));
    EXPECT_FALSE(av::platform::RegistryKeyExists(RegistryRoot::CurrentUser, key));
    EXPECT_FALSE(av::platform::DeleteRegistryKey(RegistryRoot::CurrentUser, key));
}
#endif

#if !defined(_WIN32)
TEST(RegistryFile, ReadsWritesAndDeletesValues) {
    const std::wstring file = av::platform::JoinPath(MakeTempFolder("registry"), L"r.reg");
    setenv("AVIARO_REGISTRY", av::platform::ToUtf8(file).c_str(), 1);
    using av::platform::RegistryRoot;
    const std::wstring key = L"SOFTWARE\\Orlend\\VelPanels\\NoTransmit";
    std::wstring text;
    std::uint32_t number = 0;

    EXPECT_FALSE(av::platform::ReadRegistryString(RegistryRoot::LocalMachine, key, L"x", text));
    EXPECT_TRUE(av::platform::WriteRegistryString(RegistryRoot::LocalMachine, key, L"Path",
                                                  L"C:\\a \"b\"\\c"));
    EXPECT_TRUE(av::platform::WriteRegistryDword(RegistryRoot::LocalMachine, key, L"Flag", 0xA5));
    EXPECT_TRUE(av::platform::ReadRegistryString(RegistryRoot::LocalMachine,
                                                 L"software\\orlend\\velpanels\\notransmit",
                                                 L"PATH", text));
    EXPECT_EQ(text, L"C:\\a \"b\"\\c");
    EXPECT_TRUE(av::platform::ReadRegistryDword(RegistryRoot::LocalMachine, key, L"flag", number));
    EXPECT_EQ(number, 0xA5u);
    // A value of the other type, another root, a too-small buffer.
    EXPECT_FALSE(av::platform::ReadRegistryDword(RegistryRoot::LocalMachine, key, L"Path", number));
    EXPECT_FALSE(av::platform::ReadRegistryString(RegistryRoot::CurrentUser, key, L"Path", text));
    EXPECT_FALSE(av::platform::ReadRegistryString(RegistryRoot::LocalMachine, key, L"Path", text, 10));
    EXPECT_TRUE(av::platform::ReadRegistryString(RegistryRoot::LocalMachine, key, L"Path", text, 11));
    EXPECT_EQ(ReadBytes(file),
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlend\\VelPanels\\NoTransmit]\n"
              "\"Path\"=\"C:\\\\a \\\"b\\\"\\\\c\"\n"
              "\"Flag\"=dword:000000a5\n\n");

    EXPECT_TRUE(av::platform::DeleteRegistryValue(RegistryRoot::LocalMachine, key, L"path"));
    EXPECT_FALSE(av::platform::ReadRegistryString(RegistryRoot::LocalMachine, key, L"Path", text));
    EXPECT_TRUE(av::platform::DeleteRegistryKey(RegistryRoot::LocalMachine, L"SOFTWARE\\Orlend"));
    EXPECT_FALSE(av::platform::RegistryKeyExists(RegistryRoot::LocalMachine, key));
    unsetenv("AVIARO_REGISTRY");
}
#endif

}  // namespace
