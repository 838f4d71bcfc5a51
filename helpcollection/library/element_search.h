// Look-ups among the elements of a loaded file. "Below" a node means among its direct
// children; names are compared exactly unless a function says otherwise. Every value of the
// files is held in an attribute named "value".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "../xml/xml_node.h"

namespace tevo::quill {

bool IsElementNamed(const xml::XmlNode& node, std::wstring_view name);
// Compared without regard to letter case, as Windows compares file names.
bool IsElementNamedIgnoringCase(const xml::XmlNode& node, std::wstring_view name);

// The first direct child element of that name; null when there is none.
xml::XmlNode FindChildElement(const xml::XmlNode& parent, std::wstring_view name);
xml::XmlNode FindChildElementIgnoringCase(const xml::XmlNode& parent, std::wstring_view name);
// The first following sibling element of that name, without regard to case.
xml::XmlNode NextSiblingElementIgnoringCase(const xml::XmlNode& node, std::wstring_view name);
// Finds the child element, or creates it as the parent's last child.
xml::XmlNode FindOrCreateChildElement(xml::XmlNode parent, std::wstring_view name);

// The "value" attribute of an element; nothing when it has none.
std::optional<std::wstring> ValueOf(const xml::XmlNode& element);
bool SetValue(xml::XmlNode element, std::wstring_view value);

// Whether `node` is `top` or lies somewhere below it.
bool IsSameOrBelow(const xml::XmlNode& node, const xml::XmlNode& top);

}  // namespace tevo::quill
