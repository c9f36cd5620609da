// The stand-in's small aircraft model: a table of simulator variables that
// data definitions are filled from, and a table of what client events do to
// them, so that a button press comes back as new data.
//
// Script lines (taken when the script is loaded, not dispatched):
//   init "<variable>" <value>                    a variable's starting value
//   effect <EVENT_NAME> <op> "<variable>" [...]   what a transmitted event does:
//       add <n>            value += n (n may be negative)
//       set <n>            value = n
//       toggle             value = (value == 0) ? 1 : 0
//       swap "<other>"     exchanges the two variables
//       bcd <hundredths>   a "Frequency BCD16" value (1dd.dd MHz) moved by n
//                          hundredths, wrapping within 100.00 .. 199.99
//       nibble <shift> <step> <modulo>   one 4-bit digit moved by step, wrapping
//                          modulo m (a transponder digit: 12 1 8 for the thousands)
// A dispatched line may hold
//   set "<variable>" <value>                     the simulator changes a value itself
//   title "<text>"                               the aircraft's "TITLE" changes
//
// Variable names are compared without case and without the unit. Values are
// doubles, written to a data block in the datum's type (INT32, INT64, FLOAT32,
// FLOAT64); a text variable (the title) goes out as STRING256, 256 bytes with
// a zero after the text, and reads as 0 in a number type. A request is served every frame, or only when its block changed
// when it asks for SIMCONNECT_DATA_REQUEST_FLAG_CHANGED; period NEVER ends it,
// ONCE serves it once.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace standin {

class AircraftModel {
public:
    struct Block {
        std::uint32_t request;
        std::uint32_t define;
        std::vector<unsigned char> bytes;
    };

    // True when the model has been given any variable or effect.
    bool Active() const { return active_; }
    void Clear();

    // An "init" or "effect" line. False (with a reason) when it cannot be read.
    bool Configure(const std::string& line, std::string& error);
    // A dispatched "set" line; true when a value changed.
    bool Set(const std::string& line, std::string& error);

    void AddDatum(std::uint32_t define, const std::string& name, std::uint32_t type);
    void MapEvent(std::uint32_t eventId, const std::string& name);
    // Applies the event's effects; true when a value changed.
    bool Transmit(std::uint32_t eventId, std::uint32_t data);
    void Request(std::uint32_t request, std::uint32_t define, std::uint32_t period,
                 std::uint32_t flags);
    // The blocks one frame delivers.
    std::vector<Block> Frame();

    double Value(const std::string& name) const;
    // A text variable; it makes the model active, as a real simulator always is.
    void SetText(const std::string& name, const std::string& text);

private:
    struct Effect {
        std::string op;
        std::string variable;
        std::string other;
        double a = 0, b = 0, c = 0;
    };
    struct Datum {
        std::string name;
        std::uint32_t type;
    };
    struct Served {
        std::uint32_t define;
        std::uint32_t period;
        std::uint32_t flags;
        bool served = false;
        std::vector<unsigned char> last;
    };

    bool Apply(const Effect& e);

    bool active_ = false;
    std::map<std::string, double> variables_;
    std::map<std::string, std::string> texts_;
    std::map<std::string, std::vector<Effect>> effects_;  // by upper-case event name
    std::map<std::uint32_t, std::string> events_;          // client event id -> name
    std::map<std::uint32_t, std::vector<Datum>> definitions_;
    std::map<std::uint32_t, Served> requests_;
};

}  // namespace standin
