#include "plugins/aviaro/host/launch_model.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>

#include "platform/text.h"

namespace {

bool Contains(const std::wstring& line, const wchar_t* tag) {
    return line.find(tag) != std::wstring::npos;
}

bool IsBlank(const std::wstring& line) {
    return std::all_of(line.begin(), line.end(),
                       [](wchar_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; });
}

// The file's lines, decoded, each ending in "\n". A final line without a line
// end gets one, so that nothing written after it joins it.
std::vector<std::wstring> SplitLines(const std::string& bytes) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        const std::size_t next = end == std::string::npos ? bytes.size() : end + 1;
        if (end == std::string::npos) end = bytes.size();
        std::size_t stop = end;
        if (stop > start && bytes[stop - 1] == '\r') --stop;
        lines.push_back(av::platform::FromWindows1252(bytes.substr(start, stop - start)) + L"\n");
        start = next;
    }
    return lines;
}

bool IsRetiredProgram(const std::wstring& pathValue) {
    const std::size_t slash = pathValue.rfind(L'\\');
    if (slash == std::wstring::npos) return false;
    const std::wstring file = pathValue.substr(slash + 1);
    return av::platform::EqualsIgnoreCase(file, L"VelPanels.exe") ||
           av::platform::EqualsIgnoreCase(file, L"Aerotwin.exe");
}

}  // namespace

bool IsLineShapedLaunchText(const std::string& bytes) {
    if (bytes.find('\0') != std::string::npos) return false;
    static const wchar_t* const kMarkers[] = {L"<?xml", L"<SimBase.Document",
                                              L"</SimBase.Document>", L"<Launch.Addon>"};
    for (const std::wstring& line : SplitLines(bytes)) {
        int found = 0;
        for (const wchar_t* marker : kMarkers) {
            if (Contains(line, marker)) ++found;
        }
        if (found > 1) return false;
    }
    return true;
}

std::wstring LaunchPathValue(const std::wstring& field) {
    const std::size_t open = field.find(L'>');
    if (open == std::wstring::npos) return field;
    const std::size_t close = field.find(L'<', open + 1);
    if (close == std::wstring::npos) return field;
    return field.substr(open + 1, close - open - 1);
}

bool EncodeLaunchText(const std::wstring& text, std::string& bytes) {
    bytes.clear();
    bytes.reserve(text.size() + text.size() / 16);
    std::string one;
    for (wchar_t c : text) {
        if (c == L'\n') {
            bytes += "\r\n";
        } else if (static_cast<std::uint32_t>(c) < 0x80) {
            bytes += static_cast<char>(c);
        } else if (av::platform::ToWindows1252(std::wstring(1, c), one)) {
            bytes += one;
        } else if (static_cast<std::uint32_t>(c) >= 0x80 && static_cast<std::uint32_t>(c) < 0xA0) {
            // An unassigned byte of the code page, read as its own value.
            bytes += static_cast<char>(c);
        } else {
            return false;
        }
    }
    return true;
}

CLaunchModel CLaunchModel::CreateNew(const std::wstring& exePath) {
    CLaunchModel model;
    model.declaration = kLaunchDeclaration;
    model.rootStart = kLaunchRootStart;
    model.description = L"\t<Descr>Launch</Descr>\n";
    model.fileName = L"\t<Filename>exe.xml</Filename>\n";
    model.disabled = L"\t<Disabled>False</Disabled>\n";
    model.manualLoad = L"\t<Launch.ManualLoad>False</Launch.ManualLoad>\n";
    model.EnableOrAppendAddon(exePath);
    return model;
}

