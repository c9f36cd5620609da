#include "plugins/aviaro/gauge_package/cab_extractor.h"

#include <cstdio>

#include "platform/text.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/gauge_package/path_codec.h"

using av::platform::CabNote;
using av::platform::CabNotice;

namespace {

constexpr std::size_t kPathSize = 256;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDeviceName(const std::wstring& component) {
    // The part before the first dot, without trailing spaces: "nul.txt" and
    // "COM1 " open the device just as "NUL" does.
    std::wstring base = component.substr(0, component.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    static const wchar_t* const kNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* name : kNames) {
        if (av::platform::EqualsIgnoreCase(base, name)) return true;
    }
    if (base.size() == 4 && (av::platform::EqualsIgnoreCase(base.substr(0, 3), L"COM") ||
                             av::platform::EqualsIgnoreCase(base.substr(0, 3), L"LPT"))) {
        wchar_t digit = base[3];
        // COM¹ to COM³ are device names too.
        return (digit >= L'0' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

// The entry's stored name as UTF-16: UTF-8 when the cabinet says so, else one
// character per byte (the codec's own reading of a byte).
std::wstring EntryName(const CabNotice& notice) {
    std::string raw = notice.name ? notice.name : "";
    if (notice.attributes & 0x80) return av::platform::FromUtf8(raw);
    std::wstring name;
    for (char c : raw) name += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return name;
}

}  // namespace

std::wstring RefuseEntryName(const std::wstring& name) {
    if (name.empty()) return L"empty name";
    if (name[0] == L'\\' || name[0] == L'/') return L"absolute path";
    for (wchar_t c : name) {
        if (c == L':') return L"drive letter or stream";
        if (c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' ||
            c == L'*') {
            return L"character not allowed in a file name";
        }
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = name.size();
        std::wstring component = name.substr(start, end - start);
        if (component.empty()) return L"empty folder name";
        if (component.find_first_not_of(L'.') == std::wstring::npos) return L"parent folder";
        // Windows drops trailing dots and spaces, so "a." would be "a" and
        // ". ." could become a relative step.
        if (component.back() == L'.' || component.back() == L' ') {
            return L"name ending in a dot or space";
        }
        if (IsDeviceName(component)) return L"device name";
        start = end + 1;
    }
    return L"";
}

const char* CCabExtractor::ErrorTextOf(int number) {
    switch (number) {
    case 0: return "Success";
    case 1: return "Cabinet file (or part of splitted CAB) not found";
    case 2: return "Not a cabinet";
    case 3: return "Unknown cabinet version";
    case 4: return "Corrupt cabinet";
    case 5: return "Memory allocation failed";
    case 6: return "Unknown compression type";
    case 7: return "Failure decompressing data";
    case 8: return "Failure writing to target file";
    case 9: return "Cabinets in set have different RESERVE sizes";
    case 10: return "Cabinet returned on fdintNEXT_CABINET is incorrect";
    case 11: return "User aborted";
    case kErrorLoad: return "Could not load Cabinet.dll";
    case kErrorParameters: return "Invalid parameters";
    case kErrorUnicodeCabinetName:
        return "The filename of the CAB file must NEVER contain Unicode characters!";
    case kErrorUnicodeNeedsNt:
        return "Extracting Unicode paths requires Windows NT, 2000, XP or higher.";
    case kErrorPathTooLong:
        return "The path is too long. (Max 250 Ansii characters or approx 100 Unicode characters).";
    default: return "Unknown error";
    }
}

bool CCabExtractor::Initialize() {
    errors_ = av::platform::CabErrorRecord{};
    ownError_ = 0;
    if (decompressor_.IsCreated()) return false;
    if (!decompressor_.IsLoaded() && !decompressor_.Load()) {
        errors_.failed = 1;
        errors_.oper = kErrorLoad;
        return false;
    }
    return decompressor_.Create(&CCabExtractor::OpenFile, &errors_);
}

void CCabExtractor::Close() {
    decompressor_.Destroy();
    decompressor_.Unload();
}

void CCabExtractor::SetOwnError(int number) {
    ownError_ = number;
    errors_.oper = number;
    errors_.failed = 1;
}

bool CCabExtractor::AppendPath(std::string& buffer, const std::string& text, std::size_t size) {
    if (buffer.size() + text.size() >= size - 1) {
        SetOwnError(kErrorPathTooLong);
        return false;
    }
    buffer += text;
    return true;
}

bool CCabExtractor::Extract(const std::wstring& cabinetPath, const std::wstring& targetFolder) {
    return ExtractEncoded(CPathCodec::Encode(cabinetPath), CPathCodec::Encode(targetFolder));
}

bool CCabExtractor::ExtractEncoded(const std::string& cabinetPath,
                                   const std::string& targetFolder) {
    if (!decompressor_.IsCreated()) return false;
    ownError_ = 0;
    errors_ = av::platform::CabErrorRecord{};
    targetFolder_.clear();
    if (!AppendPath(targetFolder_, targetFolder, kPathSize)) return false;
    if (targetFolder_.size() >= 2 && !IsSeparator(targetFolder_.back())) {
        if (!AppendPath(targetFolder_, "\\", kPathSize)) return false;
    }
    std::string name;
    std::string folder;
    std::size_t at = cabinetPath.find_last_of("\\/");
    if (at != std::string::npos) {
        if (!AppendPath(name, cabinetPath.substr(at + 1), kPathSize)) return false;
        if (!AppendPath(folder, cabinetPath.substr(0, at + 1), kPathSize)) return false;
    }
    if (targetFolder_.empty() || name.empty() || folder.empty()) {
        SetOwnError(kErrorParameters);
        return false;
    }
    if (name.find('<') != std::string::npos) {
        SetOwnError(kErrorUnicodeCabinetName);
        return false;
    }
    nextCabinet_ = name;
    if (!decompressor_.Copy(name.c_str(), folder.c_str(), &CCabExtractor::Notify, this)) {
        return false;
    }
    while (!av::platform::EqualsIgnoreCase(CPathCodec::Decode(nextCabinet_),
                                           CPathCodec::Decode(name))) {
        name = nextCabinet_;
        if (!decompressor_.Copy(name.c_str(), folder.c_str(), &CCabExtractor::Notify, this)) {
            return false;
        }
    }
    return errors_.failed == 0;
}

std::intptr_t CCabExtractor::OnCopyFile(const CabNotice& notice) {
    std::wstring name = EntryName(notice);
    std::wstring reason = RefuseEntryName(name);
    if (!reason.empty()) {
        CTraceLog::Instance().Trace(L"CCabExtractor - entry refused (" + reason + L"): " + name);
        return 0;
    }
    for (wchar_t& c : name) {
        if (c == L'/') c = L'\\';
    }
    std::string entry = CPathCodec::Encode(name);
    std::size_t at = entry.find_last_of('\\');
    std::string subFolder = at == std::string::npos ? "" : entry.substr(0, at + 1);
    std::string fileName = at == std::string::npos ? entry : entry.substr(at + 1);
    std::string outputFolder;
    if (!AppendPath(outputFolder, targetFolder_, kPathSize) ||
        !AppendPath(outputFolder, subFolder, kPathSize)) {
        return 0;
    }
    std::string output = outputFolder;
    if (!AppendPath(output, fileName, kPathSize)) return 0;
    std::wstring folderPath = CPathCodec::Decode(outputFolder);
    if (!folderPath.empty() && IsSeparator(static_cast<char>(folderPath.back()))) folderPath.pop_back();
    av::platform::CabCreateFolders(folderPath);
    currentOutput_ = output;
    std::intptr_t file = OpenFile(output.data(), av::platform::kCabOpenWrite,
                                  av::platform::kCabOpenMode);
    if (file <= 0) SetOwnError(8);
    return file;
}

std::intptr_t CCabExtractor::OnCloseFile(const CabNotice& notice) {
    av::platform::CabCloseFile(notice.file);
    av::platform::CabSetFileInfo(CPathCodec::Decode(currentOutput_), notice.date, notice.time,
                                 notice.attributes);
    return 1;
}

std::intptr_t CCabExtractor::Notify(CabNote note, const CabNotice& notice, void* context) {
    auto* self = static_cast<CCabExtractor*>(context);
    switch (note) {
    case CabNote::CopyFile: return self->OnCopyFile(notice);
    case CabNote::CloseFileInfo: return self->OnCloseFile(notice);
    case CabNote::NextCabinet: {
        if (notice.error != 0) {
            self->ownError_ = notice.error;
            return -1;
        }
        std::string next;
        if (!self->AppendPath(next, notice.name ? notice.name : "", kPathSize)) return -1;
        self->nextCabinet_ = next;
        return 0;
    }
    default: return 0;
    }
}

std::intptr_t CCabExtractor::OpenFile(char* path, int flags, int mode) {
    return av::platform::CabOpenFile(CPathCodec::Decode(path), flags, mode);
}

std::wstring CCabExtractor::GetErrorTextW() {
    if (!errors_.failed) return L"Success";
    int number = ownError_ != 0 ? ownError_ : errors_.oper;
    std::wstring text = av::platform::FromAnsi(ErrorTextOf(number));
    if (errors_.type == 0) return text;
    std::wstring message = av::platform::CabSystemMessage(errors_.type);
    if (message.empty()) message = L"Windows has no explanation for this error code.";
    return text + L"\nError " + std::to_wstring(errors_.type) + L": " + message;
}

// The same text in the ANSI code page: the fixed parts are plain ASCII, so
// converting the whole equals converting the system's message alone.
std::string CCabExtractor::GetErrorText() { return av::platform::ToAnsi(GetErrorTextW()); }
