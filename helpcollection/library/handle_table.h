// The library-owned objects behind Quill's handles: loaded files, node references (folders,
// documents) and cursors. Handle values are 32-bit and never 0; a value is not handed out
// again while it is in use. Callers hold the library lock.
//
// Node and cursor handles point into a loaded file. They end with the file's handle, and
// a removed element takes the handles of everything below it along, so that no handle
// ever reaches freed memory: such a handle is simply unknown from then on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <variant>
#include <vector>

#include "../xml/xml_node.h"
#include "loaded_document.h"

namespace tevo::quill {

using Handle = unsigned long;

// One element of a loaded file.
struct NodeRef {
    Handle document = 0;
    xml::XmlNode node;
};

// A position among sibling folders: the folder that comes next (null when exhausted).
struct FolderCursor {
    Handle document = 0;
    xml::XmlNode current;
};

// A position in a list of elements taken from a loaded file.
struct ListCursor {
    Handle document = 0;
    std::vector<xml::XmlNode> nodes;
    std::size_t next = 0;
};

class HandleTable {
  public:
    static HandleTable& Instance();

    // 0 when every handle value is taken.
    Handle AddDocument(std::unique_ptr<LoadedDocument> document);
    Handle AddNode(Handle document, xml::XmlNode node);
    Handle AddFolderCursor(Handle document, xml::XmlNode first);
    Handle AddListCursor(Handle document, std::vector<xml::XmlNode> nodes);

    // The object behind a handle; null for 0, unknown handles and handles of another kind.
    LoadedDocument* FindDocument(Handle handle);
    NodeRef* FindNode(Handle handle);
    FolderCursor* FindFolderCursor(Handle handle);
    ListCursor* FindListCursor(Handle handle);

    // Frees a loaded file and every node and cursor handle into it.
    void ReleaseDocument(Handle handle);
    // Frees a node handle.
    void ReleaseNode(Handle handle);
    // Call before `removed` leaves its document: ends the node handles of it and of
    // everything below it, takes those elements out of list cursors and moves folder
    // cursors that stand on it to the next folder after it.
    void ForgetSubtree(Handle document, const xml::XmlNode& removed);

    std::size_t Size() const { return entries_.size(); }

  private:
    using Entry = std::variant<std::unique_ptr<LoadedDocument>, NodeRef, FolderCursor, ListCursor>;

    Handle Add(Entry entry);
    template <class T>
    T* Find(Handle handle);

    std::unordered_map<Handle, Entry> entries_;
    std::uint32_t last_ = 0;
};

}  // namespace tevo::quill
