#include "tools/simconnect_standin/sim_standin.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "platform/file.h"
#include "platform/message_loop.h"
#include "platform/sync.h"

#if defined(_WIN32) && defined(AV_STANDIN_DLL)
#define STANDIN_EXPORT extern "C" __declspec(dllexport)
#else
#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using simconnect::DWord;

namespace standin {
namespace {

// The handle the stand-in gives out for its one connection.
av::Handle const kConnection = reinterpret_cast<av::Handle>(static_cast<std::uintptr_t>(0x5C));

std::string Hex(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(hr));
    return buffer;
}

// Milliseconds since 1970 by the system clock, which every library of the
// process shares.
std::string RecordTime() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// "text" with its quotes, or null.
std::string Quoted(const char* text) {
    if (text == nullptr) return "null";
    std::string out(1, '"');
    out.append(text);
    out.push_back('"');
    return out;
}

std::vector<std::string> SplitWords(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

void AppendBytes(std::vector<unsigned char>& out, const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    out.insert(out.end(), b, b + n);
}

// Encodes the values of a data line; false on a value it cannot read.
bool EncodeValues(const std::vector<std::string>& words, std::size_t first,
                  std::vector<unsigned char>& out) {
    for (std::size_t i = first; i < words.size(); ++i) {
        const std::string& w = words[i];
        const std::size_t colon = w.find(':');
        if (colon == std::string::npos) return false;
        const std::string kind = w.substr(0, colon);
        const std::string value = w.substr(colon + 1);
        if (kind == "f64") {
            const double d = std::strtod(value.c_str(), nullptr);
            AppendBytes(out, &d, sizeof d);
        } else if (kind == "f32") {
            const float f = std::strtof(value.c_str(), nullptr);
            AppendBytes(out, &f, sizeof f);
        } else if (kind == "i32") {
            const auto v = static_cast<std::int32_t>(std::strtol(value.c_str(), nullptr, 0));
            AppendBytes(out, &v, sizeof v);
        } else if (kind == "x") {
            if (value.size() % 2 != 0) return false;
            for (std::size_t k = 0; k < value.size(); k += 2) {
                out.push_back(static_cast<unsigned char>(
                    std::strtoul(value.substr(k, 2).c_str(), nullptr, 16)));
            }
        } else {
            return false;
        }
    }
    return true;
}

struct Message {
    std::vector<DWord> words;  // DWord storage keeps the message aligned
    DWord size = 0;
    std::string description;
};

Message MakeHeader(DWord id, DWord size) {
    Message m;
    m.words.assign((size + 3) / 4, 0);
    m.size = size;
    m.words[0] = size;
    m.words[1] = 4;  // protocol version
    m.words[2] = id;
    return m;
}

}  // namespace

SimStandIn& SimStandIn::Instance() {
    static SimStandIn instance;
    return instance;
}

SimStandIn::~SimStandIn() {
    // At process exit the thread may already be gone: never wait for it here.
    if (timer_.joinable()) timer_.detach();
}

void SimStandIn::ArmTimer(std::chrono::steady_clock::time_point when) {
    // Called with mutex_ held.
    timerAt_ = when;
    timerArmed_ = true;
    if (!timer_.joinable()) {
        timerStop_ = false;
        timer_ = std::thread([this] {
            std::unique_lock<av::Mutex> lock(mutex_);
            for (;;) {
                if (timerStop_) return;
                if (!timerArmed_) {
                    timerWake_.wait(lock);
                    continue;
                }
                if (timerWake_.wait_until(lock, timerAt_) == std::cv_status::timeout &&
                    timerArmed_ && std::chrono::steady_clock::now() >= timerAt_) {
                    timerArmed_ = false;
                    ++scriptTurns_;
                    lock.unlock();
                    SignalClient();
                    lock.lock();
                }
            }
        });
    } else {
        timerWake_.notify_all();
    }
}

bool SimStandIn::SubscribedId(const std::string& eventName, DWord& id) const {
    std::lock_guard<av::Mutex> lock(mutex_);
    bool found = false;
    for (const auto& [name, sid] : subscriptions_) {
        if (name == eventName) {
            id = sid;
            found = true;
        }
    }
    return found;
}

void SimStandIn::StopTimer() {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        timerStop_ = true;
        timerArmed_ = false;
    }
    timerWake_.notify_all();
    if (timer_.joinable()) timer_.join();
}

