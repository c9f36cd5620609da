#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <atomic>
#include <vector>

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

bool GetEnvironmentValue(const wchar_t* name, std::wstring& out) {
    out.clear();
    if (name == nullptr || *name == L'\0') return false;
    // The value may change between the two calls: ask again while it grows.
    SetLastError(ERROR_SUCCESS);
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    while (size != 0) {
        std::vector<wchar_t> buffer(size);
        const DWORD length = GetEnvironmentVariableW(name, buffer.data(), size);
        if (length < size) {
            out.assign(buffer.data(), length);
            return true;
        }
        size = length;
    }
    // 0: not set, or set to an empty value.
    return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

}  // namespace av::platform
