// The pages and panels the shipped program is made of.
#pragma once

#include "plugins/aviaro/devices/aviaro.h"

// Makes the page Aviaro.xml asks for, or null for a kind this build has no page for.
IPage* CreateShippedPage(PageKind kind, std::uint32_t pageId, IPageOwner* owner, bool radio1);
// The four HID panels: multi, radio, switch, backlit.
PanelSet CreateShippedPanels();
