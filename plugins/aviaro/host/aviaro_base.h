// The spine of the executable: the simulator connection, the hidden message
// window and the wait loop that serves both, all on the main thread.
#pragma once

#include <cstdint>

#include "plugins/aviaro/host/simconnect_types.h"

class CAviaroBase {
public:
    // The id the "AircraftLoaded" system event is subscribed under, by whoever
    // wants it. Far above the client event ids, which count up from 5.
    static constexpr std::uint32_t kEventAircraftLoaded = 0x00A10001;

    CAviaroBase() = default;
    virtual ~CAviaroBase() = default;
    CAviaroBase(const CAviaroBase&) = delete;
    CAviaroBase& operator=(const CAviaroBase&) = delete;

    virtual bool OnInitialize() { return true; }
    virtual void OnFinalize() {}
    virtual void OnSimStart() {}
    virtual void OnSimStop() {}
    // The simulator loaded another aircraft (the "AircraftLoaded" event).
    virtual void OnAircraftLoaded() {}
    virtual void OnSimData(std::uint32_t requestId, const void* data, std::uint32_t size) {
        (void)requestId;
        (void)data;
        (void)size;
    }
    // Nonzero when handled.
    virtual std::intptr_t OnWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                                          std::intptr_t lParam) {
        (void)message;
        (void)wParam;
        (void)lParam;
        return 0;
    }

    // Connects, creates the window, initialises and serves until the simulator
    // quits. False when the connection or the window could not be made, or when
    // OnInitialize failed.
    bool Run(av::Handle instance);

    bool InitSimConnect();
    void CleanupSimConnect();

    // SimConnect_CallDispatch's procedure; context is the CAviaroBase.
    static void AV_STDCALL OnSimConnectDispatch(simconnect::Recv* message, simconnect::DWord size,
                                                void* context);

    av::Handle Event() const { return event_; }
    av::Handle Window() const { return window_; }
    bool IsRunning() const { return running_; }

private:
    static std::intptr_t WindowMessageThunk(void* owner, std::uint32_t message,
                                            std::uintptr_t wParam, std::intptr_t lParam);

    av::Handle event_ = nullptr;
    av::Handle window_ = nullptr;
    bool running_ = false;
};
