// The editable XML document on MSXML 6's DOM. Every node handle holds one
// reference on its COM node; BSTRs and VARIANTs live only within one call.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <msxml2.h>
#include <shlwapi.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/xml_dom.h"

namespace av::platform {
namespace {

// Some of these are missing from mingw-w64's import libraries: the public values.
constexpr CLSID kClsidDomDocument60 = {
    0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr IID kIidXmlDomDocument = {
    0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
constexpr IID kIidXmlDomElement = {
    0x2933bf86, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

// A BSTR for the duration of one call.
class Bstr {
public:
    explicit Bstr(const std::wstring& text)
        : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return value_; }
    bool ok() const { return value_ != nullptr; }

private:
    BSTR value_;
};

// Takes ownership of a BSTR handed out by MSXML.
std::wstring TakeBstr(BSTR text) {
    std::wstring out;
    if (text != nullptr) {
        out.assign(text, SysStringLen(text));
        SysFreeString(text);
    }
    return out;
}

template <class T>
void SafeRelease(T*& p) {
    if (p != nullptr) {
        p->Release();
        p = nullptr;
    }
}

class CMsxmlNode final : public XmlNode {
public:
    explicit CMsxmlNode(IXMLDOMNode* node) : node_(node) {}  // takes the reference
    ~CMsxmlNode() override { SafeRelease(node_); }
    CMsxmlNode(const CMsxmlNode&) = delete;
    CMsxmlNode& operator=(const CMsxmlNode&) = delete;

    IXMLDOMNode* get() const { return node_; }

    std::wstring GetName() const override {
        BSTR name = nullptr;
        if (FAILED(node_->get_nodeName(&name))) return {};
        return TakeBstr(name);
    }

    std::wstring GetText() const override {
        BSTR text = nullptr;
        if (FAILED(node_->get_text(&text))) return {};
        return TakeBstr(text);
    }

    bool HasAttribute(const std::wstring& name) const override {
        std::wstring value;
        return GetAttribute(name, value);
    }

    bool GetAttribute(const std::wstring& name, std::wstring& value) const override {
        IXMLDOMElement* element = Element();
        if (element == nullptr) return false;
        Bstr bname(name);
        VARIANT v;
        VariantInit(&v);
        const HRESULT hr = bname.ok() ? element->getAttribute(bname.get(), &v) : E_OUTOFMEMORY;
        element->Release();
        // S_FALSE with VT_NULL: no such attribute.
        const bool found = hr == S_OK && V_VT(&v) == VT_BSTR;
        if (found) value.assign(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
        VariantClear(&v);
        return found;
    }

    bool SetAttribute(const std::wstring& name, const std::wstring& value) override {
        IXMLDOMElement* element = Element();
        if (element == nullptr) return false;
        Bstr bname(name);
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        HRESULT hr = E_OUTOFMEMORY;
        if (bname.ok() && V_BSTR(&v) != nullptr) hr = element->setAttribute(bname.get(), v);
        VariantClear(&v);
        element->Release();
        return SUCCEEDED(hr);
    }

    bool AppendChild(XmlNode& child) override {
        IXMLDOMNode* appended = nullptr;
        if (FAILED(node_->appendChild(static_cast<CMsxmlNode&>(child).get(), &appended)) ||
            appended == nullptr) {
            return false;
        }
        appended->Release();  // the child handle already refers to it
        return true;
    }

    bool SelectNodes(const std::wstring& xpath,
                     std::vector<std::unique_ptr<XmlNode>>& nodes) const override {
        return Select(node_, xpath, nodes);
    }

    std::unique_ptr<XmlNode> SelectSingleNode(const std::wstring& xpath) const override {
        return SelectOne(node_, xpath);
    }

    static bool Select(IXMLDOMNode* from, const std::wstring& xpath,
                       std::vector<std::unique_ptr<XmlNode>>& nodes) {
        nodes.clear();
        Bstr query(xpath);
        IXMLDOMNodeList* list = nullptr;
        if (!query.ok() || FAILED(from->selectNodes(query.get(), &list)) || list == nullptr) {
            return false;
        }
        long length = 0;
        bool ok = SUCCEEDED(list->get_length(&length));
        for (long i = 0; ok && i < length; ++i) {
            IXMLDOMNode* item = nullptr;
            if (list->get_item(i, &item) != S_OK || item == nullptr) {
                ok = false;
                break;
            }
            nodes.push_back(std::make_unique<CMsxmlNode>(item));
        }
        list->Release();
        if (!ok) nodes.clear();
        return ok;
    }

    static std::unique_ptr<XmlNode> SelectOne(IXMLDOMNode* from, const std::wstring& xpath) {
        Bstr query(xpath);
        IXMLDOMNode* found = nullptr;
        // S_FALSE with a null node: nothing selected.
        if (!query.ok() || from->selectSingleNode(query.get(), &found) != S_OK ||
            found == nullptr) {
            return nullptr;
        }
        return std::make_unique<CMsxmlNode>(found);
    }

private:
    // Null when the node is not an element; the caller releases it.
    IXMLDOMElement* Element() const {
        IXMLDOMElement* element = nullptr;
        if (FAILED(node_->QueryInterface(kIidXmlDomElement, reinterpret_cast<void**>(&element)))) {
            return nullptr;
        }
        return element;
    }

    IXMLDOMNode* node_;
};

class CMsxmlDocument final : public XmlDocument {
public:
    explicit CMsxmlDocument(IXMLDOMDocument* document) : document_(document) {}
    ~CMsxmlDocument() override { SafeRelease(document_); }
    CMsxmlDocument(const CMsxmlDocument&) = delete;
    CMsxmlDocument& operator=(const CMsxmlDocument&) = delete;

    // The file goes in and out as a stream, as the SAX reader reads it: given
    // a string, load takes a URL, and "%41" or "#" in a folder name would name
    // another file (or none) and every save of the list would fail.
    bool Load(const std::wstring& path) override {
        IStream* stream = nullptr;
        if (FAILED(SHCreateStreamOnFileW(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE,
                                         &stream)) ||
            stream == nullptr) {
            // Leave the document empty, as a failed load does.
            VARIANT_BOOL loaded = VARIANT_FALSE;
            Bstr none(L"");
            if (none.ok()) document_->loadXML(none.get(), &loaded);
            return false;
        }
        VARIANT source;
        VariantInit(&source);
        V_VT(&source) = VT_UNKNOWN;
        V_UNKNOWN(&source) = stream;  // borrowed: released below
        VARIANT_BOOL loaded = VARIANT_FALSE;
        const HRESULT hr = document_->load(source, &loaded);
        stream->Release();
        return hr == S_OK && loaded == VARIANT_TRUE;
    }

    bool LoadXml(const std::wstring& text) override {
        Bstr xml(text);
        VARIANT_BOOL loaded = VARIANT_FALSE;
        if (!xml.ok() || document_->loadXML(xml.get(), &loaded) != S_OK) return false;
        return loaded == VARIANT_TRUE;
    }

    bool Save(const std::wstring& path) override {
        IStream* stream = nullptr;
        if (FAILED(SHCreateStreamOnFileW(path.c_str(),
                                         STGM_WRITE | STGM_CREATE | STGM_SHARE_DENY_WRITE,
                                         &stream)) ||
            stream == nullptr) {
            return false;
        }
        VARIANT target;
        VariantInit(&target);
        V_VT(&target) = VT_UNKNOWN;
        V_UNKNOWN(&target) = stream;  // borrowed: released below
        const HRESULT hr = document_->save(target);
        // The file is closed when the last reference goes: MSXML keeps none.
        stream->Release();
        return SUCCEEDED(hr);
    }

    bool InsertProcessingInstructionBeforeRoot(const std::wstring& target,
                                               const std::wstring& data) override {
        IXMLDOMElement* root = nullptr;
        if (document_->get_documentElement(&root) != S_OK || root == nullptr) return false;
        Bstr btarget(target);
        Bstr bdata(data);
        IXMLDOMProcessingInstruction* pi = nullptr;
        bool ok = false;
        if (btarget.ok() && bdata.ok() &&
            SUCCEEDED(document_->createProcessingInstruction(btarget.get(), bdata.get(), &pi)) &&
            pi != nullptr) {
            VARIANT before;
            VariantInit(&before);
            V_VT(&before) = VT_DISPATCH;
            V_DISPATCH(&before) = root;  // borrowed: not cleared below
            IXMLDOMNode* inserted = nullptr;
            ok = SUCCEEDED(document_->insertBefore(pi, before, &inserted)) && inserted != nullptr;
            SafeRelease(inserted);
            pi->Release();
        }
        root->Release();
        return ok;
    }

    std::unique_ptr<XmlNode> DocumentElement() const override {
        IXMLDOMElement* root = nullptr;
        if (document_->get_documentElement(&root) != S_OK || root == nullptr) return nullptr;
        return std::make_unique<CMsxmlNode>(root);  // an element is a node
    }

    std::unique_ptr<XmlNode> CreateElement(const std::wstring& name) override {
        Bstr bname(name);
        IXMLDOMElement* element = nullptr;
        if (!bname.ok() || FAILED(document_->createElement(bname.get(), &element)) ||
            element == nullptr) {
            return nullptr;
        }
        return std::make_unique<CMsxmlNode>(element);
    }

    bool SelectNodes(const std::wstring& xpath,
                     std::vector<std::unique_ptr<XmlNode>>& nodes) const override {
        return CMsxmlNode::Select(document_, xpath, nodes);
    }

    std::unique_ptr<XmlNode> SelectSingleNode(const std::wstring& xpath) const override {
        return CMsxmlNode::SelectOne(document_, xpath);
    }

private:
    IXMLDOMDocument* document_;
};

}  // namespace

std::unique_ptr<XmlDocument> XmlDocument::Create() {
    IXMLDOMDocument* document = nullptr;
    if (FAILED(CoCreateInstance(kClsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER,
                                kIidXmlDomDocument, reinterpret_cast<void**>(&document))) ||
        document == nullptr) {
        return nullptr;
    }
    if (FAILED(document->put_async(VARIANT_FALSE)) ||
        FAILED(document->put_validateOnParse(VARIANT_FALSE)) ||
        FAILED(document->put_resolveExternals(VARIANT_FALSE))) {
        document->Release();
        return nullptr;
    }
    return std::make_unique<CMsxmlDocument>(document);
}

}  // namespace av::platform
