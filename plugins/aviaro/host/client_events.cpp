#include "plugins/aviaro/host/client_events.h"

#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"

CClientEventQueue& CClientEventQueue::Instance() {
    static CClientEventQueue queue;
    return queue;
}

void CClientEventQueue::AttachDispatchThread(WakeProc wake, void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    dispatchThread_ = std::this_thread::get_id();
    wake_ = wake;
    wakeContext_ = context;
    wakePending_ = false;
}

void CClientEventQueue::DetachDispatchThread() {
    Flush();
    std::lock_guard<std::mutex> lock(mutex_);
    dispatchThread_ = std::thread::id();
    wake_ = nullptr;
    wakeContext_ = nullptr;
    wakePending_ = false;
}

bool CClientEventQueue::IsDispatchThread() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dispatchThread_ == std::this_thread::get_id();
}

void CClientEventQueue::Post(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data,
                             std::uint32_t groupId, std::uint32_t flags, const wchar_t* label) {
    WakeProc wake = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(Pending{objectId, eventId, data, groupId, flags, label});
        // One wake message for a burst of presses is enough: the flush it
        // causes takes all of them.
        if (wake_ != nullptr && !wakePending_ &&
            dispatchThread_ != std::this_thread::get_id()) {
            wakePending_ = true;
            wake = wake_;
            context = wakeContext_;
        }
    }
    if (wake != nullptr) wake(context);
}

void CClientEventQueue::Flush() {
    CSimConnectLibrary& sim = CSimConnectLibrary::Instance();
    std::unique_lock<std::mutex> lock(mutex_);
    if (dispatchThread_ != std::thread::id() && dispatchThread_ != std::this_thread::get_id()) {
        return;
    }
    wakePending_ = false;
    // Without a dispatch thread (a page driven directly) whoever flushes
    // sends; a flush already under way on another thread takes these too.
    if (flushing_) return;
    flushing_ = true;
    while (!queue_.empty()) {
        sending_.swap(queue_);
        lock.unlock();
        for (const Pending& p : sending_) {
            const HRESULT hr =
                sim.TransmitClientEvent(p.objectId, p.eventId, p.data, p.groupId, p.flags);
            if (p.label != nullptr) CTraceLog::Instance().TraceResult(p.label, hr);
        }
        sending_.clear();  // keeps its capacity: no allocation on the next press
        lock.lock();
    }
    flushing_ = false;
}
