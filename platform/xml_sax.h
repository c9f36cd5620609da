// Reading an XML file as a stream of SAX events: MSXML 6's SAX reader on
// Windows, expat elsewhere. Both report the same events for the same file;
// what the program builds from them is its own business (plugins/aviaro/xml).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace av::platform {

struct XmlAttribute {
    std::wstring_view localName;  // namespace prefix dropped
    std::wstring_view value;      // entity references resolved
};

// Receives the events of one parse, in document order. The views are valid
// only during the call. Namespace declarations are not reported as attributes;
// comments and processing instructions are not reported at all.
class XmlSaxSink {
public:
    virtual void StartElement(std::wstring_view localName, const XmlAttribute* attributes,
                              std::size_t count) = 0;
    virtual void EndElement() = 0;
    // One piece of character data (text or CDATA). A parser may split one run
    // of text into several pieces, for instance around entity references.
    virtual void Characters(std::wstring_view chunk) = 0;

protected:
    ~XmlSaxSink() = default;
};

// Parses the file at path (relative paths from the current folder). False when
// the parser cannot be created, the file cannot be read, or it is not
// well-formed; the sink may have received events before the error.
// On Windows the calling thread must have COM initialised.
bool ParseXmlFile(const std::wstring& path, XmlSaxSink& sink);

}  // namespace av::platform
