#include "plugins/aviaro/host/aviaro_main.h"

#include "platform/process.h"
#include "platform/registry.h"
#include "plugins/aviaro/host/command_line.h"
#include "plugins/aviaro/host/trace_log.h"

void OpenTraceFromRegistry() {
    // 1024 bytes: 512 UTF-16 units with the terminator. A missing key, a missing
    // or empty value, or a longer one leaves tracing off.
    std::wstring path;
    if (av::platform::ReadRegistryString(av::platform::RegistryRoot::LocalMachine,
                                         L"SOFTWARE\\Orlend\\Lumiray\\Debug", L"Aviaro", path,
                                         512) &&
        !path.empty()) {
        CTraceLog::Instance().Open(path);
    }
}

int AviaroMain(av::Handle instance, const std::vector<std::wstring>& args,
               const AviaroMainHooks& hooks) {
    OpenTraceFromRegistry();

    const CommandDecision decision = DecideCommandLine(args);
    if (decision.debugOutput != nullptr) av::platform::DebugOutput(decision.debugOutput);

    if (decision.action == CommandAction::Install && hooks.install != nullptr) hooks.install();
    if (decision.action == CommandAction::Uninstall && hooks.uninstall != nullptr) {
        hooks.uninstall();
    }
    if (!decision.runsConnection) return 1;

    const bool ok = hooks.run != nullptr && hooks.run(instance);
    return ok ? 0 : -1;
}
