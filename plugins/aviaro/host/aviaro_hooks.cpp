// What the shipped program does for each command: linked into the executable
// only, so that the host library does not depend on the application.
#include "plugins/aviaro/host/addon_registration.h"
#include "plugins/aviaro/app/application.h"
#include "plugins/aviaro/host/aviaro_main.h"

AviaroMainHooks DefaultAviaroMainHooks() {
    AviaroMainHooks hooks;
    hooks.install = &InstallIntoAllSimulators;
    hooks.uninstall = &UninstallFromAllSimulators;
    hooks.run = &RunAviaroApplication;
    return hooks;
}
