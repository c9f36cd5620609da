// exe.xml, the file from which a simulator starts its add-on executables. It
// belongs to every add-on of the simulator, so install and uninstall edit it
// rather than write it anew: a plan is a list of byte edits that touch only the
// entry this executable adds, re-enables or removes and the retired panel
// programs' entries. Every other byte (other add-ons' blocks in whatever layout,
// comments, commented-out blocks, the declaration, whitespace, line ends,
// encoding) stays as it was.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The entry this executable writes for itself, one line each (the line end is
// the file's own).
inline constexpr char kAddonStart[] = "\t\t<Launch.Addon>";
inline constexpr char kAddonName[] = "\t\t\t<Name>Orlend Panel(s) Plugin for FSX</Name>";
inline constexpr char kAddonEnabled[] = "\t\t\t<Disabled>False</Disabled>";
inline constexpr char kAddonPathStart[] = "\t\t\t<Path>";
inline constexpr char kAddonPathEnd[] = "</Path>";
inline constexpr char kAddonCommandLine[] = "\t\t\t<CommandLine>-run</CommandLine>";
inline constexpr char kAddonEnd[] = "\t\t</Launch.Addon>";

// The start of a new exe.xml, up to its entries.
inline constexpr char kLaunchDeclaration[] = "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>";
inline constexpr char kLaunchRootStart[] = "<SimBase.Document Type=\"Launch\" version=\"1,0\">";
inline constexpr char kLaunchRootEnd[] = "</SimBase.Document>";

// Replace length bytes at offset of the old file with text (an insertion when
// length is 0, a removal when text is empty).
struct LaunchTextEdit {
    std::size_t offset = 0;
    std::size_t length = 0;
    std::string text;
};

// The bytes of a new exe.xml holding only the entry for exePath: Windows-1252,
// CR LF line ends. False when the path has a character the code page lacks.
bool NewLaunchText(const std::wstring& exePath, std::string& bytes);

// What install changes in an existing exe.xml: the first entry for exePath
// (path compared ignoring letter case) gets Disabled False, or the entry is
// added before the end of the root element; every entry of "VelPanels.exe" or
// "Aerotwin.exe" (any folder, any letter case) is removed. A file holding
// nothing but white space is given the whole text of a new file.
// False, with no edits, when the file must be left as it is: text with NUL
// bytes (16-bit text), markup that is not closed or does not nest, a document
// type declaration, a root element other than SimBase.Document, or a path the
// file's encoding cannot hold. Edits are in file order and do not overlap.
bool PlanLaunchInstall(const std::string& bytes, const std::wstring& exePath,
                       std::vector<LaunchTextEdit>& edits);

// What uninstall changes: the first entry for exePath is removed. False, with
// no edits, for the files install leaves alone.
bool PlanLaunchUninstall(const std::string& bytes, const std::wstring& exePath,
                         std::vector<LaunchTextEdit>& edits);

// The old bytes with the edits made.
std::string ApplyLaunchEdits(const std::string& bytes, const std::vector<LaunchTextEdit>& edits);
