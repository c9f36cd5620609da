// POSIX entry point: the same program on the POSIX platform layer.
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/text.h"
#include "plugins/aviaro/host/aviaro_main.h"

int main(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 0; i < argc; ++i) args.push_back(av::platform::FromUtf8(argv[i]));
    av::platform::ComInitialize();
    const int code = AviaroMain(nullptr, args, DefaultAviaroMainHooks());
    av::platform::ComUninitialize();
    return code;
}
