// The saved page names: which gauge page each instrument-panel unit showed
// last, by serial number, kept in VelFlightMira.xml beside the executable:
//
//   <?xml version="1.0"?>
//   <MiraList><Mira Serial="M1000123" Name="Altimeter"/>
//     <Profile Name="Skyhawk"><Mira Serial="M1000123" Name="Tachometer"/></Profile>
//   </MiraList>
//
// The "Mira" elements at the top are the names shown with no aircraft profile;
// each "Profile" element holds those of one profile (by its name), so that each
// aircraft comes back on its own last page. A file without profiles keeps the
// shape it always had. Serial numbers, names and profile names are compared
// exactly; the empty serial (a unit whose serial number could not be read) is
// a key like any other.
#pragma once

#include <map>
#include <string>

class CMiraList {
public:
    using Table = std::map<std::wstring, std::wstring>;

    // The executable's folder + "VelFlightMira.xml".
    static std::wstring GetMiraListPath();

    // Replaces the table with the file's entries: every child element of the
    // root (whatever the names), attribute "Serial" to attribute "Name", letter
    // case of the attribute names ignored, a later element winning. An element
    // without "Serial" or without "Name" carries no page name and is skipped:
    // it neither creates nor overrides an entry. False, with the table empty,
    // when the file is missing, unreadable or has no root. A child named
    // "Profile" (exactly so, as the writer finds it) is no entry: its children are the entries of the
    // profile its "Name" gives, read the same way; one without "Name" is skipped.
    bool Load(const std::wstring& path);

    // The stored name, or empty when the serial number has none.
    std::wstring Get(const std::wstring& serial) const;
    // Stores the name in memory; Save writes it.
    void Set(const std::wstring& serial, const std::wstring& name);
    const Table& GetTable() const { return table_; }
    // The same for one aircraft profile; the empty profile is the list above.
    std::wstring Get(const std::wstring& profile, const std::wstring& serial) const;
    void Set(const std::wstring& profile, const std::wstring& serial, const std::wstring& name);
    const Table& GetTable(const std::wstring& profile) const;

    // Writes every entry into the file and keeps everything else in it. Each
    // "Mira" element under a "MiraList" element with this exact serial and a
    // "Name" gets the new name (the first in document order among them); a
    // serial without one gets a new "Mira" element appended to the root. A
    // missing file is started over as "<MiraList> </MiraList>" with the XML
    // declaration; so is an unreadable one, after a copy of it has been kept
    // as path + ".bad" (replacing an older copy; an empty file is not copied).
    // When that copy cannot be made the unreadable file is left as it is and
    // nothing is saved. The file is written beside the target, flushed to disk
    // and moved over it in one step, so a failure or a power cut leaves the
    // previous file whole; a read-only file is not replaced. Failures are
    // traced, never fatal, and the table stays as it is. False when the file
    // was not written. A profile's entries go the same way into the first
    // "Profile" element under the root with its exact "Name", appended when
    // there is none; profiles without entries add nothing to the file.
    bool Save(const std::wstring& path) const;

private:
    Table table_;
    std::map<std::wstring, Table> profiles_;  // by profile name, never the empty one
};
