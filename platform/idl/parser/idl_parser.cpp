#include "idl_parser.h"

#include <utility>

#include "idl_lexer.h"

namespace tevo::idl {

namespace {

using namespace syntax;

struct ParseError {
    SourceLocation location;
    std::string message;
};

// Deepest nesting of parentheses and unary operators in an expression; deeper input is
// refused rather than allowed to exhaust the stack.
constexpr int kMaxExpressionDepth = 64;

class Parser {
  public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    File Run() {
        File file;
        while (!AtEnd()) {
            TopLevel(file);
        }
        return file;
    }

  private:
    // ---- token access ----
    const Token& Peek(std::size_t ahead = 0) const {
        const std::size_t i = pos_ + ahead;
        return i < tokens_.size() ? tokens_[i] : tokens_.back();
    }
    bool AtEnd() const { return Peek().kind == TokenKind::kEnd; }
    const Token& Next() {
        const Token& token = Peek();
        if (pos_ < tokens_.size() - 1) {
            ++pos_;
        }
        return token;
    }
    bool IsPunct(const char* text, std::size_t ahead = 0) const {
        const Token& token = Peek(ahead);
        return token.kind == TokenKind::kPunct && token.text == text;
    }
    bool IsWord(const char* text, std::size_t ahead = 0) const {
        const Token& token = Peek(ahead);
        return token.kind == TokenKind::kIdentifier && token.text == text;
    }
    bool Accept(const char* punct) {
        if (IsPunct(punct)) {
            Next();
            return true;
        }
        return false;
    }
    [[noreturn]] void Fail(const SourceLocation& at, std::string message) {
        throw ParseError{at, std::move(message)};
    }
    [[noreturn]] void Unexpected(const std::string& expected) {
        Fail(Peek().location, "expected " + expected + ", found " + Describe(Peek()));
    }
    void Expect(const char* punct) {
        if (!Accept(punct)) {
            Unexpected(std::string("'") + punct + "'");
        }
    }
    std::string ExpectIdentifier(const std::string& what) {
        if (Peek().kind != TokenKind::kIdentifier) {
            Unexpected(what);
        }
        return Next().text;
    }
    std::string ExpectString(const std::string& what) {
        if (Peek().kind != TokenKind::kString) {
            Unexpected(what);
        }
        return Next().text;
    }

    // ---- declarations ----
    void TopLevel(File& file) {
        if (Accept(";")) {
            return;
        }
        if (IsWord("import")) {
            Next();
            do {
                const SourceLocation at = Peek().location;
                file.imports.push_back(Import{at, ExpectString("a file name after 'import'")});
            } while (Accept(","));
            Expect(";");
            return;
        }
        if (CppQuote()) {
            return;
        }
        if (IsWord("importlib")) {
            Fail(Peek().location, "importlib must appear inside the library block");
        }
        Attributes attrs = OptionalAttributes();
        const Token& word = Peek();
        if (IsWord("library")) {
            if (file.library) {
                Fail(word.location, "a second library block; a file defines one library");
            }
            file.library = ParseLibrary(std::move(attrs), file);
            return;
        }
        Declaration(std::move(attrs), file);
    }

    bool CppQuote() {
        if (!IsWord("cpp_quote")) {
            return false;
        }
        Next();
        Expect("(");
        ExpectString("a string in cpp_quote");
        Expect(")");
        Accept(";");
        return true;
    }

    void Declaration(Attributes attrs, File& file) {
        const Token& word = Peek();
        if (IsWord("interface")) {
            file.declarations.emplace_back(ParseInterface(std::move(attrs)));
        } else if (IsWord("typedef")) {
            if (!attrs.empty()) {
                Fail(attrs.front().location, "attributes of a typedef go after the word 'typedef'");
            }
            file.declarations.emplace_back(ParseTypedef());
        } else if (IsWord("enum")) {
            file.declarations.emplace_back(ParsePlainEnum(std::move(attrs)));
        } else if (IsWord("coclass")) {
            file.declarations.emplace_back(ParseCoclass(std::move(attrs)));
        } else if (word.kind == TokenKind::kIdentifier &&
                   (word.text == "dispinterface" || word.text == "struct" || word.text == "union" ||
                    word.text == "module" || word.text == "const")) {
            Fail(word.location, "'" + word.text + "' declarations are not supported");
        } else {
            Unexpected("a declaration (interface, typedef enum, coclass, library)");
        }
    }

