// A page: one screen of content on a display device. The manager creates the
// pages, owns them, and drives them only through these operations.
#pragma once

#include <cstdint>
#include <string>

#include "plugins/lumiray/lumiray_types.h"

class IPage;

// What a page may ask of the manager that owns it.
class IPageOwner {
public:
    // Sends the page again to every device on which it is the current page.
    virtual void RefreshPage(IPage* page) = 0;
    // The page name saved for the device's serial number, or empty.
    virtual std::wstring GetDevicePageName(lumiray::Device device) = 0;
    virtual void SetDevicePageName(lumiray::Device device, const std::wstring& name) = 0;

protected:
    ~IPageOwner() = default;
};

class CXmlNode;

// What a gauge page receives in OnSimInitialize: its "Gauge" element, alive
// only during the call.
struct GaugePageInitParams {
    const CXmlNode* gauge;
};

class IPage {
public:
    IPage(std::uint32_t pageId, IPageOwner* owner) : pageId_(pageId), owner_(owner) {}
    virtual ~IPage() = default;
    IPage(const IPage&) = delete;
    IPage& operator=(const IPage&) = delete;

    // The user switched the device to this page; the manager sends it right after.
    virtual void OnPageActivated(lumiray::Device device) = 0;
    // False when the page does not belong on the device; otherwise the page is
    // added (made active when it chooses to, reported through wasActive) and sent.
    virtual bool AddToDevice(lumiray::Device device, bool setActive, bool* wasActive) {
        (void)device;
        (void)setActive;
        (void)wasActive;
        return false;
    }
    virtual void SendToDevice(lumiray::Device device, const av::Guid* deviceType) {
        (void)device;
        (void)deviceType;
    }
    virtual void SendLedsToDevice(lumiray::Device device, const av::Guid* deviceType) {
        (void)device;
        (void)deviceType;
    }
    virtual void OnSimInitialize(const void* initParams) { (void)initParams; }
    virtual void OnSimStart() {}
    virtual void OnSimStop() {}
    virtual void OnSimRecieveData(const void* data, std::uint32_t size) {
        (void)data;
        (void)size;
    }
    // Buttons that went down (or the whole state when it repeated); 0 on release.
    virtual void OnButtonPress(std::uint32_t buttons) = 0;
    // A gauge page shows the gauge of this "Gauge" element from now on (an
    // aircraft profile chose it); dispatch thread. Other pages ignore it.
    virtual void ShowGauge(const CXmlNode* gauge) { (void)gauge; }
    // The name of the gauge a gauge page shows; empty for other pages.
    virtual std::wstring GaugeName() const { return std::wstring(); }

    std::uint32_t PageId() const { return pageId_; }
    IPageOwner* Owner() const { return owner_; }

private:
    const std::uint32_t pageId_;
    IPageOwner* const owner_;
};
