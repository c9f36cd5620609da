#include "cab_test_support.h"

#include "platform/text.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace cabtest {

namespace {

void Put16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, unsigned value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

}  // namespace

std::string StoredCabinet(const std::vector<StoredEntry>& entries) {
    std::string files;
    std::string data;
    for (const StoredEntry& entry : entries) {
        Put32(files, static_cast<unsigned>(entry.data.size()));
        Put32(files, static_cast<unsigned>(data.size()));
        Put16(files, 0);       // folder 0
        Put16(files, 0x5A87);  // 2025-04-07
        Put16(files, 0x6B2D);  // 13:25:26
        Put16(files, entry.attributes);
        files += entry.name;
        files += '\0';
        data += entry.data;
    }
    const unsigned headerSize = 36, folderSize = 8;
    unsigned filesOffset = headerSize + folderSize;
    unsigned dataOffset = filesOffset + static_cast<unsigned>(files.size());
    unsigned total = dataOffset + 8 + static_cast<unsigned>(data.size());
    std::string cab = "MSCF";
    Put32(cab, 0);
    Put32(cab, total);
    Put32(cab, 0);
    Put32(cab, filesOffset);
    Put32(cab, 0);
    cab += '\3';
    cab += '\1';
    Put16(cab, 1);  // folders
    Put16(cab, static_cast<unsigned>(entries.size()));
    Put16(cab, 0);  // flags
    Put16(cab, 0x1234);
    Put16(cab, 0);
    Put32(cab, dataOffset);
    Put16(cab, 1);  // one data block
    Put16(cab, 0);  // stored
    cab += files;
    Put32(cab, 0);  // no checksum
    Put16(cab, static_cast<unsigned>(data.size()));
    Put16(cab, static_cast<unsigned>(data.size()));
    cab += data;
    return cab;
}

bool WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool MakeCabinetWithGcab(const fs::path& folder, const std::vector<std::string>& names,
                         const fs::path& cabinet, bool compressed, std::string& reason) {
#if defined(_WIN32)
    // Wine starts a Linux program given by its Unix path; on Windows there is none.
    const wchar_t* gcab = L"Z:\\usr\\bin\\gcab";
    if (GetFileAttributesW(gcab) == INVALID_FILE_ATTRIBUTES) {
        reason = "gcab is not installed (Debian's gcab package, run under Wine)";
        return false;
    }
    std::string command = "/usr/bin/gcab -c";
    if (compressed) command += " -z";
    command += " \"" + Utf8Name(fs::relative(cabinet, folder)) + "\"";
    for (const std::string& name : names) command += " \"" + name + "\"";
    std::wstring wide = Utf8Path(command).wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring line = L"\"" + std::wstring(gcab) + L"\"" + wide.substr(wide.find(L" -c"));
    std::wstring cwd = WidePath(folder);
    if (!CreateProcessW(gcab, line.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(),
                        &startup, &process)) {
        reason = "gcab could not be started";
        return false;
    }
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 100 && !fs::exists(cabinet); ++i) Sleep(50);
#else
    if (std::system("command -v gcab >/dev/null 2>&1") != 0) {
        reason = "gcab is not installed (Debian's gcab package)";
        return false;
    }
    std::string command = "gcab -c";
    if (compressed) command += " -z";
    command = "cd '" + folder.string() + "' && " + command + " '" + Utf8Name(fs::relative(cabinet, folder)) + "'";
    for (const std::string& name : names) command += " '" + name + "'";
    if (std::system(command.c_str()) != 0) {
        reason = "gcab failed: " + command;
        return false;
    }
#endif
    if (!fs::exists(cabinet)) {
        reason = "gcab made no cabinet";
        return false;
    }
    return true;
}

WorkFolder::WorkFolder(const std::string& name) {
    path_ = fs::temp_directory_path() / ("av-cab-" + name + "-" + std::to_string(std::rand()));
    std::error_code error;
    fs::remove_all(path_, error);
    fs::create_directories(path_);
}

WorkFolder::~WorkFolder() {
    std::error_code error;
    for (auto& entry : fs::recursive_directory_iterator(path_, error)) {
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
    }
    fs::remove_all(path_, error);
}

fs::path Utf8Path(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8Name(const fs::path& path) {
    std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

std::wstring WidePath(const fs::path& path) {
#if defined(_WIN32)
    fs::path copy = path;
    return copy.make_preferred().wstring();
#else
    return av::platform::FromUtf8(Utf8Name(path));
#endif
}

}  // namespace cabtest
