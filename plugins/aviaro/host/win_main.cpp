// Windows entry point of Aviaro.exe.
#include <windows.h>

#include "platform/process.h"
#include "plugins/aviaro/host/aviaro_main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    av::platform::ComInitialize();
    const int code = AviaroMain(instance, av::platform::GetCommandLineArgs(),
                                DefaultAviaroMainHooks());
    av::platform::ComUninitialize();
    return code;
}
