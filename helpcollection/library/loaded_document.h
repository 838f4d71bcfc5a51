// A file loaded into memory (a collection file or the collection registry): the document,
// the name it was loaded from, used again when saving, and the options loading and saving
// share.
#pragma once

#include <memory>
#include <string>

#include "../xml/xml_document.h"
#include "../xml/xml_options.h"

namespace tevo::quill {

struct LoadedDocument {
    std::string file;
    xml::XmlOptions options;
    xml::XmlDocument document;
};

// Loads a file: 0, or QUILL_PARSE_FAILED with the last error set to the parser's report.
int LoadDocumentFile(const char* file, std::unique_ptr<LoadedDocument>* loaded);
// Replaces the file it came from with the whole document: 0, or QUILL_SAVE_FAILED with the
// file unchanged.
int SaveDocumentFile(const LoadedDocument& loaded);

// The last-error text for a parser failure: message, code, line and column in three lines,
// or "NO LAST ERROR" when the parser has nothing to report.
std::string ParserErrorText(const xml::XmlParseError& error);

}  // namespace tevo::quill
