#include "platform/sync.h"

#include <windows.h>

namespace av {

static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*),
              "the slim lock and the condition variable are one pointer each");

namespace {
PSRWLOCK Srw(void** p) { return reinterpret_cast<PSRWLOCK>(p); }
PCONDITION_VARIABLE Cv(void** p) { return reinterpret_cast<PCONDITION_VARIABLE>(p); }
}  // namespace

void Mutex::lock() { AcquireSRWLockExclusive(Srw(&srw_)); }
bool Mutex::try_lock() { return TryAcquireSRWLockExclusive(Srw(&srw_)) != FALSE; }
void Mutex::unlock() { ReleaseSRWLockExclusive(Srw(&srw_)); }

void ConditionVariable::notify_one() noexcept { WakeConditionVariable(Cv(&cv_)); }
void ConditionVariable::notify_all() noexcept { WakeAllConditionVariable(Cv(&cv_)); }

void ConditionVariable::WaitMs(Mutex& mutex, unsigned long milliseconds) {
    // A timeout and a spurious wake look the same to the caller: both go back
    // to the predicate or the clock.
    SleepConditionVariableSRW(Cv(&cv_), Srw(&mutex.srw_), milliseconds, 0);
}

}  // namespace av
