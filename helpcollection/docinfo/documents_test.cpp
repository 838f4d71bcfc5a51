#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "help_fixtures.h"
#include "tevo/quill.h"

namespace tevo::quill {
namespace {

// The fixture registry, opened by name.
class DocumentsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        files_ = testing::SetUpHelpFiles();
        ASSERT_EQ(QuillOpenDocInfo(files_.registry.c_str(), &registry_), QUILL_OK);
    }
    void TearDown() override { QuillCloseDocInfo(registry_); }

    unsigned long Find(const char* id) {
        unsigned long doc = 0;
        EXPECT_EQ(QuillFindDoc(registry_, id, &doc), QUILL_OK) << id;
        return doc;
    }

    static std::string Value(unsigned long doc, long which) {
        char value[256] = "";
        const int result = QuillGetDocValue(doc, which, value);
        return result == QUILL_OK ? value : "<" + std::to_string(result) + ">";
    }

    std::vector<std::string> SavedIds() {
        EXPECT_EQ(QuillSaveDocInfo(registry_), QUILL_OK);
        return testing::DocIds(files_.registry);
    }

    testing::HelpFiles files_;
    unsigned long registry_ = 0;
};

TEST_F(DocumentsTest, EnumerationYieldsEveryDocumentInOrderAndSurvivesRemoval) {
    unsigned long cursor = 0;
    ASSERT_EQ(QuillEnumDocCompilations(registry_, &cursor), QUILL_OK);
    unsigned long first = 0;
    ASSERT_EQ(QuillNextDocCompilation(cursor, &first), QUILL_OK);
    EXPECT_EQ(Value(first, QUILL_DOC_ID), "analyzer-guide");
    // Removing documents ahead of the cursor takes them out of its list.
    EXPECT_EQ(QuillRemoveDoc(Find("sweep-reference")), QUILL_OK);
    std::vector<std::string> rest;
    unsigned long doc = 0;
    while (QuillNextDocCompilation(cursor, &doc) == QUILL_OK) {
        rest.push_back(Value(doc, QUILL_DOC_ID));
        EXPECT_EQ(QuillRemoveDoc(doc), QUILL_OK);
    }
    EXPECT_EQ(rest, std::vector<std::string>{"bare-entry"});
    EXPECT_EQ(QuillNextDocCompilation(cursor, &doc), QUILL_NOT_FOUND);
    EXPECT_EQ(SavedIds(), std::vector<std::string>{"analyzer-guide"});
}

TEST_F(DocumentsTest, FindMatchesTheIdentifierExactly) {
    EXPECT_EQ(Value(Find("bare-entry"), QUILL_DOC_ID), "bare-entry");
    unsigned long doc = 31;
    EXPECT_EQ(QuillFindDoc(registry_, "Bare-Entry", &doc), QUILL_NOT_FOUND);
    EXPECT_EQ(QuillFindDoc(registry_, "bare", &doc), QUILL_NOT_FOUND);
    EXPECT_EQ(doc, 31UL);
}

TEST_F(DocumentsTest, AddReturnsAnExistingDocumentOrAppendsANewOne) {
    unsigned long doc = 0;
    ASSERT_EQ(QuillAddDoc(registry_, "sweep-reference", &doc), QUILL_OK);
    EXPECT_EQ(Value(doc, QUILL_DOC_LANGUAGE), "1031");
    ASSERT_EQ(QuillAddDoc(registry_, "new-doc", &doc), QUILL_OK);
    EXPECT_EQ(Value(doc, QUILL_DOC_ID), "new-doc");
    EXPECT_EQ(SavedIds(), (std::vector<std::string>{"analyzer-guide", "sweep-reference",
                                                    "bare-entry", "new-doc"}));

    const auto other = testing::WindowsHelpDirectory() / "nodocs.dat";
    testing::PutFile(other, "<R><Collections/></R>");
    unsigned long registry = 0;
    ASSERT_EQ(QuillOpenDocInfo(other.c_str(), &registry), QUILL_OK);
    EXPECT_EQ(QuillAddDoc(registry, "new-doc", &doc), QUILL_WRONG_STRUCTURE);
    QuillCloseDocInfo(registry);
}

