// The simulated HID units that tests attach, shared by the virtual bus off
// Windows (posix/hid_device_posix.cpp) and the simulated handles behind the
// Windows HID function table (win32/hid_virtual_win32.cpp): the units, their
// open handles with a report queue each, the feature reports written to them,
// and the VirtualHid* calls of hid_device.h except VirtualHidAttach, which each
// side defines with AttachUnit. How a read waits and completes is the
// platform's own, through the hooks of UnitHandle.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/hid_device.h"
#include "platform/sync.h"

namespace av::platform::hid_virtual {

using Report = std::vector<std::uint8_t>;

struct Unit {
    VirtualHidUnit info;
    bool plugged = true;
    bool held = false;
    std::vector<Report> written;
    int writtenCount = 0;
    int openHandles = 0;
    int openCount = 0;
};

// One open handle on a unit. Each overlapped handle has its own report queue,
// as each Windows handle has its own input buffer. The hooks run under the
// units' lock and must call nothing that takes it.
struct UnitHandle {
    virtual ~UnitHandle() = default;

    // A report fed to the unit; the default queues it.
    virtual void Deliver(const Report& report) { queue.push_back(report); }
    // Inside a read that has nothing to take yet.
    virtual bool Reading() const = 0;
    // The handle's unit was unplugged, or let go of its reads.
    virtual void Unplugged() {}
    virtual void Released() {}

    std::shared_ptr<Unit> unit;
    bool overlapped = false;
    std::deque<Report> queue;
};

// One lock for all units and handles; it is a leaf (nothing is called under it).
struct Units {
    av::Mutex mutex;
    av::ConditionVariable changed;
    std::vector<std::shared_ptr<Unit>> units;
    std::set<UnitHandle*> handles;
    bool keepWritten = true;
};

Units& TheUnits();

// Paths compare without case, as Windows device paths do.
bool SamePath(const std::wstring& a, const std::wstring& b);

// The helpers below run under the units' lock.

// The newest unit under the path (a unit plugged in again replaces the old one).
std::shared_ptr<Unit> FindUnit(Units& units, const std::wstring& path);

// The open handle behind a handle value handed out by AddHandle, or null.
UnitHandle* Live(Units& units, const void* handle);
// The same, only while its unit is plugged in.
UnitHandle* LivePlugged(Units& units, const void* handle);

// Registers a new handle on a plugged unit and counts it; the value to hand out.
void* AddHandle(Units& units, std::unique_ptr<UnitHandle> handle,
                std::shared_ptr<Unit> unit, bool overlapped);
// Forgets and deletes a live handle.
void RemoveHandle(Units& units, UnitHandle* handle);

// A feature report written to a live, plugged handle (null: refused).
bool WriteFeature(Units& units, UnitHandle* handle, const void* report, std::uint32_t length);
// The unit's feature report into report, cut or padded with zeros to length.
bool ReadFeature(UnitHandle* handle, void* report, std::uint32_t length);
// The unit's serial number with its terminating zero, if bytes can hold it.
bool ReadSerialNumber(UnitHandle* handle, void* buffer, std::uint32_t bytes);

// Takes the lock and adds the unit.
void AttachUnit(const VirtualHidUnit& unit);

}  // namespace av::platform::hid_virtual
