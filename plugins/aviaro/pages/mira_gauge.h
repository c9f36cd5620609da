// The page that shows a live XML gauge on the colour display of a Mira
// instrument panel: it loads the gauge (from a folder, or unpacked from a .cab
// package into a temporary folder), draws it into a 320 x 240 frame whenever
// the simulator reports changed values, at most once per frame interval, lights
// the LEDs of the soft buttons the gauge defines and passes knobs and soft
// buttons to the gauge engine. While it is shown, a change to the gauge file,
// one of its bitmaps or its package loads the gauge again (for gauge authors).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "platform/sync.h"
#include "plugins/aviaro/devices/page.h"
#include "plugins/aviaro/gauge/gauge_renderer.h"
#include "plugins/aviaro/gauge/gauge_variables.h"
#include "plugins/aviaro/gauge/raster.h"

class CXmlNode;

// The frame: a 24-bit, bottom-up 320 x 240 image that the render thread draws
// into, and the published copy the device library reads. Deselect publishes a
// finished frame as a copy, so a display never receives a half-drawn one; a
// published copy never changes while anyone holds it, so it is read without
// any lock held. Copies are reused once no one holds them: a frame allocates
// nothing.
class CDibBuffer {
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;
    static constexpr std::uint32_t kRowBytes = kWidth * 3;
    static constexpr std::uint32_t kSize = kRowBytes * kHeight;  // 230400

    CDibBuffer();
    // The drawing surface (rows bottom-up, as a DIB holds them).
    RasterView Select();
    // Publishes a copy of the finished frame; false, publishing nothing, when
    // it is byte for byte the frame published last.
    bool Deselect();
    std::uint32_t GetSize() const { return kSize; }
    // The frame published last (kSize bytes); it stays valid and unchanged
    // for as long as the caller holds it.
    std::shared_ptr<const std::vector<std::uint8_t>> Published() const;

private:
    struct Copy {
        std::vector<std::uint8_t> bytes;
        int holders = 0;  // guarded by mutex_: Published() references alive
    };
    void Release(Copy* copy) const;

    // A leaf: held only to pick, publish, take or give back a copy.
    mutable av::Mutex mutex_;
    std::vector<std::uint8_t> section_;  // the render thread's
    // Every copy made (the published one, those still held by a send, and
    // spares), and the published one. Guarded by mutex_; a copy's bytes are
    // written only by Deselect while it is neither published nor held.
    std::vector<std::unique_ptr<Copy>> copies_;
    Copy* published_ = nullptr;
};

// A number of the configuration: hexadecimal after "0x" or "0X" (when the text
// is longer than two characters), else decimal after leading spaces, tabs and
// line feeds; reading stops at the first other character; the low 32 bits.
std::uint32_t ParseNumber(const wchar_t* text);

class CPage_Mira_Gauge : public IPage {
public:
    static constexpr std::uint32_t kDefaultInterval = 50;
    static constexpr std::uint32_t kConfiguredInterval = 200;

    CPage_Mira_Gauge(std::uint32_t pageId, IPageOwner* owner);
    ~CPage_Mira_Gauge() override;

    void OnPageActivated(lumiray::Device device) override;
    bool AddToDevice(lumiray::Device device, bool setActive, bool* wasActive) override;
    void SendToDevice(lumiray::Device device, const av::Guid* deviceType) override;
    void SendLedsToDevice(lumiray::Device device, const av::Guid* deviceType) override;
    void OnSimInitialize(const void* initParams) override;
    void OnSimStart() override;
    void OnSimStop() override;
    void OnSimRecieveData(const void* data, std::uint32_t size) override;
    void OnButtonPress(std::uint32_t buttons) override;
    // Loads the element's gauge and buttons in place of the shown ones (the
    // frame interval stays the page's own). A gauge that cannot be read shows
    // the test gauge, as at start, and is followed until it can.
    void ShowGauge(const CXmlNode* gauge) override;
    std::wstring GaugeName() const override { return Current()->m_renderer.GetGaugeName(); }

    // The steps of loading, for the page and its tests.
    static bool ResolveGaugeFile(const CXmlNode* element, std::wstring& gaugePath,
                                 std::wstring& extractionFolder);
    static std::wstring ReadFsxSetupPath();
    static bool MakeExtractionFolder(std::wstring& folder);
    static bool ExtractGaugePackage(const std::wstring& cabinetPath, const std::wstring& folder);
    static bool DeleteFolderTree(const std::wstring& folder);

