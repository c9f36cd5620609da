// The variable store of one gauge page: the simulator variables its scripts read
// (one SimConnect data definition) and the page's local variables.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include "platform/sync.h"

class CGaugeVariables {
public:
    // A variable resolved once, for prepared scripts: reading and writing it
    // needs no name lookup. A reference stays valid for the store's life; one
    // to a simulator variable that is not yet registered reads 0.0 until a
    // registration enters it into the data definition.
    struct Ref {
        const void* simulator = nullptr;       // an index slot of the store
        std::atomic<float>* local = nullptr;   // the local variable's value
    };

    CGaugeVariables();
    ~CGaugeVariables();
    CGaugeVariables(const CGaugeVariables&) = delete;
    CGaugeVariables& operator=(const CGaugeVariables&) = delete;

    void SetDefineId(std::uint32_t defineId) { defineId_ = defineId; }
    std::uint32_t DefineId() const { return defineId_; }
    // Simulator variables registered: also the next datum id.
    std::int32_t Count() const { return count_.load(std::memory_order_acquire); }

    // "A", "E" and "P" in either case address the simulator; every other
    // letter a local variable keyed by its name alone.
    static bool IsSimulatorLetter(wchar_t letter) {
        return letter == L'A' || letter == L'a' || letter == L'E' || letter == L'e' ||
               letter == L'P' || letter == L'p';
    }

    // A simulator variable not yet indexed is added to the data definition
    // (datum id = count); a local variable is set to 0.0.
    void Register(wchar_t letter, std::wstring_view name, std::wstring_view unit);
    float Get(wchar_t letter, std::wstring_view name, std::wstring_view unit);
    // A simulator value lasts only until the next Commit; nothing is sent.
    void Set(wchar_t letter, std::wstring_view name, std::wstring_view unit, float value);

    // Registers every simulator variable the script reads (blocks included),
    // then sets every simulator value, received and evaluated, to 0.0. The
    // scan is the script language's (defined in script_evaluator.cpp).
    void RegisterScript(const wchar_t* script);

    // One data block of the page's request: FLOAT32 values in datum-id order,
    // size bytes of them (the message's data area). True when a value moved by
    // more than the tolerance. Nothing is read beyond size: a block shorter
    // than Count() values (the simulator rejected a datum, or answered a
    // definition that has grown since) updates the whole values it holds and
    // leaves the rest as they were; a longer one gives Count() values. Either
    // mismatch is traced once, and again only when the size changes.
    bool OnReceiveData(const void* data, std::size_t size);
    // Received values become what scripts read.
    void Commit();

    // Resolves a variable for a prepared script. A local variable is created
    // with 0.0 when absent (a read would create it all the same).
    Ref Bind(wchar_t letter, std::wstring_view name, std::wstring_view unit);
    float Read(const Ref& ref) const {
        if (ref.local != nullptr) return ref.local->load(std::memory_order_relaxed);
        if (ref.simulator != nullptr) return ReadSimulator(ref.simulator);
        return 0.0f;
    }
    void Write(const Ref& ref, float value) {
        if (ref.local != nullptr) {
            ref.local->store(value, std::memory_order_relaxed);
        } else if (ref.simulator != nullptr) {
            WriteSimulator(ref.simulator, value);
        }
    }

private:
    // The end of RegisterScript: every simulator value back to 0.0.
    void ResetValuesAfterScan();

    struct Slot {
        std::atomic<std::int32_t> index{-1};  // datum id, -1 while not registered
    };
    struct Value {
        std::atomic<float> received{0.0f};
        std::atomic<float> evaluation{0.0f};
    };

    // Values live in chunks that never move once allocated, so a data block or
    // a script running while a gauge registers more variables never touches
    // freed memory.
    static constexpr int kChunkBits = 6;
    static constexpr std::int32_t kChunkSize = 1 << kChunkBits;
    static constexpr int kMaxChunks = 1024;

    Value& ValueAt(std::int32_t index) const {
        Value* chunk = chunks_[index >> kChunkBits].load(std::memory_order_acquire);
        return chunk[index & (kChunkSize - 1)];
    }
    float ReadSimulator(const void* slot) const;
    void WriteSimulator(const void* slot, float value);

    static std::wstring Fold(std::wstring_view text);
    static std::wstring SimulatorKey(std::wstring_view name, std::wstring_view unit);
    Slot* FindOrAddSlot(const std::wstring& key);                  // caller holds mutex_
    std::atomic<float>* FindOrAddLocal(std::wstring_view name);    // caller holds mutex_

    std::uint32_t defineId_ = 0;
    // Published only once the simulator has been given every datum below it,
    // so a block that arrives meanwhile is never read as a longer one.
    std::atomic<std::int32_t> count_{0};
    std::int32_t nextDatum_ = 0;   // guarded by mutex_: datum ids handed out
    std::int32_t registering_ = 0; // guarded by mutex_: definitions being sent
    // The size of the last mismatched block traced (data thread only).
    std::atomic<std::size_t> tracedSize_{SIZE_MAX};
    std::atomic<bool> arrays_{false};  // set by the first RegisterScript
    std::atomic<Value*> chunks_[kMaxChunks] = {};

    // Guards the two maps and registration. A leaf lock: nothing outside the
    // store is called while it is held (SimConnect is called after release).
    av::Mutex mutex_;
    std::unordered_map<std::wstring, std::unique_ptr<Slot>> simulator_;
    std::unordered_map<std::wstring, std::unique_ptr<std::atomic<float>>> locals_;
};

// Maps a simulator event name (ANSI) to a new client event id in the given
// notification group. 0 when either SimConnect call fails (traced).
std::uint32_t MapClientEvent(const char* eventName, std::uint32_t groupId);
