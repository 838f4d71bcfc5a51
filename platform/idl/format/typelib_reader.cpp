#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "tevo/idl/typelib_format.h"
#include "typelib_layout.h"

namespace tevo::idl {

namespace {

// Raised inside the reader for the first problem found; ReadTypeLib turns it into a message.
struct FormatError {
    std::string message;
};

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    Library Read() {
        if (size_ < kHeaderSize) {
            Fail("file too short for a type library header");
        }
        if (std::memcmp(data_, kMagic, sizeof kMagic) != 0) {
            Fail("not a type library (bad magic)");
        }
        pos_ = sizeof kMagic;
        const std::uint16_t major = U16();
        const std::uint16_t minor = U16();
        if (major != kFormatMajor) {
            Fail("unsupported format version " + std::to_string(major) + "." +
                 std::to_string(minor));
        }
        const std::uint32_t payload_size = U32();
        const std::uint32_t crc = U32();
        U32();  // reserved
        if (payload_size != size_ - kHeaderSize) {
            Fail("payload size " + std::to_string(payload_size) + " does not match the " +
                 std::to_string(size_ - kHeaderSize) + " bytes present");
        }
        if (Crc32(data_ + kHeaderSize, payload_size) != crc) {
            Fail("checksum mismatch: the file is damaged");
        }

        ReadStrings();
        Library lib = ReadLibrary();
        if (pos_ != size_ && minor <= kFormatMinor) {
            Fail(std::to_string(size_ - pos_) + " unexpected bytes after the last type");
        }
        return lib;
    }

  private:
    [[noreturn]] void Fail(const std::string& message) {
        throw FormatError{message + " (at byte " + std::to_string(pos_) + ")"};
    }

    void Need(std::size_t n) {
        if (n > size_ - pos_) {
            Fail("truncated: " + std::to_string(n) + " bytes needed, " +
                 std::to_string(size_ - pos_) + " left");
        }
    }
    std::uint8_t U8() {
        Need(1);
        return data_[pos_++];
    }
    std::uint16_t U16() {
        Need(2);
        const auto v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    std::uint32_t U32() {
        Need(4);
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) {
            v = (v << 8) | data_[pos_ + i];
        }
        pos_ += 4;
        return v;
    }
    std::uint64_t U64() {
        const std::uint64_t low = U32();
        const std::uint64_t high = U32();
        return low | (high << 32);
    }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }

    // A count of records, each at least `min_size` bytes: a count the rest of the file
    // cannot hold is damage, and is refused before anything is allocated for it.
    std::size_t Count(std::size_t min_size, const char* what) {
        const std::uint32_t n = U32();
        if (n > (size_ - pos_) / min_size) {
            Fail(std::string("count of ") + what + " (" + std::to_string(n) +
                 ") exceeds what the file holds");
        }
        return n;
    }

