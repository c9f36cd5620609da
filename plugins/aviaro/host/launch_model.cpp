#include "plugins/aviaro/host/launch_model.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "platform/text.h"

namespace {

// Element names are compared exactly, as the simulators read them: a
// "<launch.addon>" block is not started by a simulator, so it is never taken
// for an entry either.
constexpr std::string_view kRootName = "SimBase.Document";
constexpr std::string_view kAddonElement = "Launch.Addon";
constexpr std::string_view kPathElement = "Path";
constexpr std::string_view kDisabledElement = "Disabled";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A direct child element of an add-on block.
struct LaunchField {
    std::string_view name;
    std::size_t start = 0;         // its "<"
    std::size_t end = 0;           // one past the ">" of its end tag (or of an empty tag)
    std::size_t contentStart = 0;  // between the tags; empty for an empty tag
    std::size_t contentEnd = 0;
    bool empty = false;            // written as <Name/>
};

// A "Launch.Addon" element directly inside the root.
struct LaunchBlock {
    std::size_t start = 0;
    std::size_t end = 0;
    std::vector<LaunchField> fields;
};

enum class ScanResult { Document, NoRoot, Refused };

struct LaunchDocument {
    bool utf8 = false;          // a UTF-8 byte order mark or declared encoding
    bool strayText = false;     // text outside any element before the root
    std::size_t rootEnd = 0;    // the "<" of the root's end tag
    std::vector<LaunchBlock> blocks;
};

bool StartsWith(const std::string& bytes, std::size_t at, std::string_view what) {
    return bytes.size() - at >= what.size() && std::string_view(bytes).substr(at, what.size()) == what;
}

// The name of a tag whose text starts at `at`; empty when there is none. A
// name run straight into "=", a quote or "<" ("<Disabled=/>"), or followed by
// a "/" that does not end the tag ("<Disabled/x/>"), is no name: the markup is
// not understood.
std::string_view TagName(const std::string& bytes, std::size_t at) {
    std::size_t end = at;
    while (end < bytes.size()) {
        const char c = bytes[end];
        if (c == '<' || c == '=' || c == '"' || c == '\'') return std::string_view();
        if (c == '/' && (end + 1 >= bytes.size() || bytes[end + 1] != '>')) return std::string_view();
        if (IsSpace(c) || c == '/' || c == '>') break;
        ++end;
    }
    return std::string_view(bytes).substr(at, end - at);
}

// One past the ">" closing the start tag at `at` (quoted attribute values may
// hold ">"); npos when it is never closed or holds a stray "<".
std::size_t StartTagEnd(const std::string& bytes, std::size_t at, bool& empty) {
    char quote = 0;
    for (std::size_t i = at + 1; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '<') {
            return std::string::npos;  // not allowed in attribute values either
        } else if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            empty = bytes[i - 1] == '/';
            return i + 1;
        }
    }
    return std::string::npos;
}

// Whether the declaration (bytes [start, end)) names UTF-8 as the encoding.
bool DeclaresUtf8(const std::string& bytes, std::size_t start, std::size_t end) {
    const std::string declaration = bytes.substr(start, end - start);
    const std::size_t key = declaration.find("encoding");
    if (key == std::string::npos) return false;
    std::size_t i = key + 8;
    while (i < declaration.size() && IsSpace(declaration[i])) ++i;
    if (i >= declaration.size() || declaration[i] != '=') return false;
    ++i;
    while (i < declaration.size() && IsSpace(declaration[i])) ++i;
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) return false;
    const std::size_t close = declaration.find(declaration[i], i + 1);
    if (close == std::string::npos) return false;
    std::string name = declaration.substr(i + 1, close - i - 1);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name == "utf-8" || name == "utf8";
}

