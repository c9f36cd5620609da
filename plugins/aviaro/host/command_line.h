// What the command line asks for.
#pragma once

#include <string>
#include <vector>

enum class CommandAction { Install, Uninstall, None };

struct CommandDecision {
    const wchar_t* debugOutput;  // text for the debugger, or 0
    CommandAction action;
    bool runsConnection;
};

// args is the parsed argument list with the program path first. An argument
// counts only when it is the one and only argument; case is ignored.
CommandDecision DecideCommandLine(const std::vector<std::wstring>& args);
