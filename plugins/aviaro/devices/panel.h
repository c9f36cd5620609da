// What the manager asks of each of the four HID panels. The manager offers
// every operation to the panels in the order multi, radio, switch, backlit.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class IPanel {
public:
    virtual ~IPanel() = default;

    // Takes its notification-group id from *nextId and its definition id from
    // the SimConnect binding's counter.
    virtual bool InitSimData(std::uint32_t* nextId) = 0;
    // Offered every HID device path that arrives or is present at start; a
    // panel opens only its own product.
    virtual void OpenDevice(const wchar_t* path) = 0;
    virtual void CloseDevice(const wchar_t* path) = 0;
    virtual void CloseAllDevices() = 0;
    virtual void RequestSimData() = 0;
    virtual void OnSimStop() = 0;
    // Every data block; a panel keeps only its own request's.
    virtual void OnSimObjectData(std::uint32_t requestId, const void* data,
                                 std::uint32_t size) = 0;
    // The lamp programming an aircraft profile names (a file name beside the
    // usual file, or a full path); empty: the usual file. Only a panel with
    // programmable lamps takes it. Main thread.
    virtual void UseLampProgramming(const std::wstring& file) { (void)file; }
};

inline constexpr std::size_t kPanelCount = 4;
// Multi, radio, switch, backlit; an empty slot is skipped.
using PanelSet = std::array<std::unique_ptr<IPanel>, kPanelCount>;