// Finds the root element and its add-on blocks. Scanning stops at the root's
// end tag: what follows it is never changed.
ScanResult ScanLaunchText(const std::string& bytes, LaunchDocument& doc) {
    if (bytes.find('\0') != std::string::npos) return ScanResult::Refused;
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    if (StartsWith(bytes, 0, "\xEF\xBB\xBF")) {
        doc.utf8 = true;
        i = 3;
    }
    const std::size_t bodyStart = i;

    // What each open element is, for its end tag.
    enum class Kind { Root, Block, Field, Other };
    struct Open {
        std::string_view name;
        Kind kind;
    };
    std::vector<Open> open;

    while (i < n) {
        if (bytes[i] != '<') {
            const std::size_t next = std::min(bytes.find('<', i), n);
            if (open.empty() && !std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                                             bytes.begin() + static_cast<std::ptrdiff_t>(next),
                                             IsSpace)) {
                doc.strayText = true;
            }
            i = next;
            continue;
        }
        if (StartsWith(bytes, i, "<!--")) {
            const std::size_t close = bytes.find("-->", i + 4);
            if (close == std::string::npos) return ScanResult::Refused;
            i = close + 3;
            continue;
        }
        if (StartsWith(bytes, i, "<![CDATA[")) {
            const std::size_t close = bytes.find("]]>", i + 9);
            if (open.empty() || close == std::string::npos) return ScanResult::Refused;
            i = close + 3;
            continue;
        }
        if (StartsWith(bytes, i, "<?")) {
            const std::size_t close = bytes.find("?>", i + 2);
            if (close == std::string::npos) return ScanResult::Refused;
            if (i == bodyStart && StartsWith(bytes, i, "<?xml") && i + 5 < n && IsSpace(bytes[i + 5]) &&
                DeclaresUtf8(bytes, i, close)) {
                doc.utf8 = true;
            }
            i = close + 2;
            continue;
        }
        if (StartsWith(bytes, i, "<!")) return ScanResult::Refused;  // a document type
        if (StartsWith(bytes, i, "</")) {
            const std::string_view name = TagName(bytes, i + 2);
            std::size_t close = i + 2 + name.size();
            while (close < n && IsSpace(bytes[close])) ++close;
            if (open.empty() || name != open.back().name || close >= n || bytes[close] != '>') {
                return ScanResult::Refused;
            }
            const Kind kind = open.back().kind;
            open.pop_back();
            if (kind == Kind::Root) {
                doc.rootEnd = i;
                return ScanResult::Document;
            }
            if (kind == Kind::Block) {
                doc.blocks.back().end = close + 1;
            } else if (kind == Kind::Field) {
                LaunchField& field = doc.blocks.back().fields.back();
                field.contentEnd = i;
                field.end = close + 1;
            }
            i = close + 1;
            continue;
        }
        const std::string_view name = TagName(bytes, i + 1);
        bool empty = false;
        const std::size_t end = name.empty() ? std::string::npos : StartTagEnd(bytes, i, empty);
        if (end == std::string::npos) return ScanResult::Refused;
        Kind kind = Kind::Other;
        if (open.empty()) {
            // The root: an empty one has no place for entries.
            if (name != kRootName || empty) return ScanResult::Refused;
            kind = Kind::Root;
        } else if (open.size() == 1 && name == kAddonElement) {
            kind = Kind::Block;
            doc.blocks.push_back(LaunchBlock{i, end, {}});
        } else if (open.size() == 2 && open.back().kind == Kind::Block) {
            kind = Kind::Field;
            LaunchField field;
            field.name = name;
            field.start = i;
            field.end = end;
            field.contentStart = end;
            field.contentEnd = end;
            field.empty = empty;
            doc.blocks.back().fields.push_back(field);
        }
        if (!empty) open.push_back(Open{name, kind});
        i = end;
    }
    return open.empty() ? ScanResult::NoRoot : ScanResult::Refused;
}

