#include "xml_node.h"

#include <gtest/gtest.h>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/text.h"
#include "xml_document.h"

namespace tevo::xml {
namespace {

class XmlNodeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto file = tevo::testing::WriteFile(dir_ / "doc.xml",
                                                   "<R><A k=\"v\">text<!--c--><B/></A><C/></R>");
        ASSERT_TRUE(document_.Load(win::Utf8ToWide(file.string()), options_));
        root_ = document_.DocumentElement();
    }

    tevo::testing::TempDir dir_;
    XmlDocument document_;
    XmlOptions options_;
    XmlNode root_;
};

TEST_F(XmlNodeTest, WalksChildrenSiblingsAndParents) {
    const XmlNode a = root_.FirstChild();
    EXPECT_EQ(a.Name(), L"A");
    EXPECT_EQ(a.Type(), XmlNodeType::kElement);
    const XmlNode text = a.FirstChild();
    EXPECT_EQ(text.Type(), XmlNodeType::kOther);
    EXPECT_EQ(text.NextSibling().Type(), XmlNodeType::kOther);  // the comment
    EXPECT_EQ(text.NextSibling().NextSibling().Name(), L"B");
    EXPECT_EQ(a.NextSibling().Name(), L"C");
    EXPECT_FALSE(a.NextSibling().NextSibling());
    EXPECT_EQ(a.Parent(), root_);
    EXPECT_EQ(root_.Parent().Type(), XmlNodeType::kOther);  // the document
    EXPECT_EQ(a.OwnerDocument(), &document_);
    EXPECT_EQ(XmlNode().Type(), XmlNodeType::kNull);
}

TEST_F(XmlNodeTest, AttributesAreReadAddedAndReplaced) {
    XmlNode a = root_.FirstChild();
    EXPECT_EQ(a.GetAttribute(L"k"), L"v");
    EXPECT_FALSE(a.GetAttribute(L"K").has_value());
    EXPECT_TRUE(a.SetAttribute(L"k", L"\u00fcber"));
    EXPECT_TRUE(a.SetAttribute(L"n", L""));
    EXPECT_EQ(a.GetAttribute(L"k"), L"\u00fcber");
    EXPECT_EQ(a.GetAttribute(L"n"), L"");
    XmlNode text = a.FirstChild();
    EXPECT_FALSE(text.SetAttribute(L"k", L"v"));
    EXPECT_FALSE(text.GetAttribute(L"k").has_value());
}

TEST_F(XmlNodeTest, AppendMovesWithinTreeAndRemoveTakesSubtree) {
    XmlNode a = root_.FirstChild();
    XmlNode c = a.NextSibling();
    // Moving C below A; moving A below its own descendant is refused.
    XmlNode moved = a.AppendChild(c);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved.Parent(), a);
    EXPECT_FALSE(a.NextSibling());
    EXPECT_FALSE(moved.AppendChild(a));

    EXPECT_FALSE(root_.RemoveChild(moved));  // not a direct child
    EXPECT_TRUE(root_.RemoveChild(a));
    EXPECT_FALSE(root_.FirstChild());
    EXPECT_EQ(document_.ElementsByTagName(L"B").Length(), 0U);
}

}  // namespace
}  // namespace tevo::xml
