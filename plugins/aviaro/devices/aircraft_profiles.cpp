#include "plugins/aviaro/devices/aircraft_profiles.h"

#include "platform/text.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/xml/xml_node.h"

namespace {

// Titles come in the ANSI code page: the letters of ASCII and of Latin-1 are
// folded, the same on every platform (a C library's towupper folds only ASCII
// in its default locale).
wchar_t Fold(wchar_t c) {
    if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 0x20);
    return c;
}

bool SameLetter(wchar_t a, wchar_t b) { return Fold(a) == Fold(b); }

void Trace(const std::wstring& text) {
    CTraceLog::Instance().Trace(L"CAircraftProfiles::Load - " + text);
}

}  // namespace

bool MatchAircraftTitle(const std::wstring& pattern, const std::wstring& title) {
    // Greedy with one step back to the last '*': linear in practice and never
    // recursive, whatever a pilot writes.
    std::size_t p = 0, t = 0;
    std::size_t star = std::wstring::npos, resume = 0;
    while (t < title.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && (pattern[p] == L'?' || SameLetter(pattern[p], title[t]))) {
            ++p;
            ++t;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

void CAircraftProfiles::Load(const CXmlNode* root) {
    profiles_.clear();
    if (root == nullptr) return;
    for (std::size_t i = 0; i < root->GetChildCount(); ++i) {
        const CXmlNode* section = root->GetChild(i);
        if (!av::platform::EqualsIgnoreCase(section->GetName(), L"Aircraft")) continue;
        const std::wstring* title = section->GetAttribute(L"Title");
        if (title == nullptr || title->empty()) {
            Trace(L"Aircraft " + std::to_wstring(profiles_.size() + 1) +
                  L" has no Title, skipped");
            continue;
        }
        AircraftProfile profile;
        profile.pattern = *title;
        const std::wstring* name = section->GetAttribute(L"Name");
        profile.name = name != nullptr && !name->empty() ? *name : *title;
        for (std::size_t c = 0; c < section->GetChildCount(); ++c) {
            const CXmlNode* child = section->GetChild(c);
            if (av::platform::EqualsIgnoreCase(child->GetName(), L"Gauge")) {
                if (const std::wstring* serial = child->GetAttribute(L"Serial")) {
                    profile.unitGauges.emplace_back(*serial, child);
                } else {
                    profile.gauges.push_back(child);
                }
            } else if (av::platform::EqualsIgnoreCase(child->GetName(), L"Tally")) {
                const std::wstring* file = child->GetAttribute(L"File");
                if (file == nullptr || file->empty()) {
                    Trace(L"\"" + profile.name + L"\": Tally without File, skipped");
                    continue;
                }
                profile.lampProgramming = *file;
            }
        }
        Trace(L"\"" + profile.name + L"\" for titles \"" + profile.pattern + L"\"");
        profiles_.push_back(std::move(profile));
    }
}

const AircraftProfile* CAircraftProfiles::Choose(const std::wstring& title) const {
    for (const AircraftProfile& profile : profiles_) {
        if (MatchAircraftTitle(profile.pattern, title)) return &profile;
    }
    return nullptr;
}
