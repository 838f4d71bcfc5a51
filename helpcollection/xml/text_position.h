// Where a parser offset lies in a text: its line and column.
#pragma once

#include <cstddef>
#include <string_view>

#include <pugixml.hpp>

namespace tevo::xml {

struct TextPosition {
    long line = 1;    // 1-based
    long column = 1;  // 1-based, in characters
};

// The position of the byte at `utf8_offset` of the UTF-8 form of `bytes`, which are in the
// given encoding (the parser works on the UTF-8 form and reports offsets into it). Lines
// end at LF, CR LF or a lone CR. An offset past the end gives the position after the text.
TextPosition PositionOfOffset(std::string_view bytes, pugi::xml_encoding encoding,
                              std::size_t utf8_offset);

}  // namespace tevo::xml
