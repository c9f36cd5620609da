#include "platform/paths.h"

#include <algorithm>

namespace av::platform {
namespace {

bool IsSeparator(wchar_t c) {
#if defined(_WIN32)
    return c == L'\\' || c == L'/';
#else
    return c == L'/';
#endif
}

}  // namespace

std::wstring JoinPath(const std::wstring& a, const std::wstring& b) {
    if (a.empty()) return b;
    if (IsSeparator(a.back())) return a + b;
    return a + kPathSeparator + b;
}

std::wstring LocalPath(std::wstring path) {
#if !defined(_WIN32)
    std::replace(path.begin(), path.end(), L'\\', L'/');
#endif
    return path;
}

std::wstring RemoveFileSpec(const std::wstring& path) {
    std::size_t i = path.size();
    while (i > 0 && !IsSeparator(path[i - 1])) --i;
    if (i == 0) return std::wstring();
    if (i == 1) return path.substr(0, 1);  // the root itself
    return path.substr(0, i - 1);
}

}  // namespace av::platform