void CLaunchModel::Read(const std::string& bytes) {
    *this = CLaunchModel();
    LaunchAddon* block = nullptr;      // the open add-on block
    std::wstring* field = nullptr;     // a field still waiting for its closing tag
    const wchar_t* closing = nullptr;  // that tag

    // Starts a field at line: the line belongs to it, and so do the following
    // ones up to the closing tag when it is not on this line.
    auto start = [&](std::wstring& target, const std::wstring& line, const wchar_t* close) {
        target += line;
        if (!Contains(line, close)) {
            field = &target;
            closing = close;
        }
    };

    // A new entry for the line with "<Launch.Addon>"; the open block, or 0 when
    // the block also closes on that line.
    auto startBlock = [&](const std::wstring& line) -> LaunchAddon* {
        addons.emplace_back();
        if (!Contains(line, L"</Launch.Addon>")) return &addons.back();
        addons.back().oneLine = line;
        return nullptr;
    };

    for (const std::wstring& line : SplitLines(bytes)) {
        if (field != nullptr) {
            *field += line;
            if (Contains(line, closing)) field = nullptr;
            continue;
        }
        if (block != nullptr) {
            if (Contains(line, L"</Launch.Addon>")) {
                block = nullptr;
            } else if (Contains(line, L"<Launch.Addon>")) {
                // The previous block was never closed: this one starts anew.
                block = startBlock(line);
            } else if (Contains(line, L"<Name>")) {
                start(block->name, line, L"</Name>");
            } else if (Contains(line, L"<Disabled>")) {
                start(block->disabled, line, L"</Disabled>");
            } else if (Contains(line, L"<Path>")) {
                start(block->path, line, L"</Path>");
            } else if (Contains(line, L"<CommandLine>")) {
                start(block->commandLine, line, L"</CommandLine>");
            } else if (!IsBlank(line)) {
                block->otherLines += line;
            }
            continue;
        }
        if (Contains(line, L"<?xml")) {
            declaration += line;
        } else if (Contains(line, L"<SimBase.Document")) {
            rootStart += line;
        } else if (Contains(line, L"<Launch.Addon>")) {
            block = startBlock(line);
        } else if (Contains(line, L"<Descr>")) {
            start(description, line, L"</Descr>");
        } else if (Contains(line, L"<Filename>")) {
            start(fileName, line, L"</Filename>");
        } else if (Contains(line, L"<Disabled>")) {
            start(disabled, line, L"</Disabled>");
        } else if (Contains(line, L"<Launch.ManualLoad>")) {
            start(manualLoad, line, L"</Launch.ManualLoad>");
        }
        // Anything else outside a block (the closing root tag, blank lines,
        // comments) is written afresh or dropped.
    }
}

bool CLaunchModel::Write(std::string& bytes) const {
    std::wstring text;
    text += declaration.empty() ? std::wstring(kLaunchDeclaration) : declaration;
    text += rootStart.empty() ? std::wstring(kLaunchRootStart) : rootStart;
    text += description;
    text += fileName;
    text += disabled;
    text += manualLoad;
    text += L"\n";
    for (const LaunchAddon& addon : addons) {
        if (!addon.oneLine.empty()) {
            text += addon.oneLine;
            text += L"\n";
            continue;
        }
        text += L"\t\t<Launch.Addon>\n";
        text += addon.name;
        text += addon.disabled;
        text += addon.path;
        text += addon.commandLine;
        text += addon.otherLines;
        text += L"\t\t</Launch.Addon>\n\n";
    }
    text += L"</SimBase.Document>\n";
    return EncodeLaunchText(text, bytes);
}

LaunchAddon* CLaunchModel::FindAddon(const std::wstring& path) {
    for (LaunchAddon& addon : addons) {
        if (av::platform::EqualsIgnoreCase(LaunchPathValue(addon.path), path)) return &addon;
    }
    return nullptr;
}

void CLaunchModel::EnableOrAppendAddon(const std::wstring& exePath) {
    if (LaunchAddon* addon = FindAddon(exePath)) {
        addon->disabled = kAddonEnabled;
        return;
    }
    LaunchAddon addon;
    addon.name = kAddonName;
    addon.disabled = kAddonEnabled;
    addon.path = L"\t\t\t<Path>" + exePath + L"</Path>\n";
    addon.commandLine = kAddonCommandLine;
    addons.push_back(std::move(addon));
}

void CLaunchModel::RemoveRetiredAddons() {
    std::erase_if(addons, [](const LaunchAddon& addon) {
        return IsRetiredProgram(LaunchPathValue(addon.path));
    });
}

bool CLaunchModel::RemoveAddon(const std::wstring& exePath) {
    for (auto it = addons.begin(); it != addons.end(); ++it) {
        if (av::platform::EqualsIgnoreCase(LaunchPathValue(it->path), exePath)) {
            addons.erase(it);
            return true;
        }
    }
    return false;
}
