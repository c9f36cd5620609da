#include "plugins/aviaro/host/registration_simulators.h"

#include <vector>

#include "platform/file.h"
#include "platform/paths.h"
#include "plugins/aviaro/host/launch_model.h"

const RegisteredSimulator kFsxSimulators[kFsxSimulatorCount] = {
    {SimulatorBase::RoamingAppData, {L"Microsoft", L"FSX"}, L"Flight Simulator X Files", true},
    {SimulatorBase::RoamingAppData, {L"Microsoft", L"FSX-SE"},
     L"Flight Simulator X - Steam Edition Files", true},
    {SimulatorBase::RoamingAppData, {L"Lockheed Martin", L"Prepar3D"}, L"PrePar3D Files", true},
    {SimulatorBase::RoamingAppData, {L"Lockheed Martin", L"Prepar3D v2"}, L"PrePar3D v2 Files",
     true},
    {SimulatorBase::RoamingAppData, {L"Lockheed Martin", L"Prepar3D v3"}, L"PrePar3D v3 Files",
     true},
};

// The Store editions keep their user files in the package's LocalCache, the
// Steam editions in a folder of the roaming application data. No SimConnect
// files: without a SimConnect.xml these simulators write their own (with the
// pipes they serve), which one of ours would prevent, and SimConnect.ini is an
// optional debugging switch whose defaults are ours.
const RegisteredSimulator kMsfsSimulators[kMsfsSimulatorCount] = {
    {SimulatorBase::LocalAppData,
     {L"Packages", L"Microsoft.FlightSimulator_8wekyb3d8bbwe", L"LocalCache"}, nullptr, false},
    {SimulatorBase::RoamingAppData, {L"Microsoft Flight Simulator"}, nullptr, false},
    {SimulatorBase::LocalAppData, {L"Packages", L"Microsoft.Limitless_8wekyb3d8bbwe", L"LocalCache"},
     nullptr, false},
    {SimulatorBase::RoamingAppData, {L"Microsoft Flight Simulator 2024"}, nullptr, false},
};

std::span<const RegisteredSimulator> BuildSimulators() {
#if defined(_WIN64)
    return kMsfsSimulators;
#else
    return kFsxSimulators;
#endif
}

const char kSimConnectIniBytes[] =
    "[SimConnect]\r\n"
    "level=off\r\n"
    "console=0\r\n"
    ";OutputDebugString=0\r\n"
    ";file=c:\\SimConnect%03u.log\r\n"
    ";file_next_index=1\r\n"
    ";RedirectStdOutToConsole=0\r\n";

const char kSimConnectXmlBytes[] =
    "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n"
    "<SimBase.Document Type=\"SimConnect\" version=\"1,0\">\r\n"
    "\t<Descr>SimConnect</Descr>\r\n"
    "\t<Filename>SimConnect.xml</Filename>\r\n"
    "\t<Disabled>False</Disabled>\r\n"
    "\t<SimConnect.Comm>\r\n"
    "\t\t<Disabled>False</Disabled>\r\n"
    "\t\t<Protocol>Auto</Protocol>\r\n"
    "\t\t<Scope>local</Scope>\r\n"
    "\t\t<Address></Address>\r\n"
    "\t\t<MaxClients>64</MaxClients>\r\n"
    "\t\t<Port></Port>\r\n"
    "\t\t<MaxRecvSize>4096</MaxRecvSize>\r\n"
    "\t\t<DisableNagle>False</DisableNagle>\r\n"
    "\t</SimConnect.Comm>\r\n"
    "</SimBase.Document>\r\n";

namespace {

using av::platform::JoinPath;

// Anything already at path (a file or a folder) counts as existing.
bool Exists(const std::wstring& path) {
    return av::platform::FileExists(path) || av::platform::DirectoryExists(path);
}

// Writes a file only where nothing is yet, and only into an existing folder:
// registration never creates a simulator's folders.
void CreateIfMissing(const RegistrationContext& context, const std::wstring& folder,
                     const std::wstring& path, const std::string& bytes) {
    if (!av::platform::DirectoryExists(folder) || Exists(path)) return;
    WriteFileReplacing(path, bytes, context.writer);
}

// Makes exe.xml, or edits it with the plan made from its bytes. A file the plan
// leaves alone, or one it does not change, is not written.
void EditLaunchFile(const RegistrationContext& context, const std::wstring& path,
                    bool (*plan)(const std::string&, const std::wstring&,
                                 std::vector<LaunchTextEdit>&)) {
    std::string old;
    std::vector<LaunchTextEdit> edits;
    if (!av::platform::ReadFileBytes(path, old) || !plan(old, context.executablePath, edits) ||
        edits.empty()) {
        return;
    }
    WriteFileReplacing(path, ApplyLaunchEdits(old, edits), context.writer);
}

void InstallLaunchEntry(const RegistrationContext& context, const std::wstring& folder) {
    if (context.executablePath.empty() || !av::platform::DirectoryExists(folder)) return;
    const std::wstring path = JoinPath(folder, L"exe.xml");
    if (Exists(path)) {
        EditLaunchFile(context, path, PlanLaunchInstall);
        return;
    }
    std::string bytes;
    if (NewLaunchText(context.executablePath, bytes)) WriteFileReplacing(path, bytes, context.writer);
}

}  // namespace

std::wstring SimulatorAddonFolder(const RegistrationContext& context,
                                  const RegisteredSimulator& simulator) {
    const bool local = simulator.base == SimulatorBase::LocalAppData;
    if (!(local ? context.haveLocalAppData : context.haveAppData)) return std::wstring();
    std::wstring folder = local ? context.localAppData : context.appData;
    if (folder.empty()) return std::wstring();
    for (const wchar_t* level : simulator.addonFolder) {
        if (level != nullptr) folder = JoinPath(folder, level);
    }
    return folder;
}

std::wstring SimulatorIniPath(const RegistrationContext& context,
                              const RegisteredSimulator& simulator) {
    if (simulator.iniFolder == nullptr) return std::wstring();
    return JoinPath(JoinPath(context.documents, simulator.iniFolder), L"SimConnect.ini");
}

void InstallIntoSimulators(const RegistrationContext& context) {
    for (const RegisteredSimulator& simulator : context.simulators) {
        const std::wstring folder = SimulatorAddonFolder(context, simulator);
        if (folder.empty()) continue;
        if (context.haveDocuments && simulator.iniFolder != nullptr) {
            CreateIfMissing(context, JoinPath(context.documents, simulator.iniFolder),
                            SimulatorIniPath(context, simulator), kSimConnectIniBytes);
        }
        if (simulator.simConnectXml) {
            CreateIfMissing(context, folder, JoinPath(folder, L"SimConnect.xml"),
                            kSimConnectXmlBytes);
        }
        InstallLaunchEntry(context, folder);
    }
}

void UninstallFromSimulators(const RegistrationContext& context) {
    if (context.executablePath.empty()) return;
    for (const RegisteredSimulator& simulator : context.simulators) {
        const std::wstring folder = SimulatorAddonFolder(context, simulator);
        if (folder.empty()) continue;
        const std::wstring path = JoinPath(folder, L"exe.xml");
        if (av::platform::FileExists(path)) EditLaunchFile(context, path, PlanLaunchUninstall);
    }
}
