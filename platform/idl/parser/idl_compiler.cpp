#include "tevo/idl/idl_compiler.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "idl_parser.h"
#include "tevo/idl/stdole2.h"
#include "tevo/idl/typelib_format.h"

namespace tevo::idl {

namespace {

namespace fs = std::filesystem;
using syntax::Attribute;
using syntax::Attributes;
using syntax::Expr;

struct CompileError {
    SourceLocation location;
    std::string message;
};

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string BaseName(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string Stem(std::string_view path) {
    std::string base = BaseName(path);
    const std::size_t dot = base.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

std::string Hex(std::int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08X",
                  static_cast<unsigned>(static_cast<std::uint32_t>(value)));
    return text;
}

// Files that `import` may name and that stand for the system's own declarations.
bool IsSystemIdl(const std::string& file) {
    static const std::set<std::string> names = {"oaidl.idl",  "ocidl.idl",  "unknwn.idl",
                                                "objidl.idl", "wtypes.idl", "oleidl.idl"};
    return names.count(Lower(BaseName(file))) != 0;
}

// Base types written by name, with the variant type they stand for.
const std::map<std::string, VarType>& BaseTypes() {
    static const std::map<std::string, VarType> types = {
        {"long", VarType::kI4},
        {"LONG", VarType::kI4},
        {"signed long", VarType::kI4},
        {"BOOL", VarType::kI4},
        {"int", VarType::kInt},
        {"INT", VarType::kInt},
        {"signed int", VarType::kInt},
        {"short", VarType::kI2},
        {"SHORT", VarType::kI2},
        {"signed short", VarType::kI2},
        {"char", VarType::kI1},
        {"CHAR", VarType::kI1},
        {"signed char", VarType::kI1},
        {"unsigned char", VarType::kUi1},
        {"UCHAR", VarType::kUi1},
        {"BYTE", VarType::kUi1},
        {"byte", VarType::kUi1},
        {"boolean", VarType::kUi1},
        {"unsigned short", VarType::kUi2},
        {"USHORT", VarType::kUi2},
        {"WORD", VarType::kUi2},
        {"unsigned long", VarType::kUi4},
        {"ULONG", VarType::kUi4},
        {"DWORD", VarType::kUi4},
        {"unsigned int", VarType::kUint},
        {"UINT", VarType::kUint},
        {"hyper", VarType::kI8},
        {"__int64", VarType::kI8},
        {"LONGLONG", VarType::kI8},
        {"unsigned hyper", VarType::kUi8},
        {"ULONGLONG", VarType::kUi8},
        {"double", VarType::kR8},
        {"DOUBLE", VarType::kR8},
        {"float", VarType::kR4},
        {"FLOAT", VarType::kR4},
        {"VARIANT_BOOL", VarType::kBool},
        {"BSTR", VarType::kBstr},
        {"HRESULT", VarType::kHresult},
        {"SCODE", VarType::kError},
        {"VARIANT", VarType::kVariant},
        {"DATE", VarType::kDate},
        {"CY", VarType::kCy},
        {"CURRENCY", VarType::kCy},
        {"DECIMAL", VarType::kDecimal},
        {"LPSTR", VarType::kLpStr},
        {"LPWSTR", VarType::kLpWStr},
        {"LPOLESTR", VarType::kLpWStr},
        {"void", VarType::kVoid},
    };
    return types;
}

// Where an interface sits in its inheritance chain.
struct InterfaceShape {
    int depth = 0;            // 0 for IUnknown, 1 for interfaces derived from it, ...
    std::uint32_t slots = 0;  // vtable slots, inherited ones included
    bool dispatch = false;    // IDispatch is in the chain
};

// A name resolved to a type of this library or of an imported one.
struct ResolvedType {
    TypeRef ref;
    TypeKind kind = TypeKind::kInterface;
};

// A constant expression's value.
struct Constant {
    enum class Kind { kInteger, kReal, kText } kind = Kind::kInteger;
    std::int64_t integer = 0;
    double real = 0;
    std::string text;
};

class Compiler {
  public:
    Compiler(const syntax::File& file, std::string file_name, const CompileOptions& options)
        : file_(file), file_name_(std::move(file_name)), options_(options) {}

    CompiledIdl Run() {
        CompiledIdl result;
        CollectLocals();
        if (file_.library) {
            result.has_library = true;
            LibraryHeader(*file_.library);
        }
        lib_.types.resize(locals_.size());
        // Enumerations first, in source order, so that member names are known to the
        // expressions that use them wherever they stand.
        for (std::size_t i = 0; i < locals_.size(); ++i) {
            if (locals_[i].enumeration != nullptr) {
                BuildEnum(i, *locals_[i].enumeration);
            }
        }
        for (std::size_t i = 0; i < locals_.size(); ++i) {
            if (locals_[i].interface != nullptr) {
                BuildInterface(i, *locals_[i].interface);
            } else if (locals_[i].coclass != nullptr) {
                BuildCoclass(i, *locals_[i].coclass);
            }
        }
        for (const syntax::Import& import : file_.imports) {
            if (!IsSystemIdl(import.file)) {
                AddInclude(result, Stem(import.file) + ".h");
            }
        }
        for (const ImportedLibrary& import : lib_.imports) {
            if (!IsStdoleFileName(import.file_name) && !(import.libid == kStdole2Libid)) {
                AddInclude(result, Stem(import.file_name) + ".h");
            }
        }
        result.library = std::move(lib_);
        return result;
    }

  private:
    struct Local {
        const syntax::Interface* interface = nullptr;
        const syntax::Enum* enumeration = nullptr;
        const syntax::Coclass* coclass = nullptr;
        TypeKind kind = TypeKind::kInterface;
        SourceLocation location;
    };

    [[noreturn]] void Fail(const SourceLocation& at, std::string message) {
        throw CompileError{at, std::move(message)};
    }

    static void AddInclude(CompiledIdl& result, const std::string& header) {
        if (std::find(result.header_includes.begin(), result.header_includes.end(), header) ==
            result.header_includes.end()) {
            result.header_includes.push_back(header);
        }
    }

    // ---- pass 1: the names this file defines ----
    void CollectLocals() {
        for (const syntax::Declaration& decl : file_.declarations) {
            Local local;
            std::string name;
            if (const auto* itf = std::get_if<syntax::Interface>(&decl)) {
                if (itf->forward) {
                    continue;
                }
                local.interface = itf;
                local.kind = TypeKind::kInterface;
                local.location = itf->location;
                name = itf->name;
            } else if (const auto* enumeration = std::get_if<syntax::Enum>(&decl)) {
                local.enumeration = enumeration;
                local.kind = TypeKind::kEnum;
                local.location = enumeration->location;
                name = enumeration->name;
            } else {
                const auto& coclass = std::get<syntax::Coclass>(decl);
                local.coclass = &coclass;
                local.kind = TypeKind::kCoclass;
                local.location = coclass.location;
                name = coclass.name;
            }
            const auto [it, inserted] = local_index_.emplace(name, locals_.size());
            if (!inserted) {
                Fail(local.location, "'" + name + "' is already defined at line " +
                                         std::to_string(locals_[it->second].location.line));
            }
            locals_.push_back(local);
        }
    }

    // ---- attributes ----
    void CheckDuplicates(const Attributes& attrs) {
        std::set<std::string> seen;
        for (const Attribute& attr : attrs) {
            if (!seen.insert(attr.name).second) {
                Fail(attr.location, "attribute '" + attr.name + "' given twice");
            }
        }
    }
    void NoArgs(const Attribute& attr) {
        if (attr.has_parens) {
            Fail(attr.location, "attribute '" + attr.name + "' takes no argument");
        }
    }
    const Expr& OneArg(const Attribute& attr) {
        if (attr.args.size() != 1) {
            Fail(attr.location, "attribute '" + attr.name + "' takes one argument");
        }
        return *attr.args.front();
    }
    std::string StringArg(const Attribute& attr) {
        const Expr& arg = OneArg(attr);
        if (arg.kind != Expr::Kind::kString) {
            Fail(arg.location, "attribute '" + attr.name + "' needs a string");
        }
        return arg.text;
    }
    std::int64_t IntArg(const Attribute& attr, std::int64_t low, std::int64_t high) {
        const Expr& arg = OneArg(attr);
        const std::int64_t value = EvalInteger(arg);
        if (value < low || value > high) {
            Fail(arg.location, "value of '" + attr.name + "' out of range");
        }
        return value;
    }
    GUID UuidArg(const Attribute& attr) {
        const Expr& arg = OneArg(attr);
        GUID guid;
        if ((arg.kind != Expr::Kind::kUuid && arg.kind != Expr::Kind::kString) ||
            !ParseGuid(arg.text, guid)) {
            Fail(arg.location, "invalid GUID in uuid(...)");
        }
        return guid;
    }
    void Version(const Attribute& attr, std::uint16_t& major, std::uint16_t& minor) {
        const Expr& arg = OneArg(attr);
        if (arg.kind != Expr::Kind::kInteger && arg.kind != Expr::Kind::kFloat) {
            Fail(arg.location, "version needs the form major.minor");
        }
        const std::size_t dot = arg.text.find('.');
        const std::string major_text = arg.text.substr(0, dot);
        const std::string minor_text = dot == std::string::npos ? "0" : arg.text.substr(dot + 1);
        auto part = [&](const std::string& text) {
            if (text.empty() || text.size() > 5 ||
                !std::all_of(text.begin(), text.end(),
                             [](char c) { return c >= '0' && c <= '9'; })) {
                Fail(arg.location, "version needs the form major.minor");
            }
            const long value = std::stol(text);
            if (value > 0xFFFF) {
                Fail(arg.location, "version number out of range");
            }
            return static_cast<std::uint16_t>(value);
        };
        major = part(major_text);
        minor = part(minor_text);
    }
    [[noreturn]] void UnknownAttribute(const Attribute& attr, const char* where) {
        Fail(attr.location, "attribute '" + attr.name + "' is not supported on " + where);
    }
    // Help string and help context, common to every kind of declaration.
    bool DocAttribute(const Attribute& attr, Documentation& doc) {
        if (attr.name == "helpstring") {
            doc.help_string = StringArg(attr);
            return true;
        }
        if (attr.name == "helpcontext") {
            doc.help_context = static_cast<std::uint32_t>(IntArg(attr, 0, 0xFFFFFFFFll));
            return true;
        }
        return false;
    }

    // ---- constant expressions ----
    std::int64_t EvalInteger(const Expr& expr, int depth = 0) {
        const Constant value = Eval(expr, depth);
        if (value.kind != Constant::Kind::kInteger) {
            Fail(expr.location, "expected an integer");
        }
        return value.integer;
    }

    Constant Eval(const Expr& expr, int depth = 0) {
        if (depth > 256) {
            Fail(expr.location, "expression nested too deeply");
        }
        Constant result;
        switch (expr.kind) {
            case Expr::Kind::kInteger:
                if (expr.integer >
                    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                    Fail(expr.location, "number too large");
                }
                result.integer = static_cast<std::int64_t>(expr.integer);
                return result;
            case Expr::Kind::kFloat:
                result.kind = Constant::Kind::kReal;
                result.real = expr.real;
                return result;
            case Expr::Kind::kString:
                result.kind = Constant::Kind::kText;
                result.text = expr.text;
                return result;
            case Expr::Kind::kUuid:
                Fail(expr.location, "a GUID is not a value here");
            case Expr::Kind::kName: {
                static const std::map<std::string, std::int64_t> builtins = {
                    {"TRUE", 1}, {"FALSE", 0}, {"VARIANT_TRUE", -1}, {"VARIANT_FALSE", 0}};
                const auto member = enum_values_.find(expr.text);
                if (member != enum_values_.end()) {
                    result.integer = member->second;
                    return result;
                }
                const auto builtin = builtins.find(expr.text);
                if (builtin != builtins.end()) {
                    result.integer = builtin->second;
                    return result;
                }
                Fail(expr.location, "unknown name '" + expr.text + "' in a constant expression");
            }
            case Expr::Kind::kUnary: {
                Constant operand = Eval(*expr.left, depth + 1);
                if (expr.text == "+") {
                    if (operand.kind == Constant::Kind::kText) {
                        Fail(expr.location, "'+' needs a number");
                    }
                    return operand;
                }
                if (operand.kind == Constant::Kind::kReal && expr.text == "-") {
                    operand.real = -operand.real;
                    return operand;
                }
                if (operand.kind != Constant::Kind::kInteger) {
                    Fail(expr.location, "'" + expr.text + "' needs an integer");
                }
                if (expr.text == "-") {
                    if (__builtin_sub_overflow(std::int64_t{0}, operand.integer, &result.integer)) {
                        Fail(expr.location, "constant overflows");
                    }
                } else {
                    result.integer = ~operand.integer;
                }
                return result;
            }
            case Expr::Kind::kBinary: {
                const std::int64_t a = EvalInteger(*expr.left, depth + 1);
                const std::int64_t b = EvalInteger(*expr.right, depth + 1);
                bool overflow = false;
                if (expr.text == "+") {
                    overflow = __builtin_add_overflow(a, b, &result.integer);
                } else if (expr.text == "-") {
                    overflow = __builtin_sub_overflow(a, b, &result.integer);
                } else if (expr.text == "|") {
                    result.integer = a | b;
                } else if (expr.text == "&") {
                    result.integer = a & b;
                } else if (expr.text == "<<" || expr.text == ">>") {
                    if (b < 0 || b > 62) {
                        Fail(expr.location, "shift count out of range");
                    }
                    if (expr.text == ">>") {
                        result.integer = a >> b;
                    } else {
                        result.integer =
                            static_cast<std::int64_t>(static_cast<std::uint64_t>(a) << b);
                        overflow = (result.integer >> b) != a;
                    }
                }
                if (overflow) {
                    Fail(expr.location, "constant overflows");
                }
                return result;
            }
        }
        Fail(expr.location, "not a constant");
    }

    // ---- imported libraries ----
    const Library* LoadLibraryFile(const std::string& file_name, const SourceLocation& at) {
        if (IsStdoleFileName(file_name)) {
            return &Stdole2();
        }
        const std::string wanted = Stem(file_name) + ".tlb";
        const std::string key = Lower(wanted);
        const auto cached = cache_.find(key);
        if (cached != cache_.end()) {
            return cached->second.get();
        }
        std::vector<fs::path> folders;
        for (const std::string& folder : options_.library_paths) {
            folders.emplace_back(folder);
        }
        const fs::path own_folder = fs::path(file_name_).parent_path();
        folders.push_back(own_folder.empty() ? fs::path(".") : own_folder);
        std::string searched;
        for (const fs::path& folder : folders) {
            searched += (searched.empty() ? "" : ", ") + folder.string();
            const fs::path found = FindInFolder(folder, wanted);
            if (found.empty()) {
                continue;
            }
            auto library = std::make_unique<Library>();
            std::string error;
            if (!ReadTypeLibFile(found.string(), *library, error)) {
                Fail(at, "cannot use imported library: " + error);
            }
            const Library* loaded = library.get();
            cache_.emplace(key, std::move(library));
            return loaded;
        }
        Fail(at,
             "cannot find " + wanted + " for \"" + file_name + "\" (searched " + searched + ")");
    }

    // The file in `folder` named `name`, matched without regard to letter case when no file
    // has the exact name; empty when there is none.
    static fs::path FindInFolder(const fs::path& folder, const std::string& name) {
        std::error_code ec;
        fs::path exact = folder / name;
        if (fs::is_regular_file(exact, ec)) {
            return exact;
        }
        const std::string lower = Lower(name);
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (Lower(it->path().filename().string()) == lower && it->is_regular_file(ec)) {
                return it->path();
            }
        }
        return {};
    }

    // The library an imported library refers to through one of its own import entries.
    const Library* LoadImportOf(const Library& owner, std::uint32_t import_index,
                                const SourceLocation& at) {
        const ImportedLibrary& import = owner.imports.at(import_index);
        if (import.libid == kStdole2Libid) {
            return &Stdole2();
        }
        return LoadLibraryFile(import.file_name, at);
    }

    // The position in `lib` of the type an import entry names: by recorded index when the
    // name still matches, else by GUID, else by name.
    static int FindImported(const Library& lib, const ImportedType& type) {
        if (type.index < lib.types.size() && lib.types[type.index].name == type.name) {
            return static_cast<int>(type.index);
        }
        if (!(type.guid == GUID_NULL)) {
            for (std::size_t i = 0; i < lib.types.size(); ++i) {
                if (lib.types[i].guid == type.guid) {
                    return static_cast<int>(i);
                }
            }
        }
        return lib.FindType(type.name);
    }

    int AddImport(const Library& imported, const std::string& file_name) {
        for (std::size_t i = 0; i < lib_.imports.size(); ++i) {
            if (lib_.imports[i].libid == imported.libid) {
                return static_cast<int>(i);
            }
        }
        ImportedLibrary entry;
        entry.libid = imported.libid;
        entry.major_version = imported.major_version;
        entry.minor_version = imported.minor_version;
        entry.lcid = imported.lcid;
        entry.name = imported.name;
        entry.file_name = file_name;
        lib_.imports.push_back(entry);
        import_models_.push_back(&imported);
        return static_cast<int>(lib_.imports.size() - 1);
    }

    void LoadImports(const syntax::Library& library) {
        for (const syntax::ImportLib& importlib : library.importlibs) {
            const Library* imported = LoadLibraryFile(importlib.file, importlib.location);
            if (imported->libid == lib_.libid) {
                Fail(importlib.location, "a library cannot import itself");
            }
            AddImport(*imported, importlib.file);
        }
    }

    TypeRef ImportedRef(std::size_t import_index, std::size_t type_index) {
        const Library& imported = *import_models_[import_index];
        for (std::size_t i = 0; i < lib_.imported_types.size(); ++i) {
            const ImportedType& known = lib_.imported_types[i];
            if (known.library == import_index && known.index == type_index) {
                return TypeRef{TypeRef::Scope::kImported, static_cast<std::uint32_t>(i)};
            }
        }
        ImportedType entry;
        entry.library = static_cast<std::uint32_t>(import_index);
        entry.index = static_cast<std::uint32_t>(type_index);
        entry.name = imported.types[type_index].name;
        entry.guid = imported.types[type_index].guid;
        entry.kind = imported.types[type_index].kind;
        lib_.imported_types.push_back(entry);
        return TypeRef{TypeRef::Scope::kImported,
                       static_cast<std::uint32_t>(lib_.imported_types.size() - 1)};
    }

    std::optional<ResolvedType> Resolve(const std::string& name) {
        const auto local = local_index_.find(name);
        if (local != local_index_.end()) {
            return ResolvedType{
                TypeRef{TypeRef::Scope::kLocal, static_cast<std::uint32_t>(local->second)},
                locals_[local->second].kind};
        }
        for (std::size_t i = 0; i < import_models_.size(); ++i) {
            const int index = import_models_[i]->FindType(name);
            if (index >= 0) {
                return ResolvedType{ImportedRef(i, static_cast<std::size_t>(index)),
                                    import_models_[i]->types[static_cast<std::size_t>(index)].kind};
            }
        }
        if (name == "IUnknown" || name == "IDispatch") {
            // Not imported explicitly: the built-in standard library is imported for it.
            const int import_index = AddImport(Stdole2(), "stdole2.tlb");
            const int index = Stdole2().FindType(name);
            return ResolvedType{ImportedRef(static_cast<std::size_t>(import_index),
                                            static_cast<std::size_t>(index)),
                                TypeKind::kInterface};
        }
        return std::nullopt;
    }

    // ---- interface shapes ----
    InterfaceShape ShapeOf(const ResolvedType& type, const SourceLocation& at) {
        if (type.ref.scope == TypeRef::Scope::kLocal) {
            return LocalShape(type.ref.index, at);
        }
        const ImportedType& imported = lib_.imported_types[type.ref.index];
        return ForeignShape(*import_models_[imported.library], imported.index, at, 0);
    }

    InterfaceShape LocalShape(std::uint32_t index, const SourceLocation& at) {
        if (shapes_.count(index) != 0) {
            return shapes_[index];
        }
        const syntax::Interface& itf = *locals_[index].interface;
        if (!shaping_.insert(index).second) {
            Fail(itf.location, "interface " + itf.name + " inherits from itself");
        }
        if (!itf.base) {
            Fail(itf.location,
                 "interface " + itf.name + " has no base interface; derive it from IUnknown");
        }
        const std::optional<ResolvedType> base = Resolve(*itf.base);
        if (!base) {
            Fail(itf.base_location, "unknown base interface '" + *itf.base + "'");
        }
        if (base->kind != TypeKind::kInterface && base->kind != TypeKind::kDispatch) {
            Fail(itf.base_location, "'" + *itf.base + "' is not an interface");
        }
        const InterfaceShape base_shape = ShapeOf(*base, at);
        InterfaceShape shape;
        shape.depth = base_shape.depth + 1;
        shape.slots = base_shape.slots + static_cast<std::uint32_t>(itf.methods.size());
        shape.dispatch = base_shape.dispatch;
        shaping_.erase(index);
        shapes_[index] = shape;
        return shape;
    }

    InterfaceShape ForeignShape(const Library& lib, std::uint32_t index, const SourceLocation& at,
                                int guard) {
        if (guard > 64) {
            Fail(at, "inheritance chain of imported interfaces too long or circular");
        }
        const TypeInfo& type = lib.types.at(index);
        InterfaceShape shape;
        shape.slots = type.vtable_size / kPointerSize;
        shape.dispatch = type.guid == kIidIDispatch;
        if (type.impl_types.empty()) {
            return shape;
        }
        const TypeRef& base = type.impl_types.front().ref;
        InterfaceShape base_shape;
        if (base.scope == TypeRef::Scope::kLocal) {
            base_shape = ForeignShape(lib, base.index, at, guard + 1);
        } else {
            const ImportedType& imported = lib.imported_types.at(base.index);
            const Library* owner = LoadImportOf(lib, imported.library, at);
            const int found = FindImported(*owner, imported);
            if (found < 0) {
                Fail(at, "imported library " + owner->name + " has no interface " + imported.name);
            }
            base_shape = ForeignShape(*owner, static_cast<std::uint32_t>(found), at, guard + 1);
        }
        shape.depth = base_shape.depth + 1;
        shape.dispatch = shape.dispatch || base_shape.dispatch;
        return shape;
    }

    // ---- types ----
    TypeDesc TypeOf(const syntax::TypeSpec& written, bool is_result) {
        if (written.pointers > 2) {
            Fail(written.location, "more than two levels of pointers are not supported");
        }
        TypeDesc type;
        int pointers = written.pointers;
        if (written.name == "SAFEARRAY") {
            const syntax::TypeSpec& element_spec = *written.element;
            if (element_spec.name == "SAFEARRAY") {
                Fail(element_spec.location, "a SAFEARRAY of SAFEARRAYs is not supported");
            }
            TypeDesc element = TypeOf(element_spec, false);
            if (element.base == VarType::kVoid && element.wrappers.empty()) {
                Fail(element_spec.location, "a SAFEARRAY of void is not supported");
            }
            type = element;
            type.wrappers.insert(type.wrappers.begin(), VarType::kSafeArray);
        } else if (written.name == "IUnknown" || written.name == "IDispatch") {
            if (pointers == 0) {
                Fail(written.location,
                     "an interface is passed by pointer: write " + written.name + "*");
            }
            --pointers;
            type =
                TypeDesc::Of(written.name == "IUnknown" ? VarType::kUnknown : VarType::kDispatch);
        } else {
            const auto& bases = BaseTypes();
            const auto base = bases.find(written.name);
            if (base != bases.end()) {
                type = TypeDesc::Of(base->second);
                if (base->second == VarType::kVoid && pointers == 0 && !is_result) {
                    Fail(written.location, "'void' is only a result type or a pointer target");
                }
            } else {
                const bool enum_keyword = written.name.rfind("enum ", 0) == 0;
                const std::string name = enum_keyword ? written.name.substr(5) : written.name;
                const std::optional<ResolvedType> resolved = Resolve(name);
                if (!resolved) {
                    Fail(written.location, "unknown type '" + name + "'");
                }
                switch (resolved->kind) {
                    case TypeKind::kEnum:
                        break;
                    case TypeKind::kInterface:
                    case TypeKind::kDispatch:
                        if (enum_keyword) {
                            Fail(written.location, "'" + name + "' is not an enumeration");
                        }
                        if (pointers == 0) {
                            Fail(written.location,
                                 "an interface is passed by pointer: write " + name + "*");
                        }
                        break;
                    case TypeKind::kCoclass:
                        Fail(written.location, "coclass '" + name + "' cannot be used as a type");
                    default:
                        Fail(written.location, "type '" + name + "' cannot be used here");
                }
                if (enum_keyword && resolved->kind != TypeKind::kEnum) {
                    Fail(written.location, "'" + name + "' is not an enumeration");
                }
                type = TypeDesc::UserDefined(resolved->ref);
            }
        }
        for (int i = 0; i < pointers; ++i) {
            type = type.PointerTo();
        }
        if (type.wrappers.size() > kMaxTypeWrappers) {
            Fail(written.location, "type nested too deeply");
        }
        return type;
    }

    static bool IsIntegerType(VarType vt) {
        switch (vt) {
            case VarType::kI1:
            case VarType::kI2:
            case VarType::kI4:
            case VarType::kI8:
            case VarType::kUi1:
            case VarType::kUi2:
            case VarType::kUi4:
            case VarType::kUi8:
            case VarType::kInt:
            case VarType::kUint:
            case VarType::kError:
            case VarType::kHresult:
            case VarType::kBool:
                return true;
            default:
                return false;
        }
    }

    // A default value, converted to the parameter's type (for a pointer parameter, the type
    // it points to; for an enumeration, VT_I4).
    Value DefaultValue(const Expr& expr, const TypeDesc& type) {
        const Constant constant = Eval(expr);
        VarType target = type.base;
        for (VarType wrapper : type.wrappers) {
            if (wrapper == VarType::kSafeArray) {
                Fail(expr.location, "a SAFEARRAY parameter cannot have a default value");
            }
        }
        if (target == VarType::kUserDefined) {
            if (lib_.RefKind(type.ref) != TypeKind::kEnum) {
                Fail(expr.location, "a default value is not supported for this type");
            }
            target = VarType::kI4;
        }
        Value value;
        if (target == VarType::kVariant) {
            switch (constant.kind) {
                case Constant::Kind::kInteger:
                    target = constant.integer >= std::numeric_limits<std::int32_t>::min() &&
                                     constant.integer <= std::numeric_limits<std::int32_t>::max()
                                 ? VarType::kI4
                                 : VarType::kI8;
                    break;
                case Constant::Kind::kReal:
                    target = VarType::kR8;
                    break;
                case Constant::Kind::kText:
                    target = VarType::kBstr;
                    break;
            }
        }
        value.vt = target;
        if (IsIntegerType(target)) {
            if (constant.kind != Constant::Kind::kInteger) {
                Fail(expr.location, "the default value must be an integer");
            }
            value.integer = constant.integer;
            if (!CheckConstantRange(value)) {
                Fail(expr.location, "the default value is out of range for " + VarTypeName(target));
            }
        } else if (target == VarType::kR4 || target == VarType::kR8 || target == VarType::kDate) {
            if (constant.kind == Constant::Kind::kText) {
                Fail(expr.location, "the default value must be a number");
            }
            value.real = constant.kind == Constant::Kind::kReal
                             ? constant.real
                             : static_cast<double>(constant.integer);
        } else if (target == VarType::kCy) {
            if (constant.kind == Constant::Kind::kText) {
                Fail(expr.location, "the default value must be a number");
            }
            const double units = constant.kind == Constant::Kind::kReal
                                     ? constant.real
                                     : static_cast<double>(constant.integer);
            if (!(units > -922337203685477.0 && units < 922337203685477.0)) {
                Fail(expr.location, "the default value is out of range for VT_CY");
            }
            value.integer = static_cast<std::int64_t>(units * 10000.0 + (units < 0 ? -0.5 : 0.5));
        } else if (target == VarType::kBstr) {
            if (constant.kind != Constant::Kind::kText) {
                Fail(expr.location, "the default value must be a string");
            }
            value.text = constant.text;
        } else {
            Fail(expr.location, "a default value is not supported for " + VarTypeName(target));
        }
        return value;
    }

    static bool CheckConstantRange(const Value& value) {
        auto within = [&](std::int64_t low, std::int64_t high) {
            return value.integer >= low && value.integer <= high;
        };
        switch (value.vt) {
            case VarType::kI1:
                return within(-128, 127);
            case VarType::kUi1:
                return within(0, 255);
            case VarType::kI2:
            case VarType::kBool:
                return within(-32768, 32767);
            case VarType::kUi2:
                return within(0, 65535);
            case VarType::kI4:
            case VarType::kInt:
            case VarType::kError:
            case VarType::kHresult:
                return within(INT32_MIN, INT32_MAX);
            case VarType::kUi4:
            case VarType::kUint:
                return within(0, UINT32_MAX);
            case VarType::kUi8:
                return value.integer >= 0;
            default:
                return true;
        }
    }

    // ---- library ----
    void LibraryHeader(const syntax::Library& library) {
        lib_.name = library.name;
        lib_.sys_kind = SysKind::kWin32;
        CheckDuplicates(library.attrs);
        bool has_uuid = false;
        for (const Attribute& attr : library.attrs) {
            if (DocAttribute(attr, lib_.doc)) {
                continue;
            }
            if (attr.name == "uuid") {
                lib_.libid = UuidArg(attr);
                has_uuid = true;
            } else if (attr.name == "version") {
                Version(attr, lib_.major_version, lib_.minor_version);
            } else if (attr.name == "lcid") {
                lib_.lcid = static_cast<std::uint32_t>(IntArg(attr, 0, 0xFFFFFFFFll));
            } else if (attr.name == "helpfile") {
                lib_.help_file = StringArg(attr);
            } else if (attr.name == "hidden") {
                NoArgs(attr);
                lib_.flags |= kLibHidden;
            } else if (attr.name == "restricted") {
                NoArgs(attr);
                lib_.flags |= kLibRestricted;
            } else if (attr.name == "control") {
                NoArgs(attr);
                lib_.flags |= kLibControl;
            } else {
                UnknownAttribute(attr, "a library");
            }
        }
        if (!has_uuid) {
            Fail(library.location, "library " + library.name + " needs a uuid attribute");
        }
        LoadImports(library);
    }

    // ---- enumerations ----
    void BuildEnum(std::size_t index, const syntax::Enum& decl) {
        TypeInfo& type = lib_.types[index];
        type.name = decl.name;
        type.kind = TypeKind::kEnum;
        type.instance_size = 4;
        type.alignment = 4;
        CheckDuplicates(decl.attrs);
        for (const Attribute& attr : decl.attrs) {
            if (DocAttribute(attr, type.doc)) {
                continue;
            }
            if (attr.name == "uuid") {
                type.guid = UuidArg(attr);
            } else if (attr.name == "v1_enum" || attr.name == "public") {
                NoArgs(attr);  // enumerations are 32-bit here in any case
            } else if (attr.name == "hidden") {
                NoArgs(attr);
                type.flags |= kTypeHidden;
            } else if (attr.name == "restricted") {
                NoArgs(attr);
                type.flags |= kTypeRestricted;
            } else if (attr.name == "version") {
                Version(attr, type.major_version, type.minor_version);
            } else {
                UnknownAttribute(attr, "an enumeration");
            }
        }
        if (decl.members.empty()) {
            Fail(decl.location, "enumeration " + decl.name + " has no members");
        }
        std::int64_t next = 0;
        for (std::size_t i = 0; i < decl.members.size(); ++i) {
            const syntax::EnumMember& member = decl.members[i];
            Var var;
            var.member_id = kVarIdBase + static_cast<std::int32_t>(i);
            var.name = member.name;
            var.var_kind = VarKind::kConst;
            var.type = TypeDesc::Of(VarType::kI4);
            CheckDuplicates(member.attrs);
            for (const Attribute& attr : member.attrs) {
                if (DocAttribute(attr, var.doc)) {
                    continue;
                }
                if (attr.name == "hidden") {
                    NoArgs(attr);
                    var.flags |= kVarHidden;
                } else if (attr.name == "restricted") {
                    NoArgs(attr);
                    var.flags |= kVarRestricted;
                } else {
                    UnknownAttribute(attr, "an enumeration member");
                }
            }
            std::int64_t value = next;
            if (member.value) {
                value = EvalInteger(*member.value);
                // Values from 0x80000000 to 0xFFFFFFFF are 32-bit patterns (HRESULTs with
                // the severity bit set): they are stored as the negative numbers they are.
                if (value < INT32_MIN || value > static_cast<std::int64_t>(UINT32_MAX)) {
                    Fail(member.value->location,
                         "value of " + member.name + " does not fit in 32 bits");
                }
                if (value > INT32_MAX) {
                    value -= std::int64_t{1} << 32;
                }
            } else if (value > INT32_MAX) {
                Fail(member.location,
                     "implicit value of " + member.name + " does not fit in 32 bits");
            }
            var.value = Value::I4(static_cast<std::int32_t>(value));
            next = value + 1;
            if (local_index_.count(member.name) != 0 ||
                !enum_values_.emplace(member.name, value).second) {
                Fail(member.location, "'" + member.name + "' is already defined");
            }
            type.vars.push_back(std::move(var));
        }
    }

    // ---- interfaces ----
    void BuildInterface(std::size_t index, const syntax::Interface& decl) {
        TypeInfo& type = lib_.types[index];
        type.name = decl.name;
        type.kind = TypeKind::kInterface;
        type.instance_size = kPointerSize;
        type.alignment = static_cast<std::uint16_t>(kPointerSize);
        CheckDuplicates(decl.attrs);
        bool is_object = false;
        bool has_uuid = false;
        bool dual = false;
        for (const Attribute& attr : decl.attrs) {
            if (DocAttribute(attr, type.doc)) {
                continue;
            }
            if (attr.name == "object") {
                NoArgs(attr);
                is_object = true;
            } else if (attr.name == "uuid") {
                type.guid = UuidArg(attr);
                has_uuid = true;
            } else if (attr.name == "oleautomation") {
                NoArgs(attr);
                type.flags |= kTypeOleAutomation;
            } else if (attr.name == "hidden") {
                NoArgs(attr);
                type.flags |= kTypeHidden;
            } else if (attr.name == "restricted") {
                NoArgs(attr);
                type.flags |= kTypeRestricted;
            } else if (attr.name == "nonextensible") {
                NoArgs(attr);
                type.flags |= kTypeNonExtensible;
            } else if (attr.name == "dual") {
                NoArgs(attr);
                dual = true;
            } else if (attr.name == "unique") {
                NoArgs(attr);
            } else if (attr.name == "pointer_default") {
                const Expr& arg = OneArg(attr);
                if (arg.kind != Expr::Kind::kName ||
                    (arg.text != "unique" && arg.text != "ref" && arg.text != "ptr")) {
                    Fail(arg.location, "pointer_default takes unique, ref or ptr");
                }
            } else if (attr.name == "version") {
                Version(attr, type.major_version, type.minor_version);
            } else {
                UnknownAttribute(attr, "an interface");
            }
        }
        if (!is_object) {
            Fail(decl.location,
                 "interface " + decl.name +
                     " lacks the 'object' attribute: only COM interfaces are supported");
        }
        if (!has_uuid) {
            Fail(decl.location, "interface " + decl.name + " needs a uuid attribute");
        }

        const InterfaceShape shape = LocalShape(static_cast<std::uint32_t>(index), decl.location);
        const std::optional<ResolvedType> base = Resolve(*decl.base);
        type.impl_types.push_back(ImplType{base->ref, 0});
        if (shape.slots * kPointerSize > 0x7FFF) {
            Fail(decl.location, "interface " + decl.name + " has too many methods");
        }
        type.vtable_size = static_cast<std::uint16_t>(shape.slots * kPointerSize);
        if (dual) {
            if (!shape.dispatch) {
                Fail(decl.location, "dual interface " + decl.name + " must derive from IDispatch");
            }
            type.flags |= kTypeDual | kTypeOleAutomation;
        }
        if (shape.dispatch) {
            type.flags |= kTypeDispatchable;
        }

        const std::uint32_t first_slot =
            shape.slots - static_cast<std::uint32_t>(decl.methods.size());
        const std::int32_t id_base = kFuncIdBase + (shape.depth << 16);
        struct PropertyId {
            std::int32_t id;
            bool explicit_id;
        };
        std::map<std::string, PropertyId> property_ids;
        std::map<std::string, std::set<InvokeKind>> seen;
        std::map<std::int32_t, std::string> id_owner;
        for (std::size_t i = 0; i < decl.methods.size(); ++i) {
            const syntax::Method& method = decl.methods[i];
            Func func = BuildMethod(method);
            func.vtable_offset = static_cast<std::int16_t>((first_slot + i) * kPointerSize);

            // One name is one method, or one property with at most one accessor per kind.
            std::set<InvokeKind>& kinds = seen[func.name];
            const bool is_property = func.invoke_kind != InvokeKind::kFunc;
            if (!kinds.empty() && (!is_property || kinds.count(InvokeKind::kFunc) != 0)) {
                Fail(method.location, "'" + func.name + "' is declared twice in " + decl.name);
            }
            if (!kinds.insert(func.invoke_kind).second) {
                Fail(method.location, "'" + func.name + "' is declared twice in " + decl.name);
            }

            // Member identifiers: a given id wins; otherwise the position of the member's
            // first slot among the interface's own slots. Accessors of one property share it.
            const std::optional<std::int32_t> given = ExplicitId(method);
            const auto earlier = property_ids.find(func.name);
            if (is_property && earlier != property_ids.end()) {
                if (given && (!earlier->second.explicit_id || *given != earlier->second.id)) {
                    Fail(method.location,
                         "the accessors of property " + func.name + " must carry the same id");
                }
                func.member_id = earlier->second.id;
            } else {
                func.member_id = given ? *given : id_base + static_cast<std::int32_t>(i);
                if (is_property) {
                    property_ids[func.name] = PropertyId{func.member_id, given.has_value()};
                }
                const auto owner = id_owner.emplace(func.member_id, func.name);
                if (!owner.second) {
                    Fail(method.location, "id " + Hex(func.member_id) + " of " + func.name +
                                              " is already used by " + owner.first->second);
                }
            }
            type.funcs.push_back(std::move(func));
        }
    }

    std::optional<std::int32_t> ExplicitId(const syntax::Method& method) {
        for (const Attribute& attr : method.attrs) {
            if (attr.name == "id") {
                return static_cast<std::int32_t>(IntArg(attr, INT32_MIN, INT32_MAX));
            }
        }
        return std::nullopt;
    }

    Func BuildMethod(const syntax::Method& method) {
        static const std::map<std::string, std::uint16_t> flag_attributes = {
            {"restricted", kFuncRestricted},
            {"source", kFuncSource},
            {"bindable", kFuncBindable},
            {"requestedit", kFuncRequestEdit},
            {"displaybind", kFuncDisplayBind},
            {"defaultbind", kFuncDefaultBind},
            {"hidden", kFuncHidden},
            {"usesgetlasterror", kFuncUsesGetLastError},
            {"defaultcollelem", kFuncDefaultCollElem},
            {"uidefault", kFuncUiDefault},
            {"nonbrowsable", kFuncNonBrowsable},
            {"replaceable", kFuncReplaceable},
            {"immediatebind", kFuncImmediateBind},
        };
        Func func;
        func.name = method.name;
        CheckDuplicates(method.attrs);
        int kinds = 0;
        for (const Attribute& attr : method.attrs) {
            if (DocAttribute(attr, func.doc)) {
                continue;
            }
            const auto flag = flag_attributes.find(attr.name);
            if (flag != flag_attributes.end()) {
                NoArgs(attr);
                func.flags |= flag->second;
            } else if (attr.name == "propget" || attr.name == "propput" ||
                       attr.name == "propputref") {
                NoArgs(attr);
                ++kinds;
                func.invoke_kind = attr.name == "propget"   ? InvokeKind::kPropertyGet
                                   : attr.name == "propput" ? InvokeKind::kPropertyPut
                                                            : InvokeKind::kPropertyPutRef;
                if (kinds > 1) {
                    Fail(attr.location, "a method is at most one of propget, propput, propputref");
                }
            } else if (attr.name == "id") {
                OneArg(attr);  // read by ExplicitId
            } else {
                UnknownAttribute(attr, "a method");
            }
        }
        func.return_type = TypeOf(method.result, true);

        bool seen_optional = false;
        bool seen_retval = false;
        for (std::size_t p = 0; p < method.params.size(); ++p) {
            const syntax::Param& decl = method.params[p];
            Param param = BuildParam(decl);
            const bool optional = (param.flags & kParamOptional) != 0;
            const bool retval = (param.flags & kParamRetval) != 0;
            const bool lcid = (param.flags & kParamLcid) != 0;
            if (seen_retval) {
                Fail(decl.location, "the [retval] parameter must be the last one");
            }
            if (seen_optional && !optional && !retval && !lcid) {
                Fail(decl.location, "a required parameter cannot follow an optional one");
            }
            seen_optional = seen_optional || optional;
            seen_retval = retval;
            if (optional && !(param.flags & kParamHasDefault)) {
                ++func.optional_param_count;
            }
            func.params.push_back(std::move(param));
        }
        if (func.invoke_kind == InvokeKind::kPropertyGet) {
            if (func.params.empty() || !(func.params.back().flags & kParamOut)) {
                Fail(method.location,
                     "property get " + func.name + " needs an [out] parameter last");
            }
        } else if (func.invoke_kind != InvokeKind::kFunc) {
            if (func.params.empty() || (func.params.back().flags & kParamOut)) {
                Fail(method.location,
                     "property put " + func.name + " needs an input parameter last");
            }
        }
        return func;
    }

    Param BuildParam(const syntax::Param& decl) {
        Param param;
        param.name = decl.name;
        param.type = TypeOf(decl.type, false);
        CheckDuplicates(decl.attrs);
        const Expr* default_expr = nullptr;
        for (const Attribute& attr : decl.attrs) {
            if (attr.name == "in") {
                NoArgs(attr);
                param.flags |= kParamIn;
            } else if (attr.name == "out") {
                NoArgs(attr);
                param.flags |= kParamOut;
            } else if (attr.name == "retval") {
                NoArgs(attr);
                param.flags |= kParamRetval;
            } else if (attr.name == "lcid") {
                NoArgs(attr);
                param.flags |= kParamLcid;
            } else if (attr.name == "optional") {
                NoArgs(attr);
                param.flags |= kParamOptional;
            } else if (attr.name == "defaultvalue") {
                default_expr = &OneArg(attr);
                param.flags |= kParamOptional | kParamHasDefault;
            } else if (attr.name == "unique" || attr.name == "ref" || attr.name == "ptr") {
                NoArgs(attr);
            } else {
                UnknownAttribute(attr, "a parameter");
            }
        }
        const std::string shown = decl.name ? "parameter " + *decl.name : "an unnamed parameter";
        if ((param.flags & kParamOut) && param.type.Top() != VarType::kPtr) {
            Fail(decl.location, shown + " is [out] but not a pointer");
        }
        if ((param.flags & kParamRetval) && !(param.flags & kParamOut)) {
            Fail(decl.location, shown + " is [retval] but not [out]");
        }
        if (default_expr != nullptr) {
            param.default_value = DefaultValue(*default_expr, param.type);
        }
        return param;
    }

    // ---- coclasses ----
    void BuildCoclass(std::size_t index, const syntax::Coclass& decl) {
        TypeInfo& type = lib_.types[index];
        type.name = decl.name;
        type.kind = TypeKind::kCoclass;
        type.instance_size = kPointerSize;
        type.alignment = static_cast<std::uint16_t>(kPointerSize);
        type.flags = kTypeCanCreate;
        CheckDuplicates(decl.attrs);
        bool has_uuid = false;
        for (const Attribute& attr : decl.attrs) {
            if (DocAttribute(attr, type.doc)) {
                continue;
            }
            if (attr.name == "uuid") {
                type.guid = UuidArg(attr);
                has_uuid = true;
            } else if (attr.name == "noncreatable") {
                NoArgs(attr);
                type.flags &= static_cast<std::uint16_t>(~kTypeCanCreate);
            } else if (attr.name == "hidden") {
                NoArgs(attr);
                type.flags |= kTypeHidden;
            } else if (attr.name == "appobject") {
                NoArgs(attr);
                type.flags |= kTypeAppObject;
            } else if (attr.name == "licensed") {
                NoArgs(attr);
                type.flags |= kTypeLicensed;
            } else if (attr.name == "control") {
                NoArgs(attr);
                type.flags |= kTypeControl;
            } else if (attr.name == "restricted") {
                NoArgs(attr);
                type.flags |= kTypeRestricted;
            } else if (attr.name == "version") {
                Version(attr, type.major_version, type.minor_version);
            } else {
                UnknownAttribute(attr, "a coclass");
            }
        }
        if (!has_uuid) {
            Fail(decl.location, "coclass " + decl.name + " needs a uuid attribute");
        }
        bool has_default = false;
        bool has_default_source = false;
        for (const syntax::CoclassMember& member : decl.members) {
            CheckDuplicates(member.attrs);
            ImplType impl;
            for (const Attribute& attr : member.attrs) {
                NoArgs(attr);
                if (attr.name == "default") {
                    impl.flags |= kImplDefault;
                } else if (attr.name == "source") {
                    impl.flags |= kImplSource;
                } else if (attr.name == "restricted") {
                    impl.flags |= kImplRestricted;
                } else if (attr.name == "defaultvtable") {
                    impl.flags |= kImplDefaultVtable;
                } else {
                    UnknownAttribute(attr, "a coclass member");
                }
            }
            const std::optional<ResolvedType> resolved = Resolve(member.name);
            if (!resolved) {
                Fail(member.location, "unknown interface '" + member.name + "'");
            }
            if (resolved->kind != TypeKind::kInterface && resolved->kind != TypeKind::kDispatch) {
                Fail(member.location, "'" + member.name + "' is not an interface");
            }
            impl.ref = resolved->ref;
            for (const ImplType& earlier : type.impl_types) {
                if (earlier.ref == impl.ref) {
                    Fail(member.location, "interface " + member.name + " is listed twice");
                }
            }
            if (impl.flags & kImplDefault) {
                bool& taken = (impl.flags & kImplSource) ? has_default_source : has_default;
                if (taken) {
                    Fail(member.location, "coclass " + decl.name + " has two default " +
                                              ((impl.flags & kImplSource) ? "source " : "") +
                                              "interfaces");
                }
                taken = true;
            }
            type.impl_types.push_back(impl);
        }
    }

    const syntax::File& file_;
    std::string file_name_;
    const CompileOptions& options_;
    Library lib_;
    std::vector<Local> locals_;
    std::map<std::string, std::size_t> local_index_;
    std::map<std::string, std::int64_t> enum_values_;
    std::vector<const Library*> import_models_;  // parallel to lib_.imports
    std::map<std::string, std::unique_ptr<Library>> cache_;
    std::map<std::uint32_t, InterfaceShape> shapes_;
    std::set<std::uint32_t> shaping_;
};

}  // namespace

bool CompileIdl(std::string_view source, const std::string& file_name,
                const CompileOptions& options, CompiledIdl& result, Diagnostic& error) {
    error = Diagnostic{};
    error.file = file_name;
    syntax::File file;
    if (!ParseIdl(source, file, error)) {
        return false;
    }
    try {
        result = Compiler(file, file_name, options).Run();
        return true;
    } catch (const CompileError& failure) {
        error.location = failure.location;
        error.message = failure.message;
        return false;
    }
}

bool CompileIdlFile(const std::string& path, const CompileOptions& options, CompiledIdl& result,
                    Diagnostic& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = Diagnostic{path, {}, "cannot open the file"};
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return CompileIdl(text.str(), path, options, result, error);
}

}  // namespace tevo::idl
