#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "platform/module.h"
#include "platform/module_table.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace av::platform {

ModuleHandle LoadModule(const wchar_t* name) {
    if (name == nullptr) return nullptr;
    if (ModuleHandle m = detail::FindInProcessModule(name)) return m;
    return ::LoadLibraryW(name);
}

ModuleHandle LoadModuleFromPath(const wchar_t* fullPath) {
    // A bare name or a relative path would be searched for along the DLL search
    // path, the current folder included.
    if (fullPath == nullptr || PathIsRelativeW(fullPath)) return nullptr;
    return ::LoadLibraryExW(fullPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void* GetModuleSymbol(ModuleHandle module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    bool inProcess = false;
    void* symbol = detail::FindInProcessSymbol(module, name, inProcess);
    if (inProcess) return symbol;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(ModuleHandle module) {
    if (module == nullptr || detail::IsInProcessModule(module)) return;
    ::FreeLibrary(static_cast<HMODULE>(module));
}

namespace {

// Identity parts go into an XML attribute: anything but the characters that
// assembly names, versions and tokens are made of is refused, not escaped.
bool IsPlainIdentityText(const wchar_t* text) {
    if (text == nullptr || *text == L'\0') return false;
    for (const wchar_t* c = text; *c != L'\0'; ++c) {
        const bool plain = (*c >= L'a' && *c <= L'z') || (*c >= L'A' && *c <= L'Z') ||
                           (*c >= L'0' && *c <= L'9') || *c == L'.' || *c == L'_' || *c == L'-';
        if (!plain) return false;
    }
    return true;
}

// A new, uniquely named file in the temporary folder holding text; empty when
// none could be written.
std::wstring WriteTemporaryManifest(const std::string& text) {
    const std::wstring folder = GetTempFolder();
    if (folder.empty()) return std::wstring();
    static LONG sequence = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::wstring path =
            JoinPath(folder, L"Aviaro-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(InterlockedIncrement(&sequence)) + L".manifest");
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            return std::wstring();
        }
        DWORD written = 0;
        const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
                                  nullptr);
        CloseHandle(file);
        if (ok && written == text.size()) return path;
        DeleteFileW(path.c_str());
        return std::wstring();
    }
    return std::wstring();
}

}  // namespace

ModuleHandle LoadSideBySideModule(const wchar_t* assemblyName, const wchar_t* version,
                                  const wchar_t* processorArchitecture,
                                  const wchar_t* publicKeyToken, const wchar_t* fileName) {
    if (!IsPlainIdentityText(assemblyName) || !IsPlainIdentityText(version) ||
        !IsPlainIdentityText(processorArchitecture) || !IsPlainIdentityText(publicKeyToken) ||
        fileName == nullptr || *fileName == L'\0') {
        return nullptr;
    }
    // A dependency that is not optional: creating the context fails unless this
    // exact version is installed, so a plain-name library elsewhere is never
    // mistaken for it.
    const std::string manifest =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
        "  <dependency>\r\n"
        "    <dependentAssembly>\r\n"
        "      <assemblyIdentity type=\"win32\" name=\"" + ToUtf8(assemblyName) +
        "\" version=\"" + ToUtf8(version) +
        "\" processorArchitecture=\"" + ToUtf8(processorArchitecture) +
        "\" publicKeyToken=\"" + ToUtf8(publicKeyToken) + "\"/>\r\n"
        "    </dependentAssembly>\r\n"
        "  </dependency>\r\n"
        "</assembly>\r\n";
    const std::wstring path = WriteTemporaryManifest(manifest);
    if (path.empty()) return nullptr;

    // Private assemblies are probed for in the context's folder: make that the
    // program's own folder, not the shared temporary one.
    const std::wstring programFolder = GetExecutableFolder();
    ACTCTXW request = {};
    request.cbSize = sizeof(request);
    request.lpSource = path.c_str();
    if (!programFolder.empty()) {
        request.dwFlags |= ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
        request.lpAssemblyDirectory = programFolder.c_str();
    }
    HANDLE context = CreateActCtxW(&request);
    DeleteFileW(path.c_str());
    if (context == INVALID_HANDLE_VALUE) return nullptr;

    HMODULE module = nullptr;
    ULONG_PTR cookie = 0;
    if (ActivateActCtx(context, &cookie)) {
        module = LoadLibraryW(fileName);
        DeactivateActCtx(0, cookie);
    }
    ReleaseActCtx(context);
    return module;
}

}  // namespace av::platform
