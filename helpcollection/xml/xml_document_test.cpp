#include "xml_document.h"

#include <gtest/gtest.h>

#include <iterator>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/text.h"

namespace tevo::xml {
namespace {

using tevo::testing::ReadFile;
using tevo::testing::TempDir;
using tevo::testing::WriteFile;

std::wstring Wide(const std::filesystem::path& path) {
    return win::Utf8ToWide(path.string());
}

TEST(XmlDocumentTest, LoadsKeepsOtherNodesAndSavesWholeDocument) {
    const TempDir dir;
    const auto file = WriteFile(dir / "doc.xml",
                                "<?xml version=\"1.0\"?>\n<!-- note -->\n<Root a=\"1\">"
                                "<?pi data?><Item value=\"x\"/>text</Root>\n");
    XmlDocument document;
    XmlOptions options;
    ASSERT_TRUE(document.Load(Wide(file), options));
    EXPECT_FALSE(document.ParseError().present);
    EXPECT_EQ(document.DocumentElement().Name(), L"Root");

    ASSERT_TRUE(document.Save(Wide(dir / "copy.xml"), options));
    const std::string saved = ReadFile(dir / "copy.xml");
    for (const char* kept : {"<?xml version=\"1.0\"?>", "<!-- note -->", "<?pi data?>",
                             "<Item value=\"x\" />", "text", "a=\"1\""}) {
        EXPECT_NE(saved.find(kept), std::string::npos) << kept << " missing in\n" << saved;
    }
    // What was saved loads again into the same tree.
    XmlDocument again;
    ASSERT_TRUE(again.Load(Wide(dir / "copy.xml"), options));
    EXPECT_EQ(again.Serialize(options), saved);
}

TEST(XmlDocumentTest, PathsAreMatchedWithoutRegardToCase) {
    const TempDir dir;
    WriteFile(dir / "hhcolreg.dat", "<R/>");
    XmlDocument document;
    XmlOptions options;
    ASSERT_TRUE(document.Load(Wide(dir / "HHCOLREG.DAT"), options));
    document.DocumentElement().SetAttribute(L"v", L"2");
    ASSERT_TRUE(document.Save(Wide(dir / "HHCOLREG.DAT"), options));
    EXPECT_NE(ReadFile(dir / "hhcolreg.dat").find("v=\"2\""), std::string::npos);
    // The one file was replaced; no second file of the other spelling appeared.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(XmlDocumentTest, ParseErrorsGiveMessageCodeLineAndColumn) {
    const TempDir dir;
    // The closing tag on line 3 does not match; "é" before it counts as one column.
    const auto file = WriteFile(dir / "bad.xml", "<Root>\r\n  <A>\r\n  é</B>\r\n</Root>\r\n");
    XmlDocument document;
    XmlOptions options;
    ASSERT_FALSE(document.Load(Wide(file), options));
    const XmlParseError& error = document.ParseError();
    ASSERT_TRUE(error.present);
    EXPECT_EQ(error.message, L"Start-end tags mismatch");
    EXPECT_EQ(error.code, pugi::status_end_element_mismatch);
    EXPECT_EQ(error.line, 3);
    EXPECT_EQ(error.column, 6);
    EXPECT_FALSE(document.DocumentElement());
}

TEST(XmlDocumentTest, Utf16FileLoadsAndIsSavedInUtf16) {
    const TempDir dir;
    std::string bytes = "\xFF\xFE";
    for (const char c : std::string("<R>\n<X></Y></R>")) {
        bytes += c;
        bytes += '\0';
    }
    const auto bad = WriteFile(dir / "bad16.xml", bytes);
    XmlDocument document;
    XmlOptions options;
    ASSERT_FALSE(document.Load(Wide(bad), options));
    EXPECT_EQ(document.ParseError().line, 2);
    EXPECT_EQ(document.ParseError().column, 6);

    std::string good = "\xFF\xFE";
    for (const wchar_t c : std::wstring(L"<R t=\"\u00e9\"/>")) {
        good += static_cast<char>(c & 0xFF);
        good += static_cast<char>(c >> 8);
    }
    const auto file = WriteFile(dir / "good16.xml", good);
    ASSERT_TRUE(document.Load(Wide(file), options));
    EXPECT_EQ(document.DocumentElement().GetAttribute(L"t"), L"\u00e9");
    ASSERT_TRUE(document.Save(Wide(file), options));
    const std::string saved = ReadFile(file);
    EXPECT_EQ(saved.substr(0, 4), std::string("\xFF\xFE<\0", 4));
}

TEST(XmlDocumentTest, MissingFileAndTextWithoutElement) {
    const TempDir dir;
    XmlDocument document;
    XmlOptions options;
    ASSERT_FALSE(document.Load(Wide(dir / "none.xml"), options));
    EXPECT_TRUE(document.ParseError().present);
    EXPECT_EQ(document.ParseError().code, pugi::status_file_not_found);

    // A text without any element is a document without root element, not a parse error.
    const auto empty = WriteFile(dir / "empty.xml", "<?xml version=\"1.0\"?>\n<!-- only -->\n");
    ASSERT_TRUE(document.Load(Wide(empty), options));
    EXPECT_FALSE(document.DocumentElement());
}

TEST(XmlDocumentTest, SaveIntoMissingFolderFailsAndWritesNothing) {
    const TempDir dir;
    const auto file = WriteFile(dir / "doc.xml", "<R/>");
    XmlDocument document;
    XmlOptions options;
    ASSERT_TRUE(document.Load(Wide(file), options));
    EXPECT_FALSE(document.Save(Wide(dir / "no" / "doc.xml"), options));
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST(XmlDocumentTest, ElementsByTagNameInDocumentOrderWithNext) {
    const TempDir dir;
    const auto file = WriteFile(
        dir / "doc.xml", "<R><A n=\"1\"><A n=\"2\"/><a n=\"x\"/></A><B><A n=\"3\"/></B></R>");
    XmlDocument document;
    XmlOptions options;
    ASSERT_TRUE(document.Load(Wide(file), options));
    XmlNodeList list = document.ElementsByTagName(L"A");
    ASSERT_EQ(list.Length(), 3U);
    EXPECT_EQ(list.Item(2).GetAttribute(L"n"), L"3");
    EXPECT_FALSE(list.Item(3));
    for (const wchar_t* expected : {L"1", L"2", L"3"}) {
        EXPECT_EQ(list.NextNode().GetAttribute(L"n"), expected);
    }
    EXPECT_FALSE(list.NextNode());
    EXPECT_EQ(document.ElementsByTagName(L"Missing").Length(), 0U);
}

TEST(XmlDocumentTest, CreatedElementJoinsTheTreeOnlyWhenAppended) {
    const TempDir dir;
    const auto file = WriteFile(dir / "doc.xml", "<R/>");
    XmlDocument document;
    XmlOptions options;
    ASSERT_TRUE(document.Load(Wide(file), options));
    XmlNode created = document.CreateElement(L"New");
    created.SetAttribute(L"value", L"v");
    EXPECT_EQ(created.OwnerDocument(), &document);
    EXPECT_EQ(document.Serialize(options).find("New"), std::string::npos);

    XmlNode placed = document.DocumentElement().AppendChild(created);
    ASSERT_TRUE(placed);
    EXPECT_EQ(placed.Parent(), document.DocumentElement());
    EXPECT_EQ(placed.GetAttribute(L"value"), L"v");
    EXPECT_EQ(document.ElementsByTagName(L"New").Length(), 1U);

    XmlDocument other;
    ASSERT_TRUE(other.Load(Wide(file), options));
    EXPECT_FALSE(other.DocumentElement().AppendChild(document.CreateElement(L"Foreign")));
}

}  // namespace
}  // namespace tevo::xml
