#include "tools/simconnect_standin/sim_model.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace standin {
namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Splits a line into words; a quoted text is one word without its quotes.
std::vector<std::string> Words(const std::string& line, bool& ok) {
    std::vector<std::string> words;
    ok = true;
    std::size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        if (line[i] == '"') {
            const std::size_t end = line.find('"', i + 1);
            if (end == std::string::npos) {
                ok = false;
                return words;
            }
            words.push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            std::size_t end = i;
            while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
            words.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return words;
}

bool Number(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    // strtod reads hexadecimal too ("0x1850"), which suits BCD values.
    value = std::strtod(text.c_str(), &end);
    return end != nullptr && *end == '\0' && std::isfinite(value);
}

// "Frequency BCD16": four BCD digits d3 d2 . d1 d0 after a leading 1.
int BcdToHundredths(double value) {
    const auto v = static_cast<std::uint32_t>(value) & 0xFFFF;
    const int d3 = (v >> 12) & 0xF, d2 = (v >> 8) & 0xF, d1 = (v >> 4) & 0xF, d0 = v & 0xF;
    return ((d3 * 10 + d2) * 100 + d1 * 10 + d0) % 10000;
}

double HundredthsToBcd(int h) {
    h = ((h % 10000) + 10000) % 10000;
    const int d3 = h / 1000, d2 = (h / 100) % 10, d1 = (h / 10) % 10, d0 = h % 10;
    return static_cast<double>((d3 << 12) | (d2 << 8) | (d1 << 4) | d0);
}

template <typename T>
void Append(std::vector<unsigned char>& out, T v) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &v, sizeof(T));
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

template <typename T>
T Clamp(double v) {
    if (std::isnan(v)) return 0;
    const double lo = static_cast<double>(std::numeric_limits<T>::min());
    const double hi = static_cast<double>(std::numeric_limits<T>::max());
    return static_cast<T>(v < lo ? lo : v > hi ? hi : v);
}

}  // namespace

void AircraftModel::Clear() { *this = AircraftModel(); }

bool AircraftModel::Configure(const std::string& line, std::string& error) {
    bool ok = false;
    const std::vector<std::string> w = Words(line, ok);
    if (!ok || w.empty()) {
        error = "unbalanced quotes";
        return false;
    }
    double n = 0;
    if (w[0] == "init") {
        if (w.size() != 3 || !Number(w[2], n)) {
            error = "init \"<variable>\" <value>";
            return false;
        }
        variables_[Lower(w[1])] = n;
        active_ = true;
        return true;
    }
    if (w[0] != "effect" || w.size() < 4) {
        error = "effect <EVENT> <op> \"<variable>\" ...";
        return false;
    }
    Effect e;
    e.op = w[2];
    e.variable = Lower(w[3]);
    const std::size_t args = w.size() - 4;
    bool good = false;
    if (e.op == "toggle") {
        good = args == 0;
    } else if (e.op == "add" || e.op == "set" || e.op == "bcd") {
        good = args == 1 && Number(w[4], e.a);
    } else if (e.op == "swap") {
        good = args == 1;
        if (good) e.other = Lower(w[4]);
    } else if (e.op == "nibble") {
        good = args == 3 && Number(w[4], e.a) && Number(w[5], e.b) && Number(w[6], e.c) &&
               e.a >= 0 && e.a <= 28 && e.c >= 1 && e.c <= 16;
    }
    if (!good) {
        error = "bad effect arguments";
        return false;
    }
    effects_[Upper(w[1])].push_back(e);
    active_ = true;
    return true;
}

bool AircraftModel::Set(const std::string& line, std::string& error) {
    bool ok = false;
    const std::vector<std::string> w = Words(line, ok);
    double n = 0;
    if (!ok || w.size() != 3 || w[0] != "set" || !Number(w[2], n)) {
        error = "set \"<variable>\" <value>";
        return false;
    }
    double& v = variables_[Lower(w[1])];
    const bool changed = v != n;
    v = n;
    return changed;
}

