#include "plugins/aviaro/devices/mira_list.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/xml_dom.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/xml/xml_node.h"

namespace {

constexpr wchar_t kFileName[] = L"VelFlightMira.xml";
constexpr wchar_t kSkeleton[] = L"<MiraList> </MiraList>";
constexpr wchar_t kBadSuffix[] = L".bad";
constexpr wchar_t kProfile[] = L"Profile";

void TraceFailure(const wchar_t* what) {
    CTraceLog::Instance().TraceBool((std::wstring(L"CAviaro::SaveMiraList - ") + what).c_str(),
                                    false);
}

// Removes what a failed write left of the scratch file. Whatever else holds
// that name (a folder) is not ours to remove.
void DiscardScratch(const std::wstring& scratch) {
    if (!av::platform::DirectoryExists(scratch)) av::platform::RemoveFile(scratch);
}

std::wstring FileNameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Copies the file that could not be read to path + ".bad" (replacing an older
// copy) before it is started over: a hand edit with one typo is not lost. An
// empty file holds nothing to keep, and must not replace an earlier copy.
// False when the copy could not be made; the file must then stay as it is.
bool KeepUnreadableFile(const std::wstring& path) {
    std::string bytes;
    if (!av::platform::ReadFileBytes(path, bytes)) return false;
    if (bytes.empty()) return true;
    const std::wstring bad = path + kBadSuffix;
    const std::wstring scratch = bad + L".tmp";
    std::FILE* file = av::platform::OpenFile(scratch, "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) == 0 && written && av::platform::ReplaceFileAtomically(scratch, bad)) {
        CTraceLog::Instance().Trace(
            (L"CAviaro::SaveMiraList - unreadable file kept as " + FileNameOf(bad)).c_str());
        return true;
    }
    DiscardScratch(scratch);
    return false;
}

// Loads the list into the document, or starts a new one: the declaration is
// put in front of the skeleton, which is written to scratch and read back so
// that the document holds exactly what a saved file gives.
bool LoadOrStartOver(av::platform::XmlDocument& document, const std::wstring& path,
                     const std::wstring& scratch) {
    if (document.Load(path)) return true;
    // A missing file is the first run; an unreadable one is worth a line, and
    // a copy of it is kept before it is replaced.
    if (av::platform::FileExists(path)) {
        TraceFailure(L"load");
        if (!KeepUnreadableFile(path)) {
            TraceFailure((L"keep " + FileNameOf(path + kBadSuffix)).c_str());
            return false;
        }
    }
    if (!document.LoadXml(kSkeleton)) {
        TraceFailure(L"loadXML");
        return false;
    }
    if (!document.InsertProcessingInstructionBeforeRoot(L"xml", L" version=\"1.0\"")) {
        TraceFailure(L"createProcessingInstruction");
        return false;
    }
    if (!document.Save(scratch)) {
        TraceFailure(L"save");
        DiscardScratch(scratch);
        return false;
    }
    if (!document.Load(scratch)) {
        TraceFailure(L"load");
        DiscardScratch(scratch);
        return false;
    }
    return true;
}

// Each element of entries with a serial of the table and a "Name" gets the
// table's name; a serial without one gets a new "Mira" element under parent.
void WriteEntries(av::platform::XmlDocument& document, av::platform::XmlNode& parent,
                  const std::vector<std::unique_ptr<av::platform::XmlNode>>& entries,
                  const CMiraList::Table& table) {
    for (const auto& [serial, name] : table) {
        // Every element of this serial that carries a name gets the new one:
        // the reader takes the last, so updating only the first would bring
        // the old name back. An element without "Name" is passed over, as the
        // reader passes it over; were it the one updated, a new element would
        // be appended on every save.
        bool updated = false;
        for (const auto& entry : entries) {
            std::wstring value;
            if (entry->GetAttribute(L"Serial", value) && value == serial &&
                entry->HasAttribute(L"Name")) {
                if (!entry->SetAttribute(L"Name", name)) TraceFailure(L"setAttribute");
                updated = true;
            }
        }
        if (updated) continue;
        std::unique_ptr<av::platform::XmlNode> element = document.CreateElement(L"Mira");
        if (element == nullptr) {
            TraceFailure(L"createElement");
            continue;
        }
        if (!element->SetAttribute(L"Serial", serial) || !element->SetAttribute(L"Name", name)) {
            TraceFailure(L"setAttribute");
            continue;
        }
        if (!parent.AppendChild(*element)) TraceFailure(L"appendChild");
    }
}

}  // namespace

std::wstring CMiraList::GetMiraListPath() {
    return av::platform::JoinPath(av::platform::GetExecutableFolder(), kFileName);
}

namespace {

// Serial to name of every child element that has both, a later one winning.
void ReadEntries(const CXmlNode* parent, CMiraList::Table& table, bool skipProfiles) {
    for (std::size_t i = 0; i < parent->GetChildCount(); ++i) {
        const CXmlNode* child = parent->GetChild(i);
        if (skipProfiles && child->GetName() == kProfile) continue;
        const std::wstring* serial = child->GetAttribute(L"Serial");
        const std::wstring* name = child->GetAttribute(L"Name");
        if (serial != nullptr && name != nullptr) table[*serial] = *name;
    }
}

}  // namespace

bool CMiraList::Load(const std::wstring& path) {
    table_.clear();
    profiles_.clear();
    CXmlNode* root = nullptr;
    if (!ReadXmlFile(path, &root) || root == nullptr) {
        FreeXmlTree(root);
        return false;
    }
    ReadEntries(root, table_, true);
    for (std::size_t i = 0; i < root->GetChildCount(); ++i) {
        const CXmlNode* child = root->GetChild(i);
        if (child->GetName() != kProfile) continue;
        const std::wstring* profile = child->GetAttribute(L"Name");
        if (profile == nullptr || profile->empty()) continue;
        ReadEntries(child, profiles_[*profile], false);
    }
    FreeXmlTree(root);
    return true;
}

std::wstring CMiraList::Get(const std::wstring& serial) const { return Get(std::wstring(), serial); }

void CMiraList::Set(const std::wstring& serial, const std::wstring& name) {
    Set(std::wstring(), serial, name);
}

std::wstring CMiraList::Get(const std::wstring& profile, const std::wstring& serial) const {
    const Table& table = GetTable(profile);
    const auto it = table.find(serial);
    return it == table.end() ? std::wstring() : it->second;
}

void CMiraList::Set(const std::wstring& profile, const std::wstring& serial,
                    const std::wstring& name) {
    if (profile.empty()) {
        table_[serial] = name;
    } else {
        profiles_[profile][serial] = name;
    }
}

const CMiraList::Table& CMiraList::GetTable(const std::wstring& profile) const {
    static const Table kNone;
    if (profile.empty()) return table_;
    const auto it = profiles_.find(profile);
    return it == profiles_.end() ? kNone : it->second;
}

bool CMiraList::Save(const std::wstring& path) const {
    std::unique_ptr<av::platform::XmlDocument> document = av::platform::XmlDocument::Create();
    if (document == nullptr) {
        TraceFailure(L"CreateDocument");
        return false;
    }
    // Everything is written to scratch beside the file and moved over it at
    // the end: the previous file stays whole until the new one is complete.
    const std::wstring scratch = path + L".tmp";
    if (!LoadOrStartOver(*document, path, scratch)) return false;

    // The serial numbers and profile names are compared here rather than put
    // into a query, where a quote in one would break it or select another element.
    std::vector<std::unique_ptr<av::platform::XmlNode>> entries;
    if (!document->SelectNodes(L"//MiraList/Mira", entries)) {
        TraceFailure(L"selectNodes");
        DiscardScratch(scratch);
        return false;
    }
    std::unique_ptr<av::platform::XmlNode> root = document->DocumentElement();
    if (root == nullptr) {
        TraceFailure(L"documentElement");
        DiscardScratch(scratch);
        return false;
    }
    WriteEntries(*document, *root, entries, table_);
    if (!profiles_.empty()) {
        std::vector<std::unique_ptr<av::platform::XmlNode>> groups;
        if (!document->SelectNodes(L"//MiraList/Profile", groups)) TraceFailure(L"selectNodes");
        for (const auto& [profile, table] : profiles_) {
            if (table.empty()) continue;
            av::platform::XmlNode* group = nullptr;
            for (const auto& candidate : groups) {
                std::wstring value;
                if (candidate->GetAttribute(L"Name", value) && value == profile) {
                    group = candidate.get();
                    break;
                }
            }
            if (group == nullptr) {
                std::unique_ptr<av::platform::XmlNode> created = document->CreateElement(kProfile);
                if (created == nullptr || !created->SetAttribute(L"Name", profile) ||
                    !root->AppendChild(*created)) {
                    TraceFailure(L"appendChild");
                    continue;
                }
                groups.push_back(std::move(created));
                group = groups.back().get();
            }
            std::vector<std::unique_ptr<av::platform::XmlNode>> members;
            if (!group->SelectNodes(L"Mira", members)) {
                TraceFailure(L"selectNodes");
                continue;
            }
            WriteEntries(*document, *group, members, table);
        }
    }

    if (!document->Save(scratch)) {
        TraceFailure(L"save");
        DiscardScratch(scratch);
        return false;
    }
    entries.clear();
    root.reset();
    document.reset();  // MSXML may hold the scratch file while the document lives
    if (!av::platform::ReplaceFileAtomically(scratch, path)) {
        TraceFailure(L"ReplaceFile");
        DiscardScratch(scratch);
        return false;
    }
    return true;
}
