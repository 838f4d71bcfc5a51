#include <cstring>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "tevo/idl/typelib_format.h"
#include "typelib_layout.h"

namespace tevo::idl {

namespace {

class Writer {
  public:
    std::vector<std::uint8_t> Build(const Library& lib) {
        // The library body is written first so that every string it uses is in the table;
        // the table then precedes it in the payload.
        Body(lib);
        std::vector<std::uint8_t> payload;
        Put32(payload, static_cast<std::uint32_t>(strings_.size()));
        for (const std::string& text : strings_) {
            Put32(payload, static_cast<std::uint32_t>(text.size()));
            payload.insert(payload.end(), text.begin(), text.end());
        }
        payload.insert(payload.end(), body_.begin(), body_.end());

        std::vector<std::uint8_t> file;
        file.insert(file.end(), std::begin(kMagic), std::end(kMagic));
        Put16(file, kFormatMajor);
        Put16(file, kFormatMinor);
        Put32(file, static_cast<std::uint32_t>(payload.size()));
        Put32(file, Crc32(payload.data(), payload.size()));
        Put32(file, 0);
        file.insert(file.end(), payload.begin(), payload.end());
        return file;
    }

  private:
    static void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    static void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    static void Put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }

    void U8(std::uint8_t v) { body_.push_back(v); }
    void U16(std::uint16_t v) { Put16(body_, v); }
    void U32(std::uint32_t v) { Put32(body_, v); }
    void I32(std::int32_t v) { Put32(body_, static_cast<std::uint32_t>(v)); }
    void Count(std::size_t n) { U32(static_cast<std::uint32_t>(n)); }

    void Str(const std::string& text) {
        auto found = index_.find(text);
        if (found == index_.end()) {
            found = index_.emplace(text, static_cast<std::uint32_t>(strings_.size())).first;
            strings_.push_back(text);
        }
        U32(found->second);
    }
    void OptStr(const std::optional<std::string>& text) {
        if (text) {
            Str(*text);
        } else {
            U32(kNoString);
        }
    }
    void Guid(const GUID& guid) {
        U32(guid.Data1);
        U16(guid.Data2);
        U16(guid.Data3);
        body_.insert(body_.end(), std::begin(guid.Data4), std::end(guid.Data4));
    }
    void Doc(const Documentation& doc) {
        OptStr(doc.help_string);
        U32(doc.help_context);
    }
    void Ref(const TypeRef& ref) {
        U8(static_cast<std::uint8_t>(ref.scope));
        U32(ref.index);
    }
    void Type(const TypeDesc& type) {
        U8(static_cast<std::uint8_t>(type.wrappers.size()));
        for (VarType wrapper : type.wrappers) {
            U16(static_cast<std::uint16_t>(wrapper));
        }
        U16(static_cast<std::uint16_t>(type.base));
        if (type.base == VarType::kUserDefined) {
            Ref(type.ref);
        }
    }
    void Constant(const Value& value) {
        U16(static_cast<std::uint16_t>(value.vt));
        switch (ClassOf(value.vt)) {
            case ValueClass::kNone:
                break;
            case ValueClass::kInteger:
                Put64(body_, static_cast<std::uint64_t>(value.integer));
                break;
            case ValueClass::kReal: {
                std::uint64_t bits = 0;
                std::memcpy(&bits, &value.real, sizeof bits);
                Put64(body_, bits);
                break;
            }
            case ValueClass::kText:
                Str(value.text);
                break;
        }
    }

    void Body(const Library& lib) {
        Str(lib.name);
        Guid(lib.libid);
        U32(lib.lcid);
        U16(static_cast<std::uint16_t>(lib.sys_kind));
        U16(lib.major_version);
        U16(lib.minor_version);
        U16(lib.flags);
        Doc(lib.doc);
        OptStr(lib.help_file);

        Count(lib.imports.size());
        for (const ImportedLibrary& import : lib.imports) {
            Guid(import.libid);
            U16(import.major_version);
            U16(import.minor_version);
            U32(import.lcid);
            Str(import.name);
            Str(import.file_name);
        }
        Count(lib.imported_types.size());
        for (const ImportedType& type : lib.imported_types) {
            U32(type.library);
            Str(type.name);
            Guid(type.guid);
            U16(static_cast<std::uint16_t>(type.kind));
            U32(type.index);
        }
        Count(lib.types.size());
        for (const TypeInfo& type : lib.types) {
            TypeRecord(type);
        }
    }

    void TypeRecord(const TypeInfo& type) {
        Str(type.name);
        Guid(type.guid);
        U16(static_cast<std::uint16_t>(type.kind));
        U16(type.flags);
        U16(type.major_version);
        U16(type.minor_version);
        U16(type.vtable_size);
        U32(type.instance_size);
        U16(type.alignment);
        Doc(type.doc);
        Count(type.impl_types.size());
        for (const ImplType& impl : type.impl_types) {
            Ref(impl.ref);
            I32(impl.flags);
        }
        Count(type.funcs.size());
        for (const Func& func : type.funcs) {
            I32(func.member_id);
            Str(func.name);
            U16(static_cast<std::uint16_t>(func.invoke_kind));
            U16(static_cast<std::uint16_t>(func.func_kind));
            U16(static_cast<std::uint16_t>(func.call_conv));
            U16(func.flags);
            U16(static_cast<std::uint16_t>(func.vtable_offset));
            Type(func.return_type);
            U16(static_cast<std::uint16_t>(func.optional_param_count));
            Doc(func.doc);
            Count(func.params.size());
            for (const Param& param : func.params) {
                OptStr(param.name);
                U16(param.flags);
                Type(param.type);
                if (param.default_value) {
                    Constant(*param.default_value);
                }
            }
        }
        Count(type.vars.size());
        for (const Var& var : type.vars) {
            I32(var.member_id);
            Str(var.name);
            U16(static_cast<std::uint16_t>(var.var_kind));
            U16(var.flags);
            Type(var.type);
            Constant(var.value);
            Doc(var.doc);
        }
    }

    std::vector<std::uint8_t> body_;
    std::vector<std::string> strings_;
    std::unordered_map<std::string, std::uint32_t> index_;
};

}  // namespace

bool WriteTypeLib(const Library& library, std::vector<std::uint8_t>& bytes, std::string& error) {
    bytes.clear();
    if (!ValidateLibrary(library, error)) {
        error = "cannot write an inconsistent type library: " + error;
        return false;
    }
    bytes = Writer().Build(library);
    return true;
}

bool WriteTypeLibFile(const std::string& path, const Library& library, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!WriteTypeLib(library, bytes, error)) {
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    static const auto table = [] {
        std::vector<std::uint32_t> t(256);
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace tevo::idl
