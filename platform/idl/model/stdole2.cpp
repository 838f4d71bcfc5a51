#include "tevo/idl/stdole2.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace tevo::idl {

namespace {

Param MakeParam(const char* name, std::uint16_t flags, TypeDesc type) {
    Param param;
    param.name = name;
    param.flags = flags;
    param.type = std::move(type);
    return param;
}

Func MakeFunc(std::int32_t id, const char* name, int slot, VarType result,
              std::vector<Param> params) {
    Func func;
    func.member_id = id;
    func.name = name;
    func.flags = kFuncRestricted;
    func.vtable_offset = static_cast<std::int16_t>(slot * static_cast<int>(kPointerSize));
    func.return_type = TypeDesc::Of(result);
    func.params = std::move(params);
    return func;
}

Library BuildStdole2() {
    const TypeDesc void_ptr = TypeDesc::Of(VarType::kVoid).PointerTo();
    const TypeDesc void_ptr_ptr = void_ptr.PointerTo();
    const TypeDesc uint_type = TypeDesc::Of(VarType::kUint);
    const TypeDesc ulong_type = TypeDesc::Of(VarType::kUi4);

    Library lib;
    lib.name = "stdole";
    lib.libid = kStdole2Libid;
    lib.major_version = 2;
    lib.minor_version = 0;
    lib.doc.help_string = "OLE Automation";

    TypeInfo unknown;
    unknown.name = "IUnknown";
    unknown.guid = kIidIUnknown;
    unknown.kind = TypeKind::kInterface;
    unknown.flags = kTypeHidden;
    unknown.vtable_size = static_cast<std::uint16_t>(3 * kPointerSize);
    unknown.instance_size = kPointerSize;
    unknown.alignment = static_cast<std::uint16_t>(kPointerSize);
    unknown.funcs.push_back(MakeFunc(
        0x60000000, "QueryInterface", 0, VarType::kHresult,
        {MakeParam("riid", kParamIn, void_ptr), MakeParam("ppvObj", kParamOut, void_ptr_ptr)}));
    unknown.funcs.push_back(MakeFunc(0x60000001, "AddRef", 1, VarType::kUi4, {}));
    unknown.funcs.push_back(MakeFunc(0x60000002, "Release", 2, VarType::kUi4, {}));
    lib.types.push_back(unknown);

    TypeInfo dispatch;
    dispatch.name = "IDispatch";
    dispatch.guid = kIidIDispatch;
    dispatch.kind = TypeKind::kInterface;
    dispatch.flags = 0;
    dispatch.vtable_size = static_cast<std::uint16_t>(7 * kPointerSize);
    dispatch.instance_size = kPointerSize;
    dispatch.alignment = static_cast<std::uint16_t>(kPointerSize);
    dispatch.impl_types.push_back(ImplType{TypeRef{TypeRef::Scope::kLocal, 0}, 0});
    dispatch.funcs.push_back(MakeFunc(0x60010000, "GetTypeInfoCount", 3, VarType::kHresult,
                                      {MakeParam("pctinfo", kParamOut, uint_type.PointerTo())}));
    dispatch.funcs.push_back(
        MakeFunc(0x60010001, "GetTypeInfo", 4, VarType::kHresult,
                 {MakeParam("itinfo", kParamIn, uint_type), MakeParam("lcid", kParamIn, ulong_type),
                  MakeParam("pptinfo", kParamOut, void_ptr_ptr)}));
    dispatch.funcs.push_back(MakeFunc(
        0x60010002, "GetIDsOfNames", 5, VarType::kHresult,
        {MakeParam("riid", kParamIn, void_ptr),
         MakeParam("rgszNames", kParamIn, TypeDesc::Of(VarType::kI1).PointerTo().PointerTo()),
         MakeParam("cNames", kParamIn, uint_type), MakeParam("lcid", kParamIn, ulong_type),
         MakeParam("rgdispid", kParamOut, TypeDesc::Of(VarType::kI4).PointerTo())}));
    dispatch.funcs.push_back(
        MakeFunc(0x60010003, "Invoke", 6, VarType::kHresult,
                 {MakeParam("dispidMember", kParamIn, TypeDesc::Of(VarType::kI4)),
                  MakeParam("riid", kParamIn, void_ptr), MakeParam("lcid", kParamIn, ulong_type),
                  MakeParam("wFlags", kParamIn, TypeDesc::Of(VarType::kUi2)),
                  MakeParam("pdispparams", kParamIn, void_ptr),
                  MakeParam("pvarResult", kParamOut, TypeDesc::Of(VarType::kVariant).PointerTo()),
                  MakeParam("pexcepinfo", kParamOut, void_ptr),
                  MakeParam("puArgErr", kParamOut, uint_type.PointerTo())}));
    lib.types.push_back(dispatch);
    return lib;
}

}  // namespace

const Library& Stdole2() {
    static const Library library = BuildStdole2();
    return library;
}

bool IsStdoleFileName(std::string_view file_name) {
    const std::size_t slash = file_name.find_last_of("/\\");
    if (slash != std::string_view::npos) {
        file_name = file_name.substr(slash + 1);
    }
    std::string lower(file_name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "stdole2.tlb" || lower == "stdole32.tlb";
}

}  // namespace tevo::idl
