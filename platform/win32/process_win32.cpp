#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <atomic>

#include "platform/process.h"

namespace av::platform {
namespace {

std::atomic<DebugOutputSink> g_sink{nullptr};

}  // namespace

void ComInitialize() { (void)CoInitialize(nullptr); }

void ComUninitialize() { CoUninitialize(); }

void DebugOutput(const wchar_t* text) {
    if (text == nullptr) return;
    if (DebugOutputSink sink = g_sink.load()) {
        sink(text);
        return;
    }
    OutputDebugStringW(text);
}

void SetDebugOutputSink(DebugOutputSink sink) { g_sink.store(sink); }

std::vector<std::wstring> GetCommandLineArgs() {
    std::vector<std::wstring> args;
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (list == nullptr) return args;
    for (int i = 0; i < count; ++i) args.emplace_back(list[i]);
    LocalFree(list);
    return args;
}

}  // namespace av::platform
