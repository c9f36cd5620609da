#include "plugins/aviaro/app/application.h"

#include "plugins/aviaro/app/aviaro_parts.h"

bool RunAviaroApplication(av::Handle instance) {
    CAviaro application(&CreateShippedPage, CreateShippedPanels());
    return application.Run(instance);
}
