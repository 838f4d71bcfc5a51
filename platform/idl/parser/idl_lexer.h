// Splits IDL source text into tokens: identifiers, numbers, strings (C escapes decoded),
// the raw text of uuid(...) arguments, and punctuation. Comments and blanks are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tevo/idl/diagnostic.h"

namespace tevo::idl {

enum class TokenKind { kIdentifier, kInteger, kFloat, kString, kUuid, kPunct, kEnd };

struct Token {
    TokenKind kind = TokenKind::kEnd;
    std::string text;  // identifier, decoded string, uuid text, punctuation, or number as written
    SourceLocation location;
    std::uint64_t integer = 0;
    double real = 0;
};

// Tokenises `source`. On a lexical error returns false with the position and message in
// `error` (its file name is left empty for the caller to fill).
bool Tokenize(std::string_view source, std::vector<Token>& tokens, Diagnostic& error);

// Human-readable form of a token for messages: 'name', "text", end of file.
std::string Describe(const Token& token);

}  // namespace tevo::idl
