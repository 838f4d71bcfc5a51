#include "handle_table.h"

#include <gtest/gtest.h>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/text.h"

namespace tevo::quill {
namespace {

// A loaded file <R><Folder id="1"><Folder id="2"/></Folder><Folder id="3"/><folder id="4"/></R>
// in a fresh handle table.
class HandleTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto file =
            tevo::testing::WriteFile(dir_ / "doc.xml",
                                     "<R><Folder id=\"1\"><Folder id=\"2\"/></Folder><Folder "
                                     "id=\"3\"/><x/><folder id=\"4\"/></R>");
        auto loaded = std::make_unique<LoadedDocument>();
        ASSERT_TRUE(loaded->document.Load(win::Utf8ToWide(file.string()), loaded->options));
        document_ = &loaded->document;
        doc_ = table_.AddDocument(std::move(loaded));
        ASSERT_NE(doc_, 0UL);
    }

    xml::XmlNode Folder(const wchar_t* id) {
        for (xml::XmlNode n : {document_->ElementsByTagName(L"Folder").Item(0),
                               document_->ElementsByTagName(L"Folder").Item(1),
                               document_->ElementsByTagName(L"Folder").Item(2),
                               document_->ElementsByTagName(L"folder").Item(0)}) {
            if (n.GetAttribute(L"id") == id) {
                return n;
            }
        }
        return {};
    }

    tevo::testing::TempDir dir_;
    HandleTable table_;
    xml::XmlDocument* document_ = nullptr;
    Handle doc_ = 0;
};

TEST_F(HandleTableTest, HandlesAreOfOneKindAndZeroOrUnknownFindNothing) {
    const Handle node = table_.AddNode(doc_, Folder(L"1"));
    const Handle cursor = table_.AddFolderCursor(doc_, Folder(L"1"));
    const Handle list = table_.AddListCursor(doc_, {Folder(L"1")});
    EXPECT_NE(node, doc_);
    EXPECT_NE(table_.FindDocument(doc_), nullptr);
    EXPECT_NE(table_.FindNode(node), nullptr);
    EXPECT_NE(table_.FindFolderCursor(cursor), nullptr);
    EXPECT_NE(table_.FindListCursor(list), nullptr);
    EXPECT_EQ(table_.FindDocument(node), nullptr);
    EXPECT_EQ(table_.FindNode(doc_), nullptr);
    EXPECT_EQ(table_.FindNode(cursor), nullptr);
    EXPECT_EQ(table_.FindFolderCursor(list), nullptr);
    EXPECT_EQ(table_.FindDocument(0), nullptr);
    EXPECT_EQ(table_.FindNode(0xDEADBEEF), nullptr);
    EXPECT_EQ(table_.FindDocument(doc_ + (1UL << 32)), nullptr);

    table_.ReleaseNode(doc_);  // wrong kind: nothing happens
    EXPECT_NE(table_.FindDocument(doc_), nullptr);
    table_.ReleaseNode(node);
    EXPECT_EQ(table_.FindNode(node), nullptr);
}

TEST_F(HandleTableTest, ReleasingTheFileEndsEveryHandleIntoIt) {
    const Handle node = table_.AddNode(doc_, Folder(L"1"));
    const Handle cursor = table_.AddFolderCursor(doc_, Folder(L"1"));
    table_.ReleaseDocument(node);  // not a file: nothing happens
    EXPECT_EQ(table_.Size(), 3U);
    table_.ReleaseDocument(doc_);
    EXPECT_EQ(table_.Size(), 0U);
    EXPECT_EQ(table_.FindNode(node), nullptr);
    EXPECT_EQ(table_.FindFolderCursor(cursor), nullptr);
}

TEST_F(HandleTableTest, ForgettingASubtreeEndsItsHandlesAndMovesCursors) {
    const Handle outer = table_.AddNode(doc_, Folder(L"1"));
    const Handle inner = table_.AddNode(doc_, Folder(L"2"));
    const Handle other = table_.AddNode(doc_, Folder(L"3"));
    const Handle on_removed = table_.AddFolderCursor(doc_, Folder(L"1"));
    const Handle inside_removed = table_.AddFolderCursor(doc_, Folder(L"2"));
    const Handle list = table_.AddListCursor(doc_, {Folder(L"1"), Folder(L"2"), Folder(L"3")});
    table_.FindListCursor(list)->next = 2;  // 1 and 2 were handed out

    table_.ForgetSubtree(doc_, Folder(L"1"));

    EXPECT_EQ(table_.FindNode(outer), nullptr);
    EXPECT_EQ(table_.FindNode(inner), nullptr);
    EXPECT_NE(table_.FindNode(other), nullptr);
    EXPECT_EQ(table_.FindFolderCursor(on_removed)->current, Folder(L"3"));
    EXPECT_FALSE(table_.FindFolderCursor(inside_removed)->current);
    const ListCursor* cursor = table_.FindListCursor(list);
    ASSERT_EQ(cursor->nodes.size(), 1U);
    EXPECT_EQ(cursor->nodes[0], Folder(L"3"));
    EXPECT_EQ(cursor->next, 0U);  // 3 still comes next
}

TEST_F(HandleTableTest, CursorOnLastFolderMovesPastOtherElementsToFolderInAnyCase) {
    const Handle cursor = table_.AddFolderCursor(doc_, Folder(L"3"));
    table_.ForgetSubtree(doc_, Folder(L"3"));
    EXPECT_EQ(table_.FindFolderCursor(cursor)->current, Folder(L"4"));
}

}  // namespace
}  // namespace tevo::quill
