// Install and uninstall over the supported simulators, given the user's
// folders and the executable's path, so that they run against any folder.
//
// Each build serves its own simulators: the i686 build the 32-bit ones that
// install the FSX-era SimConnect, the x86-64 build today's 64-bit ones. Both
// tables are here on every platform, so that the tests run against each.
#pragma once

#include <span>
#include <string>

#include "plugins/aviaro/host/registration_files.h"

// The user folder a simulator's add-on folder lies below.
enum class SimulatorBase {
    RoamingAppData,  // CSIDL_APPDATA
    LocalAppData,    // CSIDL_LOCAL_APPDATA
};

struct RegisteredSimulator {
    SimulatorBase base;
    // Add-on folder below the base folder, one to three levels; unused
    // levels are null.
    const wchar_t* addonFolder[3];
    // Folder of SimConnect.ini below the documents folder; null when the
    // simulator gets none.
    const wchar_t* iniFolder;
    // Whether a missing SimConnect.xml is created in the add-on folder.
    bool simConnectXml;
};

// Flight Simulator X, its Steam edition and Prepar3D v1 to v3, in the order
// they are processed: the i686 build's simulators.
inline constexpr int kFsxSimulatorCount = 5;
extern const RegisteredSimulator kFsxSimulators[kFsxSimulatorCount];

// Microsoft Flight Simulator 2020 and 2024, each from the Microsoft Store and
// from Steam: the x86-64 build's simulators. They make their own SimConnect
// settings, so only exe.xml is touched.
inline constexpr int kMsfsSimulatorCount = 4;
extern const RegisteredSimulator kMsfsSimulators[kMsfsSimulatorCount];

// The simulators of the running build.
std::span<const RegisteredSimulator> BuildSimulators();

struct RegistrationContext {
    std::span<const RegisteredSimulator> simulators = BuildSimulators();
    bool haveAppData = false;  // false when the folder lookup failed
    std::wstring appData;
    bool haveLocalAppData = false;
    std::wstring localAppData;
    bool haveDocuments = false;
    std::wstring documents;
    std::wstring executablePath;  // empty when it cannot be obtained
    RegistrationFileWriter writer = WriteAllBytes;
};

// The exact contents of the files install creates when they are missing.
extern const char kSimConnectIniBytes[];
extern const char kSimConnectXmlBytes[];

// Empty when the simulator's base folder could not be determined.
std::wstring SimulatorAddonFolder(const RegistrationContext& context,
                                  const RegisteredSimulator& simulator);
// Empty for a simulator without SimConnect.ini.
std::wstring SimulatorIniPath(const RegistrationContext& context,
                              const RegisteredSimulator& simulator);

// Every failure skips the file concerned silently; the other files and
// simulators still run.
void InstallIntoSimulators(const RegistrationContext& context);
void UninstallFromSimulators(const RegistrationContext& context);
