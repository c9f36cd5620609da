// Install and uninstall over the supported simulators, given the user's
// folders and the executable's path, so that they run against any folder.
#pragma once

#include <string>

#include "plugins/aviaro/host/registration_files.h"

struct RegisteredSimulator {
    // Add-on folder below the roaming application-data folder, two levels.
    const wchar_t* addonFolder[2];
    // Folder of SimConnect.ini below the documents folder.
    const wchar_t* iniFolder;
};

inline constexpr int kSimulatorCount = 5;
// In the order they are processed.
extern const RegisteredSimulator kRegisteredSimulators[kSimulatorCount];

struct RegistrationContext {
    bool haveAppData = false;  // false when the folder lookup failed
    std::wstring appData;
    bool haveDocuments = false;
    std::wstring documents;
    std::wstring executablePath;  // empty when it cannot be obtained
    RegistrationFileWriter writer = WriteAllBytes;
};

// The exact contents of the files install creates when they are missing.
extern const char kSimConnectIniBytes[];
extern const char kSimConnectXmlBytes[];

std::wstring SimulatorAddonFolder(const RegistrationContext& context,
                                  const RegisteredSimulator& simulator);
std::wstring SimulatorIniPath(const RegistrationContext& context,
                              const RegisteredSimulator& simulator);

// Every failure skips the file concerned silently; the other files and
// simulators still run.
void InstallIntoSimulators(const RegistrationContext& context);
void UninstallFromSimulators(const RegistrationContext& context);
