// The wait loop off Windows: the event is a condition variable, and window
// messages are a queue that also wakes the wait.
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/message_loop.h"

namespace av::platform {
namespace {

struct PosixEvent;

struct Message {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

struct PosixWindow {
    void* owner;
    WindowMessageHandler handler;
};

// One loop state per process: the program has one main thread with one window.
struct LoopState {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Message> queue;
    PosixWindow* window = nullptr;
};

LoopState& Loop() {
    static LoopState state;
    return state;
}

struct PosixEvent {
    PosixEventAbi abi;  // first, so that a stand-in library can signal it
    bool signalled = false;
};

void SignalThunk(void* event) { SignalEvent(event); }

}  // namespace

Handle CreateAutoResetEvent() {
    auto* event = new PosixEvent;
    event->abi.signal = &SignalThunk;
    return event;
}

void SignalEvent(Handle event) {
    if (event == nullptr) return;
    LoopState& loop = Loop();
    {
        std::lock_guard<std::mutex> lock(loop.mutex);
        static_cast<PosixEvent*>(event)->signalled = true;
    }
    loop.wake.notify_all();
}

void CloseEvent(Handle event) { delete static_cast<PosixEvent*>(event); }

Handle CreateMessageWindow(Handle, void* owner, WindowMessageHandler handler) {
    auto* window = new PosixWindow{owner, handler};
    std::lock_guard<std::mutex> lock(Loop().mutex);
    Loop().window = window;
    return window;
}

void DestroyMessageWindow(Handle window) {
    if (window == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(Loop().mutex);
        if (Loop().window == window) {
            Loop().window = nullptr;
            Loop().queue.clear();
        }
    }
    delete static_cast<PosixWindow*>(window);
}

bool PostWindowMessage(Handle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    LoopState& loop = Loop();
    {
        std::lock_guard<std::mutex> lock(loop.mutex);
        if (window == nullptr || loop.window != window) return false;
        loop.queue.push_back({message, wParam, lParam});
    }
    loop.wake.notify_all();
    return true;
}

WaitResult WaitForEventOrInput(Handle event) {
    if (event == nullptr) return WaitResult::Other;
    LoopState& loop = Loop();
    auto* e = static_cast<PosixEvent*>(event);
    std::unique_lock<std::mutex> lock(loop.mutex);
    loop.wake.wait(lock, [&] { return e->signalled || !loop.queue.empty(); });
    if (e->signalled) {
        e->signalled = false;  // auto-reset
        return WaitResult::Event;
    }
    return WaitResult::Input;
}

void PumpMessages() {
    LoopState& loop = Loop();
    for (;;) {
        Message m;
        PosixWindow* window;
        {
            std::lock_guard<std::mutex> lock(loop.mutex);
            if (loop.queue.empty() || loop.window == nullptr) return;
            m = loop.queue.front();
            loop.queue.pop_front();
            window = loop.window;
        }
        if (window->handler != nullptr) {
            window->handler(window->owner, m.message, m.wParam, m.lParam);
        }
    }
}

}  // namespace av::platform
