// The stand-in as a loadable library: reads its script, record file and dump
// folder from the environment when it is loaded.
#include <cstdlib>

#include "platform/text.h"
#include "tools/lumiray_standin/lumiray_standin.h"

namespace {

struct LoadFromEnvironment {
    LoadFromEnvironment() {
        standin::LumirayStandIn& lib = standin::LumirayStandIn::Instance();
        if (const char* record = std::getenv("AVIARO_LUMIRAY_RECORD")) lib.SetRecordFile(record);
        if (const char* time = std::getenv("AVIARO_LUMIRAY_RECORD_TIME")) {
            lib.SetRecordTime(std::string(time) == "1");
        }
        if (const char* dump = std::getenv("AVIARO_LUMIRAY_DUMP")) {
            lib.SetDumpFolder(av::platform::FromUtf8(dump));
        }
        if (const char* script = std::getenv("AVIARO_LUMIRAY_SCRIPT")) {
            if (!lib.LoadScriptFile(script)) lib.Record(std::string("cannot read script ") + script);
        }
    }
    ~LoadFromEnvironment() {
        if (const char* cost = std::getenv("AVIARO_LUMIRAY_COST")) standin::LumirayStandIn::WriteCosts(cost);
    }
} g_load;

}  // namespace
