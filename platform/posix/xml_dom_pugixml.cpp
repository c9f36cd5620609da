// The editable XML document on pugixml, shaped after MSXML's DOM: comments,
// processing instructions and the declaration are kept, whitespace-only text
// is not, and nothing is indented on save.
#include <pugixml.hpp>

#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"
#include "platform/xml_dom.h"

namespace av::platform {
namespace {

std::string Utf8(const std::wstring& text) { return ToUtf8(text); }
std::wstring Wide(const char* text) { return FromUtf8(text != nullptr ? text : ""); }

// MSXML's text property drops whitespace at both ends.
std::wstring Trim(const std::wstring& text) {
    const std::size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_pi | pugi::parse_comments |
                                   pugi::parse_declaration | pugi::parse_doctype;
// MSXML writes what the tree holds: no declaration of its own, no indentation.
constexpr unsigned kSaveOptions = pugi::format_raw;

class CPugiNode final : public XmlNode {
public:
    explicit CPugiNode(pugi::xml_node node) : node_(node) {}

    // A new element outside any tree: it lives in a document of its own until
    // AppendChild copies it into place.
    explicit CPugiNode(const std::string& name) : detached_(std::make_unique<pugi::xml_document>()) {
        node_ = detached_->append_child(pugi::node_element);
        node_.set_name(name.c_str());
    }

    std::wstring GetName() const override {
        if (node_.type() == pugi::node_pcdata) return L"#text";
        if (node_.type() == pugi::node_cdata) return L"#cdata-section";
        if (node_.type() == pugi::node_comment) return L"#comment";
        if (node_.type() == pugi::node_document) return L"#document";
        return Wide(node_.name());
    }

    std::wstring GetText() const override {
        switch (node_.type()) {
            case pugi::node_pcdata:
            case pugi::node_cdata:
            case pugi::node_comment:
            case pugi::node_pi:
                return Trim(Wide(node_.value()));
            default:
                break;
        }
        std::string text;
        for (pugi::xml_node n = node_.first_child(); n;) {
            if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) text += n.value();
            // Depth-first walk without recursion: the nesting is the file's choice.
            if (n.first_child() && n.type() == pugi::node_element) {
                n = n.first_child();
                continue;
            }
            while (n && !n.next_sibling() && n != node_) n = n.parent();
            if (!n || n == node_) break;
            n = n.next_sibling();
        }
        return Trim(FromUtf8(text));
    }

    bool HasAttribute(const std::wstring& name) const override {
        return node_.type() == pugi::node_element && node_.attribute(Utf8(name).c_str());
    }

    bool GetAttribute(const std::wstring& name, std::wstring& value) const override {
        if (node_.type() != pugi::node_element) return false;
        const pugi::xml_attribute a = node_.attribute(Utf8(name).c_str());
        if (!a) return false;
        value = Wide(a.value());
        return true;
    }

    bool SetAttribute(const std::wstring& name, const std::wstring& value) override {
        if (node_.type() != pugi::node_element) return false;
        const std::string key = Utf8(name);
        pugi::xml_attribute a = node_.attribute(key.c_str());
        if (!a) a = node_.append_attribute(key.c_str());
        return a && a.set_value(Utf8(value).c_str());
    }

    bool AppendChild(XmlNode& child) override {
        auto& c = static_cast<CPugiNode&>(child);
        if (c.detached_ == nullptr) {
            // Already in a tree: move it, as a DOM does.
            const pugi::xml_node moved = node_.append_move(c.node_);
            if (!moved) return false;
            c.node_ = moved;
            return true;
        }
        const pugi::xml_node copy = node_.append_copy(c.node_);
        if (!copy) return false;
        c.node_ = copy;
        c.detached_.reset();
        return true;
    }

    bool SelectNodes(const std::wstring& xpath,
                     std::vector<std::unique_ptr<XmlNode>>& nodes) const override {
        return Select(node_, xpath, nodes);
    }

    std::unique_ptr<XmlNode> SelectSingleNode(const std::wstring& xpath) const override {
        return SelectOne(node_, xpath);
    }

    static bool Select(const pugi::xml_node& from, const std::wstring& xpath,
                       std::vector<std::unique_ptr<XmlNode>>& nodes) {
        nodes.clear();
        try {
            const pugi::xpath_query query(Utf8(xpath).c_str());
            if (!query) return false;
            pugi::xpath_node_set set = query.evaluate_node_set(from);
            set.sort();  // document order, as MSXML gives it
            for (const pugi::xpath_node& n : set) {
                if (n.node()) nodes.push_back(std::make_unique<CPugiNode>(n.node()));
            }
            return true;
        } catch (const std::exception&) {  // an invalid query, or a query that is no node set
            nodes.clear();
            return false;
        }
    }

    static std::unique_ptr<XmlNode> SelectOne(const pugi::xml_node& from,
                                              const std::wstring& xpath) {
        std::vector<std::unique_ptr<XmlNode>> nodes;
        if (!Select(from, xpath, nodes) || nodes.empty()) return nullptr;
        return std::move(nodes.front());
    }

private:
    std::unique_ptr<pugi::xml_document> detached_;
    pugi::xml_node node_;
};

// Splits the data of an "xml" processing instruction (" version=\"1.0\"") into
// its pseudo-attributes. False when it is not of that shape.
bool ParseDeclaration(const std::wstring& data,
                      std::vector<std::pair<std::wstring, std::wstring>>& out) {
    std::size_t i = 0;
    const auto skipSpace = [&] {
        while (i < data.size() && (data[i] == L' ' || data[i] == L'\t' || data[i] == L'\r' ||
                                   data[i] == L'\n')) {
            ++i;
        }
    };
    for (skipSpace(); i < data.size(); skipSpace()) {
        const std::size_t eq = data.find(L'=', i);
        if (eq == std::wstring::npos || eq == i) return false;
        std::wstring name = data.substr(i, eq - i);
        while (!name.empty() && name.back() == L' ') name.pop_back();
        i = eq + 1;
        skipSpace();
        if (i >= data.size() || (data[i] != L'"' && data[i] != L'\'')) return false;
        const std::size_t close = data.find(data[i], i + 1);
        if (close == std::wstring::npos) return false;
        out.emplace_back(name, data.substr(i + 1, close - i - 1));
        i = close + 1;
    }
    return !out.empty();
}

class CPugiDocument final : public XmlDocument {
public:
    bool Load(const std::wstring& path) override {
        std::string bytes;
        if (!ReadFileBytes(path, bytes)) {
            document_.reset();
            return false;
        }
        return Parse(bytes.data(), bytes.size(), pugi::encoding_auto);
    }

