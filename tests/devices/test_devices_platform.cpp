#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "platform/text.h"
#include "platform/xml_dom.h"
#include "tests/host/test_helpers.h"

namespace {

using av::platform::XmlDocument;
using av::platform::XmlNode;

class XmlDom : public ::testing::Test {
protected:
    void SetUp() override {
        av::platform::ComInitialize();
        document_ = XmlDocument::Create();
        ASSERT_NE(document_, nullptr);
    }
    void TearDown() override {
        document_.reset();
        av::platform::ComUninitialize();
    }
    std::vector<std::wstring> Names(const std::wstring& xpath) {
        std::vector<std::unique_ptr<XmlNode>> nodes;
        EXPECT_TRUE(document_->SelectNodes(xpath, nodes)) << xpath.size();
        std::vector<std::wstring> names;
        for (const auto& n : nodes) {
            std::wstring id;
            n->GetAttribute(L"id", id);
            names.push_back(n->GetName() + L":" + id);
        }
        return names;
    }
    std::unique_ptr<XmlDocument> document_;
};

TEST_F(XmlDom, QueriesInDocumentOrderAttributesAndText) {
    ASSERT_TRUE(document_->LoadXml(
        L"<Tally><Lamp id=\"1\" Colour=\"red\">Gear <b>up</b></Lamp>"
        L"<Group><Lamp id=\"2\"/></Group><Lamp id=\"3\" Colour=\"\"/></Tally>"));
    EXPECT_EQ(Names(L"//Lamp"), (std::vector<std::wstring>{L"Lamp:1", L"Lamp:2", L"Lamp:3"}));
    EXPECT_EQ(Names(L"/Tally/Lamp[@Colour]"), (std::vector<std::wstring>{L"Lamp:1", L"Lamp:3"}));
    EXPECT_TRUE(Names(L"//Switch").empty());

    std::vector<std::unique_ptr<XmlNode>> nodes;
    EXPECT_FALSE(document_->SelectNodes(L"//Lamp[@id='it's']", nodes));
    EXPECT_TRUE(nodes.empty());
    EXPECT_EQ(document_->SelectSingleNode(L"//Lamp[@id='it's']"), nullptr);
    EXPECT_EQ(document_->SelectSingleNode(L"//Switch"), nullptr);

    std::unique_ptr<XmlNode> root = document_->DocumentElement();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetName(), L"Tally");
    std::unique_ptr<XmlNode> group = root->SelectSingleNode(L"Group");
    ASSERT_NE(group, nullptr);
    ASSERT_TRUE(group->SelectNodes(L"Lamp", nodes));  // relative to the node
    ASSERT_EQ(nodes.size(), 1u);

    std::unique_ptr<XmlNode> first = document_->SelectSingleNode(L"//Lamp");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetText(), L"Gear up");  // inner space kept
    std::wstring value = L"unchanged";
    EXPECT_TRUE(first->GetAttribute(L"Colour", value));
    EXPECT_EQ(value, L"red");
    EXPECT_FALSE(first->GetAttribute(L"colour", value));  // names are case-sensitive
    EXPECT_FALSE(first->HasAttribute(L"Missing"));
    EXPECT_TRUE(nodes[0]->SetAttribute(L"Colour", L"amber"));
    EXPECT_TRUE(nodes[0]->HasAttribute(L"Colour"));
    EXPECT_EQ(Names(L"//Lamp[@Colour='amber']"), (std::vector<std::wstring>{L"Lamp:2"}));

    // Text nodes are nodes but not elements.
    std::unique_ptr<XmlNode> text = document_->SelectSingleNode(L"//Lamp/text()");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetName(), L"#text");
    EXPECT_EQ(text->GetText(), L"Gear");  // ends trimmed
    EXPECT_FALSE(text->SetAttribute(L"a", L"b"));
    EXPECT_FALSE(text->HasAttribute(L"a"));
}

TEST_F(XmlDom, BuildSaveAndLoadBack) {
    const std::wstring folder = MakeTempFolder("xmldom-save");
    const std::wstring path = av::platform::JoinPath(folder, L"list.xml");
    ASSERT_TRUE(document_->LoadXml(L"<List>  </List>"));
    // Without a space in front of the data: Wine's MSXML writes the data as
    // given until the file is read back, pugixml normalises it at once.
    ASSERT_TRUE(document_->InsertProcessingInstructionBeforeRoot(L"xml", L"version=\"1.0\""));
    std::unique_ptr<XmlNode> root = document_->DocumentElement();
    ASSERT_NE(root, nullptr);
    std::unique_ptr<XmlNode> item = document_->CreateElement(L"Item");
    ASSERT_NE(item, nullptr);
    ASSERT_TRUE(item->SetAttribute(L"Key", L"a'b\"c&d<e \u00e9"));
    ASSERT_TRUE(root->AppendChild(*item));
    // The handle follows the element into the tree.
    ASSERT_TRUE(item->SetAttribute(L"Later", L"1"));
    ASSERT_TRUE(document_->Save(path));

    std::string bytes = ReadBytes(path);
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\r'), bytes.end());
    EXPECT_EQ(bytes,
              "<?xml version=\"1.0\"?>\n"
              "<List><Item Key=\"a'b&quot;c&amp;d&lt;e \xc3\xa9\" Later=\"1\"/></List>\n");

    std::unique_ptr<XmlDocument> again = XmlDocument::Create();
    ASSERT_NE(again, nullptr);
    ASSERT_TRUE(again->Load(path));
    std::unique_ptr<XmlNode> loaded = again->SelectSingleNode(L"/List/Item");
    ASSERT_NE(loaded, nullptr);
    std::wstring key;
    ASSERT_TRUE(loaded->GetAttribute(L"Key", key));
    EXPECT_EQ(key, L"a'b\"c&d<e \u00e9");
}