    std::uint32_t FrameInterval() const { return frameInterval_; }
    bool RenderThreadRunning() const { return renderThread_.joinable(); }
    // The gauge shown now; on the dispatch thread (or while no reload can run).
    const CGaugeRenderer& Renderer() const { return gauge_->m_renderer; }
    std::uint32_t DefineId() const { return defineId_; }
    // The files the shown gauge was read from (the gauge file, its bitmaps,
    // or its package), which the watcher follows.
    std::vector<std::wstring> WatchedFiles() const;
    CDibBuffer& FrameBuffer() { return frameBuffer_; }
    // Frames the render thread has drawn (not counting the first).
    std::uint64_t FramesDrawn() const;

private:
    // Where the gauge comes from, kept for reloading: the configuration's
    // element is gone after OnSimInitialize.
    struct Source {
        std::wstring gaugePath;    // without a package: the gauge file
        std::wstring cabinetPath;  // with one: the package ...
        std::wstring fileInPackage;  // ... and the gauge file inside it
    };
    struct ButtonDefinition {
        int id;
        std::wstring name, event;
        int weight;
        std::uint32_t colour;
    };
    struct Gauge;
    static bool ResolveGaugeSource(const CXmlNode* element, Source& source);
    // The gauge file of a source: the file itself, or the package unpacked
    // into a new folder (extractionFolder, which the caller removes, also
    // after a failure).
    static bool UnpackGaugeSource(const Source& source, std::wstring& gaugePath,
                                  std::wstring& extractionFolder);
    // Loads a gauge into a fresh renderer and store with the configuration's
    // buttons. On failure names what could not be read.
    bool LoadGauge(Gauge& gauge, std::vector<std::wstring>& files, std::wstring& failed) const;
    void ReloadGauge();  // dispatch thread
    static std::vector<ButtonDefinition> ReadButtons(const CXmlNode* element);
    // Puts a loaded gauge in place of the shown one, asks for its data once
    // the flight has started (traced under requestLabel) and shows it;
    // dispatch thread.
    void InstallGauge(std::shared_ptr<Gauge> gauge, std::uint32_t defineId,
                      std::vector<std::wstring> files, const wchar_t* requestLabel);
    void StartWatcher();
    void StopWatcher();
    void WatchLoop();
    void SetWatchedFiles(std::vector<std::wstring> files);

    void RenderThread();
    // Renders and publishes a frame; false when it is the one published last.
    bool DrawFrame();
    void StopRenderThread();
    // Device-library calls in progress, so that destruction waits for them.
    bool EnterDeviceCall();
    void LeaveDeviceCall();

    // Lock order: stateMutex_, then gaugeMutex_; callsMutex_, watchMutex_ and
    // the frame buffer's mutex are leaves. None is held across a call into
    // the device library, SimConnect, the manager or the gauge engine.

    std::uint32_t pageId_;
    std::thread renderThread_;
    std::uint32_t frameInterval_ = kDefaultInterval;
    std::uint32_t defineId_ = 0;
    CDibBuffer frameBuffer_;
    // Guards dirty_, stop_, running_ and framesDrawn_, and the hand-over of
    // received values (Commit). Never held together with the buffer's mutex.
    mutable av::Mutex stateMutex_;
    av::ConditionVariable stateChanged_;
    bool dirty_ = false;
    // The render thread sleeps until data comes (not between two frames):
    // only then does new data need to wake it.
    bool waitingForData_ = false;
    bool stop_ = false;
    bool running_ = false;
    std::uint64_t framesDrawn_ = 0;
    // A send of the published frame failed: the next frame is sent even when
    // it is the same, so that the display gets it after all.
    std::atomic<bool> sendFailed_{false};
    av::Mutex callsMutex_;
    av::ConditionVariable callsDone_;
    int calls_ = 0;
    bool closing_ = false;
    // The gauge and its variable store, which the gauge's scripts point into:
    // one object, replaced whole by a reload. A thread that uses it holds its
    // own reference (Current), so a reload never frees one in use.
    struct Gauge {
        explicit Gauge(const std::uint32_t* pageId) : m_renderer(pageId) {}
        CGaugeVariables variables;
        CGaugeRenderer m_renderer;
    };
    std::shared_ptr<Gauge> Current() const;
    // A leaf. gauge_ is replaced only by the dispatch thread, under the lock;
    // that thread reads it without.
    mutable av::Mutex gaugeMutex_;
    std::shared_ptr<Gauge> gauge_;
    bool requested_ = false;  // dispatch thread: the data request was made

    // Set by OnSimInitialize (dispatch thread), read by reloads.
    bool hasSource_ = false;
    Source source_;
    std::vector<ButtonDefinition> buttonDefinitions_;

    // The watcher thread follows the folders of watchFiles_ and asks the
    // dispatch thread for a reload when one of the files changed.
    std::thread watcher_;
    mutable av::Mutex watchMutex_;
    av::ConditionVariable watchWake_;
    // Guarded by watchMutex_: each file with its stamp when it was read.
    std::vector<std::pair<std::wstring, av::platform::FileStamp>> watchFiles_;
    std::uint64_t watchGeneration_ = 0;     // guarded by watchMutex_: watchFiles_ replaced
    bool watchStop_ = false;                // guarded by watchMutex_
    void* watch_ = nullptr;                 // guarded by watchMutex_: the open watch
};
