// The application: builds the pages from Aviaro.xml, tracks the display
// devices the device library reports, routes their callbacks and the
// simulator's traffic to the pages and the four HID panels, and keeps the page
// name last shown on each instrument-panel unit.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sync.h"
#include "plugins/aviaro/devices/aircraft_profiles.h"
#include "plugins/aviaro/devices/mira_list.h"
#include "plugins/aviaro/devices/page.h"
#include "plugins/aviaro/devices/panel.h"
#include "plugins/aviaro/host/aviaro_base.h"

class CXmlNode;

// The kinds of page Aviaro.xml can name.
enum class PageKind { Gauge, ComNav, Adf, Dme, Xpndr, Autopilot, VorHdg };

// Makes one page, or returns null when it cannot (as a failed allocation).
// radio1 is the COM/NAV page's "Radio1" flag.
using PageFactory = IPage* (*)(PageKind kind, std::uint32_t pageId, IPageOwner* owner,
                               bool radio1);

// One display device the library reported. Zero-filled when created.
struct DeviceRecord {
    av::Guid deviceType{};
    std::uint32_t currentPage = 0;  // 0: none yet; kPageDeactivated: the active page was left
    std::uint32_t buttons = 0;
    wchar_t serialNumber[16] = {};
};

class CAviaro : public CAviaroBase, public IPageOwner {
public:
    static constexpr std::uint32_t kPageDeactivated = 0xFFFFFFFFu;
    // The request that brings the aircraft's title; far above the page ids.
    static constexpr std::uint32_t kTitleRequestId = 0x00A10002;

    // The shipped program's pages and panels come from aviaro_parts.cpp; tests
    // hand in their own.
    CAviaro(PageFactory pageFactory, PanelSet panels);
    ~CAviaro() override;

    bool OnInitialize() override;
    void OnFinalize() override;
    void OnSimStart() override;
    void OnSimStop() override;
    void OnSimData(std::uint32_t requestId, const void* data, std::uint32_t size) override;
    void OnAircraftLoaded() override;
    std::intptr_t OnWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam) override;

    bool InitializePages(std::uint32_t* nextId);
    void LoadTarvexPages(const CXmlNode* element, std::uint32_t* counter);
    bool AddPage(IPage* page, const void* initParams);
    void DeletePages();
    bool IsDeviceServiceRunning();
    bool InitializeLumiray();
    void FinalizeLumiray();
    void OnDeviceChange(lumiray::Device device, bool added);
    int CountDevicesOfType(lumiray::Device device);
    void AddDevice(lumiray::Device device);
    void OnPageChange(lumiray::Device device, std::uint32_t page, bool setActive);
    void OnSoftButtonChange(lumiray::Device device, std::uint32_t buttons);
    bool InitializePanels(std::uint32_t* nextId);

    // Aircraft profiles, all on the dispatch thread. Without an "Aircraft"
    // section nothing here asks the simulator for anything.
    void RequestAircraftTitle();
    void OnAircraftTitle(const std::wstring& title);
    // Shows the profile's gauges and lamps (null: the configuration without
    // profile) and brings each unit back on its last page in that profile.
    void ApplyProfile(const AircraftProfile* profile);
    // The profile whose saved page names are in use; empty for none.
    std::wstring ProfileName() const;

    // IPageOwner: called by pages, from any thread.
    void RefreshPage(IPage* page) override;
    std::wstring GetDevicePageName(lumiray::Device device) override;
    void SetDevicePageName(lumiray::Device device, const std::wstring& name) override;

    std::wstring GetMiraListPath() const;
    void LoadMiraList();
    void SaveMiraList();

    // Copies for tests and diagnostics.
    std::map<lumiray::Device, DeviceRecord> Devices() const;
    std::vector<std::uint32_t> PageIds() const;

private:
    using PagePtr = std::shared_ptr<IPage>;

    std::vector<PagePtr> PagesInOrder() const;
    PagePtr FindPage(std::uint32_t id) const;
    template <typename Fn>
    void ForEachPanel(Fn fn);

    static void AV_STDCALL DeviceChangeCallback(lumiray::Device device, bool added, void* context);
    static void AV_STDCALL EnumerateCallback(lumiray::Device device, void* context);
    static void AV_STDCALL PageChangeCallback(lumiray::Device device, lumiray::DWord page,
                                              bool setActive, void* context);
    static void AV_STDCALL SoftButtonCallback(lumiray::Device device, lumiray::DWord buttons,
                                              void* context);

    PageFactory pageFactory_;

    // Lock order: a page's own lock may be held when the page calls into the
    // manager (Get/SetDevicePageName), so tablesMutex_ comes after every page
    // lock. The process-wide table that keeps library callbacks away from a
    // destroyed manager (aviaro.cpp) has a leaf lock of its own.
    // tablesMutex_ is a leaf: it is never held while calling into a page, a
    // panel or the device library, so no callback can come back into it on the
    // same thread.
    mutable av::Mutex tablesMutex_;
    // Shared so that a callback that has taken a page out of the table keeps it
    // alive while the main thread empties the table at finalisation.
    std::map<std::uint32_t, PagePtr> pages_;              // guarded by tablesMutex_
    std::map<lumiray::Device, DeviceRecord> devices_;     // guarded by tablesMutex_
    CMiraList pageNames_;                                  // guarded by tablesMutex_

    PanelSet panels_;  // main thread only
    av::Handle deviceNotification_ = nullptr;

    // The profile chosen; the saved page names in use are its own.
    std::wstring profileName_;  // guarded by tablesMutex_
    // The message window while the manager runs, for a unit that arrives on
    // the device library's thread. Guarded by tablesMutex_.
    av::Handle arrivalWindow_ = nullptr;
    // Main (dispatch) thread only. The configuration is kept while there are
    // profiles: their elements and the gauge pages' own are read on a change.
    CXmlNode* configuration_ = nullptr;
    CAircraftProfiles profiles_;
    struct GaugePageSlot {
        std::uint32_t id;
        const CXmlNode* own;    // the page's "Gauge" element
        const CXmlNode* shown;  // the element whose gauge it shows now
    };
    std::vector<GaugePageSlot> gaugePages_;
    const AircraftProfile* profile_ = nullptr;
    std::uint32_t titleDefinition_ = 0;
};
