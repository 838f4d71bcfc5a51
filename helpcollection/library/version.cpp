// The library's version text.
#include "ansi_text.h"
#include "tevo/quill.h"

void QuillGetVersion(char* buffer) {
    if (buffer != nullptr) {
        tevo::quill::CopyWholeText("Corvel Quill Version 1.0.0 - Build 002", buffer);
    }
}
