// A list of nodes taken from a document, in document order: its length, indexed access and
// a "next" position that walks it once.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "xml_node.h"

namespace tevo::xml {

class XmlNodeList {
  public:
    XmlNodeList() = default;
    explicit XmlNodeList(std::vector<XmlNode> nodes) : nodes_(std::move(nodes)) {}

    std::size_t Length() const { return nodes_.size(); }
    // The node at a position; null past the end.
    XmlNode Item(std::size_t index) const;
    // The node at the "next" position, which then moves on; null at the end.
    XmlNode NextNode();
    void Reset() { next_ = 0; }

  private:
    std::vector<XmlNode> nodes_;
    std::size_t next_ = 0;
};

}  // namespace tevo::xml
