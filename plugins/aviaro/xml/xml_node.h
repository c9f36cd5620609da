// The read-only tree of an XML file: one CXmlNode per element. Every
// configuration and gauge file is read into one of these and walked with the
// accessors below.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Orders attribute names ignoring the case of the ASCII letters only, so that
// "name" finds "Name" and "NAME" but no other characters are folded.
struct XmlNameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};

class CXmlNode {
public:
    using AttributeMap = std::map<std::wstring, std::wstring, XmlNameLess>;

    CXmlNode(std::wstring name, CXmlNode* parent) : name_(std::move(name)), parent_(parent) {}
    ~CXmlNode();  // frees the subtree without recursion: nesting depth is the file's choice
    CXmlNode(const CXmlNode&) = delete;
    CXmlNode& operator=(const CXmlNode&) = delete;

    // The element's local name (namespace prefix dropped).
    const std::wstring& GetName() const { return name_; }
    // The element's last non-blank run of character data, whitespace around it
    // kept; empty when it has none.
    const std::wstring& GetText() const { return text_; }
    // The value of the attribute with this local name (ASCII letters compared
    // without case), or null.
    const std::wstring* GetAttribute(const std::wstring& name) const;
    std::size_t GetChildCount() const { return children_.size(); }
    // Null when index is not below the child count.
    const CXmlNode* GetChild(std::size_t index) const;

    const CXmlNode* GetParent() const { return parent_; }
    const AttributeMap& GetAttributes() const { return attributes_; }

    // Building (the reader).
    CXmlNode* AppendChild(std::wstring name);
    // A later attribute with the same local name replaces an earlier one.
    void SetAttribute(const std::wstring& name, const std::wstring& value);
    void SetText(std::wstring text) { text_ = std::move(text); }
    CXmlNode* MutableParent() const { return parent_; }

private:
    std::wstring name_;
    std::wstring text_;
    AttributeMap attributes_;
    std::vector<std::unique_ptr<CXmlNode>> children_;
    CXmlNode* parent_;
};

// Parses the file at path and hands out the root of a new tree, which the
// caller frees with FreeXmlTree. False when the parser cannot be created or the
// file cannot be read or is not well-formed; *root is then null and nothing is
// left allocated. On Windows the calling thread must have COM initialised.
bool ReadXmlFile(const std::wstring& path, CXmlNode** root);

// Frees a tree from ReadXmlFile (null is fine).
void FreeXmlTree(CXmlNode* root);
