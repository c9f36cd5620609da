#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "plugins/aviaro/xml/xml_node.h"
#include "plugins/aviaro/xml/xml_tree_builder.h"

namespace {

// The Windows parser is a COM object.
class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { av::platform::ComInitialize(); }
    void TearDown() override { av::platform::ComUninitialize(); }
};
const auto* const g_com = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

// One code point at a time, whatever the width of wchar_t.
std::string Escape(const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            const char32_t low = static_cast<char32_t>(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        switch (c) {
            case U'\\': out += "\\\\"; break;
            case U'"': out += "\\\""; break;
            case U'\n': out += "\\n"; break;
            case U'\r': out += "\\r"; break;
            case U'\t': out += "\\t"; break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    out += static_cast<char>(c);
                } else {
                    char buffer[16];
                    std::snprintf(buffer, sizeof buffer, "\\u{%X}", static_cast<unsigned>(c));
                    out += buffer;
                }
        }
    }
    return out;
}

// One line per element: name, attributes in lookup order, non-empty text;
// children indented below their parent.
void Dump(const CXmlNode* node, int depth, std::string& out) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += Escape(node->GetName());
    for (const auto& [name, value] : node->GetAttributes()) {
        out += ' ' + Escape(name) + "=\"" + Escape(value) + '"';
    }
    if (!node->GetText().empty()) out += " text=\"" + Escape(node->GetText()) + '"';
    out += '\n';
    for (std::size_t i = 0; i < node->GetChildCount(); ++i) {
        const CXmlNode* child = node->GetChild(i);
        EXPECT_EQ(child->GetParent(), node);
        Dump(child, depth + 1, out);
    }
}

std::wstring Here(const std::wstring& name) {
    return av::platform::JoinPath(av::platform::GetExecutableFolder(), name);
}

std::wstring CorpusFile(const char* name) {
    return av::platform::JoinPath(Here(L"corpus"), av::platform::FromUtf8(name));
}

// The tree of a file as text; "(failed)" when ReadXmlFile refuses it.
std::string ReadAndDump(const std::wstring& path) {
    CXmlNode* root = reinterpret_cast<CXmlNode*>(1);
    if (!ReadXmlFile(path, &root)) {
        EXPECT_EQ(root, nullptr);
        return "(failed)";
    }
    std::string out;
    Dump(root, 0, out);
    FreeXmlTree(root);
    return out;
}

