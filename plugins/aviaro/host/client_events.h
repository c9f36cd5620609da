// Client events on their way to the simulator. SimConnect's handle belongs to
// the thread that runs the dispatch: a press that arrives on the device
// library's thread (or a HID reader's) is queued here and sent by that thread,
// which the queue wakes through the message window.
//
// Post never calls SimConnect, so it may be called with any lock held; Flush
// sends, so it is called with no lock held.
//
// Work that must call SimConnect (a gauge page reloading its gauge registers
// variables and maps events) travels the same road as a task.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>
#include "platform/sync.h"

class CClientEventQueue {
public:
    static CClientEventQueue& Instance();

    // Called by the thread that runs the dispatch, for as long as it does:
    // events posted on other threads wake it through wake(context).
    using WakeProc = void (*)(void* context);
    void AttachDispatchThread(WakeProc wake, void* context);
    // Sends what is still queued, then forgets the dispatch thread.
    void DetachDispatchThread();

    // Queues SimConnect_TransmitClientEvent(objectId, eventId, data, groupId,
    // flags); label names the result in the trace (null: not traced). A label
    // is a literal: the queue keeps the pointer.
    void Post(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data,
              std::uint32_t groupId, std::uint32_t flags, const wchar_t* label);
    // On the dispatch thread, or anywhere while no thread runs the dispatch:
    // sends every queued event in the order posted. Elsewhere does nothing
    // (the dispatch thread has been woken for them).
    void Flush();

    // Queues a task for the dispatch thread, which runs it in Flush after the
    // events, with no lock of the queue held. owner names it for CancelTasks.
    void PostTask(const void* owner, std::function<void()> task);
    // Drops the owner's queued tasks and waits for one running on another
    // thread; after it returns no task of the owner runs. Not from a task.
    void CancelTasks(const void* owner);

    bool IsDispatchThread() const;

private:
    struct Pending {
        std::uint32_t objectId, eventId, data, groupId, flags;
        const wchar_t* label;
    };
    struct Task {
        const void* owner;
        std::function<void()> run;
    };

    void Wake();  // with no lock held

    CClientEventQueue() = default;

    // A leaf: never held while calling SimConnect, the trace log or wake.
    mutable av::Mutex mutex_;
    std::vector<Pending> queue_;      // guarded by mutex_
    std::vector<Pending> sending_;    // the flushing thread's while flushing_
    bool flushing_ = false;           // guarded by mutex_
    std::thread::id dispatchThread_;  // guarded by mutex_; empty while none
    WakeProc wake_ = nullptr;         // guarded by mutex_
    void* wakeContext_ = nullptr;     // guarded by mutex_
    bool wakePending_ = false;        // guarded by mutex_: one wake until the next flush
    std::deque<Task> tasks_;          // guarded by mutex_
    const void* running_ = nullptr;   // guarded by mutex_: the owner of the task running
    av::ConditionVariable taskDone_;
};
