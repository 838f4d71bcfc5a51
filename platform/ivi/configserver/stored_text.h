// What text the store can hold. The store is an XML 1.0 document, and XML 1.0 cannot carry
// the C0 control characters other than tab, LF and CR (not even as character references),
// the noncharacters U+FFFE and U+FFFF, or anything that is not a Unicode scalar value. Wide
// text on this platform holds code points, so a surrogate is never part of a character;
// letting any of these through would either make the whole file unreadable to XML parsers
// or turn the text into U+FFFD on the way out, where two different names then collide.
#pragma once

#include <string>
#include <string_view>

namespace tevo::ivi::config {

enum class TextKind {
    // Descriptions, values, paths: any character XML 1.0 can hold.
    kFreeText,
    // Names and other keys (Name, RCName, MapTo, a published API's Type): no control
    // character at all. A name is looked up by exact comparison and shown one per line;
    // a tab or line break in it would be invisible or break the listing, and XML line-end
    // handling reads a stored CR back as LF, so such a name would not even survive a
    // save and reload.
    kName,
};

// Empty when `text` can be stored as `kind`; otherwise why not, naming the first character
// that cannot be stored ("U+0001 at position 3 is a control character, which names cannot
// hold").
std::wstring StoredTextProblem(std::wstring_view text, TextKind kind);

}  // namespace tevo::ivi::config
