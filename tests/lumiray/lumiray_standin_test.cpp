#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if defined(AV_HAVE_LIBPNG)
#include <png.h>
#endif

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "tools/lumiray_standin/lumiray_standin.h"
#include "tools/lumiray_standin/png_writer.h"

namespace {

using lumiray::Device;
using lumiray::DWord;
using standin::DeviceKind;
using standin::LumirayStandIn;

// What the callbacks saw, and whether any arrived on the caller's thread.
struct Client {
    std::mutex mutex;
    std::vector<std::string> events;
    std::thread::id mainThread = std::this_thread::get_id();
    bool onMainThread = false;
    LumirayStandIn* lib = nullptr;

    void Add(const std::string& e) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(e);
        if (std::this_thread::get_id() == mainThread) onMainThread = true;
    }
    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(events, {});
    }
};

std::string Name(LumirayStandIn& lib, Device device) {
    for (int n = 1; n < 10; ++n) {
        if (lib.DeviceHandle(n) == device) return std::to_string(n);
    }
    return "?";
}

void AV_STDCALL OnDevice(Device device, bool added, void* context) {
    auto* c = static_cast<Client*>(context);
    c->Add((added ? "added " : "removed ") + Name(*c->lib, device));
}
void AV_STDCALL OnEnumerate(Device device, void* context) {
    auto* c = static_cast<Client*>(context);
    c->Add("present " + Name(*c->lib, device));
    c->onMainThread = false;  // enumeration answers on the caller's thread by design
}
void AV_STDCALL OnPage(Device device, DWord page, bool active, void* context) {
    auto* c = static_cast<Client*>(context);
    c->Add("page " + Name(*c->lib, device) + " " + std::to_string(page) + (active ? " on" : " off"));
}
void AV_STDCALL OnButtons(Device device, DWord buttons, void* context) {
    auto* c = static_cast<Client*>(context);
    char bits[16];
    std::snprintf(bits, sizeof bits, "0x%X", static_cast<unsigned>(buttons));
    c->Add("buttons " + Name(*c->lib, device) + " " + bits);
}

class StandIn : public ::testing::Test {
protected:
    void SetUp() override {
        lib.Reset();
        client.lib = &lib;
    }
    void TearDown() override { lib.Reset(); }

    LumirayStandIn& lib = LumirayStandIn::Instance();
    Client client;
};

TEST_F(StandIn, PagesKeepTheirContentAndTheActivePageIsShown) {
    const int t = lib.AddDevice(DeviceKind::Tarvex);
    const Device tarvex = lib.DeviceHandle(t);
    ASSERT_EQ(lib.Initialize(L"test"), S_OK);
    EXPECT_EQ(lib.AddPage(tarvex, 1, 1), S_OK);
    EXPECT_EQ(lib.AddPage(tarvex, 2, 0), S_OK);
    EXPECT_EQ(lib.SetString(tarvex, 1, 0, 16, L"COM1  118.00   X"), S_OK);
    // Sent while page 2 is not active: kept for when it is.
    EXPECT_EQ(lib.SetString(tarvex, 2, 2, 20, L"twenty characters!!!"), S_OK);
    EXPECT_EQ(lib.SetString(tarvex, 2, 0, 3, L"ADFxyz"), S_OK);
    EXPECT_EQ(lib.SetString(tarvex, 3, 0, 3, L"ADF"), E_INVALIDARG);  // no such page
    EXPECT_EQ(lib.SetString(tarvex, 1, 3, 3, L"ADF"), E_INVALIDARG);  // three lines only
    EXPECT_EQ(lib.SetString(tarvex, 1, 0, 3, nullptr), E_POINTER);
    EXPECT_EQ(lib.SetLed(tarvex, 1, 1, 1), E_INVALIDARG);  // no LEDs on a Tarvex

    standin::Screen screen;
    ASSERT_TRUE(lib.GetScreen(t, screen));
    EXPECT_EQ(screen.page, 1u);
    EXPECT_EQ(screen.lines[0], L"COM1  118.00   X");
    EXPECT_EQ(screen.lines[2], L"");

    lib.ChangePage(t, 2);
    ASSERT_TRUE(lib.WaitIdle(5000));
    ASSERT_TRUE(lib.GetScreen(t, screen));
    EXPECT_EQ(screen.page, 2u);
    EXPECT_EQ(screen.lines[0], L"ADF");
    EXPECT_EQ(screen.lines[2], L"twenty character");  // 16 columns

    EXPECT_EQ(lib.RemovePage(tarvex, 2), S_OK);
    ASSERT_TRUE(lib.GetScreen(t, screen));
    EXPECT_EQ(screen.page, 0u);
    EXPECT_EQ(lib.Deinitialize(), S_OK);
}