TEST_F(DocumentsTest, ValuesByIdentifier) {
    const unsigned long doc = Find("analyzer-guide");
    EXPECT_EQ(Value(doc, QUILL_DOC_TITLE_LOCATION), "C:\\Help\\analyzer.chm");
    EXPECT_EQ(Value(doc, QUILL_DOC_INDEX_LOCATION), "C:\\Help\\analyzer.chi");
    EXPECT_EQ(Value(doc, QUILL_DOC_LANGUAGE), "1033");
    EXPECT_EQ(Value(doc, QUILL_DOC_COLLECTION_NUMBER), "7");
    EXPECT_EQ(Value(doc, QUILL_DOC_LOCATION_REF), "Samples-Local");
    EXPECT_EQ(Value(doc, 0), "<5>");
    EXPECT_EQ(Value(doc, 7), "<5>");
    EXPECT_EQ(Value(Find("sweep-reference"), QUILL_DOC_INDEX_LOCATION), "<5>");
    EXPECT_EQ(Value(Find("bare-entry"), QUILL_DOC_TITLE_LOCATION), "<5>");
}

TEST_F(DocumentsTest, SetCreatesMissingElementsButNeverTheIdentifier) {
    const unsigned long doc = Find("bare-entry");
    char number[] = "12";
    char language[] = "1036";
    char id[] = "renamed";
    EXPECT_EQ(QuillSetDocValue(doc, QUILL_DOC_COLLECTION_NUMBER, number), QUILL_OK);
    EXPECT_EQ(QuillSetDocValue(doc, QUILL_DOC_LANGUAGE, language), QUILL_OK);
    EXPECT_EQ(QuillSetDocValue(doc, QUILL_DOC_ID, id), QUILL_NOT_FOUND);
    EXPECT_EQ(QuillSetDocValue(doc, 9, id), QUILL_NOT_FOUND);
    EXPECT_EQ(QuillSetDocValue(doc, QUILL_DOC_LANGUAGE, nullptr), QUILL_INVALID_ARGUMENT);
    ASSERT_EQ(QuillSaveDocInfo(registry_), QUILL_OK);
    EXPECT_EQ(testing::DocValue(files_.registry, "bare-entry", "LocationHistory/ColNum"), "12");
    EXPECT_EQ(testing::DocValue(files_.registry, "bare-entry", "DocCompLanguage"), "1036");
    EXPECT_EQ(testing::DocValue(files_.registry, "bare-entry", "DocCompId"), "bare-entry");
}

TEST_F(DocumentsTest, RemovedAndClosedDocumentsAreRefused) {
    EXPECT_EQ(QuillRemoveDoc(0), QUILL_INVALID_ARGUMENT);
    const unsigned long doc = Find("analyzer-guide");
    const unsigned long same = Find("analyzer-guide");
    const unsigned long other = Find("bare-entry");
    EXPECT_EQ(QuillRemoveDoc(doc), QUILL_OK);
    EXPECT_EQ(QuillRemoveDoc(same), QUILL_INVALID_ARGUMENT);
    EXPECT_EQ(Value(same, QUILL_DOC_ID), "<6>");
    EXPECT_EQ(Value(other, QUILL_DOC_ID), "bare-entry");
    QuillCloseDoc(other);
    QuillCloseDoc(other);
    QuillCloseDoc(registry_);  // not a document: the registry stays open
    EXPECT_EQ(Value(other, QUILL_DOC_ID), "<6>");
    EXPECT_EQ(SavedIds(), (std::vector<std::string>{"sweep-reference", "bare-entry"}));
}

}  // namespace
}  // namespace tevo::quill
