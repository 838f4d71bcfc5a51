// The change that the help-registry writer makes over and over: many document entries added
// to the collection registry, then removed again, so that each save rewrites a large file.
#pragma once

namespace tevo::reliability {

inline constexpr int kBulkDocuments = 200;

// Adds the bulk documents to the open registry; false when Quill refused one.
bool AddBulkDocuments(unsigned long registry);
// Removes them again; false when one was missing.
bool RemoveBulkDocuments(unsigned long registry);

}  // namespace tevo::reliability
