#include "loaded_document.h"

#include <cstdio>
#include <utility>

#include "ansi_text.h"
#include "last_error.h"
#include "tevo/quill.h"

namespace tevo::quill {
namespace {

template <class... Args>
std::string Format(const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

}  // namespace

int LoadDocumentFile(const char* file, std::unique_ptr<LoadedDocument>* loaded) {
    auto document = std::make_unique<LoadedDocument>();
    document->file = file;
    if (!document->document.Load(AnsiToWide(document->file), document->options)) {
        SetLastErrorText(ParserErrorText(document->document.ParseError()));
        return QUILL_PARSE_FAILED;
    }
    *loaded = std::move(document);
    return QUILL_OK;
}

int SaveDocumentFile(const LoadedDocument& loaded) {
    return loaded.document.Save(AnsiToWide(loaded.file), loaded.options) ? QUILL_OK
                                                                         : QUILL_SAVE_FAILED;
}

std::string ParserErrorText(const xml::XmlParseError& error) {
    if (!error.present) {
        return "NO LAST ERROR";
    }
    const std::string message = WideToAnsi(error.message);
    return Format("Error Message : %s\n", message.c_str()) +
           Format("Error Code    : %ld\n", error.code) +
           Format("Error occurred near line %ld, column %ld\n", error.line, error.column);
}

}  // namespace tevo::quill