// A scratch file beside the binary (the temp folder of a Wine prefix is not ours to fill).
std::wstring WriteScratch(const char* name, const std::string& content) {
    const std::wstring folder = Here(L"xml-scratch");
    av::platform::CreateDirectoryPath(folder);
    const std::wstring path = av::platform::JoinPath(folder, av::platform::FromUtf8(name));
    std::FILE* f = av::platform::OpenFile(path, "wb");
    EXPECT_NE(f, nullptr);
    if (f != nullptr) {
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    return path;
}

struct CorpusCase {
    const char* file;
    const char* tree;
};

// Both parsers must give exactly these trees.
const CorpusCase kCorpus[] = {
    {"entities.xml",
     "Gauge\n"
     "  Script text=\"(L:a) 5 > if{ 1 } els{ 0 } && <x> AB \\\"q\\\" 's'\"\n"
     "  Value Name=\"a < b & c \\u{263A}\" text=\"\\u{10348} \\u{E9}\"\n"},
    {"cdata.xml",
     "Element\n"
     "  Script text=\"(A:x) 5 > if{ <b> }\"\n"
     "  Mixed text=\"a < b & c\"\n"
     "  OnlyBlankCdata\n"},
    {"namespaces.xml",
     "Gauge Name=\"prefixed\" Version=\"1\"\n"
     "  Element Id=\"7\"\n"
     "  Plain Id=\"8\"\n"},
    {"attribute-case.xml",
     "Gauge Name=\"second\" Size=\"1\"\n"
     "  Child Other=\"o\" size=\"3\"\n"
     "  Wide \\u{C4}=\"upper\" \\u{E4}=\"lower\"\n"},
    {"text-and-children.xml",
     "Gauge\n"
     "  Update text=\"\\n    (L:x) 1 + (>L:x)\\n    \"\n"
     "    Frequency text=\"6\"\n"
     "  Tail text=\"\\n    trailing\\n  \"\n"
     "    A\n"
     "  Two text=\"second\"\n"
     "    A\n"
     "    B\n"
     "  Commented text=\"xyz\"\n"
     "  Blank\n"},
    {"empty-root.xml", "Aviaro\n"},
    {"windows-1252.xml", "Name Value=\"caf\\u{E9} \\u{20AC}\" text=\"\\u{E9}\\u{153}\"\n"},
    {"line-ends.xml", "Lines Attr=\"a b c\" text=\"one\\ntwo\\nthree\"\n"},
    {"utf16.xml", "Root Name=\"\\u{E9}\\u{20AC}\" text=\"\\u{3A9} > 1\"\n"},
};

TEST(XmlReader, CorpusGivesTheSameTreeOnEveryParser) {
    for (const CorpusCase& c : kCorpus) {
        EXPECT_EQ(ReadAndDump(CorpusFile(c.file)), c.tree) << c.file;
    }
}

TEST(XmlReader, AccessorsFindAttributesIgnoringAsciiCaseAndStopAtTheLastChild) {
    CXmlNode* root = nullptr;
    ASSERT_TRUE(ReadXmlFile(CorpusFile("attribute-case.xml"), &root));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetParent(), nullptr);
    ASSERT_NE(root->GetAttribute(L"name"), nullptr);
    EXPECT_EQ(*root->GetAttribute(L"name"), L"second");
    EXPECT_EQ(*root->GetAttribute(L"SIZE"), L"1");
    EXPECT_EQ(root->GetAttribute(L"Nam"), nullptr);
    EXPECT_EQ(root->GetAttribute(L""), nullptr);
    ASSERT_EQ(root->GetChildCount(), 2u);
    EXPECT_EQ(root->GetChild(2), nullptr);
    EXPECT_EQ(root->GetChild(static_cast<std::size_t>(-1)), nullptr);
    const CXmlNode* wide = root->GetChild(1);
    EXPECT_EQ(*wide->GetAttribute(L"\u00e4"), L"lower");  // only ASCII letters fold
    EXPECT_EQ(*wide->GetAttribute(L"\u00c4"), L"upper");
    FreeXmlTree(root);
    FreeXmlTree(nullptr);
}

TEST(XmlReader, RelativePathIsReadFromTheCurrentFolder) {
    // Both test runners start the binary in its own folder.
    av::platform::CreateDirectoryPath(Here(L"xml-scratch"));
    WriteScratch("relative.xml", "<Aviaro><Tarvex><ComNav Radio1=\"TRUE\"/></Tarvex></Aviaro>");
    const std::wstring relative = std::wstring(L"xml-scratch") + av::platform::kPathSeparator +
                                  L"relative.xml";
    EXPECT_EQ(ReadAndDump(relative), "Aviaro\n  Tarvex\n    ComNav Radio1=\"TRUE\"\n");
}

TEST(XmlReader, BrokenFilesHandOutNothing) {
    const struct {
        const char* name;
        const char* content;
    } broken[] = {
        {"empty.xml", ""},
        {"unclosed.xml", "<a><b>text</b>"},
        {"mismatched.xml", "<a><b></a></b>"},
        {"two-roots.xml", "<a/><b/>"},
        {"undefined-entity.xml", "<a>x &nbsp; y</a>"},
        {"unbound-prefix.xml", "<p:a/>"},
        {"truncated-text.xml", "<a><b>(L:a) 5 &gt; if{"},
        {"bad-utf8.xml", "<a>\xff\xfe</a>"},
        {"text-only.xml", "just text"},
        {"duplicate-attribute.xml", "<a x=\"1\" x=\"2\"/>"},
        {"document-type.xml", "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>"},
    };
    for (const auto& b : broken) {
        EXPECT_EQ(ReadAndDump(WriteScratch(b.name, b.content)), "(failed)") << b.name;
    }
    EXPECT_EQ(ReadAndDump(Here(L"no-such-file.xml")), "(failed)");
    EXPECT_EQ(ReadAndDump(Here(L"corpus")), "(failed)");  // a folder
    EXPECT_FALSE(ReadXmlFile(CorpusFile("empty-root.xml"), nullptr));
}

