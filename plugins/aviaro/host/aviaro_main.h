// The program's entry, shared by wWinMain and the POSIX main.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

class CAviaroBase;

struct AviaroMainHooks {
    void (*install)() = nullptr;
    void (*uninstall)() = nullptr;
    // Runs the connection; returns Run's result.
    bool (*run)(av::Handle instance) = nullptr;
};

// The hooks the shipped program uses.
AviaroMainHooks DefaultAviaroMainHooks();

// Switches the trace log on when the registry names a trace file.
void OpenTraceFromRegistry();

// Steps of the entry point after COM is up; returns the exit code (0, -1 or 1).
int AviaroMain(av::Handle instance, const std::vector<std::wstring>& args,
               const AviaroMainHooks& hooks);
