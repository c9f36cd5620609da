// The wait loop's seam: an auto-reset event that the simulator library signals,
// a hidden message-only window, and one wait on both.
//
// Windows: a Win32 event, a message-only window of class "SIMX.MSG.WINDOW" and
// MsgWaitForMultipleObjects. Elsewhere: the same event as a condition variable
// and a queue of posted window messages that the wait also wakes for.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace av::platform {

// Auto-reset, initially not signalled. 0 on failure.
Handle CreateAutoResetEvent();
void SignalEvent(Handle event);
void CloseEvent(Handle event);

// Called for every message of the window except WM_CREATE; nonzero means handled.
using WindowMessageHandler = std::intptr_t (*)(void* owner, std::uint32_t message,
                                               std::uintptr_t wParam, std::intptr_t lParam);

// Registers the class "SIMX.MSG.WINDOW" and creates the message-only window with
// owner as its creation parameter. 0 when the window does not exist afterwards.
Handle CreateMessageWindow(Handle instance, void* owner, WindowMessageHandler handler);
void DestroyMessageWindow(Handle window);
// Queues a message for the window (PostMessageW).
bool PostWindowMessage(Handle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam);

enum class WaitResult { Event, Input, Other };

// Sleeps without a time-out until the event is signalled or input arrives for
// this thread. When both are ready the event wins, as with MsgWaitForMultipleObjects.
WaitResult WaitForEventOrInput(Handle event);
// Takes and dispatches every waiting message of this thread.
void PumpMessages();

#if !defined(_WIN32)
// A POSIX event handle begins with this, so that a separately loaded stand-in
// library can signal it without linking against the program.
struct PosixEventAbi {
    void (*signal)(void* event);
};
#endif

}  // namespace av::platform
