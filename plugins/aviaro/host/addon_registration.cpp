#include "plugins/aviaro/host/addon_registration.h"

#include "platform/paths.h"
#include "plugins/aviaro/host/registration_simulators.h"

namespace {

RegistrationContext UserContext() {
    RegistrationContext context;
    context.haveAppData =
        av::platform::GetKnownFolder(av::platform::KnownFolder::RoamingAppData, context.appData);
    context.haveLocalAppData =
        av::platform::GetKnownFolder(av::platform::KnownFolder::LocalAppData, context.localAppData);
    context.haveDocuments =
        av::platform::GetKnownFolder(av::platform::KnownFolder::Documents, context.documents);
    context.executablePath = av::platform::GetExecutablePath();
    return context;
}

}  // namespace

void InstallIntoAllSimulators() { InstallIntoSimulators(UserContext()); }

void UninstallFromAllSimulators() { UninstallFromSimulators(UserContext()); }
