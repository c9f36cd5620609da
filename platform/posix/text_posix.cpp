#include "platform/text.h"

namespace av::platform {

// The ANSI code page of a western Windows, which is what the simulators and
// their files expect.
std::string ToAnsi(const std::wstring& text) {
    std::string out;
    ToWindows1252(text, out);
    return out;
}

std::wstring FromAnsi(const std::string& text) { return FromWindows1252(text); }

}  // namespace av::platform
