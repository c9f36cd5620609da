// Per-aircraft sections of Aviaro.xml: each "Aircraft" element names, by a
// pattern on the loaded aircraft's title, the gauges its instrument panels show
// and the lamp programming of the annunciator.
//
//   <Aircraft Title="Cessna 172*" Name="Skyhawk">
//     <Gauge File="gauges\Altimeter\gauge.xml"/>          the first gauge page
//     <Gauge Serial="MIRA00000002" File="..."/>           the page that unit shows
//     <Tally File="Skyhawk.xml"/>                         the lamp programming
//   </Aircraft>
//
// The sections are tried in file order; the first whose pattern matches wins.
// The nodes stay owned by the configuration tree, which must outlive this.
#pragma once

#include <string>
#include <vector>

class CXmlNode;

// The title against a pattern, the case of ASCII and Latin-1 letters ignored:
// '*' stands for any run of characters (none included), '?' for exactly one.
bool MatchAircraftTitle(const std::wstring& pattern, const std::wstring& title);

struct AircraftProfile {
    std::wstring name;     // the key of its saved page names: "Name", else the pattern
    std::wstring pattern;  // "Title"
    // "Gauge" children without "Serial", in order: the i-th goes onto the i-th
    // gauge page.
    std::vector<const CXmlNode*> gauges;
    // "Gauge" children with "Serial": the page that unit shows takes the gauge.
    std::vector<std::pair<std::wstring, const CXmlNode*>> unitGauges;
    // "Tally": the lamp programming file (empty: the usual one).
    std::wstring lampProgramming;
};

class CAircraftProfiles {
public:
    // Takes every "Aircraft" child of the root (any letter case). A section
    // without a usable "Title" is traced and skipped; so is any child of a
    // section that cannot be used, the rest of the section still counting.
    void Load(const CXmlNode* root);

    bool Empty() const { return profiles_.empty(); }
    const std::vector<AircraftProfile>& Profiles() const { return profiles_; }
    // The first section whose pattern matches the title, or null.
    const AircraftProfile* Choose(const std::wstring& title) const;

private:
    std::vector<AircraftProfile> profiles_;
};
