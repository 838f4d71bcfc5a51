#include "xml_document.h"

#include <string>
#include <vector>

#include "tevo/win/files.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/sync.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"
#include "text_position.h"

namespace tevo::xml {
namespace {

// The whole content of a file, or nothing with the Windows last error set.
bool ReadWholeFile(std::wstring_view path, std::string* bytes) {
    const std::wstring name(path);
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bytes->clear();
    char buffer[65536];
    bool ok = true;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
            ok = false;
            break;
        }
        if (read == 0) {
            break;
        }
        bytes->append(buffer, read);
    }
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return ok;
}

bool StartsWithByteOrderMark(std::string_view bytes) {
    for (const std::string_view mark :
         {std::string_view("\xEF\xBB\xBF"), std::string_view("\xFF\xFE"),
          std::string_view("\xFE\xFF"), std::string_view("\0\0\xFE\xFF", 4)}) {
        if (bytes.substr(0, mark.size()) == mark) {
            return true;
        }
    }
    return false;
}

class StringWriter : public pugi::xml_writer {
  public:
    explicit StringWriter(std::string* out) : out_(out) {}
    void write(const void* data, size_t size) override {
        out_->append(static_cast<const char*>(data), size);
    }

  private:
    std::string* out_;
};

void CollectElements(const pugi::xml_node& top, const std::string& name,
                     std::vector<pugi::xml_node>* found) {
    // Depth first, parents before children: document order, without recursion so that
    // deep documents cannot exhaust the stack.
    pugi::xml_node node = top.first_child();
    while (node) {
        if (node.type() == pugi::node_element && name == node.name()) {
            found->push_back(node);
        }
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling() && node != top) {
            node = node.parent();
        }
        if (!node || node == top) {
            break;
        }
        node = node.next_sibling();
    }
}

}  // namespace

bool XmlDocument::Load(std::wstring_view path, XmlOptions& options) {
    document_.reset();
    error_ = XmlParseError{};
    std::string bytes;
    if (!ReadWholeFile(path, &bytes)) {
        const DWORD error = GetLastError();
        const bool missing = error == static_cast<DWORD>(ERROR_FILE_NOT_FOUND) ||
                             error == static_cast<DWORD>(ERROR_PATH_NOT_FOUND);
        pugi::xml_parse_result result;
        result.status = missing ? pugi::status_file_not_found : pugi::status_io_error;
        error_ = {true, win::Utf8ToWide(result.description()), static_cast<long>(result.status), 0,
                  0};
        return false;
    }
    const pugi::xml_parse_result result =
        document_.load_buffer(bytes.data(), bytes.size(), options.parse_flags, pugi::encoding_auto);
    options.encoding = result.encoding;
    options.byte_order_mark = StartsWithByteOrderMark(bytes);
    if (result || result.status == pugi::status_no_document_element) {
        return true;
    }
    const TextPosition position =
        PositionOfOffset(bytes, result.encoding, static_cast<std::size_t>(result.offset));
    error_ = {true, win::Utf8ToWide(result.description()), static_cast<long>(result.status),
              position.line, position.column};
    document_.reset();
    return false;
}

std::string XmlDocument::Serialize(const XmlOptions& options) const {
    std::string text;
    StringWriter writer(&text);
    unsigned flags = options.format_flags;
    if (options.byte_order_mark) {
        flags |= pugi::format_write_bom;
    }
    document_.save(writer, PUGIXML_TEXT("\t"), flags, options.encoding);
    return text;
}

bool XmlDocument::Save(std::wstring_view path, const XmlOptions& options) const {
    return win::WriteFileAtomically(win::WideToUtf8(path), Serialize(options));
}

XmlNode XmlDocument::DocumentElement() {
    return XmlNode(document_.document_element(), this);
}

XmlNodeList XmlDocument::ElementsByTagName(std::wstring_view name) {
    std::vector<pugi::xml_node> found;
    CollectElements(document_, win::WideToUtf8(name), &found);
    std::vector<XmlNode> nodes;
    nodes.reserve(found.size());
    for (const pugi::xml_node& node : found) {
        nodes.push_back(XmlNode(node, this));
    }
    return XmlNodeList(std::move(nodes));
}

XmlNode XmlDocument::CreateElement(std::wstring_view name) {
    pugi::xml_node element = detached_.append_child(pugi::node_element);
    element.set_name(win::WideToUtf8(name).c_str());
    return XmlNode(element, this);
}

bool XmlDocument::IsDetached(const pugi::xml_node& node) const {
    return node.root() == detached_.root();
}

}  // namespace tevo::xml
