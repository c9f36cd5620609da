// exe.xml, the file from which a simulator starts its add-on executables, read
// line by line into a small model that install and uninstall change and write
// back. The file is shared by every add-on of the simulator: it is not parsed
// as XML, and lines the model does not know inside an add-on block are kept.
#pragma once

#include <string>
#include <vector>

// The entry this executable writes for itself.
inline constexpr wchar_t kAddonName[] = L"\t\t\t<Name>Orlend Panel(s) Plugin for FSX</Name>\n";
inline constexpr wchar_t kAddonEnabled[] = L"\t\t\t<Disabled>False</Disabled>\n";
inline constexpr wchar_t kAddonCommandLine[] = L"\t\t\t<CommandLine>-run</CommandLine>\n";

// The lines written in place of a missing declaration or root start line.
inline constexpr wchar_t kLaunchDeclaration[] =
    L"<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\n";
inline constexpr wchar_t kLaunchRootStart[] =
    L"<SimBase.Document Type=\"Launch\" version=\"1,0\">\n";

// One "<Launch.Addon>" block. Every field is the text of whole lines, each
// ending in "\n", with its indentation; empty when the block lacks it.
struct LaunchAddon {
    std::wstring name;
    std::wstring disabled;
    std::wstring path;
    std::wstring commandLine;
    // Lines of the block that are none of the four fields (another add-on's
    // own elements, comments), in their order. Blank lines are not kept.
    std::wstring otherLines;
    // A whole block on one line, kept as it is and written back unchanged; the
    // four fields are then empty.
    std::wstring oneLine;
};

struct CLaunchModel {
    std::wstring declaration;
    std::wstring rootStart;
    std::wstring description;
    std::wstring fileName;
    std::wstring disabled;
    std::wstring manualLoad;
    std::vector<LaunchAddon> addons;

    // The model of a new exe.xml holding only the entry for exePath.
    static CLaunchModel CreateNew(const std::wstring& exePath);

    // Replaces the model with the file's bytes: Windows-1252 text, LF or
    // CR LF line ends, lines of any length.
    void Read(const std::string& bytes);
    // The file's bytes: Windows-1252, CR LF line ends. A missing declaration
    // or root start line is supplied. False (and bytes unusable) when some
    // text has no Windows-1252 byte.
    bool Write(std::string& bytes) const;

    // The first entry whose path value equals path, ignoring letter case; 0 if none.
    LaunchAddon* FindAddon(const std::wstring& path);
    // Re-enables the first entry for exePath, or appends one.
    void EnableOrAppendAddon(const std::wstring& exePath);
    // Removes every entry of the retired panel programs ("VelPanels.exe",
    // "Aerotwin.exe" in any folder, any letter case).
    void RemoveRetiredAddons();
    // Removes the first entry for exePath; false when there is none.
    bool RemoveAddon(const std::wstring& exePath);
};

// False for bytes that the line model cannot rewrite without damage: 16-bit
// text (it holds NUL bytes), or a line that holds the start or the end of the
// document together with more of it (a file written without line breaks).
// Such a file is left as it is.
bool IsLineShapedLaunchText(const std::string& bytes);

// The value of a path field: the text between its first ">" and the next "<";
// the whole field when either is missing.
std::wstring LaunchPathValue(const std::wstring& field);

// Windows-1252 bytes of text, with each "\n" written as CR LF. Bytes that
// came from the code page's five unassigned positions go back unchanged.
bool EncodeLaunchText(const std::wstring& text, std::string& bytes);