    Library ParseLibrary(Attributes attrs, File& file) {
        Library library;
        library.location = Next().location;  // 'library'
        library.attrs = std::move(attrs);
        library.name = ExpectIdentifier("a library name");
        Expect("{");
        while (!Accept("}")) {
            if (AtEnd()) {
                Unexpected("'}' closing the library");
            }
            if (Accept(";") || CppQuote()) {
                continue;
            }
            if (IsWord("importlib")) {
                const SourceLocation at = Next().location;
                Expect("(");
                library.importlibs.push_back(
                    ImportLib{at, ExpectString("a file name in importlib")});
                Expect(")");
                Expect(";");
                continue;
            }
            if (IsWord("import")) {
                Fail(Peek().location, "import belongs outside the library block");
            }
            Attributes member_attrs = OptionalAttributes();
            if (IsWord("library")) {
                Fail(Peek().location, "libraries cannot be nested");
            }
            Declaration(std::move(member_attrs), file);
        }
        Accept(";");
        return library;
    }

    Interface ParseInterface(Attributes attrs) {
        Interface itf;
        itf.location = Next().location;  // 'interface'
        itf.attrs = std::move(attrs);
        itf.name = ExpectIdentifier("an interface name");
        if (Accept(";")) {
            if (!itf.attrs.empty()) {
                Fail(itf.attrs.front().location, "a forward declaration takes no attributes");
            }
            itf.forward = true;
            return itf;
        }
        if (Accept(":")) {
            itf.base_location = Peek().location;
            itf.base = ExpectIdentifier("a base interface name");
        }
        Expect("{");
        while (!Accept("}")) {
            if (AtEnd()) {
                Unexpected("'}' closing the interface");
            }
            if (Accept(";") || CppQuote()) {
                continue;
            }
            itf.methods.push_back(ParseMethod());
        }
        Accept(";");
        return itf;
    }

    Method ParseMethod() {
        Method method;
        method.attrs = OptionalAttributes();
        method.location = Peek().location;
        method.result = ParseType();
        method.name = ExpectIdentifier("a method name");
        Expect("(");
        if (IsWord("void") && IsPunct(")", 1)) {
            Next();
        }
        if (!IsPunct(")")) {
            do {
                method.params.push_back(ParseParam());
            } while (Accept(","));
        }
        Expect(")");
        Expect(";");
        return method;
    }

    Param ParseParam() {
        Param param;
        param.location = Peek().location;
        param.attrs = OptionalAttributes();
        param.type = ParseType();
        if (Peek().kind == TokenKind::kIdentifier) {
            param.name = Next().text;
        }
        if (IsPunct("[")) {
            Fail(Peek().location, "array parameters are not supported; use SAFEARRAY");
        }
        return param;
    }

    TypeSpec ParseType() {
        TypeSpec type;
        type.location = Peek().location;
        if (Peek().kind != TokenKind::kIdentifier) {
            Unexpected("a type");
        }
        std::string word = Next().text;
        if (word == "const") {
            Fail(type.location, "'const' is not supported");
        }
        if (word == "unsigned" || word == "signed") {
            if (IsWord("char") || IsWord("short") || IsWord("long") || IsWord("int")) {
                word += " " + Next().text;
                if (word.ends_with(" long") && IsWord("int")) {
                    Next();
                }
            } else {
                word = word == "unsigned" ? "unsigned int" : "signed int";
            }
        } else if (word == "enum") {
            word += " " + ExpectIdentifier("an enumeration name after 'enum'");
        } else if (word == "struct" || word == "union") {
            Fail(type.location, "'" + word + "' types are not supported");
        } else if (word == "SAFEARRAY") {
            Expect("(");
            type.element = std::make_shared<TypeSpec>(ParseType());
            Expect(")");
        } else if ((word == "long" || word == "short") && IsWord("int")) {
            Next();
        }
        type.name = word;
        while (Accept("*")) {
            ++type.pointers;
        }
        return type;
    }

    Enum ParseTypedef() {
        const SourceLocation at = Next().location;  // 'typedef'
        Attributes attrs = OptionalAttributes();
        if (!IsWord("enum")) {
            if (IsWord("struct") || IsWord("union")) {
                Fail(Peek().location, "only 'typedef enum' is supported");
            }
            Fail(Peek().location, "only 'typedef enum' is supported (aliases are not)");
        }
        Next();
        Enum result;
        result.location = at;
        result.attrs = std::move(attrs);
        if (Peek().kind == TokenKind::kIdentifier) {
            result.tag = Next().text;
        }
        EnumBody(result);
        result.name = ExpectIdentifier("the typedef name after the enumeration");
        if (IsPunct(",")) {
            Fail(Peek().location, "a typedef declares one name");
        }
        Expect(";");
        return result;
    }

    Enum ParsePlainEnum(Attributes attrs) {
        Enum result;
        result.location = Next().location;  // 'enum'
        result.attrs = std::move(attrs);
        result.tag = ExpectIdentifier("an enumeration name");
        result.name = result.tag;
        EnumBody(result);
        Expect(";");
        return result;
    }

