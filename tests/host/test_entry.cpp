#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "plugins/aviaro/host/aviaro_main.h"
#include "plugins/aviaro/host/command_line.h"
#include "plugins/aviaro/host/trace_log.h"
#include "tests/host/test_helpers.h"

namespace {

std::vector<std::wstring> Args(std::initializer_list<const wchar_t*> rest) {
    std::vector<std::wstring> args = {L"C:\\Aviaro\\Aviaro.exe"};
    for (const wchar_t* a : rest) args.emplace_back(a);
    return args;
}

struct Case {
    std::vector<std::wstring> args;
    const wchar_t* debugOutput;
    CommandAction action;
    bool runs;
};

TEST(CommandLine, Table) {
    const Case cases[] = {
        {Args({}), nullptr, CommandAction::Install, true},
        {Args({L"-install"}), L"Aviaro -install\n", CommandAction::Install, false},
        {Args({L"-INSTALL"}), L"Aviaro -install\n", CommandAction::Install, false},
        {Args({L"-uninstall"}), L"Aviaro -uninstall\n", CommandAction::Uninstall, false},
        {Args({L"-Uninstall"}), L"Aviaro -uninstall\n", CommandAction::Uninstall, false},
        {Args({L"-run"}), L"Aviaro -run\n", CommandAction::None, true},
        {Args({L"-RUN"}), L"Aviaro -run\n", CommandAction::None, true},
        // More than one argument: none counts, so install and then run.
        {Args({L"-run", L"-x"}), nullptr, CommandAction::Install, true},
        {Args({L"-uninstall", L"-run"}), nullptr, CommandAction::Install, true},
        {Args({L"/run"}), nullptr, CommandAction::Install, true},
        {Args({L"-running"}), nullptr, CommandAction::Install, true},
        {{}, nullptr, CommandAction::Install, true},
    };
    for (const Case& c : cases) {
        const CommandDecision d = DecideCommandLine(c.args);
        const std::string label = c.args.size() > 1 ? av::platform::ToUtf8(c.args[1]) : "(none)";
        EXPECT_EQ(d.action, c.action) << label;
        EXPECT_EQ(d.runsConnection, c.runs) << label;
        if (c.debugOutput == nullptr) {
            EXPECT_EQ(d.debugOutput, nullptr) << label;
        } else {
            ASSERT_NE(d.debugOutput, nullptr) << label;
            EXPECT_EQ(std::wstring(d.debugOutput), c.debugOutput) << label;
        }
    }
}

// What the entry point did, through its hooks and the debugger output.
std::vector<std::string> g_steps;
bool g_runResult = true;

void Capture(const wchar_t* text) { g_steps.push_back("debug " + av::platform::ToUtf8(text)); }

AviaroMainHooks RecordingHooks() {
    AviaroMainHooks hooks;
    hooks.install = [] { g_steps.push_back("install"); };
    hooks.uninstall = [] { g_steps.push_back("uninstall"); };
    hooks.run = [](av::Handle) {
        g_steps.push_back("run");
        return g_runResult;
    };
    return hooks;
}

int Main(std::initializer_list<const wchar_t*> rest, bool runResult = true) {
    g_steps.clear();
    g_runResult = runResult;
    av::platform::SetDebugOutputSink(&Capture);
    const int code = AviaroMain(nullptr, Args(rest), RecordingHooks());
    av::platform::SetDebugOutputSink(nullptr);
    return code;
}

TEST(EntryPoint, CallsTheRightOperationAndExitsWithItsCode) {
    EXPECT_EQ(Main({L"-install"}), 1);
    EXPECT_EQ(g_steps, (std::vector<std::string>{"debug Aviaro -install\n", "install"}));

    EXPECT_EQ(Main({L"-UNINSTALL"}), 1);
    EXPECT_EQ(g_steps, (std::vector<std::string>{"debug Aviaro -uninstall\n", "uninstall"}));

    EXPECT_EQ(Main({L"-run"}), 0);
    EXPECT_EQ(g_steps, (std::vector<std::string>{"debug Aviaro -run\n", "run"}));

    EXPECT_EQ(Main({L"-run"}, false), -1);
    EXPECT_EQ(g_steps, (std::vector<std::string>{"debug Aviaro -run\n", "run"}));

    EXPECT_EQ(Main({L"-run", L"extra"}), 0);
    EXPECT_EQ(g_steps, (std::vector<std::string>{"install", "run"}));

    EXPECT_EQ(Main({}, false), -1);
    EXPECT_EQ(g_steps, (std::vector<std::string>{"install", "run"}));
}

#if !defined(_WIN32)
// The registry is a file off Windows; the Windows side is covered end to end.
class TraceSwitch : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = MakeTempFolder("trace-switch");
        registry_ = av::platform::JoinPath(folder_, L"registry.reg");
        setenv("AVIARO_REGISTRY", av::platform::ToUtf8(registry_).c_str(), 1);
    }
    void TearDown() override {
        CTraceLog::Instance().Close();
        unsetenv("AVIARO_REGISTRY");
    }
    std::wstring folder_, registry_;
};

TEST_F(TraceSwitch, ANamedFileSwitchesTracingOn) {
    const std::wstring trace = av::platform::JoinPath(folder_, L"trace.txt");
    ASSERT_TRUE(av::platform::WriteRegistryString(av::platform::RegistryRoot::LocalMachine,
                                                  L"SOFTWARE\\Orlend\\Lumiray\\Debug", L"Aviaro",
                                                  trace));
    OpenTraceFromRegistry();
    EXPECT_TRUE(CTraceLog::Instance().IsOn());
    CTraceLog::Instance().Close();
    EXPECT_EQ(ReadBytes(trace), "\r\n------\r\n");
}

TEST_F(TraceSwitch, MissingEmptyOrOverlongValuesLeaveTracingOff) {
    OpenTraceFromRegistry();  // no registry file at all
    EXPECT_FALSE(CTraceLog::Instance().IsOn());

    ASSERT_TRUE(av::platform::WriteRegistryString(av::platform::RegistryRoot::LocalMachine,
                                                  L"SOFTWARE\\Orlend\\Lumiray\\Debug", L"Aviaro",
                                                  L""));
    OpenTraceFromRegistry();
    EXPECT_FALSE(CTraceLog::Instance().IsOn());

    // 512 units with the terminator do not fit the 1024-byte buffer.
    const std::wstring longPath = av::platform::JoinPath(folder_, std::wstring(520, L'a'));
    ASSERT_TRUE(av::platform::WriteRegistryString(av::platform::RegistryRoot::LocalMachine,
                                                  L"software\\orlend\\lumiray\\debug", L"AVIARO",
                                                  longPath));
    OpenTraceFromRegistry();
    EXPECT_FALSE(CTraceLog::Instance().IsOn());
}
#endif

}  // namespace
