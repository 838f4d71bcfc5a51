#include "element_search.h"

#include "../xml/xml_document.h"
#include "tevo/win/files.h"
#include "tevo/win/text.h"

namespace tevo::quill {

bool IsElementNamed(const xml::XmlNode& node, std::wstring_view name) {
    return node.Type() == xml::XmlNodeType::kElement && node.Name() == name;
}

bool IsElementNamedIgnoringCase(const xml::XmlNode& node, std::wstring_view name) {
    return node.Type() == xml::XmlNodeType::kElement &&
           win::NamesEqualIgnoringCase(win::WideToUtf8(node.Name()), win::WideToUtf8(name));
}

xml::XmlNode FindChildElement(const xml::XmlNode& parent, std::wstring_view name) {
    for (xml::XmlNode child = parent.FirstChild(); child; child = child.NextSibling()) {
        if (IsElementNamed(child, name)) {
            return child;
        }
    }
    return {};
}

xml::XmlNode FindChildElementIgnoringCase(const xml::XmlNode& parent, std::wstring_view name) {
    for (xml::XmlNode child = parent.FirstChild(); child; child = child.NextSibling()) {
        if (IsElementNamedIgnoringCase(child, name)) {
            return child;
        }
    }
    return {};
}

xml::XmlNode NextSiblingElementIgnoringCase(const xml::XmlNode& node, std::wstring_view name) {
    for (xml::XmlNode sibling = node.NextSibling(); sibling; sibling = sibling.NextSibling()) {
        if (IsElementNamedIgnoringCase(sibling, name)) {
            return sibling;
        }
    }
    return {};
}

xml::XmlNode FindOrCreateChildElement(xml::XmlNode parent, std::wstring_view name) {
    const xml::XmlNode found = FindChildElement(parent, name);
    if (found || parent.OwnerDocument() == nullptr) {
        return found;
    }
    return parent.AppendChild(parent.OwnerDocument()->CreateElement(name));
}

std::optional<std::wstring> ValueOf(const xml::XmlNode& element) {
    return element.GetAttribute(L"value");
}

bool SetValue(xml::XmlNode element, std::wstring_view value) {
    return element.SetAttribute(L"value", value);
}

bool IsSameOrBelow(const xml::XmlNode& node, const xml::XmlNode& top) {
    for (xml::XmlNode at = node; at; at = at.Parent()) {
        if (at == top) {
            return true;
        }
    }
    return false;
}

}  // namespace tevo::quill
