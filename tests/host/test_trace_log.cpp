#include <gtest/gtest.h>

#include "platform/paths.h"
#include "plugins/aviaro/host/trace_log.h"
#include "tests/host/test_helpers.h"

namespace {

TEST(TraceLog, LineFormats) {
    EXPECT_EQ(CTraceLog::FormatTrace(L"CAviaro::OnSimStart"), L"  CAviaro::OnSimStart\n");
    // A message that already ends in a line feed leaves an empty line after it.
    EXPECT_EQ(CTraceLog::FormatTrace(L"CAviaro::AddPage\n"), L"  CAviaro::AddPage\n\n");
    EXPECT_EQ(CTraceLog::FormatResult(L"CAviaroBase::InitSimConnect - SimConnect_Open", E_NOTIMPL),
              L"  CAviaroBase::InitSimConnect - SimConnect_Open returned 80004001\n");
    EXPECT_EQ(CTraceLog::FormatResult(L"X", 0x1F), L"  X returned 0000001F\n");
    EXPECT_EQ(CTraceLog::FormatBool(L"CAviaro::IsDeviceServiceRunning", true),
              L"  CAviaro::IsDeviceServiceRunning returned TRUE\n");
    EXPECT_EQ(CTraceLog::FormatBool(L"Y", false), L"  Y returned FALSE\n");
}

// A line is formatted into 1024 units, terminator included: 1023 units at
// most, the line feed the first to go.
TEST(TraceLog, LongLinesAreCutToTheFormatBuffer) {
    struct Row {
        std::size_t textUnits;
        std::wstring line;
    };
    auto text = [](std::size_t n) {
        std::wstring t;
        for (std::size_t i = 0; i < n; ++i) t += static_cast<wchar_t>(L'a' + i % 26);
        return t;
    };
    const Row rows[] = {
        {1020, L"  " + text(1020) + L"\n"},  // 1023 units: whole
        {1021, L"  " + text(1021)},          // 1024: the line feed is cut
        {1022, L"  " + text(1021)},          // 1025
        {2000, L"  " + text(1021)},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CTraceLog::FormatTrace(text(row.textUnits).c_str()), row.line) << row.textUnits;
    }
    // " returned " and eight digits count too.
    const std::wstring label = text(1023 - 21);
    EXPECT_EQ(CTraceLog::FormatResult(label.c_str(), E_NOTIMPL),
              L"  " + label + L" returned 80004001\n");
    EXPECT_EQ(CTraceLog::FormatResult((label + L"z").c_str(), E_NOTIMPL),
              L"  " + label + L"z returned 80004001");
    EXPECT_EQ(CTraceLog::FormatBool((label + L"zzzz").c_str(), false),
              L"  " + label + L"zzzz returned FALSE");
}

// Each line is on disk as soon as it is traced: a crash loses nothing written.
TEST(TraceLog, EachLineReachesTheFileAtOnce) {
    const std::wstring path = av::platform::JoinPath(MakeTempFolder("trace-flush"), L"trace.txt");
    CTraceLog& log = CTraceLog::Instance();
    log.Open(path);
    EXPECT_EQ(ReadBytes(path), "\r\n------\r\n");
    log.Trace(L"CAviaro::OnSimStart");
    log.TraceResult(L"CAviaro::AddDevice - Lumiray_GetDeviceType", E_NOTIMPL);
    EXPECT_EQ(ReadBytes(path),
              "\r\n------\r\n  CAviaro::OnSimStart\r\n"
              "  CAviaro::AddDevice - Lumiray_GetDeviceType returned 80004001\r\n");
    log.Close();
}

TEST(TraceLog, FileStartsWithTheSeparatorAndUsesCrLf) {
    const std::wstring path = av::platform::JoinPath(MakeTempFolder("trace-file"), L"trace.txt");
    CTraceLog& log = CTraceLog::Instance();
    log.Open(path);
    ASSERT_TRUE(log.IsOn());
    log.Trace(L"CAviaro::AddPage\n");
    log.TraceResult(L"CAviaroBase::InitSimConnect - SimConnect_Open", E_NOTIMPL);
    log.TraceBool(L"Flag", false);
    log.Close();
    EXPECT_EQ(ReadBytes(path),
              "\r\n------\r\n"
              "  CAviaro::AddPage\r\n\r\n"
              "  CAviaroBase::InitSimConnect - SimConnect_Open returned 80004001\r\n"
              "  Flag returned FALSE\r\n");

    // Each run starts a new file.
    log.Open(path);
    log.Trace(L"again");
    log.Close();
    EXPECT_EQ(ReadBytes(path), "\r\n------\r\n  again\r\n");
}

TEST(TraceLog, OffWritesNothing) {
    const std::wstring folder = MakeTempFolder("trace-off");
    CTraceLog& log = CTraceLog::Instance();
    log.Close();
    log.Trace(L"nothing");
    log.TraceResult(L"nothing", 0);
    log.TraceBool(L"nothing", true);
    EXPECT_FALSE(log.IsOn());

    // A path that cannot be opened leaves tracing off.
    const std::wstring bad = av::platform::JoinPath(av::platform::JoinPath(folder, L"missing"), L"t.txt");
    log.Open(bad);
    EXPECT_FALSE(log.IsOn());
    log.Trace(L"nothing");
    EXPECT_EQ(ReadBytes(bad), "<missing>");
}

TEST(TraceLog, NonAsciiTextIsWrittenAsAnsi) {
    const std::wstring path = av::platform::JoinPath(MakeTempFolder("trace-ansi"), L"t.txt");
    CTraceLog& log = CTraceLog::Instance();
    log.Open(path);
    log.Trace(L"COM1 \u00AB118.000\u00BB 5\u00B0");
    log.Close();
    EXPECT_EQ(ReadBytes(path), "\r\n------\r\n  COM1 \xAB" "118.000\xBB 5\xB0\r\n");
}

}  // namespace
