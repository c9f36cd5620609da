#include "plugins/aviaro/gauge/gauge_variables.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "platform/sync.h"
#include "platform/text.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"

namespace {

// SimConnect takes names of at most 255 bytes (buffers of 256).
std::string ToAnsiName(std::wstring_view text) {
    std::string out = av::platform::ToAnsi(std::wstring(text));
    if (out.size() > 255) out.resize(255);
    return out;
}

}  // namespace

CGaugeVariables::CGaugeVariables() = default;

CGaugeVariables::~CGaugeVariables() {
    for (auto& chunk : chunks_) delete[] chunk.load(std::memory_order_relaxed);
}

std::wstring CGaugeVariables::Fold(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return out;
}

std::wstring CGaugeVariables::SimulatorKey(std::wstring_view name, std::wstring_view unit) {
    std::wstring key;
    key.reserve(name.size() + unit.size() + 1);
    key.append(name);
    key += L',';
    key.append(unit);
    return Fold(key);
}

CGaugeVariables::Slot* CGaugeVariables::FindOrAddSlot(const std::wstring& key) {
    auto& slot = simulator_[key];
    if (!slot) slot = std::make_unique<Slot>();
    return slot.get();
}

std::atomic<float>* CGaugeVariables::FindOrAddLocal(std::wstring_view name) {
    auto& value = locals_[Fold(name)];
    if (!value) value = std::make_unique<std::atomic<float>>(0.0f);
    return value.get();
}

void CGaugeVariables::Register(wchar_t letter, std::wstring_view name, std::wstring_view unit) {
    if (!IsSimulatorLetter(letter)) {
        std::lock_guard<av::Mutex> lock(mutex_);
        FindOrAddLocal(name)->store(0.0f, std::memory_order_relaxed);
        return;
    }
    const std::wstring key = SimulatorKey(name, unit);
    std::int32_t datumId = 0;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        Slot* slot = FindOrAddSlot(key);
        if (slot->index.load(std::memory_order_relaxed) >= 0) return;
        datumId = nextDatum_;
        // Far beyond what one data definition can carry; such a variable stays
        // out of the definition and reads 0.0.
        if (datumId >= kMaxChunks * kChunkSize) return;
        auto& chunk = chunks_[datumId >> kChunkBits];
        if (chunk.load(std::memory_order_relaxed) == nullptr) {
            chunk.store(new Value[kChunkSize], std::memory_order_release);
        }
        slot->index.store(datumId, std::memory_order_release);
        nextDatum_ = datumId + 1;
        ++registering_;
    }
    // The variable is indexed whether or not the simulator accepts it.
    const std::string ansiName = ToAnsiName(name);
    const std::string ansiUnit = ToAnsiName(unit);
    const HRESULT result = CSimConnectLibrary::Instance().AddToDataDefinition(
        defineId_, ansiName.c_str(), ansiUnit.c_str(), simconnect::kDataTypeFloat32, 0.01f,
        static_cast<simconnect::DWord>(datumId));
    {
        // The count grows once no definition is still on its way to the simulator.
        std::lock_guard<av::Mutex> lock(mutex_);
        if (--registering_ == 0) count_.store(nextDatum_, std::memory_order_release);
    }
    if (FAILED(result)) {
        CTraceLog::Instance().TraceResult(L"GaugeVariables - SimConnect::AddToDataDefinition",
                                          result);
    }
}

float CGaugeVariables::ReadSimulator(const void* slot) const {
    const std::int32_t index = static_cast<const Slot*>(slot)->index.load(std::memory_order_acquire);
    if (index < 0 || !arrays_.load(std::memory_order_acquire)) return 0.0f;
    return ValueAt(index).evaluation.load(std::memory_order_relaxed);
}

void CGaugeVariables::WriteSimulator(const void* slot, float value) {
    const std::int32_t index = static_cast<const Slot*>(slot)->index.load(std::memory_order_acquire);
    if (index < 0 || !arrays_.load(std::memory_order_acquire)) return;
    ValueAt(index).evaluation.store(value, std::memory_order_relaxed);
}

CGaugeVariables::Ref CGaugeVariables::Bind(wchar_t letter, std::wstring_view name,
                                           std::wstring_view unit) {
    Ref ref;
    if (IsSimulatorLetter(letter)) {
        const std::wstring key = SimulatorKey(name, unit);
        std::lock_guard<av::Mutex> lock(mutex_);
        ref.simulator = FindOrAddSlot(key);
    } else {
        std::lock_guard<av::Mutex> lock(mutex_);
        ref.local = FindOrAddLocal(name);
    }
    return ref;
}

