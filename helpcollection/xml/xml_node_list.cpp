#include "xml_node_list.h"

namespace tevo::xml {

XmlNode XmlNodeList::Item(std::size_t index) const {
    return index < nodes_.size() ? nodes_[index] : XmlNode();
}

XmlNode XmlNodeList::NextNode() {
    if (next_ >= nodes_.size()) {
        return {};
    }
    return nodes_[next_++];
}

}  // namespace tevo::xml
