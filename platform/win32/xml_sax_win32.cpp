// SAX events from MSXML 6's SAX reader. CSaxContentHandler and CSaxErrorHandler
// are COM objects of our own that live for one parse.
#include <windows.h>
#include <objbase.h>
#include <msxml2.h>
#include <shlwapi.h>

#include <string_view>
#include <vector>

#include "platform/xml_sax.h"

namespace av::platform {
namespace {

// mingw-w64 declares these but its import libraries do not define them.
constexpr CLSID kClsidSaxXmlReader60 = {
    0x88d96a0c, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr IID kIidSaxXmlReader = {
    0xa4f96ed0, 0xf829, 0x476e, {0x81, 0xc0, 0xcd, 0xc7, 0xbd, 0x2a, 0x08, 0x02}};
constexpr IID kIidSaxContentHandler = {
    0x1545cdfa, 0x9e4e, 0x4497, {0xa8, 0xa4, 0x2b, 0xf7, 0xd0, 0x11, 0x2c, 0x44}};
constexpr IID kIidSaxErrorHandler = {
    0xa60511c4, 0xccf5, 0x479e, {0x98, 0xa3, 0xdc, 0x8d, 0xc5, 0x45, 0xb7, 0xd0}};

std::wstring_view View(const wchar_t* text, int length) {
    if (text == nullptr || length <= 0) return {};
    return std::wstring_view(text, static_cast<std::size_t>(length));
}

// "xmlns" or "xmlns:prefix": a namespace declaration, not an attribute.
bool IsNamespaceDeclaration(std::wstring_view qName) {
    constexpr std::wstring_view kXmlns = L"xmlns";
    return qName == kXmlns || (qName.size() > kXmlns.size() && qName.substr(0, 5) == kXmlns &&
                               qName[5] == L':');
}

}  // namespace

// IUnknown for a COM object of our own with one interface, created with one
// reference and deleted when the last one is released.
template <typename Interface, const IID& kIid>
class CComObject : public Interface {
public:
    HRESULT WINAPI QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIid)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return InterlockedIncrement(&references_); }
    ULONG WINAPI Release() override {
        const LONG count = InterlockedDecrement(&references_);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }

protected:
    virtual ~CComObject() = default;

private:
    LONG references_ = 1;
};

class CSaxContentHandler final : public CComObject<ISAXContentHandler, kIidSaxContentHandler> {
public:
    explicit CSaxContentHandler(XmlSaxSink& sink) : sink_(sink) {}


    HRESULT WINAPI putDocumentLocator(ISAXLocator*) override { return S_OK; }
    HRESULT WINAPI startDocument() override { return S_OK; }
    HRESULT WINAPI endDocument() override { return S_OK; }
    HRESULT WINAPI startPrefixMapping(const wchar_t*, int, const wchar_t*, int) override {
        return S_OK;
    }
    HRESULT WINAPI endPrefixMapping(const wchar_t*, int) override { return S_OK; }

    HRESULT WINAPI startElement(const wchar_t*, int, const wchar_t* localName, int localLength,
                                const wchar_t*, int, ISAXAttributes* attributes) override {
        std::vector<XmlAttribute> list;
        int count = 0;
        if (attributes != nullptr && SUCCEEDED(attributes->getLength(&count))) {
            for (int i = 0; i < count; ++i) {
                const wchar_t* name = nullptr;
                const wchar_t* qName = nullptr;
                const wchar_t* value = nullptr;
                int nameLength = 0;
                int qNameLength = 0;
                int valueLength = 0;
                if (FAILED(attributes->getLocalName(i, &name, &nameLength)) ||
                    FAILED(attributes->getValue(i, &value, &valueLength))) {
                    continue;
                }
                // Wine's reader lists the declarations even with namespace-prefixes off.
                if (SUCCEEDED(attributes->getQName(i, &qName, &qNameLength)) &&
                    IsNamespaceDeclaration(View(qName, qNameLength))) {
                    continue;
                }
                list.push_back({View(name, nameLength), View(value, valueLength)});
            }
        }
        sink_.StartElement(View(localName, localLength), list.data(), list.size());
        return S_OK;
    }
    HRESULT WINAPI endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*,
                              int) override {
        sink_.EndElement();
        return S_OK;
    }
    HRESULT WINAPI characters(const wchar_t* text, int length) override {
        if (length > 0) sink_.Characters(View(text, length));
        return S_OK;
    }
    HRESULT WINAPI ignorableWhitespace(const wchar_t*, int) override { return S_OK; }
    HRESULT WINAPI processingInstruction(const wchar_t*, int, const wchar_t*, int) override {
        return S_OK;
    }
    HRESULT WINAPI skippedEntity(const wchar_t*, int) override { return S_OK; }

private:
    ~CSaxContentHandler() override = default;

    XmlSaxSink& sink_;
};

class CSaxErrorHandler final : public CComObject<ISAXErrorHandler, kIidSaxErrorHandler> {
public:

    // Non-fatal errors do not stop the parse.
    HRESULT WINAPI error(ISAXLocator*, const wchar_t*, HRESULT) override { return S_OK; }
    // The parse ends; it counts as failed even should the reader report success.
    HRESULT WINAPI fatalError(ISAXLocator*, const wchar_t*, HRESULT) override {
        fatal_ = true;
        return S_OK;
    }
    HRESULT WINAPI ignorableWarning(ISAXLocator*, const wchar_t*, HRESULT) override {
        return S_OK;
    }

    bool Fatal() const { return fatal_; }

private:
    ~CSaxErrorHandler() override = default;

    bool fatal_ = false;
};

bool ParseXmlFile(const std::wstring& path, XmlSaxSink& sink) {
    ISAXXMLReader* reader = nullptr;
    if (FAILED(CoCreateInstance(kClsidSaxXmlReader60, nullptr, CLSCTX_ALL, kIidSaxXmlReader,
                                reinterpret_cast<void**>(&reader))) ||
        reader == nullptr) {
        return false;
    }
    auto* content = new CSaxContentHandler(sink);
    auto* errors = new CSaxErrorHandler();
    // The SAX2 default, asked for explicitly: declarations are not attributes.
    (void)reader->putFeature(L"http://xml.org/sax/features/namespace-prefixes", VARIANT_FALSE);
    bool ok = SUCCEEDED(reader->putContentHandler(content)) &&
              SUCCEEDED(reader->putErrorHandler(errors));
    // The file goes in as a stream rather than by parseURL: a path is a name, not
    // an address, and "%41" in a file name must not become "A".
    IStream* stream = nullptr;
    if (ok) ok = SUCCEEDED(SHCreateStreamOnFileW(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE,
                                                 &stream));
    if (ok) {
        VARIANT input;
        VariantInit(&input);
        input.vt = VT_UNKNOWN;
        input.punkVal = stream;
        ok = SUCCEEDED(reader->parse(input)) && !errors->Fatal();
    }
    if (stream != nullptr) stream->Release();
    reader->Release();
    content->Release();
    errors->Release();
    return ok;
}

}  // namespace av::platform