float CGaugeVariables::Get(wchar_t letter, std::wstring_view name, std::wstring_view unit) {
    if (!IsSimulatorLetter(letter)) {
        std::lock_guard<av::Mutex> lock(mutex_);
        return FindOrAddLocal(name)->load(std::memory_order_relaxed);
    }
    const std::wstring key = SimulatorKey(name, unit);
    const Slot* slot = nullptr;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        auto it = simulator_.find(key);
        if (it == simulator_.end()) return 0.0f;  // nothing is created
        slot = it->second.get();
    }
    return ReadSimulator(slot);
}

void CGaugeVariables::Set(wchar_t letter, std::wstring_view name, std::wstring_view unit,
                          float value) {
    if (!IsSimulatorLetter(letter)) {
        std::lock_guard<av::Mutex> lock(mutex_);
        FindOrAddLocal(name)->store(value, std::memory_order_relaxed);
        return;
    }
    const std::wstring key = SimulatorKey(name, unit);
    const Slot* slot = nullptr;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        auto it = simulator_.find(key);
        if (it == simulator_.end()) return;
        slot = it->second.get();
    }
    WriteSimulator(slot, value);
}

// RegisterScript, the pre-scan, is defined with the script language it
// tokenises (script_evaluator.cpp): the store itself needs nothing of it.
void CGaugeVariables::ResetValuesAfterScan() {
    // Every simulator value starts again from 0.0 until new data arrives.
    const std::int32_t count = Count();
    for (std::int32_t i = 0; i < count; ++i) {
        ValueAt(i).received.store(0.0f, std::memory_order_relaxed);
        ValueAt(i).evaluation.store(0.0f, std::memory_order_relaxed);
    }
    arrays_.store(true, std::memory_order_release);
}

bool CGaugeVariables::OnReceiveData(const void* data, std::size_t size) {
    const std::int32_t count = Count();
    if (data == nullptr || !arrays_.load(std::memory_order_acquire) || count < 1) return false;
    const std::size_t expected = static_cast<std::size_t>(count) * sizeof(float);
    if (size != expected) {
        // Once per size, not once per frame: a rejected datum would otherwise
        // write a line sixty times a second.
        if (tracedSize_.exchange(size, std::memory_order_relaxed) != size) {
            wchar_t line[128];
            std::swprintf(line, sizeof line / sizeof line[0],
                          L"GaugeVariables - OnReceiveData: %lu bytes for %ld variables",
                          static_cast<unsigned long>(size), static_cast<long>(count));
            CTraceLog::Instance().Trace(line);
        }
    } else {
        tracedSize_.store(SIZE_MAX, std::memory_order_relaxed);
    }
    const std::size_t values = std::min(size / sizeof(float), static_cast<std::size_t>(count));
    const float tolerance = static_cast<float>(0.01 * 0.5);
    bool changed = false;
    for (std::size_t i = 0; i < values; ++i) {
        float incoming;  // the block sits inside a message buffer: no alignment assumed
        std::memcpy(&incoming, static_cast<const unsigned char*>(data) + i * sizeof(float),
                    sizeof(float));
        std::atomic<float>& received = ValueAt(static_cast<std::int32_t>(i)).received;
        const float current = received.load(std::memory_order_relaxed);
        if (incoming > current + tolerance || incoming < current - tolerance) {
            received.store(incoming, std::memory_order_relaxed);
            changed = true;
        }
    }
    return changed;
}

void CGaugeVariables::Commit() {
    if (!arrays_.load(std::memory_order_acquire)) return;
    const std::int32_t count = Count();
    for (std::int32_t i = 0; i < count; ++i) {
        Value& value = ValueAt(i);
        value.evaluation.store(value.received.load(std::memory_order_relaxed),
                               std::memory_order_relaxed);
    }
}

std::uint32_t MapClientEvent(const char* eventName, std::uint32_t groupId) {
    CSimConnectLibrary& simConnect = CSimConnectLibrary::Instance();
    const std::uint32_t id = simConnect.NextEventId();
    HRESULT result = simConnect.MapClientEventToSimEvent(id, eventName != nullptr ? eventName : "");
    if (FAILED(result)) {
        CTraceLog::Instance().TraceResult(L"SimConnect_MapClientEventToSimEvent", result);
        return 0;
    }
    result = simConnect.AddClientEventToNotificationGroup(groupId, id, false);
    if (FAILED(result)) {
        CTraceLog::Instance().TraceResult(L"SimConnect_AddClientEventToNotificationGroup", result);
        return 0;
    }
    return id;
}