TEST_F(XmlDom, FailedLoadsLeaveAnEmptyDocument) {
    const std::wstring folder = MakeTempFolder("xmldom-load");
    EXPECT_FALSE(document_->Load(av::platform::JoinPath(folder, L"missing.xml")));
    EXPECT_EQ(document_->DocumentElement(), nullptr);
    EXPECT_FALSE(document_->InsertProcessingInstructionBeforeRoot(L"xml", L" version=\"1.0\""));

    ASSERT_TRUE(document_->LoadXml(L"<a/>"));
    EXPECT_FALSE(document_->LoadXml(L"<a><b></a>"));
    EXPECT_EQ(document_->DocumentElement(), nullptr);
    EXPECT_FALSE(document_->LoadXml(L""));

    // Saving over a folder fails.
    ASSERT_TRUE(document_->LoadXml(L"<a/>"));
    EXPECT_FALSE(document_->Save(folder));
}

// A file replaced in one step keeps what the user set on it: its permission
// bits, and a read-only file is not replaced at all.
TEST(FileReplace, KeepsPermissionsAndLeavesReadOnlyFilesAlone) {
    namespace fs = std::filesystem;
    const std::wstring folder = MakeTempFolder("file-replace");
    const std::wstring target = av::platform::JoinPath(folder, L"exe.xml");
    const std::wstring source = target + L".new";
    auto write = [](const std::wstring& path, const std::string& bytes) {
        std::FILE* f = av::platform::OpenFile(path, "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    };
    write(target, "old");
    write(source, "new");
#ifndef _WIN32
    const fs::perms kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(fs::path(target), kept);
#endif
    ASSERT_TRUE(av::platform::ReplaceFileAtomically(source, target));
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_EQ(ReadBytes(source), "<missing>");
#ifndef _WIN32
    EXPECT_EQ(fs::status(fs::path(target)).permissions(), kept);
#endif

    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(fs::path(target), readOnly);
    write(source, "newer");
    EXPECT_FALSE(av::platform::ReplaceFileAtomically(source, target));
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_EQ(ReadBytes(source), "newer");
    fs::permissions(fs::path(target), fs::perms::owner_write, fs::perm_options::add);

    // A target that is not there yet.
    const std::wstring fresh = av::platform::JoinPath(folder, L"fresh.xml");
    ASSERT_TRUE(av::platform::ReplaceFileAtomically(source, fresh));
    EXPECT_EQ(ReadBytes(fresh), "newer");
}

TEST(Service, UnknownAndInvalidNamesAreNotRunning) {
    av::platform::ComInitialize();
    EXPECT_FALSE(av::platform::IsServiceRunning(nullptr));
    EXPECT_FALSE(av::platform::IsServiceRunning(L""));
    EXPECT_FALSE(av::platform::IsServiceRunning(L"AviaroNoSuchService"));
    av::platform::ComUninitialize();
}

// Run by tests/wine/e2e_service.sh with AVIARO_EXPECT_LUMIRAYD set to
// "running" or "stopped" around starting and stopping the stand-in service.
TEST(Service, LumiraydAsTheScriptExpects) {
    const char* expected = std::getenv("AVIARO_EXPECT_LUMIRAYD");
    if (expected == nullptr) GTEST_SKIP() << "AVIARO_EXPECT_LUMIRAYD is not set";
    EXPECT_EQ(av::platform::IsServiceRunning(L"Lumirayd"), std::string(expected) == "running");
}

#if !defined(_WIN32)
TEST(Service, RegistryFileValueOffWindows) {
    const std::wstring file =
        av::platform::JoinPath(MakeTempFolder("service-registry"), L"registry.reg");
    setenv("AVIARO_REGISTRY", av::platform::ToUtf8(file).c_str(), 1);
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\Lumirayd";
    using av::platform::RegistryRoot;
    EXPECT_FALSE(av::platform::IsServiceRunning(L"Lumirayd"));  // no file
    ASSERT_TRUE(av::platform::WriteRegistryString(RegistryRoot::LocalMachine, key, L"Running", L"1"));
    EXPECT_FALSE(av::platform::IsServiceRunning(L"Lumirayd"));  // not a DWORD
    ASSERT_TRUE(av::platform::WriteRegistryDword(RegistryRoot::LocalMachine, key, L"Running", 1));
    EXPECT_TRUE(av::platform::IsServiceRunning(L"Lumirayd"));
    EXPECT_TRUE(av::platform::IsServiceRunning(L"LUMIRAYD"));  // names ignore case, as on Windows
    EXPECT_FALSE(av::platform::IsServiceRunning(L"Lumiray"));
    ASSERT_TRUE(av::platform::WriteRegistryDword(RegistryRoot::LocalMachine, key, L"Running", 4));
    EXPECT_FALSE(av::platform::IsServiceRunning(L"Lumirayd"));
    ASSERT_TRUE(av::platform::WriteRegistryDword(RegistryRoot::LocalMachine, key, L"Running", 0));
    EXPECT_FALSE(av::platform::IsServiceRunning(L"Lumirayd"));
    unsetenv("AVIARO_REGISTRY");
}
#endif

}  // namespace
