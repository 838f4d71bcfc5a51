#include "tevo/idl/header_generator.h"

#include <cstdio>
#include <functional>
#include <set>
#include <sstream>

namespace tevo::idl {

namespace {

const char* BaseCppName(VarType vt) {
    switch (vt) {
        case VarType::kI2:
            return "SHORT";
        case VarType::kI4:
            return "LONG";
        case VarType::kR4:
            return "FLOAT";
        case VarType::kR8:
            return "DOUBLE";
        case VarType::kCy:
            return "CY";
        case VarType::kDate:
            return "DATE";
        case VarType::kBstr:
            return "BSTR";
        case VarType::kDispatch:
            return "IDispatch*";
        case VarType::kError:
            return "SCODE";
        case VarType::kBool:
            return "VARIANT_BOOL";
        case VarType::kVariant:
            return "VARIANT";
        case VarType::kUnknown:
            return "IUnknown*";
        case VarType::kDecimal:
            return "DECIMAL";
        case VarType::kI1:
            return "CHAR";
        case VarType::kUi1:
            return "BYTE";
        case VarType::kUi2:
            return "USHORT";
        case VarType::kUi4:
            return "ULONG";
        case VarType::kI8:
            return "LONGLONG";
        case VarType::kUi8:
            return "ULONGLONG";
        case VarType::kInt:
            return "INT";
        case VarType::kUint:
            return "UINT";
        case VarType::kVoid:
            return "void";
        case VarType::kHresult:
            return "HRESULT";
        case VarType::kLpStr:
            return "LPSTR";
        case VarType::kLpWStr:
            return "LPWSTR";
        default:
            return nullptr;
    }
}

std::string GuidInitializer(const GUID& g) {
    char text[128];
    std::snprintf(
        text, sizeof text,
        "{0x%08X, 0x%04X, 0x%04X, {0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, "
        "0x%02X}}",
        static_cast<unsigned>(g.Data1), static_cast<unsigned>(g.Data2),
        static_cast<unsigned>(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
        g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string EnumValue(std::int64_t value) {
    if (value >= -65535) {
        return std::to_string(value);
    }
    char text[48];
    std::snprintf(text, sizeof text, "static_cast<std::int32_t>(0x%08Xu)",
                  static_cast<unsigned>(static_cast<std::uint32_t>(value)));
    return text;
}

bool IsCppKeyword(const std::string& name) {
    static const std::set<std::string> keywords = {
        "alignas",  "alignof",  "and",      "asm",      "auto",    "bool",      "break",
        "case",     "catch",    "char",     "class",    "const",   "constexpr", "continue",
        "default",  "delete",   "do",       "double",   "else",    "enum",      "explicit",
        "export",   "extern",   "false",    "float",    "for",     "friend",    "goto",
        "if",       "inline",   "int",      "long",     "mutable", "namespace", "new",
        "noexcept", "not",      "nullptr",  "operator", "or",      "private",   "protected",
        "public",   "register", "return",   "short",    "signed",  "sizeof",    "static",
        "struct",   "switch",   "template", "this",     "throw",   "true",      "try",
        "typedef",  "typename", "union",    "unsigned", "using",   "virtual",   "void",
        "volatile", "while",    "xor"};
    return keywords.count(name) != 0;
}

std::string MethodName(const Func& func) {
    switch (func.invoke_kind) {
        case InvokeKind::kPropertyGet:
            return "get_" + func.name;
        case InvokeKind::kPropertyPut:
            return "put_" + func.name;
        case InvokeKind::kPropertyPutRef:
            return "putref_" + func.name;
        default:
            return func.name;
    }
}

// Parameter names for C++: the library's names, with a generated one where the library has
// none (the value of a property put is "newVal") and a trailing '_' on C++ keywords.
std::vector<std::string> ParamNames(const Func& func) {
    std::vector<std::string> names;
    std::set<std::string> used;
    for (const Param& param : func.params) {
        if (param.name) {
            used.insert(*param.name);
        }
    }
    for (std::size_t i = 0; i < func.params.size(); ++i) {
        std::string name;
        if (func.params[i].name) {
            name = *func.params[i].name;
            if (IsCppKeyword(name)) {
                name += "_";
            }
        } else {
            const bool put_value = func.invoke_kind != InvokeKind::kFunc &&
                                   func.invoke_kind != InvokeKind::kPropertyGet &&
                                   i + 1 == func.params.size();
            name = put_value ? "newVal" : "arg" + std::to_string(i);
            while (used.count(name) != 0) {
                name += "_";
            }
        }
        used.insert(name);
        names.push_back(name);
    }
    return names;
}

}  // namespace

std::string CppTypeName(const Library& library, const TypeDesc& type) {
    std::string text;
    if (type.base == VarType::kUserDefined) {
        text = library.RefName(type.ref);
        if (text.empty()) {
            text = "void";
        }
    } else {
        const char* base = BaseCppName(type.base);
        text = base != nullptr ? base : "void";
    }
    // Wrappers apply from the inside out: the last one is innermost. A SAFEARRAY's element
    // type does not show in C++.
    for (auto it = type.wrappers.rbegin(); it != type.wrappers.rend(); ++it) {
        if (*it == VarType::kSafeArray) {
            text = "SAFEARRAY*";
        } else {
            text += "*";
        }
    }
    return text;
}

std::string GenerateHeader(const Library& library, const HeaderOptions& options) {
    std::ostringstream out;
    out << "// C++ declarations of ";
    out << (library.name.empty() ? std::string("the interfaces") : "library " + library.name);
    out << ", generated by tevo-midl";
    if (!options.source_name.empty()) {
        out << " from " << options.source_name;
    }
    out << ". Do not edit.\n";
    out << "#pragma once\n\n#include <cstdint>\n\n#include <tevo/platform.h>\n";
    if (!options.includes.empty()) {
        out << "\n";
        for (const std::string& include : options.includes) {
            out << "#include \"" << include << "\"\n";
        }
    }

    bool any_interface = false;
    for (const TypeInfo& type : library.types) {
        if (type.kind == TypeKind::kInterface || type.kind == TypeKind::kDispatch) {
            if (!any_interface) {
                out << "\n";
                any_interface = true;
            }
            out << "struct " << type.name << ";\n";
        }
    }

    for (const TypeInfo& type : library.types) {
        if (type.kind != TypeKind::kEnum) {
            continue;
        }
        out << "\nenum " << type.name << " : std::int32_t {\n";
        for (const Var& var : type.vars) {
            out << "    " << var.name << " = " << EnumValue(var.value.integer) << ",\n";
        }
        out << "};\n";
    }

    // Interfaces, each after its base when the base is defined here too.
    std::vector<bool> done(library.types.size(), false);
    std::function<void(std::size_t)> emit = [&](std::size_t index) {
        if (done[index]) {
            return;
        }
        done[index] = true;
        const TypeInfo& type = library.types[index];
        std::string base = "IUnknown";
        if (!type.impl_types.empty()) {
            const TypeRef& ref = type.impl_types.front().ref;
            if (ref.scope == TypeRef::Scope::kLocal && ref.index < library.types.size()) {
                emit(ref.index);
            }
            base = library.RefName(ref);
        }
        out << "\ninline constexpr IID IID_" << type.name << " = " << GuidInitializer(type.guid)
            << ";\n\n";
        out << "struct " << type.name << " : public " << base << " {\n";
        for (const Func& func : type.funcs) {
            const std::vector<std::string> names = ParamNames(func);
            out << "    virtual " << CppTypeName(library, func.return_type) << " STDMETHODCALLTYPE "
                << MethodName(func) << "(";
            for (std::size_t i = 0; i < func.params.size(); ++i) {
                out << (i == 0 ? "" : ", ") << CppTypeName(library, func.params[i].type) << " "
                    << names[i];
            }
            out << ") = 0;\n";
        }
        out << "};\n";
        out << "#ifdef TEVO_COM_INTERFACE_IID\nTEVO_COM_INTERFACE_IID(" << type.name << ", IID_"
            << type.name << ");\n#endif\n";
    };
    for (std::size_t i = 0; i < library.types.size(); ++i) {
        if (library.types[i].kind == TypeKind::kInterface ||
            library.types[i].kind == TypeKind::kDispatch) {
            emit(i);
        }
    }

    bool any_coclass = false;
    for (const TypeInfo& type : library.types) {
        if (type.kind == TypeKind::kCoclass) {
            if (!any_coclass) {
                out << "\n";
                any_coclass = true;
            }
            out << "inline constexpr CLSID CLSID_" << type.name << " = "
                << GuidInitializer(type.guid) << ";\n";
        }
    }
    if (options.emit_libid && !library.name.empty()) {
        out << "\ninline constexpr IID LIBID_" << library.name << " = "
            << GuidInitializer(library.libid) << ";\n";
    }
    return out.str();
}

}  // namespace tevo::idl
