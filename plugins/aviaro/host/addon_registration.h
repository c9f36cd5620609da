// Entering the add-on into, and removing it from, every simulator installed
// for the user.
#pragma once

void InstallIntoAllSimulators();
void UninstallFromAllSimulators();
