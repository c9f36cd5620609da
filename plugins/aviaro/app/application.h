// Constructs the application object on the stack and runs it.
#pragma once

#include "platform/types.h"

bool RunAviaroApplication(av::Handle instance);
