// An XML document over pugixml: parsed from a file, written back to a file, with its root
// element, the elements of a name anywhere in it and new elements made for it.
//
// Paths are wide strings and go through the platform's file functions, so they are
// resolved as Windows paths are (without regard to letter case when the exact name does
// not exist). Saving replaces the file atomically: a crash or a full disk leaves the old
// file or the new one, never a part of either.
#pragma once

#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "xml_node.h"
#include "xml_node_list.h"
#include "xml_options.h"

namespace tevo::xml {

// What the parser reports about its last failure. `present` is false when it has nothing
// to report (no failure yet, or a failure that was not the parser's).
struct XmlParseError {
    bool present = false;
    std::wstring message;
    long code = 0;
    long line = 0;    // 1-based; 0 when the failure has no place in the text
    long column = 0;  // 1-based, in characters
};

class XmlDocument {
  public:
    XmlDocument() = default;
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Parses the file into this document, replacing what it held. The options give the parse
    // flags, and receive the encoding found. A text with no element at all loads as a
    // document without root element. On failure the document is empty and ParseError()
    // tells why.
    bool Load(std::wstring_view path, XmlOptions& options);
    const XmlParseError& ParseError() const { return error_; }

    // The document as text, as Save writes it.
    std::string Serialize(const XmlOptions& options) const;
    // Writes the whole document to the file; false with the Windows last error set when the
    // file cannot be replaced (it is then unchanged).
    bool Save(std::wstring_view path, const XmlOptions& options) const;

    // The root element; null when there is none.
    XmlNode DocumentElement();
    // Every element of that name (compared exactly) anywhere in the document, in document
    // order.
    XmlNodeList ElementsByTagName(std::wstring_view name);
    // A new element that belongs to this document but is not yet part of its tree; place it
    // with XmlNode::AppendChild.
    XmlNode CreateElement(std::wstring_view name);

  private:
    friend class XmlNode;
    bool IsDetached(const pugi::xml_node& node) const;

    pugi::xml_document document_;
    // Elements made by CreateElement wait here until they are appended.
    pugi::xml_document detached_;
    XmlParseError error_;
};

}  // namespace tevo::xml
