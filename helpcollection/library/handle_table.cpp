#include "handle_table.h"

#include <utility>

#include "element_search.h"

namespace tevo::quill {
namespace {

// The handle of the loaded file a node or cursor entry points into; 0 for a file itself.
template <class Entry>
Handle DocumentOf(const Entry& entry) {
    return std::visit(
        [](const auto& object) -> Handle {
            if constexpr (requires { object.document; }) {
                return object.document;
            } else {
                return 0;
            }
        },
        entry);
}

}  // namespace

HandleTable& HandleTable::Instance() {
    static HandleTable table;
    return table;
}

Handle HandleTable::Add(Entry entry) {
    // Values go round the 32-bit range, skipping 0 and those in use.
    for (std::uint64_t tries = 0; tries <= 0xFFFFFFFFULL; ++tries) {
        ++last_;
        if (last_ != 0 && !entries_.contains(last_)) {
            entries_.emplace(last_, std::move(entry));
            return last_;
        }
    }
    return 0;
}

Handle HandleTable::AddDocument(std::unique_ptr<LoadedDocument> document) {
    return Add(std::move(document));
}

Handle HandleTable::AddNode(Handle document, xml::XmlNode node) {
    return Add(NodeRef{document, node});
}

Handle HandleTable::AddFolderCursor(Handle document, xml::XmlNode first) {
    return Add(FolderCursor{document, first});
}

Handle HandleTable::AddListCursor(Handle document, std::vector<xml::XmlNode> nodes) {
    return Add(ListCursor{document, std::move(nodes), 0});
}

template <class T>
T* HandleTable::Find(Handle handle) {
    const auto found = entries_.find(handle);
    if (found == entries_.end()) {
        return nullptr;
    }
    return std::get_if<T>(&found->second);
}

LoadedDocument* HandleTable::FindDocument(Handle handle) {
    auto* document = Find<std::unique_ptr<LoadedDocument>>(handle);
    return document == nullptr ? nullptr : document->get();
}

NodeRef* HandleTable::FindNode(Handle handle) {
    return Find<NodeRef>(handle);
}

FolderCursor* HandleTable::FindFolderCursor(Handle handle) {
    return Find<FolderCursor>(handle);
}

ListCursor* HandleTable::FindListCursor(Handle handle) {
    return Find<ListCursor>(handle);
}

void HandleTable::ReleaseDocument(Handle handle) {
    if (FindDocument(handle) == nullptr) {
        return;
    }
    std::erase_if(entries_,
                  [handle](const auto& entry) { return DocumentOf(entry.second) == handle; });
    entries_.erase(handle);
}

void HandleTable::ReleaseNode(Handle handle) {
    if (FindNode(handle) != nullptr) {
        entries_.erase(handle);
    }
}

void HandleTable::ForgetSubtree(Handle document, const xml::XmlNode& removed) {
    const xml::XmlNode next_folder = NextSiblingElementIgnoringCase(removed, L"Folder");
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (DocumentOf(it->second) != document) {
            ++it;
            continue;
        }
        if (auto* node = std::get_if<NodeRef>(&it->second)) {
            if (IsSameOrBelow(node->node, removed)) {
                it = entries_.erase(it);
                continue;
            }
        } else if (auto* cursor = std::get_if<FolderCursor>(&it->second)) {
            if (cursor->current == removed) {
                cursor->current = next_folder;
            } else if (cursor->current && IsSameOrBelow(cursor->current, removed)) {
                // Its siblings all go with the removed element.
                cursor->current = {};
            }
        } else if (auto* list = std::get_if<ListCursor>(&it->second)) {
            std::vector<xml::XmlNode> kept;
            std::size_t next = 0;
            for (std::size_t i = 0; i < list->nodes.size(); ++i) {
                if (IsSameOrBelow(list->nodes[i], removed)) {
                    continue;
                }
                if (i < list->next) {
                    ++next;
                }
                kept.push_back(list->nodes[i]);
            }
            list->nodes = std::move(kept);
            list->next = next;
        }
        ++it;
    }
}

}  // namespace tevo::quill