    void ReadStrings() {
        const std::size_t n = Count(4, "strings");
        strings_.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t length = U32();
            Need(length);
            strings_.emplace_back(reinterpret_cast<const char*>(data_ + pos_), length);
            pos_ += length;
        }
    }
    // Every use of a string copies it into the model. A file could name one long string
    // many times over, four bytes per use; the copies are bounded by a multiple of the file
    // size, far above what a compiled library needs, so that such a file cannot make the
    // reader allocate without limit.
    const std::string& Use(std::uint32_t index) {
        if (index >= strings_.size()) {
            Fail("string index " + std::to_string(index) + " out of range");
        }
        copied_ += strings_[index].size();
        if (copied_ > 16 * size_ + 65536) {
            Fail("strings are used more often than a type library can need");
        }
        return strings_[index];
    }
    std::string Str() { return Use(U32()); }
    std::optional<std::string> OptStr() {
        const std::uint32_t index = U32();
        if (index == kNoString) {
            return std::nullopt;
        }
        return Use(index);
    }
    GUID Guid() {
        GUID guid;
        guid.Data1 = U32();
        guid.Data2 = U16();
        guid.Data3 = U16();
        Need(8);
        std::memcpy(guid.Data4, data_ + pos_, 8);
        pos_ += 8;
        return guid;
    }
    Documentation Doc() {
        Documentation doc;
        doc.help_string = OptStr();
        doc.help_context = U32();
        return doc;
    }
    TypeRef Ref() {
        TypeRef ref;
        const std::uint8_t scope = U8();
        if (scope > 1) {
            Fail("unknown type reference scope " + std::to_string(scope));
        }
        ref.scope = static_cast<TypeRef::Scope>(scope);
        ref.index = U32();
        return ref;
    }
    TypeDesc Type() {
        TypeDesc type;
        const std::uint8_t wrappers = U8();
        if (wrappers > kMaxTypeWrappers) {
            Fail("type description nested " + std::to_string(wrappers) + " levels deep");
        }
        for (std::uint8_t i = 0; i < wrappers; ++i) {
            type.wrappers.push_back(static_cast<VarType>(U16()));
        }
        type.base = static_cast<VarType>(U16());
        if (type.base == VarType::kUserDefined) {
            type.ref = Ref();
        }
        return type;
    }
    Value Constant() {
        Value value;
        value.vt = static_cast<VarType>(U16());
        switch (ClassOf(value.vt)) {
            case ValueClass::kNone:
                break;
            case ValueClass::kInteger:
                value.integer = static_cast<std::int64_t>(U64());
                break;
            case ValueClass::kReal: {
                const std::uint64_t bits = U64();
                std::memcpy(&value.real, &bits, sizeof bits);
                break;
            }
            case ValueClass::kText:
                value.text = Str();
                break;
        }
        return value;
    }

    Library ReadLibrary() {
        Library lib;
        lib.name = Str();
        lib.libid = Guid();
        lib.lcid = U32();
        lib.sys_kind = static_cast<SysKind>(U16());
        lib.major_version = U16();
        lib.minor_version = U16();
        lib.flags = U16();
        lib.doc = Doc();
        lib.help_file = OptStr();

        const std::size_t imports = Count(32, "imported libraries");
        for (std::size_t i = 0; i < imports; ++i) {
            ImportedLibrary import;
            import.libid = Guid();
            import.major_version = U16();
            import.minor_version = U16();
            import.lcid = U32();
            import.name = Str();
            import.file_name = Str();
            lib.imports.push_back(std::move(import));
        }
        const std::size_t imported_types = Count(30, "imported types");
        for (std::size_t i = 0; i < imported_types; ++i) {
            ImportedType type;
            type.library = U32();
            type.name = Str();
            type.guid = Guid();
            type.kind = static_cast<TypeKind>(U16());
            type.index = U32();
            lib.imported_types.push_back(std::move(type));
        }
        const std::size_t types = Count(56, "types");
        for (std::size_t i = 0; i < types; ++i) {
            lib.types.push_back(TypeRecord());
        }
        return lib;
    }

    TypeInfo TypeRecord() {
        TypeInfo type;
        type.name = Str();
        type.guid = Guid();
        type.kind = static_cast<TypeKind>(U16());
        type.flags = U16();
        type.major_version = U16();
        type.minor_version = U16();
        type.vtable_size = U16();
        type.instance_size = U32();
        type.alignment = U16();
        type.doc = Doc();
        const std::size_t impls = Count(9, "implemented types");
        for (std::size_t i = 0; i < impls; ++i) {
            ImplType impl;
            impl.ref = Ref();
            impl.flags = I32();
            type.impl_types.push_back(impl);
        }
        const std::size_t funcs = Count(35, "functions");
        for (std::size_t i = 0; i < funcs; ++i) {
            Func func;
            func.member_id = I32();
            func.name = Str();
            func.invoke_kind = static_cast<InvokeKind>(U16());
            func.func_kind = static_cast<FuncKind>(U16());
            func.call_conv = static_cast<CallConv>(U16());
            func.flags = U16();
            func.vtable_offset = static_cast<std::int16_t>(U16());
            func.return_type = Type();
            func.optional_param_count = static_cast<std::int16_t>(U16());
            func.doc = Doc();
            const std::size_t params = Count(9, "parameters");
            for (std::size_t p = 0; p < params; ++p) {
                Param param;
                param.name = OptStr();
                param.flags = U16();
                param.type = Type();
                if (param.flags & kParamHasDefault) {
                    param.default_value = Constant();
                }
                func.params.push_back(std::move(param));
            }
            type.funcs.push_back(std::move(func));
        }
        const std::size_t vars = Count(25, "variables");
        for (std::size_t i = 0; i < vars; ++i) {
            Var var;
            var.member_id = I32();
            var.name = Str();
            var.var_kind = static_cast<VarKind>(U16());
            var.flags = U16();
            var.type = Type();
            var.value = Constant();
            var.doc = Doc();
            type.vars.push_back(std::move(var));
        }
        return type;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t copied_ = 0;
    std::vector<std::string> strings_;
};

}  // namespace

bool ReadTypeLib(const std::uint8_t* data, std::size_t size, Library& library, std::string& error) {
    if (data == nullptr && size != 0) {
        error = "no data";
        return false;
    }
    Library result;
    try {
        result = Reader(data, size).Read();
    } catch (const FormatError& failure) {
        error = failure.message;
        return false;
    } catch (const std::bad_alloc&) {
        error = "out of memory while reading the type library";
        return false;
    }
    if (!ValidateLibrary(result, error)) {
        error = "inconsistent type library: " + error;
        return false;
    }
    library = std::move(result);
    return true;
}

bool ReadTypeLibFile(const std::string& path, Library& library, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    if (!ReadTypeLib(bytes.data(), bytes.size(), library, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace tevo::idl
