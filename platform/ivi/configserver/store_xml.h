// The IVI configuration-store XML format, read and written with pugixml.
#pragma once

#include <string>
#include <string_view>

#include "config_store.h"

namespace tevo::ivi::config {

// Loads a store document into an empty store (its collections filled, its entries marked
// as members of it). False with a reason (parser message with line, or the rule broken);
// the store may then hold a part of the file and is to be cleared by the caller.
bool ReadStoreXml(std::string_view bytes, ConfigStoreObject& store, std::wstring* error);

// Checks the store for what the format cannot hold; false with the reason.
bool ValidateStore(ConfigStoreObject& store, std::wstring* error);

// The whole store as a document, with `master_location` as its MasterLocation.
std::string WriteStoreXml(ConfigStoreObject& store, const std::wstring& master_location);

}  // namespace tevo::ivi::config