TEST(XmlReader, FileNamesAreNamesNotAddresses) {
    // Characters that mean something in an address, and one outside ASCII.
    for (const char* name : {"a#b.xml", "100%41.xml", "caf\xc3\xa9 space.xml"}) {
        EXPECT_EQ(ReadAndDump(WriteScratch(name, "<Name/>")), "Name\n") << name;
    }
}

TEST(XmlReader, DeepNestingIsReadAndFreed) {
    const int depth = 250;  // Wine's reader stops at 256 levels; expat and MSXML 6 go deeper
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<a>";
    for (int i = 0; i < depth; ++i) text += "</a>";
    CXmlNode* root = nullptr;
    ASSERT_TRUE(ReadXmlFile(WriteScratch("deep.xml", text), &root));
    int levels = 1;
    for (const CXmlNode* node = root; node->GetChildCount() == 1; node = node->GetChild(0)) {
        ++levels;
    }
    EXPECT_EQ(levels, depth);
    FreeXmlTree(root);
}

TEST(XmlReader, LongRunSplitAcrossReadsIsJoined) {
    const std::string a(150000, 'a');
    const std::string b(70000, 'b');
    const std::wstring path =
        WriteScratch("long.xml", "<Gauge><Script>" + a + "&gt;" + b + "</Script></Gauge>");
    CXmlNode* root = nullptr;
    ASSERT_TRUE(ReadXmlFile(path, &root));
    ASSERT_EQ(root->GetChildCount(), 1u);
    const std::wstring expected =
        std::wstring(a.size(), L'a') + L">" + std::wstring(b.size(), L'b');
    EXPECT_TRUE(root->GetChild(0)->GetText() == expected);
    EXPECT_EQ(root->GetChild(0)->GetText().size(), expected.size());
    FreeXmlTree(root);
}

// The builder on its own, fed the pieces the way a parser may cut them.
TEST(XmlTreeBuilder, JoinsPiecesOfOneRunAndIgnoresIndentation) {
    CXmlTreeBuilder builder;
    const av::platform::XmlAttribute attrs[] = {{L"Id", L"1"}, {L"ID", L"2"}};
    builder.Characters(L"before the root");
    builder.StartElement(L"Gauge", attrs, 2);
    builder.Characters(L"\n  ");
    builder.StartElement(L"Value", nullptr, 0);
    builder.Characters(L"(L:a) 5 ");
    builder.Characters(L">");
    builder.Characters(L" if{ 1 }");
    builder.EndElement();
    builder.Characters(L"\n  ");
    builder.Characters(L"  \t\r\n");
    builder.EndElement();
    builder.Characters(L"after the root");
    std::unique_ptr<CXmlNode> root = builder.TakeRoot();
    ASSERT_NE(root, nullptr);
    std::string out;
    Dump(root.get(), 0, out);
    EXPECT_EQ(out, "Gauge Id=\"2\"\n  Value text=\"(L:a) 5 > if{ 1 }\"\n");
    EXPECT_EQ(builder.TakeRoot(), nullptr);
}

TEST(XmlTreeBuilder, DeepTreeIsFreedWithoutRecursion) {
    CXmlTreeBuilder builder;
    const int depth = 200000;
    for (int i = 0; i < depth; ++i) builder.StartElement(L"a", nullptr, 0);
    for (int i = 0; i < depth; ++i) builder.EndElement();
    std::unique_ptr<CXmlNode> root = builder.TakeRoot();
    ASSERT_NE(root, nullptr);
    const CXmlNode* node = root.get();
    int levels = 1;
    while (node->GetChildCount() == 1) {
        node = node->GetChild(0);
        ++levels;
    }
    EXPECT_EQ(levels, depth);
    FreeXmlTree(root.release());
}

}  // namespace
