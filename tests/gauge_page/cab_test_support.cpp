#include "cab_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "platform/text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace cabtest {

std::string StoredCabinet(const std::vector<StoredEntry>& entries) {
    auto put = [](std::string& out, std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    std::string files, data;
    for (const StoredEntry& entry : entries) {
        put(files, entry.data.size(), 4);
        put(files, data.size(), 4);  // offset in folder 0
        put(files, 0, 2);
        put(files, 0x6B2D5A87, 4);  // 2025-04-07 13:25:26
        put(files, entry.attributes, 2);
        files += entry.name + '\0';
        data += entry.data;
    }
    const std::size_t filesOffset = 36 + 8, dataOffset = filesOffset + files.size();
    std::string cab = "MSCF";
    put(cab, 0, 4);
    put(cab, dataOffset + 8 + data.size(), 4);
    put(cab, 0, 4);
    put(cab, filesOffset, 4);
    put(cab, 0x010300000000, 6);  // reserved, version 1.3
    put(cab, 1, 2);           // one folder
    put(cab, entries.size(), 2);
    put(cab, 0x12340000, 6);  // no flags, set id, cabinet 0
    put(cab, dataOffset, 4);
    put(cab, 1, 4);  // one data block, stored
    cab += files;
    put(cab, 0, 4);  // no checksum
    put(cab, data.size() * 0x10001, 4);
    return cab + data;
}

bool MakeCabinetWithGcab(const fs::path& folder, const std::vector<std::string>& names, const fs::path& cabinet,
                         bool compressed, std::string& reason) {
    std::string args = compressed ? " -c -z" : " -c";
    args += " \"" + Utf8Name(fs::relative(cabinet, folder)) + "\"";
    for (const std::string& name : names) args += " \"" + name + "\"";
#if defined(_WIN32)
    // Wine starts a Linux program given by its Unix path; Windows has none.
    const wchar_t* gcab = L"Z:\\usr\\bin\\gcab";
    std::wstring line = L"gcab" + Utf8Path(args).wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (GetFileAttributesW(gcab) == INVALID_FILE_ATTRIBUTES ||
        !CreateProcessW(gcab, line.data(), nullptr, nullptr, FALSE, 0, nullptr, WidePath(folder).c_str(), &startup,
                        &process)) {
        reason = "gcab cannot be run (Debian's gcab package, run under Wine)";
        return false;
    }
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Under Wine the handle of a Linux program may be signalled before it has
    // written: wait until the cabinet's size holds still.
    std::error_code error;
    std::uintmax_t size = 0, last = 1;
    for (int i = 0; i < 50 && (size == 0 || size != last); ++i) {
        Sleep(200);
        last = size;
        size = fs::file_size(cabinet, error);
        if (error) size = 0;
    }
    const int status = 0;
#else
    if (std::system("command -v gcab >/dev/null 2>&1") != 0) {
        reason = "gcab is not installed (Debian's gcab package)";
        return false;
    }
    const int status = std::system(("cd '" + folder.string() + "' && gcab" + args).c_str());
#endif
    reason = "gcab made no cabinet" + std::string(status != 0 ? " and failed" : "");
    return fs::exists(cabinet);
}

bool WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

WorkFolder::WorkFolder()
    : path(fs::temp_directory_path() /
           ("av-cab-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            std::to_string(std::random_device{}()))) {
    std::error_code error;
    fs::remove_all(path, error);
    fs::create_directories(path);
}

WorkFolder::~WorkFolder() {
    std::error_code error;
    for (auto& entry : fs::recursive_directory_iterator(path, error)) {
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
    }
    fs::remove_all(path, error);
}

fs::path Utf8Path(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::string Utf8Name(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

std::wstring WidePath(const fs::path& path) {
#if defined(_WIN32)
    return fs::path(path).make_preferred().wstring();
#else
    return av::platform::FromUtf8(Utf8Name(path));
#endif
}

}  // namespace cabtest