void AircraftModel::AddDatum(std::uint32_t define, const std::string& name, std::uint32_t type) {
    definitions_[define].push_back({Lower(name), type});
}

void AircraftModel::MapEvent(std::uint32_t eventId, const std::string& name) {
    events_[eventId] = Upper(name);
}

bool AircraftModel::Apply(const Effect& e) {
    double& v = variables_[e.variable];
    const double before = v;
    if (e.op == "add") {
        v += e.a;
    } else if (e.op == "set") {
        v = e.a;
    } else if (e.op == "toggle") {
        v = v == 0 ? 1 : 0;
    } else if (e.op == "swap") {
        double& o = variables_[e.other];
        const double t = o;
        const bool changed = o != v;
        o = v;
        v = t;
        return changed;
    } else if (e.op == "bcd") {
        v = HundredthsToBcd(BcdToHundredths(v) + static_cast<int>(e.a));
    } else if (e.op == "nibble") {
        const auto shift = static_cast<unsigned>(e.a);
        const auto value = static_cast<std::uint32_t>(v);
        const int digit = static_cast<int>((value >> shift) & 0xF);
        const int m = static_cast<int>(e.c);
        const int next = (((digit + static_cast<int>(e.b)) % m) + m) % m;
        v = static_cast<double>((value & ~(0xFu << shift)) |
                                (static_cast<std::uint32_t>(next) << shift));
    }
    return v != before;
}

bool AircraftModel::Transmit(std::uint32_t eventId, std::uint32_t data) {
    (void)data;
    const auto name = events_.find(eventId);
    if (name == events_.end()) return false;
    const auto effects = effects_.find(name->second);
    if (effects == effects_.end()) return false;
    bool changed = false;
    for (const Effect& e : effects->second) changed = Apply(e) || changed;
    return changed;
}

void AircraftModel::Request(std::uint32_t request, std::uint32_t define, std::uint32_t period,
                            std::uint32_t flags) {
    if (period == 0) {  // SIMCONNECT_PERIOD_NEVER ends the request
        requests_.erase(request);
        return;
    }
    Served s;
    s.define = define;
    s.period = period;
    s.flags = flags;
    requests_[request] = s;
}

std::vector<AircraftModel::Block> AircraftModel::Frame() {
    std::vector<Block> blocks;
    for (auto it = requests_.begin(); it != requests_.end();) {
        Served& s = it->second;
        std::vector<unsigned char> bytes;
        for (const Datum& d : definitions_[s.define]) {
            const double v = Value(d.name);
            switch (d.type) {
                case 1: Append(bytes, Clamp<std::int32_t>(v)); break;
                case 2: Append(bytes, Clamp<std::int64_t>(v)); break;
                case 3: Append(bytes, static_cast<float>(v)); break;
                case 9: {  // STRING256
                    const auto t = texts_.find(d.name);
                    std::string text = t != texts_.end() ? t->second : std::string();
                    text.resize(256, '\0');
                    text[255] = '\0';
                    bytes.insert(bytes.end(), text.begin(), text.end());
                    break;
                }
                default: Append(bytes, v); break;
            }
        }
        const bool changedOnly = (s.flags & 1u) != 0;
        if (!changedOnly || !s.served || bytes != s.last) {
            blocks.push_back({it->first, s.define, bytes});
            s.last = bytes;
            s.served = true;
        }
        if (s.period == 1) {  // SIMCONNECT_PERIOD_ONCE
            it = requests_.erase(it);
        } else {
            ++it;
        }
    }
    return blocks;
}

void AircraftModel::SetText(const std::string& name, const std::string& text) {
    texts_[Lower(name)] = text;
    active_ = true;
}

double AircraftModel::Value(const std::string& name) const {
    const auto it = variables_.find(Lower(name));
    return it != variables_.end() ? it->second : 0.0;
}

}  // namespace standin
