#include "registry_location.h"

#include <memory>
#include <optional>
#include <utility>

#include "../library/ansi_text.h"
#include "../library/element_search.h"
#include "../library/last_error.h"
#include "../locations/default_collection.h"
#include "../locations/help_locations.h"
#include "tevo/quill.h"
#include "tevo/win/files.h"
#include "tevo/win/text.h"

namespace tevo::quill {

int OpenRegistryFile(const std::string& file, Handle* registry) {
    if (!PathExists(file)) {
        SetLastErrorText("File does not exist");
        return QUILL_NOT_FOUND;
    }
    std::unique_ptr<LoadedDocument> loaded;
    const int parsed = LoadDocumentFile(file.c_str(), &loaded);
    if (parsed != QUILL_OK) {
        return parsed;
    }
    *registry = HandleTable::Instance().AddDocument(std::move(loaded));
    return QUILL_OK;
}

int ReadDefaultCollectionNumber(LoadedDocument& registry, std::string* number) {
    const xml::XmlNode collections =
        FindChildElement(registry.document.DocumentElement(), L"Collections");
    if (!collections) {
        SetLastErrorText("Collections element not found under root");
        return QUILL_NOT_FOUND;
    }
    const auto default_name = DefaultCollectionFilename();
    if (!default_name) {
        SetLastErrorText("Error getting default collection");
        return QUILL_NO_COLLECTION_NAME;
    }
    const xml::XmlNode first = FindChildElement(collections, L"Collection");
    if (!first) {
        SetLastErrorText("Error locating first child collection");
        return QUILL_NOT_FOUND;
    }
    SetLastErrorText("Error locating elements in XML document");
    for (xml::XmlNode collection = first; collection; collection = collection.NextSibling()) {
        if (collection.Type() != xml::XmlNodeType::kElement) {
            continue;
        }
        const xml::XmlNode name = FindChildElement(collection, L"ColName");
        if (!name) {
            SetLastErrorText("Error locating ColName within Collection");
            continue;
        }
        const auto name_value = ValueOf(name);
        if (!name_value || !win::NamesEqualIgnoringCase(WideToAnsi(*name_value), *default_name)) {
            continue;
        }
        const xml::XmlNode collection_number = FindChildElement(collection, L"ColNum");
        const auto number_value =
            collection_number ? ValueOf(collection_number) : std::optional<std::wstring>();
        if (!number_value) {
            SetLastErrorText("Error locating ColNum within Collection");
            continue;
        }
        *number = WideToAnsi(*number_value);
        return QUILL_OK;
    }
    return QUILL_NO_REGISTRY;
}

int LocateRegistry(std::string* file, std::string* number, Handle* registry) {
    struct Candidate {
        std::optional<std::string> present_as;  // the name its presence is checked under
        std::optional<std::string> opened_as;   // the name it is opened by
    };
    const auto windows_help = WindowsHelpDirectory();
    const Candidate candidates[] = {
        {WindowsRegistryFile(),
         windows_help ? std::optional<std::string>(*windows_help + "hhcolreg.dat") : std::nullopt},
        {AllUsersRegistryFile(), AllUsersRegistryFile()},
    };
    HandleTable& handles = HandleTable::Instance();
    for (const Candidate& candidate : candidates) {
        if (!candidate.present_as || !FileExists(*candidate.present_as)) {
            continue;
        }
        Handle opened = 0;
        if (OpenRegistryFile(*candidate.opened_as, &opened) != QUILL_OK) {
            continue;
        }
        std::string found_number;
        if (ReadDefaultCollectionNumber(*handles.FindDocument(opened), &found_number) != QUILL_OK) {
            handles.ReleaseDocument(opened);
            continue;
        }
        *file = *candidate.opened_as;
        *number = found_number;
        if (registry != nullptr) {
            *registry = opened;
        } else {
            handles.ReleaseDocument(opened);
        }
        return QUILL_OK;
    }
    return QUILL_NO_REGISTRY;
}

}  // namespace tevo::quill
