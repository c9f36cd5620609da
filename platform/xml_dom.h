// An editable XML document with XPath queries: MSXML 6's DOM on Windows,
// pugixml elsewhere. Used where a file is changed in place and everything the
// program does not know about must be kept (other attributes, comments,
// processing instructions).
//
// Both implementations keep whitespace-only text out of the tree (MSXML's
// preserveWhiteSpace is false) and write no indentation of their own: each
// top-level node (declaration, comment, root element) on a line of its own, so
// the same operations give the same file. Measured differences under Wine's
// MSXML: lines end in LF rather than CR LF, ">" in an attribute value is
// written as "&gt;", and a processing instruction's data is written as given
// (" version=\"1.0\"" gives two spaces) until the file is read back.
//
// On Windows the calling thread must have COM initialised. A node handle
// refers into its document and must not be used after the document is gone.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace av::platform {

class XmlNode {
public:
    virtual ~XmlNode() = default;

    // The node's qualified name ("Mira"; "#text" for text nodes).
    virtual std::wstring GetName() const = 0;
    // The text of the node and of everything below it, whitespace at both
    // ends removed (MSXML's text property).
    virtual std::wstring GetText() const = 0;

    // Attribute names are compared exactly (XML is case-sensitive).
    virtual bool HasAttribute(const std::wstring& name) const = 0;
    // False when the node is not an element or has no such attribute.
    virtual bool GetAttribute(const std::wstring& name, std::wstring& value) const = 0;
    // Adds the attribute or replaces its value. False when the node is not an element.
    virtual bool SetAttribute(const std::wstring& name, const std::wstring& value) = 0;

    // Appends child (from CreateElement of the same document) as the last
    // child of this node. The child handle refers to the appended node afterwards.
    virtual bool AppendChild(XmlNode& child) = 0;

    // XPath 1.0 relative to this node. False when the query is not valid;
    // a valid query that selects nothing gives true and an empty list.
    virtual bool SelectNodes(const std::wstring& xpath,
                             std::vector<std::unique_ptr<XmlNode>>& nodes) const = 0;
    // The first selected node in document order, or null (none, or an invalid query).
    virtual std::unique_ptr<XmlNode> SelectSingleNode(const std::wstring& xpath) const = 0;
};

class XmlDocument {
public:
    // Null when the DOM cannot be created (on Windows: MSXML 6 is missing or
    // COM is not initialised). Loading is synchronous, without validation and
    // without resolving external entities.
    static std::unique_ptr<XmlDocument> Create();
    virtual ~XmlDocument() = default;

    // Replace the whole document. False when the file cannot be read or is not
    // well-formed; the document is then empty.
    virtual bool Load(const std::wstring& path) = 0;
    virtual bool LoadXml(const std::wstring& text) = 0;
    // Writes the document: UTF-8, or on Windows the encoding its declaration
    // names (pugixml writes UTF-8 whatever the declaration says).
    // The file is written in place: callers that must not lose the previous
    // file save beside it and replace it (platform/file.h).
    virtual bool Save(const std::wstring& path) = 0;

    // Puts a processing instruction in front of the document element, e.g.
    // target "xml" with data " version=\"1.0\"" for the XML declaration.
    // False when there is no document element.
    virtual bool InsertProcessingInstructionBeforeRoot(const std::wstring& target,
                                                       const std::wstring& data) = 0;

    // Null when the document is empty.
    virtual std::unique_ptr<XmlNode> DocumentElement() const = 0;
    // A new element that belongs to no parent yet; place it with AppendChild.
    virtual std::unique_ptr<XmlNode> CreateElement(const std::wstring& name) = 0;

    // XPath 1.0 from the document node; as XmlNode's.
    virtual bool SelectNodes(const std::wstring& xpath,
                             std::vector<std::unique_ptr<XmlNode>>& nodes) const = 0;
    virtual std::unique_ptr<XmlNode> SelectSingleNode(const std::wstring& xpath) const = 0;
};

}  // namespace av::platform
