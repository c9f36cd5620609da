// The lock and the condition variable the add-on's threads share.
//
// On Windows these are a slim reader/writer lock and a Windows condition
// variable: waiting and waking cost no call into the system when nobody
// waits, and where the system offers it (Wine on Linux among them) a wait is
// a futex rather than a round trip to a server. The C++ library's own mutex
// and condition variable, as the mingw-w64 runtime builds them, wait on
// semaphores, each wait and wake a system call, and spin while a holder is
// descheduled: a render thread waking 10 times a second paid for both.
// Elsewhere they are the C++ library's own, which the thread sanitizer knows.
//
// Both meet the standard's requirements as far as the add-on uses them:
// std::lock_guard, std::unique_lock, wait with and without a predicate,
// wait_for and wait_until on the steady clock, notify_one and notify_all.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace av {

#if defined(_WIN32)

class Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock();
    bool try_lock();
    void unlock();

private:
    friend class ConditionVariable;
    void* srw_ = nullptr;  // SRWLOCK_INIT
};

class ConditionVariable {
public:
    ConditionVariable() = default;
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;
    void notify_one() noexcept;
    void notify_all() noexcept;

    void wait(std::unique_lock<Mutex>& lock) { WaitMs(*lock.mutex(), kForever); }
    template <class Predicate>
    void wait(std::unique_lock<Mutex>& lock, Predicate ready) {
        while (!ready()) wait(lock);
    }

    template <class Clock, class Duration>
    std::cv_status wait_until(std::unique_lock<Mutex>& lock,
                              const std::chrono::time_point<Clock, Duration>& deadline) {
        const auto now = Clock::now();
        if (now >= deadline) return std::cv_status::timeout;
        WaitMs(*lock.mutex(), Milliseconds(deadline - now));
        return Clock::now() >= deadline ? std::cv_status::timeout : std::cv_status::no_timeout;
    }
    template <class Clock, class Duration, class Predicate>
    bool wait_until(std::unique_lock<Mutex>& lock,
                    const std::chrono::time_point<Clock, Duration>& deadline, Predicate ready) {
        while (!ready()) {
            if (wait_until(lock, deadline) == std::cv_status::timeout) return ready();
        }
        return true;
    }
    template <class Rep, class Period>
    std::cv_status wait_for(std::unique_lock<Mutex>& lock,
                            const std::chrono::duration<Rep, Period>& time) {
        return wait_until(lock, std::chrono::steady_clock::now() + time);
    }
    template <class Rep, class Period, class Predicate>
    bool wait_for(std::unique_lock<Mutex>& lock, const std::chrono::duration<Rep, Period>& time,
                  Predicate ready) {
        return wait_until(lock, std::chrono::steady_clock::now() + time, std::move(ready));
    }

private:
    static constexpr unsigned long kForever = 0xFFFFFFFFul;
    // Rounded up, so that a wait never ends before its deadline; never
    // kForever.
    template <class Rep, class Period>
    static unsigned long Milliseconds(const std::chrono::duration<Rep, Period>& left) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        if (ms <= 0) return 0;
        return ms >= static_cast<long long>(kForever) ? kForever - 1 : static_cast<unsigned long>(ms);
    }
    void WaitMs(Mutex& mutex, unsigned long milliseconds);
    void* cv_ = nullptr;  // CONDITION_VARIABLE_INIT
};

#else

using Mutex = std::mutex;
using ConditionVariable = std::condition_variable;

#endif

}  // namespace av
