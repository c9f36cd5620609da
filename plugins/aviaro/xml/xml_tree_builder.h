// Builds a CXmlNode tree from the SAX events of one parse.
#pragma once

#include <memory>
#include <string>

#include "platform/xml_sax.h"
#include "plugins/aviaro/xml/xml_node.h"

class CXmlTreeBuilder : public av::platform::XmlSaxSink {
public:
    void StartElement(std::wstring_view localName, const av::platform::XmlAttribute* attributes,
                      std::size_t count) override;
    void EndElement() override;
    void Characters(std::wstring_view chunk) override;

    // The finished tree; the builder holds nothing afterwards. Null when no
    // element was seen.
    std::unique_ptr<CXmlNode> TakeRoot();

private:
    // Ends the run of character data collected so far for the current node.
    void EndTextRun();

    std::unique_ptr<CXmlNode> root_;
    CXmlNode* current_ = nullptr;  // null outside elements
    std::wstring run_;             // the pieces of the current run, joined
};
