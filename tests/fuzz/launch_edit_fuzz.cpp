// Feeds arbitrary bytes to the exe.xml editor as the file found. Besides
// crashes and sanitizer reports it checks what the editor promises: the edits
// lie in the file, in order, without overlap; each is one of the changes
// install or uninstall may make (this executable's entry added, its Disabled
// value set, a retired program's or this executable's block removed); a second
// install changes nothing; and an uninstall after an install that only added
// the entry gives the file back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "plugins/aviaro/host/launch_model.h"

namespace {

const std::wstring kExe = L"C:\\Flight Tools\\Orlend\\Aviaro.exe";
const std::string kExeBytes = "C:\\Flight Tools\\Orlend\\Aviaro.exe";

// Names the broken check before stopping, so a crash report says which one.
#define Check(condition) \
    ((condition) ? (void)0 : (std::fprintf(stderr, "check failed, line %d: %s\n", __LINE__, #condition), std::abort()))

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Entry(const std::string& eol) {
    return std::string(kAddonStart) + eol + kAddonName + eol + kAddonEnabled + eol +
           kAddonPathStart + kExeBytes + kAddonPathEnd + eol + kAddonCommandLine + eol +
           kAddonEnd + eol;
}

// Whether the text is this executable's entry, on lines of its own or after a
// line end of its own.
bool IsAddedEntry(const std::string& text) {
    for (const char* eol : {"\r\n", "\n"}) {
        if (text == Entry(eol) || text == eol + Entry(eol)) return true;
    }
    return false;
}

// A removed range: white space around one whole add-on block that names one
// of the given programs.
bool IsRemovedBlock(std::string_view removed, std::initializer_list<std::string_view> programs) {
    std::size_t start = 0;
    std::size_t end = removed.size();
    while (start < end && IsSpace(removed[start])) ++start;
    while (end > start && IsSpace(removed[end - 1])) --end;
    const std::string_view block = removed.substr(start, end - start);
    const std::size_t endTag = block.rfind("</Launch.Addon");
    const bool closed = endTag != std::string_view::npos && block.ends_with(">") &&
                        endTag + 14 < block.size() &&
                        std::all_of(block.begin() + static_cast<std::ptrdiff_t>(endTag) + 14,
                                    block.end() - 1, IsSpace);
    if (block.substr(0, 13) != "<Launch.Addon" || !block.ends_with(">") ||
        (!closed && !block.ends_with("/>"))) {
        return false;
    }
    // The name may also be spelt with references ("&#46;") or with letters
    // whose capital is an ASCII one (UTF-8 "\xC4\xB1", "\xC5\xBF"), so
    // those count as well.
    const std::string lower = Lower(block);
    for (std::string_view program : programs) {
        if (lower.find(Lower(program)) != std::string::npos) return true;
    }
    return false;
}

// Edits in order, inside the file, not overlapping.
void CheckOrder(const std::string& bytes, const std::vector<LaunchTextEdit>& edits) {
    std::size_t done = 0;
    for (const LaunchTextEdit& edit : edits) {
        Check(edit.offset >= done && edit.offset <= bytes.size() &&
              edit.length <= bytes.size() - edit.offset);
        done = edit.offset + edit.length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    std::vector<LaunchTextEdit> edits;
    const bool understood = PlanLaunchInstall(file, kExe, edits);
    Check(understood || edits.empty());
    CheckOrder(file, edits);

    bool onlyAdded = edits.size() == 1;
    for (const LaunchTextEdit& edit : edits) {
        const std::string_view old = std::string_view(file).substr(edit.offset, edit.length);
        if (edit.length == 0 && IsAddedEntry(edit.text)) continue;
        onlyAdded = false;
        if (edit.text.find(kLaunchRootEnd) != std::string::npos) {
            // The whole file or the root made anew: only where there was no
            // root, and only white space is replaced.
            Check(edit.length == 0 ? edit.offset == file.size() : edit.length == file.size());
            Check(std::all_of(old.begin(), old.end(), [](char c) {
                return IsSpace(c) || c == '\xEF' || c == '\xBB' || c == '\xBF';
            }));
            Check(edit.text.find(Entry("\r\n")) != std::string::npos ||
                  edit.text.find(Entry("\n")) != std::string::npos);
        } else if (edit.text.empty()) {
            Check(IsRemovedBlock(old, {"velpanels.exe", "aerotwin.exe", "&", "\xC4", "\xC5"}));
        } else if (edit.text == "False") {
            // The content of a Disabled element, between its tags.
            const std::size_t tag = edit.offset == 0 ? std::string::npos : file.rfind('<', edit.offset - 1);
            Check(tag != std::string::npos && file.compare(tag, 9, "<Disabled") == 0 &&
                  file[edit.offset - 1] == '>' &&
                  file.compare(edit.offset + edit.length, 10, "</Disabled") == 0);
        } else if (edit.text == "<Disabled>False</Disabled>") {
            Check(edit.length == 0 || old == "<Disabled/>" || old.starts_with("<Disabled ") ||
                  old.starts_with("<Disabled\t") || old.starts_with("<Disabled\r") ||
                  old.starts_with("<Disabled\n"));
        } else if (edit.length == 0 && edit.text.find("<Disabled>False</Disabled>") != std::string::npos) {
            // A line of its own: the path line's indentation, the element, a line end.
            const std::size_t at = edit.text.find('<');
            Check(std::all_of(edit.text.begin(), edit.text.begin() + static_cast<std::ptrdiff_t>(at),
                              [](char c) { return c == ' ' || c == '\t'; }));
            Check(edit.text.substr(at, 26) == "<Disabled>False</Disabled>" &&
                  (edit.text.substr(at + 26) == "\n" || edit.text.substr(at + 26) == "\r\n"));
        } else {
            std::abort();
        }
    }
    const std::string installed = ApplyLaunchEdits(file, edits);

    // A second install finds nothing left to do.
    std::vector<LaunchTextEdit> again;
    if (understood) {
        Check(PlanLaunchInstall(installed, kExe, again));
        Check(again.empty());
    }

    // Uninstall removes at most one block of this executable.
    std::vector<LaunchTextEdit> removal;
    const bool removable = PlanLaunchUninstall(installed, kExe, removal);
    Check(removable || (!understood && removal.empty()));
    CheckOrder(installed, removal);
    Check(removal.size() <= 1);
    for (const LaunchTextEdit& edit : removal) {
        Check(edit.text.empty());
        Check(IsRemovedBlock(std::string_view(installed).substr(edit.offset, edit.length),
                             {"aviaro.exe", "&", "\xC4", "\xC5"}));
    }
    const std::string uninstalled = ApplyLaunchEdits(installed, removal);
    if (onlyAdded) {
        // The file given back; a file whose root ends mid-line keeps the line
        // end the entry was put after.
        const LaunchTextEdit& added = edits.front();
        if (added.text[0] == '\t') {
            Check(uninstalled == file);
        } else {
            const std::string eol = added.text.substr(0, added.text.find('\t'));
            Check(uninstalled == file.substr(0, added.offset) + eol + file.substr(added.offset));
        }
    }

    // Uninstall straight on the file: at most one removal as well.
    Check(PlanLaunchUninstall(file, kExe, removal) || removal.empty());
    CheckOrder(file, removal);
    Check(removal.size() <= 1);
    return 0;
}
