#include "plugins/aviaro/host/client_events.h"

#include "platform/sync.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"

CClientEventQueue& CClientEventQueue::Instance() {
    static CClientEventQueue queue;
    return queue;
}

void CClientEventQueue::AttachDispatchThread(WakeProc wake, void* context) {
    std::lock_guard<av::Mutex> lock(mutex_);
    dispatchThread_ = std::this_thread::get_id();
    wake_ = wake;
    wakeContext_ = context;
    wakePending_ = false;
}

void CClientEventQueue::DetachDispatchThread() {
    Flush();
    std::lock_guard<av::Mutex> lock(mutex_);
    dispatchThread_ = std::thread::id();
    wake_ = nullptr;
    wakeContext_ = nullptr;
    wakePending_ = false;
}

bool CClientEventQueue::IsDispatchThread() const {
    std::lock_guard<av::Mutex> lock(mutex_);
    return dispatchThread_ == std::this_thread::get_id();
}

void CClientEventQueue::Post(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data,
                             std::uint32_t groupId, std::uint32_t flags, const wchar_t* label) {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        queue_.push_back(Pending{objectId, eventId, data, groupId, flags, label});
    }
    Wake();
}

void CClientEventQueue::PostTask(const void* owner, std::function<void()> task) {
    {
        std::lock_guard<av::Mutex> lock(mutex_);
        tasks_.push_back(Task{owner, std::move(task)});
    }
    Wake();
}

void CClientEventQueue::CancelTasks(const void* owner) {
    std::unique_lock<av::Mutex> lock(mutex_);
    for (auto it = tasks_.begin(); it != tasks_.end();) {
        it = it->owner == owner ? tasks_.erase(it) : it + 1;
    }
    taskDone_.wait(lock, [&] { return running_ != owner; });
}

void CClientEventQueue::Wake() {
    WakeProc wake = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<av::Mutex> lock(mutex_);
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
    std::unique_lock<av::Mutex> lock(mutex_);
    if (dispatchThread_ != std::thread::id() && dispatchThread_ != std::this_thread::get_id()) {
        return;
    }
    wakePending_ = false;
    // Without a dispatch thread (a page driven directly) whoever flushes
    // sends; a flush already under way on another thread takes these too.
    if (flushing_) return;
    flushing_ = true;
    while (!queue_.empty() || !tasks_.empty()) {
        if (queue_.empty()) {
            Task task = std::move(tasks_.front());
            tasks_.pop_front();
            running_ = task.owner;
            lock.unlock();
            task.run();
            task.run = nullptr;  // what it holds goes before the owner is free
            lock.lock();
            running_ = nullptr;
            taskDone_.notify_all();
            continue;
        }
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
