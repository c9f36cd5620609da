// The stand-in as a loadable library: reads its script and record file from the
// environment when it is loaded.
#include <cstdlib>

#include "tools/simconnect_standin/sim_standin.h"

namespace {

struct LoadFromEnvironment {
    LoadFromEnvironment() {
        standin::SimStandIn& sim = standin::SimStandIn::Instance();
        if (const char* record = std::getenv("AVIARO_SIM_RECORD")) sim.SetRecordFile(record);
        if (const char* time = std::getenv("AVIARO_SIM_RECORD_TIME")) {
            sim.SetRecordTime(std::string(time) == "1");
        }
        if (const char* script = std::getenv("AVIARO_SIM_SCRIPT")) {
            if (!sim.LoadScriptFile(script)) sim.Record(std::string("cannot read script ") + script);
        }
        if (const char* refuse = std::getenv("AVIARO_SIM_REFUSE_OPEN")) {
            sim.SetOpenResult(static_cast<HRESULT>(std::strtoul(refuse, nullptr, 0)));
        }
    }
} g_load;

}  // namespace
