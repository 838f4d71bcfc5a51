// Consistency checks of a type-library model, shared by the writer (never store what cannot
// be read back) and the reader (never hand out a damaged library).
#include <cstdint>
#include <limits>
#include <string>

#include "tevo/idl/typelib_format.h"

namespace tevo::idl {

namespace {

class Validator {
  public:
    explicit Validator(const Library& library) : lib_(library) {}

    bool Run(std::string& error) {
        if (static_cast<std::uint16_t>(lib_.sys_kind) > 3) {
            return Fail(error, "unknown system kind");
        }
        for (std::size_t i = 0; i < lib_.imported_types.size(); ++i) {
            const ImportedType& type = lib_.imported_types[i];
            if (type.library >= lib_.imports.size()) {
                return Fail(error, "imported type " + type.name + " names library " +
                                       std::to_string(type.library) + " of " +
                                       std::to_string(lib_.imports.size()));
            }
            if (static_cast<std::uint16_t>(type.kind) > 7) {
                return Fail(error, "imported type " + type.name + " has an unknown type kind");
            }
        }
        for (const TypeInfo& type : lib_.types) {
            context_ = type.name;
            if (!CheckType(type)) {
                return Fail(error, message_);
            }
        }
        return true;
    }

  private:
    bool Fail(std::string& error, const std::string& message) {
        error = message;
        return false;
    }
    bool Bad(const std::string& message) {
        message_ = context_.empty() ? message : context_ + ": " + message;
        return false;
    }

    bool CheckRef(const TypeRef& ref) {
        if (ref.scope == TypeRef::Scope::kLocal) {
            return ref.index < lib_.types.size() ? true : Bad("reference to a missing type");
        }
        if (ref.scope == TypeRef::Scope::kImported) {
            return ref.index < lib_.imported_types.size()
                       ? true
                       : Bad("reference to a missing imported type");
        }
        return Bad("reference of unknown scope");
    }

    static bool IsBaseType(VarType vt) {
        const auto n = static_cast<std::uint16_t>(vt);
        return (n >= 2 && n <= 25 && n != 15) || vt == VarType::kUserDefined ||
               vt == VarType::kLpStr || vt == VarType::kLpWStr;
    }

    bool CheckTypeDesc(const TypeDesc& type) {
        if (type.wrappers.size() > kMaxTypeWrappers) {
            return Bad("type description nested too deeply");
        }
        for (VarType wrapper : type.wrappers) {
            if (wrapper != VarType::kPtr && wrapper != VarType::kSafeArray) {
                return Bad("type wrapper " + VarTypeName(wrapper) +
                           " is not VT_PTR or VT_SAFEARRAY");
            }
        }
        if (!IsBaseType(type.base)) {
            return Bad("unknown base type " + VarTypeName(type.base));
        }
        if (type.base == VarType::kUserDefined) {
            return CheckRef(type.ref);
        }
        if (!(type.ref == TypeRef{})) {
            return Bad("type reference on a type that is not user-defined");
        }
        return true;
    }

    bool CheckValue(const Value& value) {
        auto in_range = [&](std::int64_t low, std::int64_t high) {
            return value.integer >= low && value.integer <= high ? true
                                                                 : Bad("constant out of range");
        };
        switch (value.vt) {
            case VarType::kEmpty:
            case VarType::kNull:
            case VarType::kR4:
            case VarType::kR8:
            case VarType::kDate:
            case VarType::kBstr:
            case VarType::kI8:
            case VarType::kCy:
                return true;
            case VarType::kI1:
                return in_range(-128, 127);
            case VarType::kUi1:
                return in_range(0, 255);
            case VarType::kI2:
            case VarType::kBool:
                return in_range(-32768, 32767);
            case VarType::kUi2:
                return in_range(0, 65535);
            case VarType::kI4:
            case VarType::kInt:
            case VarType::kError:
            case VarType::kHresult:
                return in_range(std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max());
            case VarType::kUi4:
            case VarType::kUint:
                return in_range(0, std::numeric_limits<std::uint32_t>::max());
            case VarType::kUi8:
                return in_range(0, std::numeric_limits<std::int64_t>::max());
            default:
                return Bad("constant of unsupported type " + VarTypeName(value.vt));
        }
    }

    bool CheckFunc(const TypeInfo& owner, const Func& func) {
        const auto invoke = static_cast<std::uint16_t>(func.invoke_kind);
        if (invoke != 1 && invoke != 2 && invoke != 4 && invoke != 8) {
            return Bad(func.name + ": unknown invoke kind");
        }
        if (static_cast<std::uint16_t>(func.func_kind) > 4) {
            return Bad(func.name + ": unknown function kind");
        }
        if (static_cast<std::uint16_t>(func.call_conv) > 8) {
            return Bad(func.name + ": unknown calling convention");
        }
        if (func.vtable_offset < 0 || func.vtable_offset % kPointerSize != 0 ||
            static_cast<std::uint32_t>(func.vtable_offset) >= owner.vtable_size) {
            return Bad(func.name + ": vtable offset outside the vtable");
        }
        if (func.params.size() > 255) {
            return Bad(func.name + ": too many parameters");
        }
        if (func.optional_param_count < 0 ||
            static_cast<std::size_t>(func.optional_param_count) > func.params.size()) {
            return Bad(func.name + ": optional parameter count out of range");
        }
        if (!CheckTypeDesc(func.return_type)) {
            return false;
        }
        for (const Param& param : func.params) {
            if (!CheckTypeDesc(param.type)) {
                return false;
            }
            const bool has_default = (param.flags & kParamHasDefault) != 0;
            if (has_default != param.default_value.has_value()) {
                return Bad(func.name + ": default value and its flag disagree");
            }
            if (param.default_value && !CheckValue(*param.default_value)) {
                return false;
            }
        }
        return true;
    }

    bool CheckType(const TypeInfo& type) {
        if (static_cast<std::uint16_t>(type.kind) > 7) {
            return Bad("unknown type kind");
        }
        if (type.vtable_size % kPointerSize != 0) {
            return Bad("vtable size is not a whole number of slots");
        }
        const bool is_interface =
            type.kind == TypeKind::kInterface || type.kind == TypeKind::kDispatch;
        if (is_interface && type.impl_types.size() > 1) {
            return Bad("an interface has more than one base");
        }
        if (!is_interface && type.kind != TypeKind::kCoclass && !type.impl_types.empty()) {
            return Bad("implemented types on a type that is neither interface nor coclass");
        }
        if (!is_interface && !type.funcs.empty()) {
            return Bad("functions on a type that is not an interface");
        }
        for (const ImplType& impl : type.impl_types) {
            if (!CheckRef(impl.ref)) {
                return false;
            }
            const std::optional<TypeKind> kind = lib_.RefKind(impl.ref);
            if (kind != TypeKind::kInterface && kind != TypeKind::kDispatch) {
                return Bad("implemented type is not an interface");
            }
        }
        for (const Func& func : type.funcs) {
            if (!CheckFunc(type, func)) {
                return false;
            }
        }
        for (const Var& var : type.vars) {
            if (static_cast<std::uint16_t>(var.var_kind) > 3) {
                return Bad(var.name + ": unknown variable kind");
            }
            if (!CheckTypeDesc(var.type) || !CheckValue(var.value)) {
                return false;
            }
        }
        return true;
    }

    const Library& lib_;
    std::string context_;
    std::string message_;
};

}  // namespace

bool ValidateLibrary(const Library& library, std::string& error) {
    return Validator(library).Run(error);
}

}  // namespace tevo::idl
