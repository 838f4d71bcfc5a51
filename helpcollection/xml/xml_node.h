// A node of a loaded document: its name and type, the way to its first child, next
// sibling, parent and owning document, appending and removing children, and the attributes
// of an element. Texts are wide strings; the document holds them as UTF-8.
//
// A node is a light reference into its document, valid while the document lives and the
// node is part of it; a removed node must not be used again.
#pragma once

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace tevo::xml {

class XmlDocument;

enum class XmlNodeType {
    kNull,     // no node at all (the end of a walk, a failed look-up)
    kElement,  // an element
    kOther,    // the document itself, text, comments, declarations and the rest
};

class XmlNode {
  public:
    XmlNode() = default;

    bool IsNull() const { return node_.empty(); }
    explicit operator bool() const { return !IsNull(); }
    bool operator==(const XmlNode& other) const { return node_ == other.node_; }

    XmlNodeType Type() const;
    // The element's name; empty for nodes without one.
    std::wstring Name() const;

    XmlNode FirstChild() const;
    XmlNode NextSibling() const;
    // The parent node; the parent of the root element is the document node (kOther).
    XmlNode Parent() const;
    XmlDocument* OwnerDocument() const { return document_; }

    // Appends `child` as this node's last child and returns it as it now sits in the tree.
    // A node made by XmlDocument::CreateElement is moved in (its old reference is spent and
    // only the returned one is used further); a node of the same tree is moved from its old
    // place. Null for a node of another document, for this node itself or one of its
    // ancestors, and when this node cannot have children.
    XmlNode AppendChild(XmlNode child);
    // Removes a direct child with everything below it; false when it is not a child.
    bool RemoveChild(XmlNode child);

    // An element's attribute; nothing when it has none of that name.
    std::optional<std::wstring> GetAttribute(std::wstring_view name) const;
    // Sets (or adds) an element's attribute; false for nodes that are not elements.
    bool SetAttribute(std::wstring_view name, std::wstring_view value);

  private:
    friend class XmlDocument;
    friend class XmlNodeList;
    XmlNode(pugi::xml_node node, XmlDocument* document) : node_(node), document_(document) {}

    pugi::xml_node node_;
    XmlDocument* document_ = nullptr;
};

}  // namespace tevo::xml
