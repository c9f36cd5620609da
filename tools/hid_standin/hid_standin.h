// The HID stand-in: simulated units of the four USB panels behind the real
// Aviaro.exe, a scripted pilot who works their controls, and a record of what
// each unit shows. HidStandIn.dll, in the Windows builds' bin/ only: for the
// tests and the demo, never shipped and never installed.
//
// How Aviaro.exe takes it: when a file named exactly HidStandIn.dll lies in
// the program's own folder (never the working folder, never PATH), Aviaro.exe
// -run loads it by its full path before any HID handle is opened, replaces
// the system's HID functions with the table HidStandIn_Functions() returns
// (UseHidFunctions, platform/win32/hid_device_win32.h) and traces
//   HidStandIn - simulated HID panels from <full path of the DLL>
// or, when the file cannot be loaded or has no table,
//   HidStandIn - cannot use <full path of the DLL>
// Without the file nothing changes. The table's handles are the units of
// platform/hid_virtual_units (the same simulated units as the Windows panel
// tests use), and its device list makes Aviaro find them at start.
//
// Script (AVIARO_HID_SCRIPT, a Windows path, read when the DLL is loaded), one
// command a line; '#' starts a comment; words are separated by blanks.
//
//   unit multi|radio|switch|backlit <serial>
//        a unit present from the start (vendor 2B71, product 0A21-0A24). The
//        first unit of a kind is called by its kind ("radio"), later ones
//        "radio-2", "radio-3", ... in the order of their lines.
//
// Every other line is pilot actions, run in order on the stand-in's own thread
// (Aviaro is never blocked). "at <ms>;" first on a line holds it back until
// <ms> milliseconds after the DLL was loaded; a line without it follows the
// line before at once. Several actions on one line are separated by ';'.
//
//   turn <unit> <knob> +N|-N [<ms>]   N steps up (+) or down (-), one every <ms>
//                                     (200 by default; the radio panel drops a
//                                     second step the same way within 150 ms)
//   press <unit> <button>             down, then up
//   hold <unit> <button>              down (until release)
//   release <unit> <button>           up
//   set <unit> <control> <position>   a switch, lever or selector moved
//   sleep <ms>                        a pause within the line
//   wait <unit>                       until Aviaro has the unit open and reads it
//                                     (10 s at most; not for backlit, which it
//                                     does not read)
//
// What each panel has (a knob step is a report with its bit set, then one
// without; "+" is up, right, more):
//   multi   knobs    knob (the selected value), flaps (+ lowers), trim (+ nose up)
//           buttons  master hdg nav ias alt vs apr rev
//           set      selector alt|vs|ias|hdg|crs, autothrottle on|off
//   radio   knobs    upper-outer upper-inner lower-outer lower-inner
//                    (outer: whole units, inner: fractions)
//           buttons  upper-swap lower-swap
//           set      upper|lower com1|com2|nav1|nav2|adf|dme|xpdr
//   switch  set      battery alternator avionics fuel-pump de-ice pitot-heat
//                    cowl-flaps panel beacon nav strobe taxi landing: on|off;
//                    magneto off|right|left|both|start; gear up|down
//   backlit          nothing: it only shows
// A unit starts with every switch off, the multi panel's selector on alt, the
// radio's upper selector on com1 and its lower one on nav1. Actions before
// Aviaro has opened a unit send reports nobody reads (as with a real unit),
// but the positions stay: the selectors are what Aviaro reads on opening.
//
// Record (AVIARO_HID_RECORD, a Windows path; appended, each line flushed as it
// is written). Every line starts with the milliseconds since the DLL was loaded
// (with AVIARO_HID_RECORD_TIME=1: since 1970 by the system clock, the clock the
// other stand-ins stamp their records with, so that the records merge in order):
//   <ms> pilot <unit> <action as written, without the unit>
//        e.g. "2000 pilot multi turn knob +5"
//   <ms> <unit> <what it shows>
//        whenever a report Aviaro writes to the unit changes what it shows
//        (the same picture twice in a row is written once):
//        multi    "[03500|  700] AP ... ... ... ALT .. ... .." upper and lower
//                 display, then the lamps AP HDG NAV IAS ALT VS APR BC, a dark
//                 one as dots; "_" is the pattern of a unit Aviaro let go of
//        radio    "[118.50|121.90] [      | 1200 ]" the upper row's left and
//                 right display, then the lower row's; blanks are dark digits
//        switch   "gear nose green left red right off" (red: in transit)
//        backlit  "lens 0=GREEN lens 7=RED" each lit lens and its colour
//                 (GREEN, RED, AMBER); "dark" when none is lit
//        A report of another size or kind is shown as its bytes, for example
//        the annunciator's wake-up report: "(report b2 64)".
//   <ms> script line <n> ignored: <text>     a line the stand-in does not know
//   <ms> <unit> not read after 10 s           a wait that ran out
//   <ms> cannot read script <path>
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "platform/sync.h"

namespace standin {

enum class PanelKind { Multi, Radio, Switch, Backlit };

class HidStandIn {
public:
    // Created on first use; never destroyed (its thread may still run while
    // the process ends).
    static HidStandIn& Instance();

    // Script text as described above; unit lines attach their units at once.
    void LoadScript(const std::string& text);
    bool LoadScriptFile(const char* path);
    void SetRecordFile(const char* path);
    void SetRecordTime(bool systemClock);
    // Starts the pilot's thread (once).
    void Start();

    // What a unit was sent: recorded when it changes what the unit shows.
    // Called on the writer's thread with no lock of the units held.
    void OnFeatureWritten(const std::wstring& path, const std::uint8_t* report,
                          std::uint32_t length);
    void Record(const std::string& line);

    struct Unit {
        std::string name;  // "multi", "radio-2", ...
        PanelKind kind = PanelKind::Multi;
        std::wstring path;
        std::uint8_t input[4] = {};  // report ID 0 and the three bytes of controls
    };

private:
    enum class Verb { Turn, Press, Hold, Release, Set, Sleep, Wait };
    // One action, as read.
    struct Parsed {
        Verb verb = Verb::Sleep;
        Unit* unit = nullptr;
        std::string text;  // as written, without the unit
        int byte = 0;      // the bit to set (a step's, a button's, a position's)
        std::uint8_t bit = 0;
        std::uint8_t clear[4] = {};  // a control's bits, cleared before its position is set
        bool found = false;
        int steps = 0;
        long long ms = 0;  // a sleep, or the time between steps
    };
    struct Line {
        int number = 0;
        long long at = -1;  // ms after load; -1: right after the line before
        std::vector<Parsed> actions;
    };

    HidStandIn();
    Unit* FindUnit(const std::string& name);
    bool Parse(const std::string& action, Parsed& parsed);
    void Run();
    void RunAction(const Parsed& action);
    // Sends the unit's controls as an input report (and keeps them as the
    // feature report the panel reads when it opens the unit).
    void Send(Unit& unit);
    void SleepUntil(long long ms);
    long long Now() const;
    void WriteLocked(const std::string& line);

    const std::chrono::steady_clock::time_point loaded_;
    // Fixed before the thread starts (unit and pilot lines are read at load);
    // only the thread changes a unit's input afterwards.
    std::deque<Unit> units_;  // a deque: the parsed actions point into it
    std::vector<Line> lines_;

    av::Mutex mutex_;  // a leaf: only the record file is written under it
    std::string recordFile_;                    // guarded by mutex_
    bool recordTime_ = false;                   // guarded by mutex_: system clock
    std::map<std::string, std::string> shown_;  // guarded by mutex_: by unit name
    bool started_ = false;                      // guarded by mutex_
};

}  // namespace standin
