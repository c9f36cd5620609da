#include "plugins/aviaro/host/addon_registration.h"

// Filled in by the add-on registration work.
void InstallIntoAllSimulators() {}
void UninstallFromAllSimulators() {}
