// The documents registered in the collection registry: walking, finding, adding and
// removing them, and their values.
#include <string>
#include <vector>

#include "../library/ansi_text.h"
#include "../library/element_search.h"
#include "../library/handle_table.h"
#include "../library/library_lock.h"
#include "../xml/xml_document.h"
#include "tevo/quill.h"

namespace {

using tevo::quill::HandleTable;
using tevo::quill::LibraryLock;
using tevo::xml::XmlNode;

constexpr const wchar_t* kDocCompilation = L"DocCompilation";
constexpr const wchar_t* kLocationHistory = L"LocationHistory";

// Where a value of a document is kept: its element, and whether that lies below
// LocationHistory; whether it may be set.
struct DocValuePlace {
    const wchar_t* element = nullptr;
    bool in_location_history = false;
    bool settable = false;
};

const DocValuePlace* PlaceOf(long which) {
    static const DocValuePlace places[] = {
        {L"TitleLocation", true, true},    {L"IndexLocation", true, true},
        {L"DocCompLanguage", false, true}, {L"ColNum", true, true},
        {L"LocationRef", true, true},      {L"DocCompId", false, false},
    };
    if (which < QUILL_DOC_TITLE_LOCATION || which > QUILL_DOC_ID) {
        return nullptr;
    }
    return &places[which - 1];
}

// The first DocCompilation anywhere in the document whose DocCompId value is `id`.
XmlNode FindDocElement(tevo::quill::LoadedDocument& registry, const std::wstring& id) {
    tevo::xml::XmlNodeList docs = registry.document.ElementsByTagName(kDocCompilation);
    for (XmlNode doc = docs.NextNode(); doc; doc = docs.NextNode()) {
        const XmlNode doc_id = tevo::quill::FindChildElement(doc, L"DocCompId");
        if (doc_id && tevo::quill::ValueOf(doc_id) == id) {
            return doc;
        }
    }
    return {};
}

}  // namespace

int QuillEnumDocCompilations(unsigned long registry, unsigned long* cursor) {
    const LibraryLock lock;
    tevo::quill::LoadedDocument* loaded = HandleTable::Instance().FindDocument(registry);
    if (loaded == nullptr || cursor == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    const tevo::xml::XmlNodeList docs = loaded->document.ElementsByTagName(kDocCompilation);
    std::vector<XmlNode> nodes;
    nodes.reserve(docs.Length());
    for (std::size_t i = 0; i < docs.Length(); ++i) {
        nodes.push_back(docs.Item(i));
    }
    *cursor = HandleTable::Instance().AddListCursor(registry, std::move(nodes));
    return QUILL_OK;
}

int QuillNextDocCompilation(unsigned long cursor, unsigned long* doc) {
    const LibraryLock lock;
    tevo::quill::ListCursor* list = HandleTable::Instance().FindListCursor(cursor);
    if (list == nullptr || doc == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    if (list->next >= list->nodes.size()) {
        return QUILL_NOT_FOUND;
    }
    const XmlNode next = list->nodes[list->next++];
    const tevo::quill::Handle document = list->document;
    *doc = HandleTable::Instance().AddNode(document, next);
    return QUILL_OK;
}

int QuillFindDoc(unsigned long registry, const char* id, unsigned long* doc) {
    const LibraryLock lock;
    tevo::quill::LoadedDocument* loaded = HandleTable::Instance().FindDocument(registry);
    if (loaded == nullptr || id == nullptr || doc == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    const XmlNode found = FindDocElement(*loaded, tevo::quill::AnsiToWide(id));
    if (!found) {
        return QUILL_NOT_FOUND;
    }
    *doc = HandleTable::Instance().AddNode(registry, found);
    return QUILL_OK;
}

int QuillAddDoc(unsigned long registry, const char* id, unsigned long* doc) {
    const LibraryLock lock;
    tevo::quill::LoadedDocument* loaded = HandleTable::Instance().FindDocument(registry);
    if (loaded == nullptr || id == nullptr || doc == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    const std::wstring wide_id = tevo::quill::AnsiToWide(id);
    XmlNode found = FindDocElement(*loaded, wide_id);
    if (!found) {
        XmlNode docs =
            tevo::quill::FindChildElement(loaded->document.DocumentElement(), L"DocCompilations");
        if (!docs) {
            return QUILL_WRONG_STRUCTURE;
        }
        found = docs.AppendChild(loaded->document.CreateElement(kDocCompilation));
        const XmlNode doc_id =
            found ? tevo::quill::FindOrCreateChildElement(found, L"DocCompId") : XmlNode();
        if (!doc_id || !tevo::quill::SetValue(doc_id, wide_id)) {
            if (found) {
                docs.RemoveChild(found);
            }
            return QUILL_WRONG_STRUCTURE;
        }
    }
    *doc = HandleTable::Instance().AddNode(registry, found);
    return QUILL_OK;
}

int QuillRemoveDoc(unsigned long doc) {
    const LibraryLock lock;
    const tevo::quill::NodeRef* node = HandleTable::Instance().FindNode(doc);
    if (node == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    // Copies: forgetting the subtree ends this handle too.
    const tevo::quill::Handle document = node->document;
    const XmlNode removed = node->node;
    XmlNode parent = removed.Parent();
    if (!parent) {
        return QUILL_NOT_FOUND;
    }
    HandleTable::Instance().ForgetSubtree(document, removed);
    parent.RemoveChild(removed);
    return QUILL_OK;
}

int QuillGetDocValue(unsigned long doc, long which, char* value) {
    const LibraryLock lock;
    const tevo::quill::NodeRef* node = HandleTable::Instance().FindNode(doc);
    if (node == nullptr || value == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    const DocValuePlace* place = PlaceOf(which);
    if (place == nullptr) {
        return QUILL_NOT_FOUND;
    }
    XmlNode holder = node->node;
    if (place->in_location_history) {
        holder = tevo::quill::FindChildElement(holder, kLocationHistory);
    }
    const XmlNode element = tevo::quill::FindChildElement(holder, place->element);
    const auto text = element ? tevo::quill::ValueOf(element) : std::nullopt;
    if (!text) {
        return QUILL_NOT_FOUND;
    }
    tevo::quill::CopyWholeText(tevo::quill::WideToAnsi(*text), value);
    return QUILL_OK;
}

int QuillSetDocValue(unsigned long doc, long which, char* value) {
    const LibraryLock lock;
    const tevo::quill::NodeRef* node = HandleTable::Instance().FindNode(doc);
    if (node == nullptr || value == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    const DocValuePlace* place = PlaceOf(which);
    if (place == nullptr || !place->settable) {
        return QUILL_NOT_FOUND;
    }
    XmlNode holder = node->node;
    if (place->in_location_history) {
        holder = tevo::quill::FindOrCreateChildElement(holder, kLocationHistory);
    }
    const XmlNode element =
        holder ? tevo::quill::FindOrCreateChildElement(holder, place->element) : XmlNode();
    if (!element || !tevo::quill::SetValue(element, tevo::quill::AnsiToWide(value))) {
        return QUILL_NOT_FOUND;
    }
    return QUILL_OK;
}

void QuillCloseDoc(unsigned long doc) {
    const LibraryLock lock;
    HandleTable::Instance().ReleaseNode(doc);
}