// Resolves the predefined and numeric character references; anything else
// after "&" stays as it is.
std::wstring ResolveReferences(const std::wstring& text) {
    std::wstring out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t amp = text.find(L'&', i);
        if (amp == std::wstring::npos) break;
        out.append(text, i, amp - i);
        const std::size_t semi = text.find(L';', amp + 1);
        const std::wstring ref =
            semi == std::wstring::npos || semi - amp > 12 ? L"" : text.substr(amp + 1, semi - amp - 1);
        wchar_t c = 0;
        if (ref == L"amp") c = L'&';
        else if (ref == L"lt") c = L'<';
        else if (ref == L"gt") c = L'>';
        else if (ref == L"quot") c = L'"';
        else if (ref == L"apos") c = L'\'';
        else if (ref.size() > 1 && ref[0] == L'#') {
            const bool hex = ref[1] == L'x';
            std::uint32_t value = 0;
            bool ok = ref.size() > (hex ? 2u : 1u);
            for (std::size_t k = hex ? 2 : 1; ok && k < ref.size(); ++k) {
                const wchar_t d = ref[k];
                int digit = -1;
                if (d >= L'0' && d <= L'9') digit = d - L'0';
                else if (hex && d >= L'a' && d <= L'f') digit = d - L'a' + 10;
                else if (hex && d >= L'A' && d <= L'F') digit = d - L'A' + 10;
                ok = digit >= 0 && value < 0x10000;
                value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit < 0 ? 0 : digit);
            }
            if (ok && value > 0 && value < 0x10000) c = static_cast<wchar_t>(value);
        }
        if (c == 0) {
            out += L'&';
            i = amp + 1;
        } else {
            out += c;
            i = semi + 1;
        }
    }
    out.append(text, i, std::wstring::npos);
    return out;
}

// A field's value: the text after its start tag up to the next "<", decoded.
std::wstring FieldValue(const std::string& bytes, const LaunchDocument& doc, const LaunchField& field) {
    std::size_t end = bytes.find('<', field.contentStart);
    end = std::min(end == std::string::npos ? field.contentEnd : end, field.contentEnd);
    const std::string raw = bytes.substr(field.contentStart, end - field.contentStart);
    return ResolveReferences(doc.utf8 ? av::platform::FromUtf8(raw)
                                      : av::platform::FromWindows1252(raw));
}

const LaunchField* FindField(const LaunchBlock& block, std::string_view name) {
    for (const LaunchField& field : block.fields) {
        if (field.name == name) return &field;
    }
    return nullptr;
}

std::wstring BlockPath(const std::string& bytes, const LaunchDocument& doc, const LaunchBlock& block) {
    const LaunchField* path = FindField(block, kPathElement);
    return path == nullptr ? std::wstring() : FieldValue(bytes, doc, *path);
}

bool IsRetiredProgram(const std::wstring& pathValue) {
    const std::size_t slash = pathValue.rfind(L'\\');
    if (slash == std::wstring::npos) return false;
    const std::wstring file = pathValue.substr(slash + 1);
    return av::platform::EqualsIgnoreCase(file, L"VelPanels.exe") ||
           av::platform::EqualsIgnoreCase(file, L"Aerotwin.exe");
}

// The executable's path as the file's bytes, with the characters markup
// needs escaped; false when the file's encoding cannot hold it.
bool EncodePath(const std::wstring& exePath, bool utf8, std::string& out) {
    std::string raw;
    if (utf8) {
        raw = av::platform::ToUtf8(exePath);
    } else if (!av::platform::ToWindows1252(exePath, raw)) {
        return false;
    }
    out.clear();
    for (char c : raw) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else out += c;
    }
    return true;
}

// The start of the line holding `at` when only blanks stand before it there;
// npos otherwise.
std::size_t OwnLineStart(const std::string& bytes, std::size_t at) {
    std::size_t start = at;
    while (start > 0 && IsBlank(bytes[start - 1])) --start;
    return start == 0 || bytes[start - 1] == '\n' ? start : std::string::npos;
}

// One past the line end after `at` when only blanks stand between; the end of
// the file counts as a line end. npos otherwise.
std::size_t OwnLineEnd(const std::string& bytes, std::size_t at) {
    std::size_t end = at;
    while (end < bytes.size() && IsBlank(bytes[end])) ++end;
    if (end == bytes.size()) return end;
    if (bytes[end] == '\n') return end + 1;
    if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') return end + 2;
    return std::string::npos;
}

