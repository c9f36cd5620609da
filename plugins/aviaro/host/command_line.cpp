#include "plugins/aviaro/host/command_line.h"

#include "platform/text.h"

CommandDecision DecideCommandLine(const std::vector<std::wstring>& args) {
    using av::platform::EqualsIgnoreCase;
    if (args.size() == 2) {
        const std::wstring& arg = args[1];
        if (EqualsIgnoreCase(arg, L"-install")) {
            return {L"Aviaro -install\n", CommandAction::Install, false};
        }
        if (EqualsIgnoreCase(arg, L"-uninstall")) {
            return {L"Aviaro -uninstall\n", CommandAction::Uninstall, false};
        }
        if (EqualsIgnoreCase(arg, L"-run")) {
            return {L"Aviaro -run\n", CommandAction::None, true};
        }
    }
    // No argument, more than one, or one that is not recognised.
    return {nullptr, CommandAction::Install, true};
}
