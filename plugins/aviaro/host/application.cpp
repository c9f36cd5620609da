#include "plugins/aviaro/host/application.h"

#include "plugins/aviaro/host/aviaro_base.h"

bool RunAviaroApplication(av::Handle instance) {
    CAviaroBase application;
    return application.Run(instance);
}
