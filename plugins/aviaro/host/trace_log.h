// The diagnostic log: off unless the registry names a file for it.
#pragma once

#include <cstdio>
#include <string>

#include "platform/types.h"

class CTraceLog {
public:
    static CTraceLog& Instance();

    // Closes a file already open, then creates or truncates path and writes the
    // separator. Tracing stays off when the file cannot be opened.
    void Open(const std::wstring& path);
    void Close();
    bool IsOn() const { return file_ != nullptr; }

    void Trace(const wchar_t* text);
    void Trace(const std::wstring& text) { Trace(text.c_str()); }
    void TraceResult(const wchar_t* label, HRESULT result);
    void TraceBool(const wchar_t* label, bool flag);

    // The line a call writes, before it goes to disk ("\n" line ends).
    static std::wstring FormatTrace(const wchar_t* text);
    static std::wstring FormatResult(const wchar_t* label, HRESULT result);
    static std::wstring FormatBool(const wchar_t* label, bool flag);

private:
    CTraceLog() = default;
    void Write(const std::wstring& line);

    std::FILE* file_ = nullptr;
};