void SimStandIn::Reset() {
    StopTimer();
    std::lock_guard<av::Mutex> lock(mutex_);
    records_.clear();
    script_.clear();
    next_ = 0;
    scriptTurns_ = 0;
    modelPending_ = false;
    model_.Clear();
    subscriptions_.clear();
    recordFile_.clear();
    recordTime_ = false;
    event_ = nullptr;
    open_ = false;
    openResult_ = 0;
    otherThreadCalls_ = 0;
    failing_.clear();
    // The thread that opened the connection stays its owner: tests forget the
    // records but keep the binding's connection.
}

void SimStandIn::LoadScript(const std::string& text) {
    std::vector<std::string> problems;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        script_.clear();
        next_ = 0;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            const std::size_t hash = line.find('#');
            if (hash != std::string::npos) line.resize(hash);
            line = Trim(line);
            if (line.empty()) continue;
            if (line.rfind("init ", 0) == 0 || line.rfind("effect ", 0) == 0) {
                std::string error;
                if (!model_.Configure(line, error)) problems.push_back(line + " (" + error + ")");
            } else {
                script_.push_back(line);
            }
        }
        // A script loaded while connected is owed a dispatch of its own.
        if (open_ && !script_.empty()) scriptTurns_ = 1;
    }
    for (const std::string& p : problems) Record("skip model line: " + p);
}

bool SimStandIn::LoadScriptFile(const std::string& path) {
    std::string text;
    if (!av::platform::ReadFileBytes(path.c_str(), text)) return false;
    LoadScript(text);
    return true;
}

void SimStandIn::SetRecordFile(const std::string& path) {
    std::lock_guard<av::Mutex> lock(mutex_);
    recordFile_ = path;
}

void SimStandIn::SetRecordTime(bool on) {
    std::lock_guard<av::Mutex> lock(mutex_);
    recordTime_ = on;
}

void SimStandIn::SetOpenResult(HRESULT result) {
    std::lock_guard<av::Mutex> lock(mutex_);
    openResult_ = result;
}

std::vector<std::string> SimStandIn::Records() const {
    std::lock_guard<av::Mutex> lock(mutex_);
    return records_;
}

void SimStandIn::Record(const std::string& line) {
    std::lock_guard<av::Mutex> lock(mutex_);
    records_.push_back(line);
    if (!recordFile_.empty()) {
        // Appended and closed line by line, so that the record survives a crash.
        if (std::FILE* f = std::fopen(recordFile_.c_str(), "ab")) {
            if (recordTime_) std::fprintf(f, "%s ", RecordTime().c_str());
            std::fprintf(f, "%s\n", line.c_str());
            std::fclose(f);
        }
    }
}

void SimStandIn::FailCallsStartingWith(const std::string& prefix) {
    std::lock_guard<av::Mutex> lock(mutex_);
    failing_.push_back(prefix);
}

int SimStandIn::OtherThreadCalls() const {
    std::lock_guard<av::Mutex> lock(mutex_);
    return otherThreadCalls_;
}

HRESULT SimStandIn::Logged(av::Handle connection, const std::string& text) {
    HRESULT result = connection == kConnection ? 0 : E_FAIL;
    bool otherThread = false;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        for (const std::string& prefix : failing_) {
            if (text.compare(0, prefix.size(), prefix) == 0) result = E_FAIL;
        }
        if (opener_ != std::thread::id() && std::this_thread::get_id() != opener_) {
            otherThread = true;
            ++otherThreadCalls_;
        }
    }
    Record(text + " -> " + Hex(result) + (otherThread ? " [other thread]" : ""));
    return result;
}

void SimStandIn::SignalClient() {
    av::Handle event;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        event = event_;
    }
    if (event == nullptr) return;
#if defined(_WIN32)
    av::platform::SignalEvent(event);
#else
    // Through the event's own entry: this may be a separately loaded library.
    auto* abi = static_cast<av::platform::PosixEventAbi*>(event);
    abi->signal(event);
#endif
}

