#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <chrono>
#include <set>
#include <thread>

#include "platform/module.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "tests/host/test_helpers.h"

namespace {

// Every byte from 0x80 up, both ways, against the code page written out here;
// the five unassigned bytes are their own code points, as Windows has them.
// Nothing else in the BMP has a byte.
TEST(Text, Windows1252EveryHighByteBothWays) {
    const char16_t k80To9F[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
    };
    std::string allBytes;
    std::wstring allText;
    std::set<char32_t> encodable;
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
        const wchar_t c = static_cast<wchar_t>(b < 0xA0 ? k80To9F[b - 0x80] : b);  // A0-FF: Latin-1
        const std::string byte(1, static_cast<char>(b));
        std::string out;
        EXPECT_EQ(av::platform::FromWindows1252(byte), std::wstring(1, c)) << std::hex << b;
        EXPECT_TRUE(av::platform::ToWindows1252(std::wstring(1, c), out)) << std::hex << b;
        EXPECT_EQ(out, byte) << std::hex << b;
        allBytes += byte;
        allText += c;
        encodable.insert(static_cast<char32_t>(c));
    }
    std::string out;
    EXPECT_TRUE(av::platform::ToWindows1252(L"Fl\u00fcgel " + allText, out));
    EXPECT_EQ(out, "Fl\xfcgel " + allBytes);
    EXPECT_EQ(av::platform::FromWindows1252("Fl\xfcgel " + allBytes), L"Fl\u00fcgel " + allText);

    int others = 0;
    for (char32_t c = 0x100; c <= 0xFFFF; ++c) {
        if (encodable.count(c) != 0) continue;
        if (av::platform::ToWindows1252(std::wstring(1, static_cast<wchar_t>(c)), out) || out != "?") {
            ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(c) << " has a byte";
            if (++others > 5) break;
        }
    }
    EXPECT_FALSE(av::platform::ToWindows1252(L"a\u65e5\u2015b", out));
    EXPECT_EQ(out, "a??b");
}

TEST(Text, Utf8AndCaseInsensitiveComparison) {
    const std::wstring text = L"a\u00e9\u20ac\U0001F600";
    EXPECT_EQ(av::platform::ToUtf8(text), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    EXPECT_EQ(av::platform::FromUtf8(av::platform::ToUtf8(text)), text);
    EXPECT_EQ(av::platform::FromUtf8("a\xff" "b\xc3"), L"a\ufffdb\ufffd");
    EXPECT_TRUE(av::platform::EqualsIgnoreCase(L"-Uninstall", L"-UNINSTALL"));
    EXPECT_FALSE(av::platform::EqualsIgnoreCase(L"-run", L"-runs"));
}

// The add-on's own lock and condition variable (the system's slim ones on
// Windows): a timed wait ends no earlier than asked and says what the
// predicate says; a notify ends a long wait at once.
TEST(Sync, TimedWaitsAndWakes) {
    using namespace std::chrono;
    av::Mutex mutex;
    av::ConditionVariable changed;
    bool ready = false;
    std::unique_lock<av::Mutex> lock(mutex);
    auto start = steady_clock::now();
    EXPECT_FALSE(changed.wait_for(lock, milliseconds(40), [&] { return ready; }));
    EXPECT_GE(steady_clock::now() - start, milliseconds(40));
    EXPECT_EQ(changed.wait_until(lock, steady_clock::now() - milliseconds(1)), std::cv_status::timeout);

    std::thread other([&] {
        std::this_thread::sleep_for(milliseconds(20));
        std::lock_guard<av::Mutex> hold(mutex);
        ready = true;
        changed.notify_all();
    });
    start = steady_clock::now();
    EXPECT_TRUE(changed.wait_for(lock, seconds(20), [&] { return ready; }));
    EXPECT_LT(steady_clock::now() - start, seconds(10));
    EXPECT_TRUE(lock.owns_lock());
    lock.unlock();
    other.join();
    EXPECT_TRUE(mutex.try_lock());
    mutex.unlock();
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
