#include "plugins/aviaro/xml/xml_node.h"

#include "plugins/aviaro/xml/xml_tree_builder.h"

namespace {

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool IsBlank(std::wstring_view text) {
    for (wchar_t c : text) {
        if (c != L' ' && c != L'\t' && c != L'\n' && c != L'\r') return false;
    }
    return true;
}

}  // namespace

bool XmlNameLess::operator()(const std::wstring& a, const std::wstring& b) const {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const wchar_t x = FoldAscii(a[i]);
        const wchar_t y = FoldAscii(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

CXmlNode::~CXmlNode() {
    std::vector<std::unique_ptr<CXmlNode>> pending = std::move(children_);
    while (!pending.empty()) {
        std::unique_ptr<CXmlNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children_) pending.push_back(std::move(child));
        node->children_.clear();
    }
}

const std::wstring* CXmlNode::GetAttribute(const std::wstring& name) const {
    const auto it = attributes_.find(name);
    return it == attributes_.end() ? nullptr : &it->second;
}

const CXmlNode* CXmlNode::GetChild(std::size_t index) const {
    return index < children_.size() ? children_[index].get() : nullptr;
}

CXmlNode* CXmlNode::AppendChild(std::wstring name) {
    children_.push_back(std::make_unique<CXmlNode>(std::move(name), this));
    return children_.back().get();
}

void CXmlNode::SetAttribute(const std::wstring& name, const std::wstring& value) {
    attributes_[name] = value;
}

void CXmlTreeBuilder::StartElement(std::wstring_view localName,
                                   const av::platform::XmlAttribute* attributes,
                                   std::size_t count) {
    EndTextRun();
    CXmlNode* node;
    if (current_ != nullptr) {
        node = current_->AppendChild(std::wstring(localName));
    } else if (root_ == nullptr) {
        root_ = std::make_unique<CXmlNode>(std::wstring(localName), nullptr);
        node = root_.get();
    } else {
        return;  // a second top-level element: the parser reports the file as ill-formed
    }
    for (std::size_t i = 0; i < count; ++i) {
        node->SetAttribute(std::wstring(attributes[i].localName), std::wstring(attributes[i].value));
    }
    current_ = node;
}

void CXmlTreeBuilder::EndElement() {
    EndTextRun();
    if (current_ != nullptr) current_ = current_->MutableParent();
}

// A parser may hand one run of text over in several pieces (around "&gt;", at
// buffer ends, around CDATA). The pieces are joined and the run is judged as a
// whole when an element starts or ends: a run with anything but whitespace
// replaces the element's text, the indentation between child elements does not.
void CXmlTreeBuilder::Characters(std::wstring_view chunk) {
    if (current_ != nullptr) run_.append(chunk);
}

void CXmlTreeBuilder::EndTextRun() {
    if (current_ != nullptr && !IsBlank(run_)) current_->SetText(std::move(run_));
    run_.clear();
}

std::unique_ptr<CXmlNode> CXmlTreeBuilder::TakeRoot() {
    current_ = nullptr;
    run_.clear();
    return std::move(root_);
}

bool ReadXmlFile(const std::wstring& path, CXmlNode** root) {
    if (root == nullptr) return false;
    *root = nullptr;
    CXmlTreeBuilder builder;
    const bool parsed = av::platform::ParseXmlFile(path, builder);
    std::unique_ptr<CXmlNode> tree = builder.TakeRoot();  // freed here on failure
    if (!parsed || tree == nullptr) return false;
    *root = tree.release();
    return true;
}

void FreeXmlTree(CXmlNode* root) { delete root; }