HRESULT SimStandIn::Open(av::Handle* connection, const char* name, av::Handle window,
                         DWord userEvent, av::Handle event, DWord configIndex) {
    HRESULT result;
    bool pending;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        result = openResult_;
        if (result == 0) {
            event_ = event;
            open_ = true;
            opener_ = std::this_thread::get_id();
            openedAt_ = std::chrono::steady_clock::now();
            if (connection != nullptr) *connection = kConnection;
        }
        pending = next_ < script_.size();
        if (pending) scriptTurns_ = 1;
    }
    std::ostringstream line;
    line << "SimConnect_Open name=" << Quoted(name) << " window=" << (window ? "set" : "0")
         << " userEvent=" << userEvent << " event=" << (event ? "set" : "0")
         << " config=" << configIndex << " -> " << Hex(result);
    Record(line.str());
    if (result == 0 && pending) SignalClient();
    return result;
}

HRESULT SimStandIn::Close(av::Handle connection) {
    const HRESULT result = connection == kConnection ? 0 : E_FAIL;
    if (result == 0) StopTimer();
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        if (result == 0) {
            open_ = false;
            event_ = nullptr;
        }
    }
    Record("SimConnect_Close -> " + Hex(result));
    return result;
}

HRESULT SimStandIn::Subscribe(DWord id, const char* name) {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        subscriptions_.emplace_back(name != nullptr ? name : "", id);
    }
    Record("SimConnect_SubscribeToSystemEvent id=" + std::to_string(id) + " name=" + Quoted(name) +
           " -> 00000000");
    return 0;
}

