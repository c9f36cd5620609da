#include "plugins/aviaro/host/trace_log.h"

#include <cwchar>

#include "platform/file.h"
#include "platform/text.h"

namespace {

// Lines are formatted into a buffer of this many UTF-16 units, terminator included.
constexpr std::size_t kLineUnits = 1024;

std::wstring Cut(std::wstring line) {
    if (line.size() > kLineUnits - 1) line.resize(kLineUnits - 1);
    return line;
}

}  // namespace

CTraceLog& CTraceLog::Instance() {
    // Created on first use by the entry point, before any other thread exists.
    static CTraceLog log;
    return log;
}

void CTraceLog::Open(const std::wstring& path) {
    Close();
    // Binary mode with CR LF written by Write: the same bytes on disk on every
    // platform as a text-mode stream gives on Windows. "w" truncates, so each
    // run starts a new file.
    file_ = av::platform::OpenFile(path, "wb+");
    if (file_ != nullptr) Write(L"\n------\n");
}

void CTraceLog::Close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

std::wstring CTraceLog::FormatTrace(const wchar_t* text) {
    return Cut(std::wstring(L"  ") + (text ? text : L"") + L"\n");
}

std::wstring CTraceLog::FormatResult(const wchar_t* label, HRESULT result) {
    wchar_t hex[16];
    std::swprintf(hex, 16, L"%08X", static_cast<unsigned>(result));
    return Cut(std::wstring(L"  ") + (label ? label : L"") + L" returned " + hex + L"\n");
}

std::wstring CTraceLog::FormatBool(const wchar_t* label, bool flag) {
    return Cut(std::wstring(L"  ") + (label ? label : L"") + L" returned " +
               (flag ? L"TRUE" : L"FALSE") + L"\n");
}

void CTraceLog::Trace(const wchar_t* text) {
    if (file_ == nullptr) return;
    Write(FormatTrace(text));
}

void CTraceLog::TraceResult(const wchar_t* label, HRESULT result) {
    if (file_ == nullptr) return;
    Write(FormatResult(label, result));
}

void CTraceLog::TraceBool(const wchar_t* label, bool flag) {
    if (file_ == nullptr) return;
    Write(FormatBool(label, flag));
}

void CTraceLog::Write(const std::wstring& line) {
    // 8-bit text with CR LF, one write call per line: the stream's own lock
    // keeps lines from different threads whole.
    std::string bytes;
    bytes.reserve(line.size() + 8);
    for (char c : av::platform::ToAnsi(line)) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    // Each line goes to the system at once: the log is on while someone is
    // diagnosing, and the line before a crash is the one they need.
    std::fflush(file_);
}
