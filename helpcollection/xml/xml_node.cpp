#include "xml_node.h"

#include "tevo/win/text.h"
#include "xml_document.h"

namespace tevo::xml {

XmlNodeType XmlNode::Type() const {
    if (node_.empty()) {
        return XmlNodeType::kNull;
    }
    return node_.type() == pugi::node_element ? XmlNodeType::kElement : XmlNodeType::kOther;
}

std::wstring XmlNode::Name() const {
    return win::Utf8ToWide(node_.name());
}

XmlNode XmlNode::FirstChild() const {
    return XmlNode(node_.first_child(), document_);
}

XmlNode XmlNode::NextSibling() const {
    return XmlNode(node_.next_sibling(), document_);
}

XmlNode XmlNode::Parent() const {
    return XmlNode(node_.parent(), document_);
}

XmlNode XmlNode::AppendChild(XmlNode child) {
    if (IsNull() || child.IsNull() || document_ == nullptr || child.document_ != document_) {
        return {};
    }
    if (document_->IsDetached(child.node_) && !document_->IsDetached(node_)) {
        // A new element enters the tree: it is copied in and leaves the waiting room.
        const pugi::xml_node placed = node_.append_copy(child.node_);
        if (!placed) {
            return {};
        }
        document_->detached_.remove_child(child.node_);
        return XmlNode(placed, document_);
    }
    // pugixml refuses to move a node into itself or below itself, and between trees.
    return XmlNode(node_.append_move(child.node_), document_);
}

bool XmlNode::RemoveChild(XmlNode child) {
    if (IsNull() || child.IsNull() || child.node_.parent() != node_) {
        return false;
    }
    return node_.remove_child(child.node_);
}

std::optional<std::wstring> XmlNode::GetAttribute(std::wstring_view name) const {
    if (node_.type() != pugi::node_element) {
        return std::nullopt;
    }
    const pugi::xml_attribute attribute = node_.attribute(win::WideToUtf8(name).c_str());
    if (!attribute) {
        return std::nullopt;
    }
    return win::Utf8ToWide(attribute.value());
}

bool XmlNode::SetAttribute(std::wstring_view name, std::wstring_view value) {
    if (node_.type() != pugi::node_element) {
        return false;
    }
    const std::string key = win::WideToUtf8(name);
    pugi::xml_attribute attribute = node_.attribute(key.c_str());
    if (!attribute) {
        attribute = node_.append_attribute(key.c_str());
    }
    return attribute && attribute.set_value(win::WideToUtf8(value).c_str());
}

}  // namespace tevo::xml
