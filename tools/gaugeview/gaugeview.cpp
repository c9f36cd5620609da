// gaugeview: draws a gauge file, as the instrument-panel display would show
// it, into a PNG file, with chosen variable values and knob presses. Prints
// the trace lines the gauge wrote and every bitmap that did not load.
//
//   gaugeview [options] GAUGE.xml|--test-gauge [FOLDER] -o OUT.png
//     --set "A:Airspeed select indicated or true,knots=120"   a variable's value
//     --press down*5      knob presses: up, down (knob 0), left, right (knob 1)
//     --button "1,NAV 1"  a soft button's label (id,label[,weight[,RRGGBB]])
//     --frames N          draw N frames (the last is written)
//     --watch             draw again on every change to the gauge, a bitmap or the package
//
// Without a simulator, events mapped by the gauge get no id and are traced.
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/folder_watch.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "plugins/aviaro/gauge/gauge_renderer.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/pages/mira_gauge.h"
#include "tools/lumiray_standin/png_writer.h"

namespace {

// Asked for (--help): the usage on standard output, exit 0; after a wrong
// command line: on standard error, exit 2.
int Usage(bool asked = false) {
    std::fprintf(asked ? stdout : stderr,
                 "usage: gaugeview [--set \"L:name,unit=value\"]... [--press up|down|left|right[*N]]...\n"
                 "                 [--button \"id,label[,weight[,RRGGBB]]\"]... [--frames N]\n"
                 "                 [--cab PACKAGE.cab] [--watch] GAUGE.xml|--test-gauge [FOLDER] -o OUT.png\n"
                 "  with --cab, GAUGE.xml is the gauge's path inside the package\n"
                 "  with --watch, drawn again whenever the gauge, a bitmap or the package changes\n");
    return asked ? 0 : 2;
}

struct Setting {
    wchar_t letter;
    std::wstring name, unit;
    float value;
};

bool ParseSetting(const std::wstring& text, Setting& s) {
    const std::size_t colon = text.find(L':');
    const std::size_t equals = text.rfind(L'=');
    if (colon != 1 || equals == std::wstring::npos || equals < colon) return false;
    s.letter = text[0];
    std::wstring reference = text.substr(2, equals - 2);
    const std::size_t comma = reference.rfind(L',');
    s.name = comma == std::wstring::npos ? reference : reference.substr(0, comma);
    s.unit = comma == std::wstring::npos ? std::wstring() : reference.substr(comma + 1);
    wchar_t* end = nullptr;
    const std::wstring number = text.substr(equals + 1);
    s.value = std::wcstof(number.c_str(), &end);
    return end != number.c_str();
}

void ReportImage(const char* what, std::size_t element, bool has, const CGaugeImage& image) {
    if (!has || image.IsLoaded()) return;
    std::printf("element %zu: %s not loaded: %s\n", element, what,
                av::platform::ToUtf8(image.Path()).c_str());
}

// Sleeps until one of the files is written, created or removed, and quiet
// again for a moment (an editor saves in several steps). Each folder is
// watched on its own: Wine reports no change in a sub-folder. False when no
// folder can be watched.
bool WaitForChange(const std::vector<std::wstring>& files) {
    using av::platform::FolderWatchResult;
    std::vector<av::platform::FileStamp> stamps;
    for (const std::wstring& file : files) stamps.push_back(av::platform::GetFileStamp(file));
    const av::Handle watch = av::platform::FolderWatchOpenForFiles(files);
    if (watch == nullptr) {
        std::fprintf(stderr, "gaugeview: no folder of the gauge can be watched\n");
        return false;
    }
    for (bool changed = false; !changed;) {
        if (av::platform::FolderWatchWait(watch, 0xFFFFFFFFu) != FolderWatchResult::Changed) break;
        while (av::platform::FolderWatchWait(watch, 200) == FolderWatchResult::Changed) {
        }
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (!(av::platform::GetFileStamp(files[i]) == stamps[i])) changed = true;
        }
    }
    av::platform::FolderWatchClose(watch);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::wstring gauge, testFolder, output, cabinet;
    bool testGauge = false;
    bool watch = false;
    int frames = 1;
    std::vector<Setting> settings;
    std::vector<std::pair<std::wstring, int>> presses;
    struct ButtonArg {
        int id, weight;
        std::wstring label;
        std::uint32_t colour;
    };
    std::vector<ButtonArg> buttons;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool more = i + 1 < args.size();
        if (a == "--help" || a == "-h") {
            return Usage(true);
        } else if (a == "--set" && more) {
            Setting s;
            if (!ParseSetting(av::platform::FromUtf8(args[++i]), s)) return Usage();
            settings.push_back(s);
        } else if (a == "--press" && more) {
            std::string p = args[++i];
            int count = 1;
            if (const std::size_t star = p.find('*'); star != std::string::npos) {
                count = std::atoi(p.c_str() + star + 1);
                p.resize(star);
            }
            if (p != "up" && p != "down" && p != "left" && p != "right") return Usage();
            presses.emplace_back(av::platform::FromUtf8(p), count);
        } else if (a == "--button" && more) {
            const std::wstring button = av::platform::FromUtf8(args[++i]);
            ButtonArg b{0, 400, L"", 0xFFFFFF};
            std::vector<std::wstring> parts;
            std::size_t start = 0;
            for (std::size_t comma; (comma = button.find(L',', start)) != std::wstring::npos; start = comma + 1) {
                parts.push_back(button.substr(start, comma - start));
            }
            parts.push_back(button.substr(start));
            if (parts.size() < 2) return Usage();
            b.id = std::wcstol(parts[0].c_str(), nullptr, 10);
            b.label = parts[1];
            if (parts.size() > 2) b.weight = std::wcstol(parts[2].c_str(), nullptr, 10);
            if (parts.size() > 3) {
                const unsigned long rgb = std::wcstoul(parts[3].c_str(), nullptr, 16);
                b.colour = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
            }
            buttons.push_back(b);
        } else if (a == "--cab" && more) {
            cabinet = av::platform::FromUtf8(args[++i]);
        } else if (a == "--frames" && more) {
            frames = std::atoi(args[++i].c_str());
        } else if (a == "--watch") {
            watch = true;
        } else if (a == "-o" && more) {
            output = av::platform::FromUtf8(args[++i]);
        } else if (a == "--test-gauge") {
            testGauge = true;
            if (more && args[i + 1].rfind("-", 0) != 0) testFolder = av::platform::FromUtf8(args[++i]);
        } else if (!a.empty() && a[0] != '-' && gauge.empty()) {
            gauge = av::platform::FromUtf8(a);
        } else {
            return Usage();
        }
    }
    if (output.empty() || (gauge.empty() && !testGauge)) return Usage();
    // The renderer finds a gauge's bitmaps beside it and the extractor a
    // package's folder from its path: a bare file name means this folder.
    if (!cabinet.empty()) {
        cabinet = std::filesystem::absolute(cabinet).wstring();
    } else if (!gauge.empty()) {
        gauge = std::filesystem::absolute(gauge).wstring();
    }

    av::platform::ComInitialize();  // the XML reader is MSXML's on Windows

    // Draws the picture once; files: what it was read from.
    auto draw = [&](std::vector<std::wstring>& files) -> int {
        // The trace goes to a file of its own, printed at the end.
        const std::wstring trace = av::platform::JoinPath(
            av::platform::GetTempFolder(), L"gaugeview-" + std::to_wstring(std::rand()) + L".log");
        CTraceLog::Instance().Open(trace);

        const std::uint32_t pageId = 1;
        CGaugeVariables variables;
        CGaugeRenderer renderer(&pageId);
        bool loaded = true;
        if (!cabinet.empty() && !gauge.empty()) {
            // Unpacked as the gauge page does it, and removed once loaded.
            std::wstring folder;
            if (!CPage_Mira_Gauge::MakeExtractionFolder(folder) ||
                !CPage_Mira_Gauge::ExtractGaugePackage(cabinet, folder)) {
                loaded = false;
                std::fprintf(stderr, "gaugeview: the package could not be unpacked\n");
            } else {
                loaded = renderer.LoadFromFile(variables,
                                               av::platform::JoinPath(folder, av::platform::LocalPath(gauge)));
            }
            if (!folder.empty()) CPage_Mira_Gauge::DeleteFolderTree(folder);
            files.push_back(cabinet);
        } else if (!gauge.empty()) {
            loaded = renderer.LoadFromFile(variables, gauge);
            files.push_back(gauge);
            renderer.ForEachImage([&](const CGaugeImage& image) {
                if (!image.Path().empty()) files.push_back(av::platform::LocalPath(image.Path()));
            });
        }
        if (testGauge) {
            if (testFolder.empty()) {
                renderer.LoadDebugGauge(variables);
            } else {
                renderer.LoadDebugGauge(variables, testFolder);
            }
        }
        for (const ButtonArg& b : buttons) renderer.AddButton(b.id, b.label, L"", b.weight, b.colour);
        for (const Setting& s : settings) variables.Set(s.letter, s.name, s.unit, s.value);
        for (const auto& [press, count] : presses) {
            for (int n = 0; n < count; ++n) {
                renderer.OnKnob(press == L"up" || press == L"down" ? 0 : 1, press == L"up" || press == L"left",
                                pageId, variables);
            }
        }

        std::vector<std::uint8_t> frame(CGaugeRenderer::kFrameWidth * CGaugeRenderer::kFrameHeight * 3, 0);
        RasterView view{frame.data(), CGaugeRenderer::kFrameWidth, CGaugeRenderer::kFrameHeight,
                        CGaugeRenderer::kFrameWidth * 3, 3};
        for (int n = 0; n < frames; ++n) renderer.Render(view);

        CTraceLog::Instance().Close();
        std::string lines;
        if (av::platform::ReadFileBytes(trace, lines)) std::fwrite(lines.data(), 1, lines.size(), stdout);
        av::platform::RemoveFile(trace);
        if (!gauge.empty() && !loaded) std::printf("the gauge file did not load a background\n");
        if (!renderer.Background().IsLoaded()) {
            std::printf("background not loaded: %s\n", av::platform::ToUtf8(renderer.Background().Path()).c_str());
        }
        for (std::size_t i = 0; i < renderer.Elements().size(); ++i) {
            const CGaugeElement& e = *renderer.Elements()[i];
            ReportImage("mask", i + 1, e.HasMask(), e.Mask());
            ReportImage("image", i + 1, e.HasImage(), e.Image());
        }

        // The frame is B, G, R; PNG wants R, G, B.
        std::vector<std::uint8_t> rgb(frame.size());
        for (std::size_t i = 0; i < frame.size(); i += 3) {
            rgb[i] = frame[i + 2], rgb[i + 1] = frame[i + 1], rgb[i + 2] = frame[i];
        }
        if (!standin::WriteFileBytes(output, standin::EncodePng(CGaugeRenderer::kFrameWidth,
                                                                CGaugeRenderer::kFrameHeight, rgb))) {
            std::fprintf(stderr, "cannot write %s\n", av::platform::ToUtf8(output).c_str());
            return 1;
        }
        std::printf("wrote %s\n", av::platform::ToUtf8(output).c_str());
        return loaded ? 0 : 1;
    };
    std::vector<std::wstring> files;
    if (!watch) return draw(files);
    // Drawn again whenever one of its files changes, until ended (Ctrl+C).
    for (;;) {
        files.clear();
        draw(files);
        std::printf("watching for changes (Ctrl+C ends)\n");
        std::fflush(stdout);
        if (!WaitForChange(files)) return 1;
    }
}
