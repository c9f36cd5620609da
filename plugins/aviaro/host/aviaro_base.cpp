#include "plugins/aviaro/host/aviaro_base.h"

#include <cstring>

#include "platform/message_loop.h"
#include "plugins/aviaro/host/client_events.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"

namespace {

constexpr const char* kClientName = "Orlend Flight Sim X Plugin";

// System events subscribed under fixed ids; client event ids start above them.
constexpr simconnect::DWord kEventSimStart = 1;
constexpr simconnect::DWord kEventSimStop = 2;
constexpr simconnect::DWord kEventPaused = 3;
constexpr simconnect::DWord kEventUnpaused = 4;

// Posted to the message window when another thread has queued client events.
constexpr std::uint32_t kClientEventsMessage = 0x8000 + 0x100;  // WM_APP + 0x100

void WakeForClientEvents(void* window) {
    av::platform::PostWindowMessage(window, kClientEventsMessage, 0, 0);
}

}  // namespace

bool CAviaroBase::Run(av::Handle instance) {
    event_ = av::platform::CreateAutoResetEvent();
    if (event_ == nullptr) return false;

    if (!InitSimConnect()) {
        av::platform::CloseEvent(event_);
        event_ = nullptr;
        return false;
    }
    running_ = true;

    window_ = av::platform::CreateMessageWindow(instance, this, &CAviaroBase::WindowMessageThunk);
    if (window_ == nullptr) {
        av::platform::CloseEvent(event_);
        event_ = nullptr;
        return false;
    }

    // From here on SimConnect is called from this thread only; presses on
    // other threads reach it through the client-event queue.
    CClientEventQueue::Instance().AttachDispatchThread(&WakeForClientEvents, window_);

    const bool initialized = OnInitialize();
    if (initialized) {
        // Sleeps until the simulator signals or window input arrives: one
        // CallDispatch per wake, never a poll.
        for (;;) {
            const av::platform::WaitResult wake = av::platform::WaitForEventOrInput(event_);
            if (wake == av::platform::WaitResult::Event) {
                if (!running_) break;
                CSimConnectLibrary::Instance().CallDispatch(&CAviaroBase::OnSimConnectDispatch,
                                                            this);
                CClientEventQueue::Instance().Flush();
            } else if (wake == av::platform::WaitResult::Input) {
                av::platform::PumpMessages();
            }
        }
    }

    OnFinalize();
    CClientEventQueue::Instance().DetachDispatchThread();
    CleanupSimConnect();

    av::platform::DestroyMessageWindow(window_);
    window_ = nullptr;
    av::platform::CloseEvent(event_);
    event_ = nullptr;
    return initialized;
}

bool CAviaroBase::InitSimConnect() {
    CSimConnectLibrary& sim = CSimConnectLibrary::Instance();
    CTraceLog& log = CTraceLog::Instance();

    HRESULT hr = sim.Open(kClientName, nullptr, 0, event_, 0);
    log.TraceResult(L"CAviaroBase::InitSimConnect - SimConnect_Open", hr);
    if (FAILED(hr)) return false;

    hr = sim.SubscribeToSystemEvent(kEventSimStart, "SimStart");
    log.TraceResult(L"CAviaroBase::InitSimConnect - SimConnect_SubscribeToSystemEvent(Start)", hr);
    if (FAILED(hr)) return false;

    hr = sim.SubscribeToSystemEvent(kEventSimStop, "SimStop");
    log.TraceResult(L"CAviaroBase::InitSimConnect - SimConnect_SubscribeToSystemEvent(Stop)", hr);
    if (FAILED(hr)) return false;

    hr = sim.SubscribeToSystemEvent(kEventPaused, "Paused");
    log.TraceResult(L"CAviaroBase::InitSimConnect - SimConnect_SubscribeToSystemEvent(Paused)", hr);
    if (FAILED(hr)) return false;

    hr = sim.SubscribeToSystemEvent(kEventUnpaused, "Unpaused");
    log.TraceResult(L"CAviaroBase::InitSimConnect - SimConnect_SubscribeToSystemEvent(Unpaused)",
                    hr);
    return SUCCEEDED(hr);
}

void CAviaroBase::CleanupSimConnect() {
    const HRESULT hr = CSimConnectLibrary::Instance().Close();
    CTraceLog::Instance().TraceResult(L"CAviaroBase::CleanupSimConnect - SimConnect_Close", hr);
}

void AV_STDCALL CAviaroBase::OnSimConnectDispatch(simconnect::Recv* message,
                                                  simconnect::DWord size, void* context) {
    auto* self = static_cast<CAviaroBase*>(context);
    if (self == nullptr || message == nullptr || size < sizeof(simconnect::Recv)) return;

    switch (message->id) {
        case simconnect::kRecvIdQuit:
            // The loop ends on its next wake, after this dispatch has returned.
            self->running_ = false;
            av::platform::SignalEvent(self->event_);
            break;
        case simconnect::kRecvIdEvent: {
            if (size < sizeof(simconnect::RecvEvent)) return;
            const auto* event = reinterpret_cast<const simconnect::RecvEvent*>(message);
            switch (event->eventId) {
                case kEventSimStart:
                case kEventUnpaused:
                    self->OnSimStart();
                    break;
                case kEventSimStop:
                case kEventPaused:
                    self->OnSimStop();
                    break;
                default:
                    break;
            }
            break;
        }
        case simconnect::kRecvIdEventFilename: {
            // The aircraft's file name follows; the title is asked for instead.
            if (size < sizeof(simconnect::RecvEvent)) return;
            const auto* event = reinterpret_cast<const simconnect::RecvEvent*>(message);
            if (event->eventId == kEventAircraftLoaded) self->OnAircraftLoaded();
            break;
        }
        case simconnect::kRecvIdSimObjectData: {
            // A block shorter than its own header carries no data to route.
            if (size < simconnect::kSimObjectDataHeaderSize) return;
            const auto* data = reinterpret_cast<const simconnect::RecvSimObjectData*>(message);
            self->OnSimData(data->requestId,
                            reinterpret_cast<const unsigned char*>(message) +
                                simconnect::kSimObjectDataHeaderSize,
                            size - simconnect::kSimObjectDataHeaderSize);
            break;
        }
        default:
            break;
    }
}

std::intptr_t CAviaroBase::WindowMessageThunk(void* owner, std::uint32_t message,
                                              std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == kClientEventsMessage) {
        CClientEventQueue::Instance().Flush();
        return 1;
    }
    return static_cast<CAviaroBase*>(owner)->OnWindowMessage(message, wParam, lParam);
}
