// The folder tree of a collection file: walking, finding, adding and deleting folders.
#include "../library/ansi_text.h"
#include "../library/element_search.h"
#include "../library/handle_table.h"
#include "../library/library_lock.h"
#include "../xml/xml_document.h"
#include "collection_structure.h"
#include "tevo/quill.h"

namespace {

using tevo::quill::HandleTable;
using tevo::quill::LibraryLock;
using tevo::xml::XmlNode;

constexpr const wchar_t* kFolder = L"Folder";

}  // namespace

int QuillEnumCollectionRootFolders(unsigned long collection, unsigned long* cursor) {
    const LibraryLock lock;
    tevo::quill::LoadedDocument* loaded = HandleTable::Instance().FindDocument(collection);
    if (loaded == nullptr || cursor == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    XmlNode folders;
    const int found = tevo::quill::FindFoldersElement(*loaded, &folders);
    if (found != QUILL_OK) {
        return found;
    }
    const XmlNode first = tevo::quill::FindChildElementIgnoringCase(folders, kFolder);
    if (!first) {
        return QUILL_NOT_FOUND;
    }
    *cursor = HandleTable::Instance().AddFolderCursor(collection, first);
    return QUILL_OK;
}

int QuillNextCollectionFolder(unsigned long cursor, unsigned long* folder) {
    const LibraryLock lock;
    tevo::quill::FolderCursor* position = HandleTable::Instance().FindFolderCursor(cursor);
    if (position == nullptr || folder == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    if (!position->current) {
        return QUILL_NOT_FOUND;
    }
    const XmlNode current = position->current;
    position->current = tevo::quill::NextSiblingElementIgnoringCase(current, kFolder);
    *folder = HandleTable::Instance().AddNode(position->document, current);
    return QUILL_OK;
}

int QuillEnumSubFolders(unsigned long folder, unsigned long* cursor) {
    const LibraryLock lock;
    const tevo::quill::NodeRef* node = HandleTable::Instance().FindNode(folder);
    if (node == nullptr || cursor == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    const XmlNode first = tevo::quill::FindChildElement(node->node, kFolder);
    if (!first) {
        return QUILL_NOT_FOUND;
    }
    const tevo::quill::Handle document = node->document;
    *cursor = HandleTable::Instance().AddFolderCursor(document, first);
    return QUILL_OK;
}

int QuillGetFolderName(unsigned long folder, char* name) {
    const LibraryLock lock;
    const tevo::quill::NodeRef* node = HandleTable::Instance().FindNode(folder);
    if (node == nullptr || name == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    const auto title = tevo::quill::FolderTitle(node->node);
    if (!title) {
        return QUILL_NOT_FOUND;
    }
    tevo::quill::CopyWholeText(tevo::quill::WideToAnsi(*title), name);
    return QUILL_OK;
}

int QuillFindFolder(unsigned long collection, const char* title, unsigned long* folder) {
    const LibraryLock lock;
    tevo::quill::LoadedDocument* loaded = HandleTable::Instance().FindDocument(collection);
    if (loaded == nullptr || title == nullptr || folder == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    const std::wstring wanted = tevo::quill::AnsiToWide(title);
    tevo::xml::XmlNodeList folders = loaded->document.ElementsByTagName(kFolder);
    for (XmlNode candidate = folders.NextNode(); candidate; candidate = folders.NextNode()) {
        if (tevo::quill::FolderTitle(candidate) == wanted) {
            *folder = HandleTable::Instance().AddNode(collection, candidate);
            return QUILL_OK;
        }
    }
    return QUILL_NOT_FOUND;
}

int QuillFindSubFolder(unsigned long folder, const char* title, unsigned long* sub) {
    const LibraryLock lock;
    const tevo::quill::NodeRef* node = HandleTable::Instance().FindNode(folder);
    if (node == nullptr || title == nullptr || sub == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    const std::wstring wanted = tevo::quill::AnsiToWide(title);
    for (XmlNode child = node->node.FirstChild(); child; child = child.NextSibling()) {
        if (tevo::quill::IsElementNamedIgnoringCase(child, kFolder) &&
            tevo::quill::FolderTitle(child) == wanted) {
            const tevo::quill::Handle document = node->document;
            *sub = HandleTable::Instance().AddNode(document, child);
            return QUILL_OK;
        }
    }
    return QUILL_NOT_FOUND;
}

int QuillAddFolder(unsigned long collection, const char* title, unsigned long* folder) {
    const LibraryLock lock;
    tevo::quill::LoadedDocument* loaded = HandleTable::Instance().FindDocument(collection);
    if (loaded == nullptr || title == nullptr || folder == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    XmlNode folders;
    const int found = tevo::quill::FindFoldersElement(*loaded, &folders);
    if (found != QUILL_OK) {
        return found;
    }
    const XmlNode added = tevo::quill::AppendFolder(folders, tevo::quill::AnsiToWide(title));
    if (!added) {
        return QUILL_FOLDER_NOT_ADDED;
    }
    *folder = HandleTable::Instance().AddNode(collection, added);
    return QUILL_OK;
}

int QuillAddSubFolder(unsigned long folder, const char* title, unsigned long* sub) {
    const LibraryLock lock;
    const tevo::quill::NodeRef* node = HandleTable::Instance().FindNode(folder);
    if (node == nullptr || title == nullptr || sub == nullptr) {
        return QUILL_INVALID_ARGUMENT;
    }
    const tevo::quill::Handle document = node->document;
    const XmlNode added = tevo::quill::AppendFolder(node->node, tevo::quill::AnsiToWide(title));
    if (!added) {
        return QUILL_FOLDER_NOT_ADDED;
    }
    *sub = HandleTable::Instance().AddNode(document, added);
    return QUILL_OK;
}

void QuillDeleteFolder(unsigned long folder) {
    const LibraryLock lock;
    const tevo::quill::NodeRef* node = HandleTable::Instance().FindNode(folder);
    if (node == nullptr) {
        return;
    }
    // Copies: forgetting the subtree ends this handle too.
    const tevo::quill::Handle document = node->document;
    const XmlNode removed = node->node;
    XmlNode parent = removed.Parent();
    if (!parent) {
        return;
    }
    HandleTable::Instance().ForgetSubtree(document, removed);
    parent.RemoveChild(removed);
}