TEST_F(StandIn, CallbacksArriveOnTheStandInsThreadInOrder) {
    lib.AddDevice(DeviceKind::Tarvex);
    lib.AddDevice(DeviceKind::Mira, L"MIRA-0042");
    ASSERT_EQ(lib.Initialize(L"test"), S_OK);
    EXPECT_EQ(lib.RegisterDeviceCallback(&OnDevice, &client), S_OK);
    EXPECT_EQ(lib.Enumerate(&OnEnumerate, &client), S_OK);
    EXPECT_EQ(client.Take(), (std::vector<std::string>{"present 1", "present 2"}));
    const Device tarvex = lib.DeviceHandle(1);
    EXPECT_EQ(lib.RegisterPageCallback(tarvex, &OnPage, &client), S_OK);
    EXPECT_EQ(lib.RegisterSoftButtonCallback(tarvex, &OnButtons, &client), S_OK);
    EXPECT_EQ(lib.AddPage(tarvex, 1, 1), S_OK);
    EXPECT_EQ(lib.AddPage(tarvex, 2, 0), S_OK);
    EXPECT_EQ(lib.AddPage(tarvex, 3, 0), S_OK);

    lib.LoadScript(
        "page 1 next   # to 2\n"
        "page 1 prev\n"
        "page 1 prev   # wraps to 3\n"
        "page 1 3      # already active\n"
        "press 1 0x21\n"
        "buttons 2 0x1 # no callback registered\n"
        "arrive mira\n"
        "remove 3\n"
        "remove 3\n"
        "bogus 1\n");
    ASSERT_TRUE(lib.WaitIdle(5000));
    EXPECT_EQ(client.Take(), (std::vector<std::string>{
                                 "page 1 1 off", "page 1 2 on", "page 1 2 off", "page 1 1 on",
                                 "page 1 1 off", "page 1 3 on", "buttons 1 0x21", "buttons 1 0x0",
                                 "added 3", "removed 3"}));
    EXPECT_FALSE(client.onMainThread);

    const std::vector<std::string> records = lib.Records();
    ASSERT_GE(records.size(), 14u);
    const std::vector<std::string> tail(records.end() - 14, records.end());
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "deliver page device=1 page=1 active=0",
                        "deliver page device=1 page=2 active=1",
                        "deliver page device=1 page=2 active=0",
                        "deliver page device=1 page=1 active=1",
                        "deliver page device=1 page=1 active=0",
                        "deliver page device=1 page=3 active=1",
                        "skip page device=1 3 (already active)",
                        "deliver buttons device=1 bits=0x0021",
                        "deliver buttons device=1 bits=0x0000",
                        "skip buttons device=2 bits=0x0001 (no callback)",
                        "deliver device added device=3",
                        "deliver device removed device=3",
                        "skip remove 3 (no such device)",
                        "skip unknown script line: bogus 1",
                    }));
    // A removed device's handle is refused.
    av::Guid type{};
    EXPECT_EQ(lib.GetDeviceGuid(lib.DeviceHandle(3), &type, false), static_cast<HRESULT>(0x80070006u));
    EXPECT_EQ(lib.Deinitialize(), S_OK);
}

TEST_F(StandIn, SerialNumbersTypesAndBufferSizes) {
    lib.AddDevice(DeviceKind::Tarvex);
    lib.AddDevice(DeviceKind::Mira, L"MIRA-0042");
    const Device mira = lib.DeviceHandle(2);
    av::Guid type{};
    EXPECT_EQ(lib.GetDeviceGuid(mira, &type, false), S_OK);
    EXPECT_EQ(type, lumiray::kDeviceTypeMira);
    EXPECT_EQ(lib.GetDeviceGuid(lib.DeviceHandle(1), &type, false), S_OK);
    EXPECT_EQ(type, lumiray::kDeviceTypeTarvex);
    EXPECT_EQ(lib.GetDeviceGuid(mira, nullptr, false), E_POINTER);

    wchar_t serial[16] = {L'?'};
    EXPECT_EQ(lib.GetSerialNumber(mira, serial, 16), S_OK);
    EXPECT_EQ(std::wstring(serial), L"MIRA-0042");
    EXPECT_EQ(lib.GetSerialNumber(mira, serial, 9), static_cast<HRESULT>(0x8007007Au));
    EXPECT_EQ(serial[0], L'\0');
    EXPECT_EQ(lib.GetSerialNumber(lib.DeviceHandle(1), serial, 16), S_OK);
    EXPECT_EQ(std::wstring(serial), L"TRVX00000001");
}