// The line end of the nearest line before `at`, else the file's first one,
// else CR LF (the simulators' own).
std::string LineEndNear(const std::string& bytes, std::size_t at) {
    std::size_t lf = at == 0 ? std::string::npos : bytes.rfind('\n', at - 1);
    if (lf == std::string::npos) lf = bytes.find('\n');
    if (lf == std::string::npos) return "\r\n";
    return lf > 0 && bytes[lf - 1] == '\r' ? "\r\n" : "\n";
}

// Removes a block with the indentation before it and the line end after it
// when it stands on lines of its own; otherwise only the block's own bytes.
LaunchTextEdit RemoveBlock(const std::string& bytes, const LaunchBlock& block) {
    const std::size_t start = OwnLineStart(bytes, block.start);
    const std::size_t end = OwnLineEnd(bytes, block.end);
    if (start != std::string::npos && end != std::string::npos) return {start, end - start, {}};
    return {block.start, block.end - block.start, {}};
}

std::string EntryText(const std::string& encodedPath, const std::string& eol) {
    return kAddonStart + eol + kAddonName + eol + kAddonEnabled + eol + kAddonPathStart +
           encodedPath + kAddonPathEnd + eol + kAddonCommandLine + eol + kAddonEnd + eol;
}

// The text after the declaration of a new file.
std::string NewRootText(const std::string& encodedPath, const std::string& eol) {
    return kLaunchRootStart + eol + "\t<Descr>Launch</Descr>" + eol +
           "\t<Filename>exe.xml</Filename>" + eol + "\t<Disabled>False</Disabled>" + eol +
           "\t<Launch.ManualLoad>False</Launch.ManualLoad>" + eol + eol +
           EntryText(encodedPath, eol) + eol + kLaunchRootEnd + eol;
}

// Sets the Disabled value of an entry to False, or adds the element before
// its path when it has none.
void EnableBlock(const std::string& bytes, const LaunchBlock& block,
                 std::vector<LaunchTextEdit>& edits) {
    bool found = false;
    for (const LaunchField& field : block.fields) {
        if (field.name != kDisabledElement) continue;
        found = true;
        if (field.empty) {
            edits.push_back({field.start, field.end - field.start, "<Disabled>False</Disabled>"});
        } else if (std::string_view(bytes).substr(field.contentStart,
                                                  field.contentEnd - field.contentStart) != "False") {
            edits.push_back({field.contentStart, field.contentEnd - field.contentStart, "False"});
        }
    }
    if (found) return;
    const LaunchField* path = FindField(block, kPathElement);
    if (path == nullptr) return;  // not an entry found by its path
    const std::size_t line = OwnLineStart(bytes, path->start);
    if (line == std::string::npos) {
        edits.push_back({path->start, 0, "<Disabled>False</Disabled>"});
    } else {
        edits.push_back({line, 0,
                         bytes.substr(line, path->start - line) + "<Disabled>False</Disabled>" +
                             LineEndNear(bytes, line)});
    }
}

// Every plan starts with no edits; none is made without an executable to look
// for or for a text the scan refuses.
bool StartPlan(const std::string& bytes, const std::wstring& exePath,
               std::vector<LaunchTextEdit>& edits, LaunchDocument& doc, ScanResult& scan) {
    edits.clear();
    if (exePath.empty()) return false;
    scan = ScanLaunchText(bytes, doc);
    return scan != ScanResult::Refused;
}

bool AllSpace(const std::string& bytes, std::size_t from) {
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), IsSpace);
}

}  // namespace

bool NewLaunchText(const std::wstring& exePath, std::string& bytes) {
    std::string path;
    if (!EncodePath(exePath, false, path)) return false;
    bytes = std::string(kLaunchDeclaration) + "\r\n" + NewRootText(path, "\r\n");
    return true;
}

