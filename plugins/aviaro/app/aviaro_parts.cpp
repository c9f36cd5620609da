#include "plugins/aviaro/app/aviaro_parts.h"

#include <new>

#include "plugins/aviaro/pages/mira_gauge.h"
#include "plugins/aviaro/pages/tarvex_pages.h"
#include "plugins/aviaro/panels/panel_autopilot.h"
#include "plugins/aviaro/panels/panel_backlit.h"
#include "plugins/aviaro/panels/panel_radios.h"
#include "plugins/aviaro/panels/panel_switch.h"

IPage* CreateShippedPage(PageKind kind, std::uint32_t pageId, IPageOwner* owner, bool radio1) {
    switch (kind) {
        // Each page kind joins here as its page class is built.
        case PageKind::Gauge:
            return new (std::nothrow) CPage_Mira_Gauge(pageId, owner);
        case PageKind::ComNav:
            return new (std::nothrow) CPage_Tarvex_Com(pageId, owner, radio1);
        case PageKind::Adf:
            return new (std::nothrow) CPage_Tarvex_Adf(pageId, owner);
        case PageKind::Dme:
            return new (std::nothrow) CPage_Tarvex_Dme(pageId, owner);
        case PageKind::Xpndr:
            return new (std::nothrow) CPage_Tarvex_Xpndr(pageId, owner);
        case PageKind::Autopilot:
            return new (std::nothrow) CPage_Tarvex_Autopilot(pageId, owner);
        case PageKind::VorHdg:
            return new (std::nothrow) CPage_Tarvex_VorHdg(pageId, owner);
        default:
            return nullptr;
    }
}

PanelSet CreateShippedPanels() {
    // The panels join here, in the order multi, radio, switch, backlit.
    PanelSet panels{};
    panels[0] = std::make_unique<CPanelClass_Autopilot>();
    panels[1] = std::make_unique<CPanelClass_Radios>();
    panels[2] = std::make_unique<CPanelClass_Switch>();
    panels[3] = std::make_unique<CPanelClass_Backlit>();
    return panels;
}
