// SAX events from expat, shaped like those of MSXML 6's SAX reader: local
// names, no namespace declarations among the attributes, no document type
// declarations (MSXML 6 refuses them by default), and windows-1252 understood
// as an encoding.
#include <expat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/xml_sax.h"

namespace av::platform {
namespace {

// Separates a namespace URI from the local name in the names expat reports;
// a line feed cannot occur in either.
constexpr char kNamespaceSeparator = '\n';

struct ParseState {
    XML_Parser parser;
    XmlSaxSink* sink;
};

std::wstring LocalName(const XML_Char* name) {
    const char* local = std::strrchr(name, kNamespaceSeparator);
    return FromUtf8(local != nullptr ? local + 1 : name);
}

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** atts) {
    auto* state = static_cast<ParseState*>(data);
    std::vector<std::wstring> texts;  // names and values, kept alive for the views
    for (const XML_Char** a = atts; a[0] != nullptr; a += 2) {
        texts.push_back(LocalName(a[0]));
        texts.push_back(FromUtf8(a[1]));
    }
    std::vector<XmlAttribute> attributes(texts.size() / 2);
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        attributes[i].localName = texts[2 * i];
        attributes[i].value = texts[2 * i + 1];
    }
    const std::wstring local = LocalName(name);
    state->sink->StartElement(local, attributes.data(), attributes.size());
}

void XMLCALL OnEnd(void* data, const XML_Char*) {
    static_cast<ParseState*>(data)->sink->EndElement();
}

void XMLCALL OnCharacters(void* data, const XML_Char* text, int length) {
    if (length <= 0) return;
    const std::wstring chunk = FromUtf8(std::string(text, static_cast<std::size_t>(length)));
    static_cast<ParseState*>(data)->sink->Characters(chunk);
}

void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    XML_StopParser(static_cast<ParseState*>(data)->parser, XML_FALSE);
}

int XMLCALL OnUnknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
    if (!EqualsIgnoreCase(FromUtf8(name), L"windows-1252")) return XML_STATUS_ERROR;
    for (int b = 0; b < 256; ++b) {
        const std::wstring c = FromWindows1252(std::string(1, static_cast<char>(b)));
        info->map[b] = static_cast<int>(c[0]);
    }
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    return XML_STATUS_OK;
}

}  // namespace

bool ParseXmlFile(const std::wstring& path, XmlSaxSink& sink) {
    std::FILE* file = std::fopen(ToUtf8(path).c_str(), "rb");
    if (file == nullptr) return false;
    XML_Parser parser = XML_ParserCreateNS(nullptr, kNamespaceSeparator);
    if (parser == nullptr) {
        std::fclose(file);
        return false;
    }
    ParseState state{parser, &sink};
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser, OnCharacters);
    XML_SetStartDoctypeDeclHandler(parser, OnDoctype);
    XML_SetUnknownEncodingHandler(parser, OnUnknownEncoding, nullptr);

    bool ok = true;
    char buffer[65536];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
        const bool last = n < sizeof buffer;
        if (last && std::ferror(file)) {
            ok = false;
            break;
        }
        if (XML_Parse(parser, buffer, static_cast<int>(n), last ? XML_TRUE : XML_FALSE) !=
            XML_STATUS_OK) {
            ok = false;
            break;
        }
        if (last) break;
    }
    XML_ParserFree(parser);
    std::fclose(file);
    return ok;
}

}  // namespace av::platform