    void EnumBody(Enum& result) {
        Expect("{");
        while (!IsPunct("}")) {
            EnumMember member;
            member.attrs = OptionalAttributes();
            member.location = Peek().location;
            member.name = ExpectIdentifier("an enumeration member name");
            if (Accept("=")) {
                member.value = ParseExpr();
            }
            result.members.push_back(std::move(member));
            if (!Accept(",")) {
                break;
            }
        }
        Expect("}");
    }

    Coclass ParseCoclass(Attributes attrs) {
        Coclass coclass;
        coclass.location = Next().location;  // 'coclass'
        coclass.attrs = std::move(attrs);
        coclass.name = ExpectIdentifier("a coclass name");
        Expect("{");
        while (!Accept("}")) {
            if (AtEnd()) {
                Unexpected("'}' closing the coclass");
            }
            CoclassMember member;
            member.attrs = OptionalAttributes();
            member.location = Peek().location;
            if (!IsWord("interface")) {
                if (IsWord("dispinterface")) {
                    Fail(Peek().location, "dispinterfaces are not supported");
                }
                Unexpected("'interface'");
            }
            Next();
            member.name = ExpectIdentifier("an interface name");
            Expect(";");
            coclass.members.push_back(std::move(member));
        }
        Accept(";");
        return coclass;
    }

    // ---- attributes ----
    Attributes OptionalAttributes() {
        Attributes attrs;
        if (!IsPunct("[")) {
            return attrs;
        }
        Next();
        do {
            Attribute attr;
            attr.location = Peek().location;
            attr.name = ExpectIdentifier("an attribute name");
            if (Accept("(")) {
                attr.has_parens = true;
                if (!IsPunct(")")) {
                    do {
                        attr.args.push_back(ParseExpr());
                    } while (Accept(","));
                }
                Expect(")");
            }
            attrs.push_back(std::move(attr));
        } while (Accept(","));
        Expect("]");
        return attrs;
    }

    // ---- expressions ----
    std::unique_ptr<Expr> ParseExpr(int depth = 0) { return Binary(0, depth); }

    static int Precedence(const Token& token) {
        if (token.kind != TokenKind::kPunct) {
            return -1;
        }
        if (token.text == "|") {
            return 0;
        }
        if (token.text == "&") {
            return 1;
        }
        if (token.text == "<<" || token.text == ">>") {
            return 2;
        }
        if (token.text == "+" || token.text == "-") {
            return 3;
        }
        return -1;
    }

    // Precedence climbing over the binary operators; the levels are fixed, so this recurses
    // at most four levels per nesting depth.
    std::unique_ptr<Expr> Binary(int level, int depth) {
        if (level > 3) {
            return Unary(depth);
        }
        std::unique_ptr<Expr> left = Binary(level + 1, depth);
        while (Precedence(Peek()) == level) {
            auto node = std::make_unique<Expr>();
            node->kind = Expr::Kind::kBinary;
            node->location = Peek().location;
            node->text = Next().text;
            node->left = std::move(left);
            node->right = Binary(level + 1, depth);
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<Expr> Unary(int depth) {
        if (depth > kMaxExpressionDepth) {
            Fail(Peek().location, "expression nested too deeply");
        }
        if (IsPunct("-") || IsPunct("+") || IsPunct("~")) {
            auto node = std::make_unique<Expr>();
            node->kind = Expr::Kind::kUnary;
            node->location = Peek().location;
            node->text = Next().text;
            node->left = Unary(depth + 1);
            return node;
        }
        if (Accept("(")) {
            std::unique_ptr<Expr> inner = ParseExpr(depth + 1);
            Expect(")");
            return inner;
        }
        auto node = std::make_unique<Expr>();
        const Token& token = Peek();
        node->location = token.location;
        switch (token.kind) {
            case TokenKind::kInteger:
                node->kind = Expr::Kind::kInteger;
                node->integer = token.integer;
                node->text = token.text;
                Next();
                break;
            case TokenKind::kFloat:
                node->kind = Expr::Kind::kFloat;
                node->real = token.real;
                node->text = token.text;
                Next();
                break;
            case TokenKind::kString:
                // Adjacent string literals join, as in C.
                node->kind = Expr::Kind::kString;
                while (Peek().kind == TokenKind::kString) {
                    node->text += Next().text;
                }
                break;
            case TokenKind::kUuid:
                node->kind = Expr::Kind::kUuid;
                node->text = Next().text;
                break;
            case TokenKind::kIdentifier:
                node->kind = Expr::Kind::kName;
                node->text = Next().text;
                break;
            default:
                Unexpected("a value");
        }
        return node;
    }

    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
};

}  // namespace

bool ParseIdl(std::string_view source, syntax::File& file, Diagnostic& error) {
    std::vector<Token> tokens;
    if (!Tokenize(source, tokens, error)) {
        return false;
    }
    try {
        file = Parser(std::move(tokens)).Run();
        return true;
    } catch (const ParseError& failure) {
        error.location = failure.location;
        error.message = failure.message;
        return false;
    }
}

}  // namespace tevo::idl
