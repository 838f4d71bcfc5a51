// The structure of a collection file: a root element named "HTMLHelpCollection" (compared
// without regard to case), below it "Folders" with the top-level folders; every "Folder"
// holds a "TitleString" whose value is its title, and may hold further folders.
#pragma once

#include <optional>
#include <string>

#include "../library/loaded_document.h"
#include "../xml/xml_node.h"

namespace tevo::quill {

// 0; or QUILL_NO_ROOT_ELEMENT with "Root element not present", or QUILL_WRONG_STRUCTURE
// with "HTMLHelpCollection root element not found".
int CheckCollectionRoot(LoadedDocument& collection);
// Checks the root and finds "Folders" below it: 0, a code of CheckCollectionRoot, or
// QUILL_WRONG_STRUCTURE with "Failed to locate Folders element".
int FindFoldersElement(LoadedDocument& collection, xml::XmlNode* folders);

// The title of a folder: the value of its TitleString; nothing when either is missing.
std::optional<std::wstring> FolderTitle(const xml::XmlNode& folder);
// Appends a new folder with that title to `parent`; null when it cannot be added.
xml::XmlNode AppendFolder(xml::XmlNode parent, const std::wstring& title);

}  // namespace tevo::quill