bool PlanLaunchInstall(const std::string& bytes, const std::wstring& exePath,
                       std::vector<LaunchTextEdit>& edits) {
    LaunchDocument doc;
    ScanResult scan = ScanResult::Refused;
    if (!StartPlan(bytes, exePath, edits, doc, scan)) return false;
    std::string path;
    if (!EncodePath(exePath, doc.utf8, path)) return false;

    if (scan == ScanResult::NoRoot) {
        // Nothing but white space (after a byte order mark): the file is made
        // anew. Only a declaration, comments and instructions: the root and
        // the entry go after them. Loose text: not a file to add to.
        const std::size_t body = StartsWith(bytes, 0, "\xEF\xBB\xBF") ? 3 : 0;
        if (AllSpace(bytes, body)) {
            std::string fresh;
            if (!NewLaunchText(exePath, fresh)) return false;
            edits.push_back({0, bytes.size(), fresh});
            return true;
        }
        if (doc.strayText) return false;
        const std::string eol = LineEndNear(bytes, bytes.size());
        const bool endsLine = bytes.back() == '\n';
        edits.push_back({bytes.size(), 0, (endsLine ? "" : eol) + NewRootText(path, eol)});
        return true;
    }

    // The first entry for this executable is re-enabled, unless it is a
    // retired program's too: then it goes, and nothing is added.
    bool haveOwn = false;
    const LaunchBlock* own = nullptr;
    std::vector<const LaunchBlock*> retired;
    for (const LaunchBlock& block : doc.blocks) {
        const std::wstring value = BlockPath(bytes, doc, block);
        const bool isRetired = IsRetiredProgram(value);
        if (isRetired) retired.push_back(&block);
        if (!haveOwn && av::platform::EqualsIgnoreCase(value, exePath)) {
            haveOwn = true;
            if (!isRetired) own = &block;
        }
    }

    for (const LaunchBlock& block : doc.blocks) {
        if (std::find(retired.begin(), retired.end(), &block) != retired.end()) {
            edits.push_back(RemoveBlock(bytes, block));
        } else if (&block == own) {
            EnableBlock(bytes, block, edits);
        }
    }
    if (!haveOwn) {
        // Before the root's end tag: on lines of its own when the end tag
        // starts its line, else (a file written on one line) on a new line.
        const std::size_t line = OwnLineStart(bytes, doc.rootEnd);
        if (line != std::string::npos) {
            edits.push_back({line, 0, EntryText(path, LineEndNear(bytes, line))});
        } else {
            const std::string eol = LineEndNear(bytes, doc.rootEnd);
            edits.push_back({doc.rootEnd, 0, eol + EntryText(path, eol)});
        }
    }
    std::stable_sort(edits.begin(), edits.end(),
                     [](const LaunchTextEdit& a, const LaunchTextEdit& b) { return a.offset < b.offset; });
    return true;
}

bool PlanLaunchUninstall(const std::string& bytes, const std::wstring& exePath,
                         std::vector<LaunchTextEdit>& edits) {
    LaunchDocument doc;
    ScanResult scan = ScanResult::Refused;
    if (!StartPlan(bytes, exePath, edits, doc, scan)) return false;
    for (const LaunchBlock& block : doc.blocks) {
        if (av::platform::EqualsIgnoreCase(BlockPath(bytes, doc, block), exePath)) {
            edits.push_back(RemoveBlock(bytes, block));
            break;
        }
    }
    return true;
}

std::string ApplyLaunchEdits(const std::string& bytes, const std::vector<LaunchTextEdit>& edits) {
    std::string out;
    out.reserve(bytes.size() + 512);
    std::size_t done = 0;
    for (const LaunchTextEdit& edit : edits) {
        const std::size_t at = std::clamp(edit.offset, done, bytes.size());
        out.append(bytes, done, at - done);
        out += edit.text;
        done = std::min(bytes.size(), at + edit.length);
    }
    out.append(bytes, done, std::string::npos);
    return out;
}
