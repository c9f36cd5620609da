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
//   at <ms>                                  (first on a line) holds the line back, without
//                                            blocking the client, until <ms> after Open
//   set "<variable>" <value>                 the aircraft model's variable changes
//   title "<text>"                           the aircraft model's "TITLE" changes (no event:
//                                            the client asks for it)
//   AircraftLoaded "<file>"                  the AircraftLoaded system event, an
//                                            EVENT_FILENAME message with the .air file's
//                                            name, under the id the client subscribed it with
//
// With "init" and "effect" lines the stand-in also keeps a small aircraft model
// (sim_model.h): data definitions are filled from it, requests are served each
// dispatch (only changed blocks when the request asks for that), and a
// transmitted client event changes it and wakes the client, so that a button
// press comes back as new data.
//
// Record (in memory, and appended to AVIARO_SIM_RECORD for the DLL form): one
// line per call or delivered message, e.g.
//   SimConnect_SubscribeToSystemEvent id=1 name="SimStart" -> 00000000
//   deliver EVENT id=1
// With SetRecordTime (AVIARO_SIM_RECORD_TIME=1 for the DLL form) each line in
// the file starts with the wall-clock time in milliseconds since 1970 and a
// space, the clock every library of the process reads, so records of several
// stand-ins can be merged in order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "platform/sync.h"
#include "plugins/aviaro/host/simconnect_types.h"
#include "tools/simconnect_standin/sim_model.h"

namespace standin {

class SimStandIn {
public:
    static SimStandIn& Instance();

    // Forgets records, script, subscriptions and connection.
    void Reset();
    void LoadScript(const std::string& text);
    bool LoadScriptFile(const std::string& path);
    void SetRecordFile(const std::string& path);
    void SetRecordTime(bool on);
    // The next Open is refused with this result (0: accepted).
    void SetOpenResult(HRESULT result);

    std::vector<std::string> Records() const;
    void Record(const std::string& line);
    // A call whose recorded text (without its result) starts with prefix
    // fails with E_FAIL from now on (until Reset).
    void FailCallsStartingWith(const std::string& prefix);
    // A SimConnect handle serves one thread: calls made on another thread
    // than the one that opened the connection are marked " [other thread]"
    // in the record and counted here.
    int OtherThreadCalls() const;
    // The result for an ordinary entry point: 0 for our connection, E_FAIL for
    // another handle or a call told to fail; records text with it.
    HRESULT Logged(av::Handle connection, const std::string& text);

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
    // What the aircraft model learns from the client's calls.
    void ModelEvent(simconnect::DWord eventId, const char* name);
    void ModelTransmit(simconnect::DWord eventId, simconnect::DWord data);
    void ModelDatum(simconnect::DWord defineId, const char* name, simconnect::DWord type);
    void ModelRequest(simconnect::DWord requestId, simconnect::DWord defineId,
                      simconnect::DWord period, simconnect::DWord flags);
    // A variable of the aircraft model (tests).
    double ModelValue(const std::string& name) const;

    ~SimStandIn();

private:
    SimStandIn() = default;
    void SignalClient();
    // Wakes the client for the script at a given time, from a thread of its own.
    void ArmTimer(std::chrono::steady_clock::time_point when);
    // The id the client subscribed the system event under (the last one wins).
    bool SubscribedId(const std::string& eventName, simconnect::DWord& id) const;
    void StopTimer();
    // Wakes the client for a frame of the aircraft model.
    void ModelChanged();

    mutable av::Mutex mutex_;
    std::vector<std::string> records_;
    std::vector<std::string> script_;  // remaining lines, first to deliver at the front
    std::size_t next_ = 0;
    int scriptTurns_ = 0;      // dispatches owed to the script
    bool modelPending_ = false;
    AircraftModel model_;
    std::chrono::steady_clock::time_point openedAt_{};
    std::thread timer_;
    av::ConditionVariable timerWake_;
    bool timerStop_ = false;
    bool timerArmed_ = false;
    std::chrono::steady_clock::time_point timerAt_{};
    std::vector<std::pair<std::string, simconnect::DWord>> subscriptions_;
    std::string recordFile_;
    bool recordTime_ = false;
    av::Handle event_ = nullptr;
    bool open_ = false;
    std::thread::id opener_;
    int otherThreadCalls_ = 0;
    std::vector<std::string> failing_;
    HRESULT openResult_ = 0;
};

}  // namespace standin
