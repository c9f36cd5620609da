#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/process.h"
#include "platform/text.h"

namespace av::platform {
namespace {

std::atomic<DebugOutputSink> g_sink{nullptr};

}  // namespace

void ComInitialize() {}
void ComUninitialize() {}

void DebugOutput(const wchar_t* text) {
    if (text == nullptr) return;
    if (DebugOutputSink sink = g_sink.load()) {
        sink(text);
        return;
    }
    if (std::getenv("AVIARO_DEBUG_OUTPUT") != nullptr) {
        std::fputs(ToUtf8(text).c_str(), stderr);
    }
}

void SetDebugOutputSink(DebugOutputSink sink) { g_sink.store(sink); }

std::vector<std::wstring> GetCommandLineArgs() {
    // The POSIX main hands its own arguments to the program.
    return {};
}

bool GetEnvironmentValue(const wchar_t* name, std::wstring& out) {
    out.clear();
    if (name == nullptr || *name == L'\0') return false;
    const char* value = std::getenv(ToUtf8(name).c_str());
    if (value == nullptr) return false;
    out = FromUtf8(value);
    return true;
}

}  // namespace av::platform