HRESULT SimStandIn::CallDispatch(av::Handle connection, simconnect::DispatchProc dispatch,
                                 void* context) {
    if (connection != kConnection) {
        Record("SimConnect_CallDispatch -> " + Hex(E_FAIL));
        return E_FAIL;
    }
    Record("SimConnect_CallDispatch -> 00000000");

    // A wake is owed either to the script (one line per dispatch) or to the
    // aircraft model (a frame); signals that arrive together share one wake.
    std::string line;
    bool haveLine = false;
    bool modelOn;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        if (scriptTurns_ > 0 && next_ < script_.size()) {
            const std::string& candidate = script_[next_];
            long heldFor = -1;
            if (candidate.rfind("at ", 0) == 0) heldFor = std::atol(candidate.c_str() + 3);
            const auto due = openedAt_ + std::chrono::milliseconds(heldFor);
            scriptTurns_ = 0;
            if (heldFor >= 0 && std::chrono::steady_clock::now() < due) {
                ArmTimer(due);  // the timer owes the script its next turn
            } else {
                line = script_[next_++];
                haveLine = true;
            }
        } else {
            scriptTurns_ = 0;
        }
        modelPending_ = false;
        modelOn = model_.Active();
    }

    std::istringstream parts(haveLine ? line : std::string());
    std::string part;
    while (std::getline(parts, part, ';')) {
        const std::vector<std::string> words = SplitWords(part);
        if (words.empty()) continue;
        const std::string& verb = words[0];
        Message m;
        if (verb == "at") continue;  // held back until its time, above
        if (verb == "set") {
            std::string error;
            bool changed;
            {
                std::lock_guard<av::Mutex> lock(mutex_);
                changed = model_.Set(part, error);
            }
            Record(error.empty() ? "model " + Trim(part) + (changed ? "" : " (unchanged)")
                                 : "skip bad set line: " + part + " (" + error + ")");
            continue;
        }
        if (verb == "title" || verb == "AircraftLoaded") {
            const std::size_t open = part.find('"');
            const std::size_t close = part.rfind('"');
            if (open == std::string::npos || close <= open) {
                Record("skip bad " + verb + " line: " + part);
                continue;
            }
            const std::string text = part.substr(open + 1, close - open - 1);
            if (verb == "title") {
                {
                    std::lock_guard<av::Mutex> lock(mutex_);
                    model_.SetText("TITLE", text);
                    modelOn = true;
                }
                Record("model title \"" + text + "\"");
                continue;
            }
            DWord id = 0;
            if (!SubscribedId(verb, id)) {
                Record("skip " + verb + " (not subscribed)");
                continue;
            }
            // SIMCONNECT_RECV_EVENT_FILENAME: the event, a MAX_PATH name, flags.
            constexpr DWord kNameOffset = sizeof(simconnect::RecvEvent);
            constexpr DWord kMaxPath = 260;
            m = MakeHeader(simconnect::kRecvIdEventFilename, kNameOffset + kMaxPath + 4);
            m.words[3] = simconnect::kUnused;  // group
            m.words[4] = id;
            std::memcpy(reinterpret_cast<unsigned char*>(m.words.data()) + kNameOffset,
                        text.data(), text.size() < kMaxPath - 1 ? text.size() : kMaxPath - 1);
            m.description = "EVENT_FILENAME id=" + std::to_string(id) + " \"" + text + "\"";
            Record("deliver " + m.description);
            dispatch(reinterpret_cast<simconnect::Recv*>(m.words.data()), m.size, context);
            continue;
        }
        if (verb == "sleep" && words.size() == 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(words[1].c_str())));
            continue;
        }
        if (verb == "quit") {
            m = MakeHeader(simconnect::kRecvIdQuit, sizeof(simconnect::Recv));
            m.description = "QUIT";
        } else if (verb == "SimStart" || verb == "SimStop" || verb == "Paused" ||
                   verb == "Unpaused" || (verb == "event" && words.size() == 2)) {
            DWord id = 0;
            bool subscribed = false;
            if (verb == "event") {
                id = static_cast<DWord>(std::strtoul(words[1].c_str(), nullptr, 0));
                subscribed = true;
            } else {
                subscribed = SubscribedId(verb, id);
            }
            if (!subscribed) {
                Record("skip " + verb + " (not subscribed)");
                continue;
            }
            m = MakeHeader(simconnect::kRecvIdEvent, sizeof(simconnect::RecvEvent));
            m.words[3] = simconnect::kUnused;  // group
            m.words[4] = id;
            m.description = "EVENT id=" + std::to_string(id);
        } else if (verb == "data" && words.size() >= 2) {
            std::vector<unsigned char> payload;
            if (!EncodeValues(words, 2, payload)) {
                Record("skip bad data line: " + part);
                continue;
            }
            const DWord request = static_cast<DWord>(std::strtoul(words[1].c_str(), nullptr, 0));
            const DWord size =
                simconnect::kSimObjectDataHeaderSize + static_cast<DWord>(payload.size());
            m = MakeHeader(simconnect::kRecvIdSimObjectData, size);
            m.words[3] = request;
            m.words[9] = 1;  // define count
            std::memcpy(reinterpret_cast<unsigned char*>(m.words.data()) +
                            simconnect::kSimObjectDataHeaderSize,
                        payload.data(), payload.size());
            m.description = "SIMOBJECT_DATA request=" + std::to_string(request) +
                            " size=" + std::to_string(payload.size());
        } else {
            Record("skip unknown script line: " + part);
            continue;
        }
        Record("deliver " + m.description);
        dispatch(reinterpret_cast<simconnect::Recv*>(m.words.data()), m.size, context);
    }

    if (modelOn) {
        std::vector<AircraftModel::Block> blocks;
        {
            std::lock_guard<av::Mutex> lock(mutex_);
            blocks = model_.Frame();
        }
        for (const AircraftModel::Block& b : blocks) {
            const DWord size = simconnect::kSimObjectDataHeaderSize + static_cast<DWord>(b.bytes.size());
            Message m = MakeHeader(simconnect::kRecvIdSimObjectData, size);
            m.words[3] = b.request;
            m.words[5] = b.define;
            m.words[9] = 1;  // define count
            if (!b.bytes.empty()) {
                std::memcpy(reinterpret_cast<unsigned char*>(m.words.data()) +
                                simconnect::kSimObjectDataHeaderSize,
                            b.bytes.data(), b.bytes.size());
            }
            Record("deliver SIMOBJECT_DATA request=" + std::to_string(b.request) +
                   " size=" + std::to_string(b.bytes.size()) + " (model)");
            dispatch(reinterpret_cast<simconnect::Recv*>(m.words.data()), m.size, context);
        }
    }

    bool again;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        if (haveLine && next_ < script_.size()) ++scriptTurns_;
        again = scriptTurns_ > 0 || modelPending_;
    }
    if (again) SignalClient();
    return 0;
}

void SimStandIn::ModelChanged() {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        if (!model_.Active() || !open_) return;
        modelPending_ = true;
    }
    SignalClient();
}

void SimStandIn::ModelEvent(DWord eventId, const char* name) {
    std::lock_guard<av::Mutex> lock(mutex_);
    model_.MapEvent(eventId, name != nullptr ? name : "");
}

