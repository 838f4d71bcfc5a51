// The syntax tree of an IDL file as the parser reads it, before names are resolved.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tevo/idl/diagnostic.h"

namespace tevo::idl::syntax {

// A constant expression: a literal, a name, or an operator applied to sub-expressions.
struct Expr {
    enum class Kind { kInteger, kFloat, kString, kUuid, kName, kUnary, kBinary };
    Kind kind = Kind::kInteger;
    SourceLocation location;
    std::uint64_t integer = 0;
    double real = 0;
    std::string text;  // string, uuid, name, or operator ("-", "<<", ...)
    std::unique_ptr<Expr> left;
    std::unique_ptr<Expr> right;
};

struct Attribute {
    std::string name;
    SourceLocation location;
    bool has_parens = false;
    std::vector<std::unique_ptr<Expr>> args;
};
using Attributes = std::vector<Attribute>;

// A type as written: a base name ("long", "unsigned char", "SAFEARRAY", "IFoo", "enum X"),
// the element type of a SAFEARRAY, and the number of '*' after it.
struct TypeSpec {
    SourceLocation location;
    std::string name;
    std::shared_ptr<TypeSpec> element;
    int pointers = 0;
};

struct Param {
    SourceLocation location;
    Attributes attrs;
    TypeSpec type;
    std::optional<std::string> name;
};

struct Method {
    SourceLocation location;
    Attributes attrs;
    TypeSpec result;
    std::string name;
    std::vector<Param> params;
};

struct Interface {
    SourceLocation location;
    Attributes attrs;
    std::string name;
    bool forward = false;  // `interface X;`
    std::optional<std::string> base;
    SourceLocation base_location;
    std::vector<Method> methods;
};

struct EnumMember {
    SourceLocation location;
    Attributes attrs;
    std::string name;
    std::unique_ptr<Expr> value;
};

struct Enum {
    SourceLocation location;
    Attributes attrs;
    std::string tag;   // the name after `enum`, may be empty
    std::string name;  // the typedef name, or the tag for a plain `enum X {...};`
    std::vector<EnumMember> members;
};

struct CoclassMember {
    SourceLocation location;
    Attributes attrs;
    std::string name;
};

struct Coclass {
    SourceLocation location;
    Attributes attrs;
    std::string name;
    std::vector<CoclassMember> members;
};

struct ImportLib {
    SourceLocation location;
    std::string file;
};

struct Import {
    SourceLocation location;
    std::string file;
};

using Declaration = std::variant<Interface, Enum, Coclass>;

struct Library {
    SourceLocation location;
    Attributes attrs;
    std::string name;
    std::vector<ImportLib> importlibs;
};

// A whole file. Declarations appear in source order, whether written inside the library
// block or outside it.
struct File {
    std::vector<Import> imports;
    std::vector<Declaration> declarations;
    std::optional<Library> library;
};

}  // namespace tevo::idl::syntax
