// The options object that loading and saving a document share: how the file is parsed and
// how it is written back, in the encoding it was read in.
#pragma once

#include <pugixml.hpp>

namespace tevo::xml {

struct XmlOptions {
    // Everything but whitespace-only text is kept: the declaration, the document type,
    // comments and processing instructions survive a load and a save.
    unsigned parse_flags = pugi::parse_default | pugi::parse_declaration | pugi::parse_doctype |
                           pugi::parse_pi | pugi::parse_comments;
    // Saved documents are indented with one tab per level.
    unsigned format_flags = pugi::format_indent;
    // The encoding of the file that was loaded (UTF-8 for a new document); saving writes
    // the same encoding, with a byte-order mark when the file had one.
    pugi::xml_encoding encoding = pugi::encoding_utf8;
    bool byte_order_mark = false;
};

}  // namespace tevo::xml
