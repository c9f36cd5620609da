// Unpacks every file of a cabinet package (and of the cabinets that follow it
// in a spanned set) into a folder, keeping the stored sub-folders and each
// file's date, time and attributes. A package may come from anywhere: entry
// names that would leave the target folder are refused, traced and skipped.
#pragma once

#include <cstdint>
#include <string>

#include "platform/cab_extract.h"

class CCabExtractor {
public:
    // The extractor's own error numbers, after the decompressor's 0 to 11.
    enum : int {
        kErrorLoad = 1000,
        kErrorParameters = 1001,
        kErrorUnicodeCabinetName = 1002,
        kErrorUnicodeNeedsNt = 1003,
        kErrorPathTooLong = 1005,
    };

    CCabExtractor() = default;
    ~CCabExtractor() { Close(); }
    CCabExtractor(const CCabExtractor&) = delete;
    CCabExtractor& operator=(const CCabExtractor&) = delete;

    // Loads the decompressor and creates its context. False when a context
    // exists already, or when the decompressor cannot be loaded (error 1000).
    bool Initialize();
    bool Extract(const std::wstring& cabinetPath, const std::wstring& targetFolder);
    std::string GetErrorText();
    std::wstring GetErrorTextW();
    void Close();

    // The fixed text of an error number.
    static const char* ErrorTextOf(int number);

private:
    bool ExtractEncoded(const std::string& cabinetPath, const std::string& targetFolder);
    bool AppendPath(std::string& buffer, const std::string& text, std::size_t size);
    void SetOwnError(int number);
    std::intptr_t OnCopyFile(const av::platform::CabNotice& notice);
    std::intptr_t OnCloseFile(const av::platform::CabNotice& notice);
    static std::intptr_t Notify(av::platform::CabNote note, const av::platform::CabNotice& notice,
                                void* context);
    static std::intptr_t OpenFile(char* path, int flags, int mode);

    av::platform::CabDecompressor decompressor_;
    av::platform::CabErrorRecord errors_;
    int ownError_ = 0;
    std::string targetFolder_;
    std::string nextCabinet_;
    std::string currentOutput_;  // the file being written, encoded
};

// Why an entry name from a cabinet must not be written: empty when it is a
// plain relative name that stays inside the target folder.
std::wstring RefuseEntryName(const std::wstring& name);
