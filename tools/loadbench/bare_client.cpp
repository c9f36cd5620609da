// A bare SimConnect client: loads SimConnect.dll from its own folder, opens it
// with an auto-reset event, subscribes the four system events Aviaro.exe
// subscribes, defines every variable the simulator stand-in's script
// initialises ("init" lines of AVIARO_SIM_SCRIPT) as one FLOAT64 block and
// requests it every simulation frame when changed, then waits on the event and
// dispatches until QUIT, reading nothing it receives. Its CPU is what any
// client pays for the same data; the load benchmark takes it off Aviaro.exe's.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "plugins/aviaro/host/simconnect_types.h"

namespace {

bool g_quit = false;
unsigned long g_messages = 0;

void AV_STDCALL OnDispatch(simconnect::Recv* data, simconnect::DWord, void*) {
    ++g_messages;
    if (data != nullptr && data->id == simconnect::kRecvIdQuit) g_quit = true;
}

template <typename T>
T Entry(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The quoted names of the script's "init" lines.
std::vector<std::string> ScriptVariables(const char* path) {
    std::vector<std::string> names;
    std::ifstream in(path != nullptr ? path : "");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("init \"", 0) != 0) continue;
        const std::size_t end = line.find('"', 6);
        if (end != std::string::npos) names.push_back(line.substr(6, end - 6));
    }
    return names;
}

}  // namespace

int wmain() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L'\\') + 1);
    HMODULE sim = LoadLibraryW((folder + L"SimConnect.dll").c_str());
    if (sim == nullptr) {
        std::fprintf(stderr, "bare_client: SimConnect.dll not found beside the program\n");
        return 2;
    }
    auto open = Entry<simconnect::PfnOpen>(sim, "SimConnect_Open");
    auto close = Entry<simconnect::PfnClose>(sim, "SimConnect_Close");
    auto dispatch = Entry<simconnect::PfnCallDispatch>(sim, "SimConnect_CallDispatch");
    auto subscribe = Entry<simconnect::PfnSubscribeToSystemEvent>(sim, "SimConnect_SubscribeToSystemEvent");
    auto define = Entry<simconnect::PfnAddToDataDefinition>(sim, "SimConnect_AddToDataDefinition");
    auto request = Entry<simconnect::PfnRequestDataOnSimObject>(sim, "SimConnect_RequestDataOnSimObject");
    if (!open || !close || !dispatch || !subscribe || !define || !request) return 2;
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    av::Handle connection = nullptr;
    if (FAILED(open(&connection, "bare client", nullptr, 0, event, 0))) return 1;
    const char* events[] = {"SimStart", "SimStop", "Paused", "Unpaused"};
    for (simconnect::DWord i = 0; i < 4; ++i) subscribe(connection, i + 1, events[i]);
    simconnect::DWord datum = 0;
    for (const std::string& name : ScriptVariables(std::getenv("AVIARO_SIM_SCRIPT"))) {
        define(connection, 1, name.c_str(), "number", simconnect::kDataTypeFloat64, 0.0f, datum++);
    }
    if (datum > 0) {
        request(connection, 1, 1, simconnect::kObjectIdUser, simconnect::kPeriodSimFrame,
                simconnect::kDataRequestFlagChanged, 0, 0, 0);
    }
    while (!g_quit) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0) {
            dispatch(connection, &OnDispatch, nullptr);
        } else if (woken == WAIT_OBJECT_0 + 1) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        } else {
            break;
        }
    }
    close(connection);
    std::printf("bare_client: %lu messages, %lu variables\n", g_messages, static_cast<unsigned long>(datum));
    return 0;
}