void SimStandIn::ModelTransmit(DWord eventId, DWord data) {
    bool changed;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        changed = model_.Transmit(eventId, data);
    }
    if (changed) ModelChanged();
}

void SimStandIn::ModelDatum(DWord defineId, const char* name, DWord type) {
    std::lock_guard<av::Mutex> lock(mutex_);
    model_.AddDatum(defineId, name != nullptr ? name : "", type);
}

void SimStandIn::ModelRequest(DWord requestId, DWord defineId, DWord period, DWord flags) {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        model_.Request(requestId, defineId, period, flags);
    }
    ModelChanged();
}

double SimStandIn::ModelValue(const std::string& name) const {
    std::lock_guard<av::Mutex> lock(mutex_);
    return model_.Value(name);
}

}  // namespace standin

using standin::SimStandIn;

namespace {

bool Ours(av::Handle connection) { return connection == standin::kConnection; }

HRESULT Logged(av::Handle connection, const std::string& text) {
    return SimStandIn::Instance().Logged(connection, text);
}

}  // namespace

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_Open(av::Handle* connection, const char* name,
                                                  av::Handle window, DWord userEvent,
                                                  av::Handle event, DWord configIndex) {
    return SimStandIn::Instance().Open(connection, name, window, userEvent, event, configIndex);
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_Close(av::Handle connection) {
    return SimStandIn::Instance().Close(connection);
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_CallDispatch(av::Handle connection,
                                                          simconnect::DispatchProc dispatch,
                                                          void* context) {
    return SimStandIn::Instance().CallDispatch(connection, dispatch, context);
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_MapClientEventToSimEvent(av::Handle connection,
                                                                      DWord eventId,
                                                                      const char* eventName) {
    if (Ours(connection)) SimStandIn::Instance().ModelEvent(eventId, eventName);
    return Logged(connection, "SimConnect_MapClientEventToSimEvent id=" + std::to_string(eventId) +
                                  " name=" + standin::Quoted(eventName));
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_TransmitClientEvent(av::Handle connection,
                                                                 DWord objectId, DWord eventId,
                                                                 DWord data, DWord groupId,
                                                                 DWord flags) {
    const HRESULT result = Logged(connection, "SimConnect_TransmitClientEvent object=" + std::to_string(objectId) +
                                  " id=" + std::to_string(eventId) + " data=" +
                                  std::to_string(data) + " group=" + std::to_string(groupId) +
                                  " flags=" + std::to_string(flags));
    // Recorded first, so that the record shows the press before its answer.
    if (result == 0) SimStandIn::Instance().ModelTransmit(eventId, data);
    return result;
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_AddClientEventToNotificationGroup(
    av::Handle connection, DWord groupId, DWord eventId, int maskable) {
    return Logged(connection, "SimConnect_AddClientEventToNotificationGroup group=" +
                                  std::to_string(groupId) + " id=" + std::to_string(eventId) +
                                  " maskable=" + std::to_string(maskable));
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_SetNotificationGroupPriority(av::Handle connection,
                                                                         DWord groupId,
                                                                         DWord priority) {
    return Logged(connection, "SimConnect_SetNotificationGroupPriority group=" +
                                  std::to_string(groupId) + " priority=" + std::to_string(priority));
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_AddToDataDefinition(av::Handle connection,
                                                                 DWord defineId,
                                                                 const char* datumName,
                                                                 const char* unitsName,
                                                                 DWord datumType, float epsilon,
                                                                 DWord datumId) {
    char eps[32];
    std::snprintf(eps, sizeof eps, "%g", static_cast<double>(epsilon));
    if (Ours(connection)) SimStandIn::Instance().ModelDatum(defineId, datumName, datumType);
    return Logged(connection, "SimConnect_AddToDataDefinition define=" + std::to_string(defineId) +
                                  " datum=" + standin::Quoted(datumName) + " units=" + standin::Quoted(unitsName) +
                                  " type=" + std::to_string(datumType) + " epsilon=" + eps +
                                  " datumId=" + std::to_string(datumId));
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_RequestDataOnSimObject(
    av::Handle connection, DWord requestId, DWord defineId, DWord objectId, DWord period,
    DWord flags, DWord origin, DWord interval, DWord limit) {
    const HRESULT result = Logged(
        connection, "SimConnect_RequestDataOnSimObject request=" + std::to_string(requestId) +
                        " define=" + std::to_string(defineId) + " object=" +
                        std::to_string(objectId) + " period=" + std::to_string(period) +
                        " flags=" + std::to_string(flags) + " origin=" + std::to_string(origin) +
                        " interval=" + std::to_string(interval) + " limit=" + std::to_string(limit));
    if (result == 0) SimStandIn::Instance().ModelRequest(requestId, defineId, period, flags);
    return result;
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_RequestDataOnSimObjectType(av::Handle connection,
                                                                        DWord requestId,
                                                                        DWord defineId,
                                                                        DWord radiusMeters,
                                                                        DWord objectType) {
    return Logged(connection, "SimConnect_RequestDataOnSimObjectType request=" +
                                  std::to_string(requestId) + " define=" +
                                  std::to_string(defineId) + " radius=" +
                                  std::to_string(radiusMeters) + " type=" +
                                  std::to_string(objectType));
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_SubscribeToSystemEvent(av::Handle,
                                                                   DWord eventId,
                                                                   const char* systemEventName) {
    return SimStandIn::Instance().Subscribe(eventId, systemEventName);
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_UnsubscribeFromSystemEvent(av::Handle connection,
                                                                       DWord eventId) {
    return Logged(connection,
                  "SimConnect_UnsubscribeFromSystemEvent id=" + std::to_string(eventId));
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_RequestSystemState(av::Handle connection,
                                                               DWord requestId,
                                                               const char* state) {
    return Logged(connection, "SimConnect_RequestSystemState request=" +
                                  std::to_string(requestId) + " state=" + standin::Quoted(state));
}

STANDIN_EXPORT HRESULT AV_STDCALL SimConnect_GetLastSentPacketID(av::Handle connection,
                                                                DWord* packetId) {
    if (packetId != nullptr) *packetId = 0;
    return Logged(connection, "SimConnect_GetLastSentPacketID");
}

namespace standin {

simconnect::EntryTable SimStandIn::Entries() {
    simconnect::EntryTable t;
    t.open = &SimConnect_Open;
    t.close = &SimConnect_Close;
    t.callDispatch = &SimConnect_CallDispatch;
    t.mapClientEventToSimEvent = &SimConnect_MapClientEventToSimEvent;
    t.transmitClientEvent = &SimConnect_TransmitClientEvent;
    t.addClientEventToNotificationGroup = &SimConnect_AddClientEventToNotificationGroup;
    t.setNotificationGroupPriority = &SimConnect_SetNotificationGroupPriority;
    t.addToDataDefinition = &SimConnect_AddToDataDefinition;
    t.requestDataOnSimObject = &SimConnect_RequestDataOnSimObject;
    t.requestDataOnSimObjectType = &SimConnect_RequestDataOnSimObjectType;
    t.subscribeToSystemEvent = &SimConnect_SubscribeToSystemEvent;
    t.unsubscribeFromSystemEvent = &SimConnect_UnsubscribeFromSystemEvent;
    t.requestSystemState = &SimConnect_RequestSystemState;
    t.getLastSentPacketID = &SimConnect_GetLastSentPacketID;
    return t;
}

void* SimStandIn::Lookup(const char* name) {
    const simconnect::EntryTable t = Entries();
    void* entries[14] = {
        reinterpret_cast<void*>(t.open),
        reinterpret_cast<void*>(t.close),
        reinterpret_cast<void*>(t.callDispatch),
        reinterpret_cast<void*>(t.mapClientEventToSimEvent),
        reinterpret_cast<void*>(t.transmitClientEvent),
        reinterpret_cast<void*>(t.addClientEventToNotificationGroup),
        reinterpret_cast<void*>(t.setNotificationGroupPriority),
        reinterpret_cast<void*>(t.addToDataDefinition),
        reinterpret_cast<void*>(t.requestDataOnSimObject),
        reinterpret_cast<void*>(t.requestDataOnSimObjectType),
        reinterpret_cast<void*>(t.subscribeToSystemEvent),
        reinterpret_cast<void*>(t.unsubscribeFromSystemEvent),
        reinterpret_cast<void*>(t.requestSystemState),
        reinterpret_cast<void*>(t.getLastSentPacketID),
    };
    for (int i = 0; i < 14; ++i) {
        if (name != nullptr && std::strcmp(name, simconnect::kEntryNames[i]) == 0) return entries[i];
    }
    return nullptr;
}

}  // namespace standin
