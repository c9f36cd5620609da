#include "plugins/aviaro/app/aviaro_parts.h"

IPage* CreateShippedPage(PageKind kind, std::uint32_t pageId, IPageOwner* owner, bool radio1) {
    (void)pageId;
    (void)owner;
    (void)radio1;
    switch (kind) {
        // Each page kind joins here as its page class is built.
        default:
            return nullptr;
    }
}

PanelSet CreateShippedPanels() {
    // The panels join here, in the order multi, radio, switch, backlit.
    return PanelSet{};
}
