// Finding the collection registry file that lists the default collection.
#pragma once

#include <string>

#include "../library/handle_table.h"

namespace tevo::quill {

// Opens a registry file by name (no check of its root): 0 with a new handle; 5 with the
// last error "File does not exist" when there is no such file; 110 when it cannot be parsed.
int OpenRegistryFile(const std::string& file, Handle* registry);

// The number of the default collection in a loaded registry file (the ColNum of the
// Collection whose ColName is the default collection file name, compared without regard to
// case): 0, 5, 9 or 130, with the last-error texts of QuillGetDefaultCollectionNumber.
int ReadDefaultCollectionNumber(LoadedDocument& registry, std::string* number);

// Tries the Windows help directory's registry file, then the all-users directory's: the
// first that exists, opens and yields the default collection number is chosen. 0 with its
// name, the number and its open handle (released when `registry` is null);
// QUILL_NO_REGISTRY when neither qualifies.
int LocateRegistry(std::string* file, std::string* number, Handle* registry);

}  // namespace tevo::quill
