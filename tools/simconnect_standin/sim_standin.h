// The simulator stand-in: accepts SimConnect calls, records each one with its
// arguments, and delivers scripted messages through CallDispatch.
//
// Script (one text file, AVIARO_SIM_SCRIPT for the DLL form): one line per
// CallDispatch; several messages on one line, separated by ';', arrive in the
// same CallDispatch. '#' starts a comment.
//
//   SimStart | SimStop | Paused | Unpaused   system event, under the id the client subscribed it with
//   event <id>                               an EVENT message with any id
//   data <requestId> <value>...              SIMOBJECT_DATA; values f64:1.5 f32:2 i32:-3 x:0a0b
//   quit                                     QUIT
//   sleep <ms>                               waits before the rest of the line
//
// Record (in memory, and appended to AVIARO_SIM_RECORD for the DLL form): one
// line per call or delivered message, e.g.
//   SimConnect_SubscribeToSystemEvent id=1 name="SimStart" -> 00000000
//   deliver EVENT id=1
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "plugins/aviaro/host/simconnect_types.h"

namespace standin {

// "text" with its quotes, or null.
std::string QuotedText(const char* text);

class SimStandIn {
public:
    static SimStandIn& Instance();

    // Forgets records, script, subscriptions and connection.
    void Reset();
    void LoadScript(const std::string& text);
    bool LoadScriptFile(const std::string& path);
    void SetRecordFile(const std::string& path);
    // The next Open is refused with this result (0: accepted).
    void SetOpenResult(HRESULT result);

    std::vector<std::string> Records() const;
    void Record(const std::string& line);

    // The entry table for the in-process form.
    static simconnect::EntryTable Entries();
    // Symbol lookup for av::platform::RegisterInProcessModule.
    static void* Lookup(const char* name);

    // Used by the exported entry points.
    HRESULT Open(av::Handle* connection, const char* name, av::Handle window,
                 simconnect::DWord userEvent, av::Handle event, simconnect::DWord configIndex);
    HRESULT Close(av::Handle connection);
    HRESULT CallDispatch(av::Handle connection, simconnect::DispatchProc dispatch, void* context);
    HRESULT Subscribe(simconnect::DWord id, const char* name);

private:
    SimStandIn() = default;
    void SignalClient();

    mutable std::mutex mutex_;
    std::vector<std::string> records_;
    std::vector<std::string> script_;  // remaining lines, first to deliver at the front
    std::size_t next_ = 0;
    std::vector<std::pair<std::string, simconnect::DWord>> subscriptions_;
    std::string recordFile_;
    av::Handle event_ = nullptr;
    bool open_ = false;
    HRESULT openResult_ = 0;
};

}  // namespace standin
