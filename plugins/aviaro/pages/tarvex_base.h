// The common base of the three-line text pages of the joystick display: it owns
// the lines and sends them, registers the page with a device, starts the
// page's data request, and maps and transmits the page's client events. Each
// page supplies its data definition, the formatting of its lines from one data
// record, and its reaction to Select, Up and Down.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sync.h"
#include "plugins/aviaro/devices/page.h"

// One row of a text page's button table: for one selection value, the actions
// of Select, Up and Down. An action >= 0 is the new selection;
// TarvexTransmit(slot) transmits the event in that slot of the page's event ids.
struct TarvexButtonRow {
    int select, up, down;
};
constexpr int TarvexTransmit(int slot) { return -1 - slot; }

class CPage_Tarvex_Base : public IPage {
public:
    // Each line buffer holds this many characters, terminator included; the
    // display shows the first kShownChars of a line.
    static constexpr std::size_t kLineChars = 255;
    static constexpr std::size_t kShownChars = 16;
    // The largest data record of any text page, in bytes.
    static constexpr std::size_t kMaxRecordSize = 32;

    ~CPage_Tarvex_Base() override = default;

    void OnPageActivated(lumiray::Device device) override;
    bool AddToDevice(lumiray::Device device, bool setActive, bool* wasActive) override;
    void SendToDevice(lumiray::Device device, const av::Guid* deviceType) override;
    void OnSimInitialize(const void* initParams) override;
    void OnSimStart() override;
    void OnSimRecieveData(const void* data, std::uint32_t size) override;
    void OnButtonPress(std::uint32_t buttons) override;

    // Copies for tests and diagnostics.
    std::wstring Line(int index) const;
    int Selection() const;
    std::uint32_t DefineId() const;
    const std::wstring& Name() const { return name_; }

protected:
    CPage_Tarvex_Base(std::uint32_t pageId, IPageOwner* owner, std::wstring name,
                      std::uint32_t recordSize);

    // Adds the data definitions (AddDatum, in record order) and maps the
    // client events (MapClientEvent, in the page's order). Runs without the
    // page lock, on the dispatch thread, before the page is offered to any
    // device: nothing else reaches the page yet, and SimConnect is never
    // called with the page lock held.
    virtual void DefineSimData() = 0;
    // The hooks below run under the page lock.

    // Writes all three lines from the record and the selection.
    virtual void UpdateLines(const std::uint8_t* record) = 0;
    // Acts on the pressed buttons; true when the page is to re-format and be
    // sent again.
    virtual bool HandleButtons(std::uint32_t buttons) = 0;
    // True for the pages that are sent as soon as they are initialised.
    virtual bool RefreshesOnInitialize() const { return false; }

    // The next datum of the record, datum id = its index; label names it in the trace.
    void AddDatum(const wchar_t* datumName, const wchar_t* unitName, std::uint32_t datumType,
                  float epsilon, const wchar_t* label);
    // The client event id, or 0 when the event could not be mapped.
    std::uint32_t MapClientEvent(const wchar_t* eventName);
    // Transmits the event in the page's group; does nothing for id 0. Under
    // the page lock: the event is queued and goes out from the dispatch
    // thread once the lock is released.
    void TriggerEvent(std::uint32_t eventId);
    void DebugPageActivated();
    // Formats one line, bounded by its buffer and always terminated.
    void FormatLine(int index, const wchar_t* format, ...);

    // Walks a button table (one row per selection value): Select, then Up, then Down, each if its bit is set; a later button sees
    // the selection an earlier one left. traces, when given, are written
    // before acting on the button of the same position.
    void StepButtons(std::uint32_t buttons, const TarvexButtonRow* rows, int rowCount,
                     const std::uint32_t* events, const wchar_t* const* traces = nullptr);

    static std::int32_t Int32At(const std::uint8_t* record, int index);
    static float Float32At(const std::uint8_t* record, int index);
    static double Float64At(const std::uint8_t* record, int index);
    // While above 360 take 360 off, then while below 0 add 360 (360 itself stays);
    // a negative zero comes back as zero.
    static double Normalise360(double degrees);

    int selection_ = 0;  // guarded by mutex_; each page gives the values their meaning

private:
    void CutLines();  // mutex_ held
    // True when the shown part of the lines differs from shown; mutex_ held.
    bool ShownLinesDiffer(const wchar_t (&shown)[3][kShownChars + 1]) const;
    void CopyShownLines(wchar_t (&shown)[3][kShownChars + 1]) const;  // mutex_ held

    // mutex_ makes each operation of the page atomic with respect to the
    // others. It is a leaf: never held while calling the manager (RefreshPage
    // comes back into SendToDevice), the device library (which may hold a
    // lock of its own while it calls back into this page) or SimConnect.
    // The trace log and the client-event queue, which call nothing back, may
    // be called with it held. Order: mutex_, then the manager's table lock.
    mutable av::Mutex mutex_;
    // The devices this page is being sent to right now. Sends of one page to
    // one device go in a row, so that a device never shows older lines after
    // newer ones: a send that finds another under way leaves it to that one,
    // which sends again at once if the lines changed meanwhile.
    std::vector<lumiray::Device> sending_;  // guarded by mutex_
    const std::wstring name_;
    const std::uint32_t recordSize_;
    std::uint32_t defineId_ = 0;
    std::uint32_t nextDatumId_ = 0;
    std::array<std::uint8_t, kMaxRecordSize> record_{};
    wchar_t lines_[3][kLineChars] = {};
};
