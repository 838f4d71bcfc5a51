#include "last_error.h"

#include <utility>

#include "ansi_text.h"
#include "library_lock.h"
#include "tevo/quill.h"

namespace tevo::quill {
namespace {

std::string& Text() {
    static std::string text;
    return text;
}

}  // namespace

void SetLastErrorText(std::string text) {
    Text() = std::move(text);
}

const std::string& LastErrorText() {
    return Text();
}

}  // namespace tevo::quill

void QuillGetLastError(char* buffer, unsigned long size) {
    const tevo::quill::LibraryLock lock;
    tevo::quill::CopyTextCut(tevo::quill::LastErrorText(), buffer, size);
}