    bool LoadXml(const std::wstring& text) override {
        const std::string bytes = Utf8(text);
        return Parse(bytes.data(), bytes.size(), pugi::encoding_utf8);
    }

    bool Save(const std::wstring& path) override {
        std::FILE* f = OpenFile(path, "wb");
        if (f == nullptr) return false;
        pugi::xml_writer_file writer(f);
        // One line per top-level node (declaration, comments, the root), CR LF
        // after each, as MSXML writes a document.
        for (pugi::xml_node n = document_.first_child(); n; n = n.next_sibling()) {
            n.print(writer, "", kSaveOptions, pugi::encoding_utf8);
            writer.write("\r\n", 2);
        }
        const bool ok = std::ferror(f) == 0;
        return std::fclose(f) == 0 && ok;
    }

    bool InsertProcessingInstructionBeforeRoot(const std::wstring& target,
                                               const std::wstring& data) override {
        pugi::xml_node root = document_.document_element();
        if (!root) return false;
        std::vector<std::pair<std::wstring, std::wstring>> pseudo;
        if (target == L"xml" && ParseDeclaration(data, pseudo)) {
            pugi::xml_node decl = document_.insert_child_before(pugi::node_declaration, root);
            if (!decl) return false;
            for (const auto& [name, value] : pseudo) {
                decl.append_attribute(Utf8(name).c_str()).set_value(Utf8(value).c_str());
            }
            return true;
        }
        pugi::xml_node pi = document_.insert_child_before(pugi::node_pi, root);
        if (!pi) return false;
        std::size_t start = data.find_first_not_of(L" \t\r\n");
        return pi.set_name(Utf8(target).c_str()) &&
               pi.set_value(start == std::wstring::npos ? "" : Utf8(data.substr(start)).c_str());
    }

    std::unique_ptr<XmlNode> DocumentElement() const override {
        pugi::xml_node root = document_.document_element();
        if (!root) return nullptr;
        return std::make_unique<CPugiNode>(root);
    }

    std::unique_ptr<XmlNode> CreateElement(const std::wstring& name) override {
        if (name.empty()) return nullptr;
        return std::make_unique<CPugiNode>(Utf8(name));
    }

    bool SelectNodes(const std::wstring& xpath,
                     std::vector<std::unique_ptr<XmlNode>>& nodes) const override {
        return CPugiNode::Select(document_, xpath, nodes);
    }

    std::unique_ptr<XmlNode> SelectSingleNode(const std::wstring& xpath) const override {
        return CPugiNode::SelectOne(document_, xpath);
    }

private:
    bool Parse(const char* bytes, std::size_t size, pugi::xml_encoding encoding) {
        const pugi::xml_parse_result result =
            document_.load_buffer(bytes, size, kParseOptions, encoding);
        // A document needs an element, as MSXML requires.
        if (!result || !document_.document_element()) {
            document_.reset();
            return false;
        }
        return true;
    }

    pugi::xml_document document_;
};

}  // namespace

std::unique_ptr<XmlDocument> XmlDocument::Create() { return std::make_unique<CPugiDocument>(); }

}  // namespace av::platform