#if defined(AV_HAVE_LIBPNG)
// Decodes a PNG with the system's reader into RGB rows, top row first.
bool DecodePng(const std::vector<std::uint8_t>& png, std::uint32_t& w, std::uint32_t& h,
               std::vector<std::uint8_t>& rgb) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return false;
    image.format = PNG_FORMAT_RGB;
    rgb.assign(PNG_IMAGE_SIZE(image), 0);
    w = image.width;
    h = image.height;
    return png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
}

TEST(PngWriter, SystemReaderDecodesWhatWasEncoded) {
    const std::uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(standin::Crc32(check, sizeof check), 0xCBF43926u);

    // Big enough for several stored blocks.
    const std::uint32_t w = 301, h = 97;
    std::vector<std::uint8_t> rgb(w * h * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 7 + i / 3);
    std::uint32_t dw = 0, dh = 0;
    std::vector<std::uint8_t> decoded;
    ASSERT_TRUE(DecodePng(standin::EncodePng(w, h, rgb), dw, dh, decoded));
    EXPECT_EQ(dw, w);
    EXPECT_EQ(dh, h);
    EXPECT_TRUE(decoded == rgb);
}
#endif

TEST_F(StandIn, DumpWritesWhatEachDeviceShows) {
    const int t = lib.AddDevice(DeviceKind::Tarvex);
    const int m = lib.AddDevice(DeviceKind::Mira);
    const Device tarvex = lib.DeviceHandle(t);
    const Device mira = lib.DeviceHandle(m);
    EXPECT_EQ(lib.AddPage(tarvex, 2, 1), S_OK);
    EXPECT_EQ(lib.SetString(tarvex, 2, 0, 16, L"XPDR  1200      "), S_OK);
    EXPECT_EQ(lib.SetString(tarvex, 2, 1, 6, L"\u00e9t\u00e9 ok"), S_OK);
    EXPECT_EQ(lib.AddPage(mira, 5, 1), S_OK);
    EXPECT_EQ(lib.SetLed(mira, 5, 2, 1), S_OK);
    EXPECT_EQ(lib.SetLed(mira, 5, 6, 1), S_OK);
    EXPECT_EQ(lib.SetLed(mira, 5, 7, 1), E_INVALIDARG);
    // Bottom-up BGR: the first bytes are the bottom-left pixel.
    std::vector<std::uint8_t> image(lumiray::kMiraImageBytes, 0);
    image[0] = 0x10;  // blue
    image[1] = 0x20;  // green
    image[2] = 0x30;  // red
    const std::size_t topLeft = (lumiray::kMiraHeight - 1) * lumiray::kMiraWidth * 3;
    image[topLeft + 2] = 0xFF;  // red
    EXPECT_EQ(lib.SetImage(mira, 5, 0, 100, image.data()), E_INVALIDARG);
    EXPECT_EQ(lib.SetImage(mira, 5, 0, lumiray::kMiraImageBytes, image.data()), S_OK);

    const std::wstring folder =
        av::platform::JoinPath(av::platform::GetExecutableFolder(), L"lumiray-dump");
    ASSERT_TRUE(lib.Dump(folder));
    auto read = [&](const wchar_t* name) {
        std::string text;
        av::platform::ReadFileBytes(av::platform::JoinPath(folder, name), text);
        return text;
    };
    EXPECT_EQ(read(L"tarvex-1.txt"), "page 2\nXPDR  1200      \n\xc3\xa9t\xc3\xa9 ok\n\n");
    EXPECT_EQ(read(L"mira-2.txt"), "page 5\nleds 0 1 0 0 0 1\n");
    const std::string png = read(L"mira-2.png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
#if defined(AV_HAVE_LIBPNG)
    std::uint32_t w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
    ASSERT_TRUE(DecodePng(std::vector<std::uint8_t>(png.begin(), png.end()), w, h, rgb));
    EXPECT_EQ(w, 320u);
    EXPECT_EQ(h, 240u);
    EXPECT_EQ(rgb[0], 0xFF);  // top-left, red
    EXPECT_EQ(rgb[1], 0);
    const std::size_t bottomLeft = (h - 1) * w * 3;
    EXPECT_EQ(rgb[bottomLeft], 0x30);
    EXPECT_EQ(rgb[bottomLeft + 1], 0x20);
    EXPECT_EQ(rgb[bottomLeft + 2], 0x10);
#endif
}

// "frames": each image a Mira is sent for the first time is written once, as
// frame-<crc>.png with the crc its record line shows; with record times each
// line of the record file starts with the system clock's milliseconds.
TEST_F(StandIn, FramesAreWrittenOnceByCrcAndRecordLinesCarryTheTime) {
    const std::wstring folder =
        av::platform::JoinPath(av::platform::GetExecutableFolder(), L"lumiray-frames");
    const std::wstring recordPath = av::platform::JoinPath(folder, L"record.txt");
    ASSERT_TRUE(av::platform::CreateDirectoryPath(folder));
    av::platform::RemoveFile(recordPath);
    lib.SetDumpFolder(folder);
    lib.SetRecordFile(av::platform::ToUtf8(recordPath));
    lib.SetRecordTime(true);
    lib.LoadScript("frames\n");
    const Device mira = lib.DeviceHandle(lib.AddDevice(DeviceKind::Mira));
    const auto now = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    const long long before = now();
    EXPECT_EQ(lib.AddPage(mira, 5, 1), S_OK);
    std::vector<std::uint8_t> first(lumiray::kMiraImageBytes, 0);
    const std::size_t topLeft = (lumiray::kMiraHeight - 1) * lumiray::kMiraWidth * 3;
    first[topLeft + 2] = 0xFF;  // red, top-left
    std::vector<std::uint8_t> second = first;
    second[0] = 0xFF;  // blue, bottom-left
    const auto crcText = [](const std::vector<std::uint8_t>& image) {
        char text[16];
        std::snprintf(text, sizeof text, "%08X",
                      static_cast<unsigned>(standin::Crc32(image.data(), image.size())));
        return std::string(text);
    };
    const std::wstring firstFile =
        av::platform::JoinPath(folder, av::platform::FromUtf8("frame-" + crcText(first) + ".png"));
    const std::wstring secondFile =
        av::platform::JoinPath(folder, av::platform::FromUtf8("frame-" + crcText(second) + ".png"));
    av::platform::RemoveFile(firstFile);
    av::platform::RemoveFile(secondFile);

    EXPECT_EQ(lib.SetImage(mira, 5, 0, lumiray::kMiraImageBytes, first.data()), S_OK);
    std::string png;
    ASSERT_TRUE(av::platform::ReadFileBytes(firstFile, png));
    // The same image again is not written again.
    ASSERT_TRUE(av::platform::RemoveFile(firstFile));
    EXPECT_EQ(lib.SetImage(mira, 5, 0, lumiray::kMiraImageBytes, first.data()), S_OK);
    std::string again;
    EXPECT_FALSE(av::platform::ReadFileBytes(firstFile, again));
    EXPECT_EQ(lib.SetImage(mira, 5, 0, lumiray::kMiraImageBytes, second.data()), S_OK);
    std::string secondPng;
    EXPECT_TRUE(av::platform::ReadFileBytes(secondFile, secondPng));
    const long long after = now();
#if defined(AV_HAVE_LIBPNG)
    std::uint32_t w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
    ASSERT_TRUE(DecodePng(std::vector<std::uint8_t>(png.begin(), png.end()), w, h, rgb));
    ASSERT_EQ(rgb.size(), lumiray::kMiraImageBytes);
    EXPECT_EQ(rgb[0], 0xFF);
    EXPECT_EQ(rgb[1], 0);
    EXPECT_EQ(rgb[2], 0);
#endif

    // The record file: "<ms> <line>", the times within the test's; in memory
    // the lines stay as they were.
    std::string record;
    ASSERT_TRUE(av::platform::ReadFileBytes(recordPath, record));
    std::istringstream lines(record);
    std::string line;
    std::vector<std::string> texts;
    while (std::getline(lines, line)) {
        const std::size_t space = line.find(' ');
        ASSERT_NE(space, std::string::npos) << line;
        const long long at = std::stoll(line.substr(0, space));
        EXPECT_GE(at, before) << line;
        EXPECT_LE(at, after) << line;
        texts.push_back(line.substr(space + 1));
    }
    EXPECT_EQ(texts, lib.Records());
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[3], "Lumiray_SetImage device=1 page=5 index=0 size=230400 crc=" + crcText(second) +
                            " -> 00000000");
}

}  // namespace
