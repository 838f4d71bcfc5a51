#include "collection_structure.h"

#include "../library/element_search.h"
#include "../library/last_error.h"
#include "../xml/xml_document.h"
#include "tevo/quill.h"

namespace tevo::quill {

int CheckCollectionRoot(LoadedDocument& collection) {
    const xml::XmlNode root = collection.document.DocumentElement();
    if (!root) {
        SetLastErrorText("Root element not present");
        return QUILL_NO_ROOT_ELEMENT;
    }
    if (!IsElementNamedIgnoringCase(root, L"HTMLHelpCollection")) {
        SetLastErrorText("HTMLHelpCollection root element not found");
        return QUILL_WRONG_STRUCTURE;
    }
    return QUILL_OK;
}

int FindFoldersElement(LoadedDocument& collection, xml::XmlNode* folders) {
    const int checked = CheckCollectionRoot(collection);
    if (checked != QUILL_OK) {
        return checked;
    }
    const xml::XmlNode found = FindChildElement(collection.document.DocumentElement(), L"Folders");
    if (!found) {
        SetLastErrorText("Failed to locate Folders element");
        return QUILL_WRONG_STRUCTURE;
    }
    *folders = found;
    return QUILL_OK;
}

std::optional<std::wstring> FolderTitle(const xml::XmlNode& folder) {
    const xml::XmlNode title = FindChildElement(folder, L"TitleString");
    if (!title) {
        return std::nullopt;
    }
    return ValueOf(title);
}

xml::XmlNode AppendFolder(xml::XmlNode parent, const std::wstring& title) {
    xml::XmlDocument* document = parent.OwnerDocument();
    if (document == nullptr) {
        return {};
    }
    xml::XmlNode folder = parent.AppendChild(document->CreateElement(L"Folder"));
    if (!folder) {
        return {};
    }
    xml::XmlNode title_string = folder.AppendChild(document->CreateElement(L"TitleString"));
    if (!title_string || !SetValue(title_string, title)) {
        parent.RemoveChild(folder);
        return {};
    }
    return folder;
}

}  // namespace tevo::quill
