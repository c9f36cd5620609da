// Feeds arbitrary bytes to the XML reader as a file: the platform's SAX parse
// and the tree built from it. A tree that comes back is walked whole; a
// refused file leaves no tree. Leaks are reported by the sanitizer.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text.h"
#include "plugins/aviaro/xml/xml_node.h"

namespace {

std::string ScratchName() {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder != nullptr ? folder : "/tmp") + "/aviaro-xml-fuzz-" +
           std::to_string(getpid()) + ".xml";
}

void RemoveScratch() { std::remove(ScratchName().c_str()); }

// One scratch file per fuzzing process, removed when it exits.
const std::wstring& ScratchPath() {
    static const std::wstring path = [] {
        std::atexit(RemoveScratch);
        return av::platform::FromUtf8(ScratchName());
    }();
    return path;
}

// Visits every node without recursion; the nesting depth is the input's.
std::size_t Walk(const CXmlNode* root) {
    std::size_t seen = 0;
    std::vector<const CXmlNode*> pending{root};
    while (!pending.empty()) {
        const CXmlNode* node = pending.back();
        pending.pop_back();
        ++seen;
        seen += node->GetName().size() + node->GetText().size();
        for (const auto& [name, value] : node->GetAttributes()) {
            if (node->GetAttribute(name) == nullptr) std::abort();
            seen += value.size();
        }
        for (std::size_t i = 0; i < node->GetChildCount(); ++i) {
            const CXmlNode* child = node->GetChild(i);
            if (child == nullptr || child->GetParent() != node) std::abort();
            pending.push_back(child);
        }
        if (node->GetChild(node->GetChildCount()) != nullptr) std::abort();
    }
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = av::platform::ToUtf8(ScratchPath());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);

    CXmlNode* root = reinterpret_cast<CXmlNode*>(1);
    if (ReadXmlFile(ScratchPath(), &root)) {
        if (root == nullptr || root->GetParent() != nullptr) std::abort();
        Walk(root);
    } else if (root != nullptr) {
        std::abort();
    }
    FreeXmlTree(root);
    return 0;
}
