#include "tevo/idl/idl_compiler.h"

#include <gtest/gtest.h>

#include <string>

#include "../testdata/sample_idl.h"
#include "tevo/idl/stdole2.h"
#include "tevo/idl/typelib_format.h"
#include "tevo/testing/temp_dir.h"

namespace tevo::idl {
namespace {

using testing::kSampleIdl;

CompiledIdl Compile(const std::string& source, const CompileOptions& options = {},
                    const std::string& file = "test.idl") {
    CompiledIdl result;
    Diagnostic error;
    EXPECT_TRUE(CompileIdl(source, file, options, result, error)) << error.ToString();
    return result;
}

const TypeInfo& Type(const Library& lib, const std::string& name) {
    const int index = lib.FindType(name);
    EXPECT_GE(index, 0) << name;
    return lib.types.at(static_cast<std::size_t>(index < 0 ? 0 : index));
}

const Func& Function(const TypeInfo& type, const std::string& name, InvokeKind kind) {
    for (const Func& func : type.funcs) {
        if (func.name == name && func.invoke_kind == kind) {
            return func;
        }
    }
    ADD_FAILURE() << "no function " << name;
    return type.funcs.front();
}

int Slot(const Func& func) {
    return func.vtable_offset / static_cast<int>(kPointerSize);
}

TEST(IdlCompilerTest, LibraryAttributesAndImports) {
    const CompiledIdl idl = Compile(kSampleIdl);
    const Library& lib = idl.library;
    ASSERT_TRUE(idl.has_library);
    EXPECT_EQ(lib.name, "WidgetLib");
    EXPECT_EQ(FormatGuid(lib.libid), "77777777-2222-3333-4444-555555555555");
    EXPECT_EQ(lib.major_version, 1);
    EXPECT_EQ(lib.minor_version, 2);
    EXPECT_EQ(lib.lcid, 0x0409u);
    EXPECT_EQ(lib.sys_kind, SysKind::kWin32);
    EXPECT_EQ(lib.doc.help_string, "Widget 1.2 Type Library");
    EXPECT_EQ(lib.doc.help_context, 7u);
    EXPECT_EQ(lib.help_file, "Widget.chm");
    ASSERT_EQ(lib.imports.size(), 1u);
    EXPECT_TRUE(lib.imports[0].libid == kStdole2Libid);
    EXPECT_EQ(lib.imports[0].major_version, 2);
    EXPECT_EQ(lib.imports[0].file_name, "stdole2.tlb");
    // Built-in IDL imports add no header; stdole2 neither.
    EXPECT_TRUE(idl.header_includes.empty());
    // Every type in source order, whether declared inside the library block or not.
    std::vector<std::string> names;
    for (const TypeInfo& type : lib.types) {
        names.push_back(type.name);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"WidgetMode", "IWidget", "IWidgetChild", "IWidgetScript",
                                        "IWidgetEvents", "Widget", "WidgetItem"}));
}

TEST(IdlCompilerTest, EnumerationValuesAndDocumentation) {
    const Library lib = Compile(kSampleIdl).library;
    const TypeInfo& mode = Type(lib, "WidgetMode");
    EXPECT_EQ(mode.kind, TypeKind::kEnum);
    EXPECT_EQ(mode.doc.help_string, "Modes of a widget");
    EXPECT_EQ(mode.doc.help_context, 300u);
    EXPECT_EQ(mode.instance_size, 4u);
    ASSERT_EQ(mode.vars.size(), 6u);
    const std::vector<std::int64_t> values = {
        0, 0x10, -3, -2, static_cast<std::int32_t>(0x80040210u), 0x44};
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(mode.vars[i].value, Value::I4(static_cast<std::int32_t>(values[i])))
            << mode.vars[i].name;
        EXPECT_EQ(mode.vars[i].member_id, kVarIdBase + static_cast<std::int32_t>(i));
        EXPECT_EQ(mode.vars[i].var_kind, VarKind::kConst);
        EXPECT_EQ(mode.vars[i].type, TypeDesc::Of(VarType::kI4));
    }
    EXPECT_EQ(mode.vars[0].name, "WidgetModeOff");
    EXPECT_EQ(mode.vars[0].doc.help_string, "Off");
    EXPECT_EQ(mode.vars[0].doc.help_context, 301u);
    EXPECT_FALSE(mode.vars[1].doc.help_string.has_value());
}

TEST(IdlCompilerTest, MemberIdsSlotsAndPropertyPairs) {
    const Library lib = Compile(kSampleIdl).library;
    const TypeInfo& widget = Type(lib, "IWidget");
    EXPECT_EQ(widget.vtable_size, 14 * kPointerSize);
    EXPECT_EQ(widget.flags, kTypeOleAutomation | kTypeNonExtensible);
    EXPECT_EQ(widget.doc.help_string, "Widget interface ");  // trailing blank kept
    struct Expected {
        const char* name;
        InvokeKind kind;
        int slot;
        std::int32_t id;
    };
    const Expected expected[] = {
        {"Configure", InvokeKind::kFunc, 3, 0x60010000},
        {"Mode", InvokeKind::kPropertyPut, 4, 0x60010001},  // put first: the pair takes its slot
        {"Mode", InvokeKind::kPropertyGet, 5, 0x60010001},
        {"Scale", InvokeKind::kPropertyGet, 6, 0x60010003},  // get first
        {"Scale", InvokeKind::kPropertyPut, 7, 0x60010003},
        {"Name", InvokeKind::kPropertyGet, 8, 0x60010005},
        {"Read", InvokeKind::kFunc, 9, 0x60010006},
        {"Fill", InvokeKind::kFunc, 10, 0x60010007},
        {"Secret", InvokeKind::kFunc, 11, 0x42},  // a given id wins
        {"Child", InvokeKind::kFunc, 12, 0x60010009},
        {"Defaults", InvokeKind::kFunc, 13, 0x6001000A},
    };
    ASSERT_EQ(widget.funcs.size(), std::size(expected));
    for (std::size_t i = 0; i < widget.funcs.size(); ++i) {
        const Func& func = widget.funcs[i];
        EXPECT_EQ(func.name, expected[i].name);
        EXPECT_EQ(func.invoke_kind, expected[i].kind) << func.name;
        EXPECT_EQ(Slot(func), expected[i].slot) << func.name;
        EXPECT_EQ(func.member_id, expected[i].id) << func.name;
        EXPECT_EQ(func.func_kind, FuncKind::kPureVirtual);
        EXPECT_EQ(func.call_conv, CallConv::kStdCall);
        EXPECT_EQ(func.return_type, TypeDesc::Of(VarType::kHresult));
    }

    // Derived from an interface derived from IUnknown: 0x60020000 and slots after the base's.
    const TypeInfo& child = Type(lib, "IWidgetChild");
    EXPECT_EQ(child.vtable_size, 17 * kPointerSize);
    EXPECT_EQ(lib.RefName(child.impl_types.at(0).ref), "IWidget");
    EXPECT_EQ(Function(child, "Level", InvokeKind::kPropertyGet).member_id, 0x60020000);
    EXPECT_EQ(Slot(Function(child, "Level", InvokeKind::kPropertyGet)), 14);
    EXPECT_EQ(Function(child, "Ping", InvokeKind::kFunc).member_id, 0x60020001);
    EXPECT_TRUE(Function(child, "Ping", InvokeKind::kFunc).params.empty());

    // Explicit ids shared by a pair; IDispatch-derived dual interfaces are dispatchable.
    const TypeInfo& script = Type(lib, "IWidgetScript");
    EXPECT_EQ(script.flags, kTypeOleAutomation | kTypeDual | kTypeHidden | kTypeDispatchable);
    EXPECT_EQ(script.vtable_size, 9 * kPointerSize);
    EXPECT_EQ(Function(script, "Value", InvokeKind::kPropertyGet).member_id, 1);
    EXPECT_EQ(Function(script, "Value", InvokeKind::kPropertyPut).member_id, 1);
    EXPECT_EQ(Slot(Function(script, "Value", InvokeKind::kPropertyGet)), 7);
}

TEST(IdlCompilerTest, ParametersTypesFlagsAndDefaults) {
    const Library lib = Compile(kSampleIdl).library;
    const TypeInfo& widget = Type(lib, "IWidget");
    const TypeRef mode_ref{TypeRef::Scope::kLocal,
                           static_cast<std::uint32_t>(lib.FindType("WidgetMode"))};

    const Func& configure = Function(widget, "Configure", InvokeKind::kFunc);
    ASSERT_EQ(configure.params.size(), 5u);
    EXPECT_EQ(configure.doc.help_string, "Configures it.");
    EXPECT_EQ(configure.doc.help_context, 101u);
    EXPECT_EQ(configure.params[0].name, "Enabled");
    EXPECT_EQ(configure.params[0].type, TypeDesc::Of(VarType::kBool));
    EXPECT_EQ(configure.params[0].flags, kParamIn);
    EXPECT_EQ(configure.params[1].type, TypeDesc::Of(VarType::kI4));
    EXPECT_EQ(configure.params[2].type, TypeDesc::UserDefined(mode_ref));
    EXPECT_EQ(configure.params[3].type, (TypeDesc{{VarType::kSafeArray}, VarType::kR8, {}}));
    EXPECT_EQ(configure.params[4].flags, kParamIn | kParamOptional | kParamHasDefault);
    EXPECT_EQ(configure.params[4].default_value, Value::I4(-1));
    EXPECT_EQ(configure.optional_param_count, 0);

    // The unnamed value of a property put has no name in the library.
    const Func& put_mode = Function(widget, "Mode", InvokeKind::kPropertyPut);
    ASSERT_EQ(put_mode.params.size(), 1u);
    EXPECT_FALSE(put_mode.params[0].name.has_value());
    EXPECT_EQ(put_mode.params[0].type, TypeDesc::UserDefined(mode_ref));
    const Func& get_mode = Function(widget, "Mode", InvokeKind::kPropertyGet);
    EXPECT_EQ(get_mode.params[0].flags, kParamOut | kParamRetval);
    EXPECT_EQ(get_mode.params[0].type, TypeDesc::UserDefined(mode_ref).PointerTo());

    const Func& name = Function(widget, "Name", InvokeKind::kPropertyGet);
    EXPECT_EQ(name.params[1].type, TypeDesc::Of(VarType::kBstr).PointerTo());
    const Func& read = Function(widget, "Read", InvokeKind::kFunc);
    EXPECT_EQ(read.params[1].type, TypeDesc::Of(VarType::kUi1).PointerTo());
    const Func& fill = Function(widget, "Fill", InvokeKind::kFunc);
    EXPECT_EQ(fill.params[0].type,
              (TypeDesc{{VarType::kPtr, VarType::kSafeArray}, VarType::kI4, {}}));
    EXPECT_EQ(fill.params[1].type,
              (TypeDesc{{VarType::kPtr, VarType::kSafeArray}, VarType::kBstr, {}}));
    EXPECT_EQ(fill.params[0].flags, kParamIn | kParamOut);

    const Func& secret = Function(widget, "Secret", InvokeKind::kFunc);
    EXPECT_EQ(secret.flags, kFuncHidden | kFuncRestricted);
    EXPECT_EQ(secret.doc.help_string, "Tab\there \"quoted\" AA");
    EXPECT_EQ(secret.params[0].type, TypeDesc::Of(VarType::kVariant));
    EXPECT_EQ(secret.params[1].flags, kParamIn | kParamOptional);
    EXPECT_EQ(secret.optional_param_count, 1);

    const Func& child = Function(widget, "Child", InvokeKind::kFunc);
    const TypeRef child_ref{TypeRef::Scope::kLocal,
                            static_cast<std::uint32_t>(lib.FindType("IWidgetChild"))};
    EXPECT_EQ(child.params[0].type, TypeDesc::UserDefined(child_ref).PointerTo().PointerTo());

    const Func& defaults = Function(widget, "Defaults", InvokeKind::kFunc);
    EXPECT_EQ(defaults.params[0].default_value, (Value{VarType::kBstr, 0, 0, "abc"}));
    EXPECT_EQ(defaults.params[1].default_value, (Value{VarType::kR8, 0, 2.5, ""}));
    EXPECT_EQ(defaults.params[2].default_value, Value::I4(0x10));

    const Func& parent = Function(Type(lib, "IWidgetChild"), "Parent", InvokeKind::kFunc);
    EXPECT_EQ(parent.params[0].type, TypeDesc::Of(VarType::kUnknown).PointerTo());
    EXPECT_EQ(parent.params[0].flags, kParamOut);
    EXPECT_EQ(parent.params[1].type, TypeDesc::Of(VarType::kInt));
    EXPECT_EQ(parent.params[2].type, TypeDesc::Of(VarType::kR4));
    const Func& changed = Function(Type(lib, "IWidgetEvents"), "Changed", InvokeKind::kFunc);
    EXPECT_EQ(changed.params[0].type, TypeDesc::Of(VarType::kUi4));
    EXPECT_EQ(changed.params[1].type, TypeDesc::Of(VarType::kUi2));
    EXPECT_EQ(changed.params[2].type, TypeDesc::Of(VarType::kR8));
}

TEST(IdlCompilerTest, CoclassesAndBaseInterfaces) {
    const Library lib = Compile(kSampleIdl).library;
    const TypeInfo& widget = Type(lib, "Widget");
    EXPECT_EQ(widget.kind, TypeKind::kCoclass);
    EXPECT_EQ(widget.flags, kTypeCanCreate);
    EXPECT_EQ(widget.doc.help_context, 500u);
    ASSERT_EQ(widget.impl_types.size(), 3u);
    EXPECT_EQ(lib.RefName(widget.impl_types[0].ref), "IWidget");
    EXPECT_EQ(widget.impl_types[0].flags, kImplDefault);
    EXPECT_EQ(widget.impl_types[1].flags, 0);
    EXPECT_EQ(widget.impl_types[2].flags, kImplDefault | kImplSource);
    const TypeInfo& item = Type(lib, "WidgetItem");
    EXPECT_EQ(item.flags, kTypeHidden | kTypeAppObject);  // noncreatable: no FCANCREATE

    // IUnknown and IDispatch are types of the imported stdole2.
    const ImplType& base = Type(lib, "IWidget").impl_types.at(0);
    ASSERT_EQ(base.ref.scope, TypeRef::Scope::kImported);
    const ImportedType& unknown = lib.imported_types.at(base.ref.index);
    EXPECT_EQ(unknown.name, "IUnknown");
    EXPECT_TRUE(unknown.guid == kIidIUnknown);
    EXPECT_EQ(unknown.library, 0u);
    EXPECT_EQ(lib.RefName(Type(lib, "IWidgetScript").impl_types.at(0).ref), "IDispatch");
}

// Writes the library compiled from `source` as <dir>/<name>.tlb.
void WriteLibrary(const tevo::testing::TempDir& dir, const std::string& name,
                  const std::string& source, const CompileOptions& options = {}) {
    const CompiledIdl idl = Compile(source, options, (dir / (name + ".idl")).string());
    std::string error;
    ASSERT_TRUE(WriteTypeLibFile((dir / (name + ".tlb")).string(), idl.library, error)) << error;
}

constexpr const char* kDriverLikeIdl = R"(
[object, uuid(47ED5184-A398-11D4-BA58-000064657374), oleautomation]
interface IIviDriver : IUnknown {
    [propget] HRESULT DriverOperation([out, retval] IUnknown** pVal);
    [propget] HRESULT Identity([out, retval] IUnknown** pVal);
    [propget] HRESULT Utility([out, retval] IUnknown** pVal);
    HRESULT Initialize([in] BSTR ResourceName, [in] VARIANT_BOOL IdQuery, [in] VARIANT_BOOL Reset,
                       [in, optional] BSTR OptionString);
    [propget] HRESULT Initialized([out, retval] VARIANT_BOOL* pVal);
    HRESULT Close();
};
typedef enum DriverErrors { E_DRIVER_FAULT = 0x80047000 } DriverErrors;
[uuid(47ED5120-A398-11D4-BA58-000064657374), version(1.0)]
library IviDriverLib { importlib("stdole2.tlb"); interface IIviDriver; };
)";

TEST(IdlCompilerTest, ImportedBaseFromAnotherLibrary) {
    tevo::testing::TempDir dir;
    WriteLibrary(dir, "IviDriverTypeLib", kDriverLikeIdl);
    CompileOptions options;
    options.library_paths.push_back(dir.path().string());
    const CompiledIdl idl = Compile(R"(
[object, uuid(A0000001-0000-0000-0000-000000000001), oleautomation]
interface ITevoAcquisition : IUnknown {
    HRESULT Configure([in] VARIANT_BOOL SweepModeContinuous, [in] DriverErrors Code);
    [propput] HRESULT DetectorType([in] long);
    [propget] HRESULT DetectorType([out, retval] long* pVal);
    [propput] HRESULT DetectorTypeAuto([in] VARIANT_BOOL);
    [propget] HRESULT DetectorTypeAuto([out, retval] VARIANT_BOOL* pVal);
};
[object, uuid(A0000002-0000-0000-0000-000000000002), oleautomation]
interface ITevo : IIviDriver {
    [propget] HRESULT Acquisition([out, retval] ITevoAcquisition** pVal);
    [propget] HRESULT Display([out, retval] long* pVal);
};
[uuid(A0000000-0000-0000-0000-000000000000), version(1.0)]
library TevoLib {
    importlib("IviDriverTypeLib.dll");
    importlib("stdole2.tlb");
    [uuid(A0000003-0000-0000-0000-000000000003)]
    coclass Tevo { [default] interface ITevo; interface IIviDriver; };
};
)",
                                    options);
    const Library& lib = idl.library;
    const TypeInfo& acquisition = Type(lib, "ITevoAcquisition");
    EXPECT_EQ(Function(acquisition, "Configure", InvokeKind::kFunc).member_id, 0x60010000);
    EXPECT_EQ(Function(acquisition, "DetectorType", InvokeKind::kPropertyPut).member_id,
              0x60010001);
    EXPECT_EQ(Function(acquisition, "DetectorType", InvokeKind::kPropertyGet).member_id,
              0x60010001);
    EXPECT_EQ(Slot(Function(acquisition, "DetectorType", InvokeKind::kPropertyPut)), 4);
    EXPECT_EQ(Slot(Function(acquisition, "DetectorType", InvokeKind::kPropertyGet)), 5);
    EXPECT_EQ(Function(acquisition, "DetectorTypeAuto", InvokeKind::kPropertyPut).member_id,
              0x60010003);
    EXPECT_EQ(Slot(Function(acquisition, "DetectorTypeAuto", InvokeKind::kPropertyGet)), 7);

    const TypeInfo& tevo = Type(lib, "ITevo");
    const Func& get_acquisition = Function(tevo, "Acquisition", InvokeKind::kPropertyGet);
    EXPECT_EQ(get_acquisition.member_id, 0x60020000);
    EXPECT_EQ(Slot(get_acquisition), 9);  // IIviDriver fills slots 3 to 8
    EXPECT_EQ(tevo.vtable_size, 11 * kPointerSize);
    EXPECT_EQ(Function(tevo, "Display", InvokeKind::kPropertyGet).member_id, 0x60020001);

    // Imports in importlib order; references carry the imported type's GUID and name.
    ASSERT_EQ(lib.imports.size(), 2u);
    EXPECT_EQ(lib.imports[0].name, "IviDriverLib");
    EXPECT_EQ(lib.imports[0].file_name, "IviDriverTypeLib.dll");
    EXPECT_EQ(FormatGuid(lib.imports[0].libid), "47ED5120-A398-11D4-BA58-000064657374");
    EXPECT_EQ(lib.imports[0].major_version, 1);
    EXPECT_TRUE(lib.imports[1].libid == kStdole2Libid);
    const ImportedType& base = lib.imported_types.at(tevo.impl_types.at(0).ref.index);
    EXPECT_EQ(base.name, "IIviDriver");
    EXPECT_EQ(base.library, 0u);
    EXPECT_EQ(base.kind, TypeKind::kInterface);
    EXPECT_EQ(FormatGuid(base.guid), "47ED5184-A398-11D4-BA58-000064657374");
    // An imported enumeration (no uuid) is referenced by name.
    const TypeDesc& code = Function(acquisition, "Configure", InvokeKind::kFunc).params[1].type;
    ASSERT_EQ(code.base, VarType::kUserDefined);
    EXPECT_EQ(lib.RefName(code.ref), "DriverErrors");
    EXPECT_EQ(lib.RefKind(code.ref), TypeKind::kEnum);
    // The coclass lists the imported interface through the same import entry.
    EXPECT_EQ(Type(lib, "Tevo").impl_types.at(1).ref, tevo.impl_types.at(0).ref);
    EXPECT_EQ(idl.header_includes, std::vector<std::string>{"IviDriverTypeLib.h"});
}

TEST(IdlCompilerTest, InheritanceDepthFollowsImportsOfImports) {
    // C derives from B's interface, which derives from A's: depth 3 across three libraries.
    tevo::testing::TempDir dir;
    CompileOptions options;
    options.library_paths.push_back(dir.path().string());
    WriteLibrary(dir, "LibA", R"(
[object, uuid(B0000001-0000-0000-0000-000000000001)] interface IA : IUnknown { HRESULT A1(); HRESULT A2(); };
[uuid(B0000000-0000-0000-0000-000000000000), version(1.0)] library LibA { interface IA; };)");
    WriteLibrary(dir, "LibB", R"(
[object, uuid(B0000002-0000-0000-0000-000000000002)] interface IB : IA { HRESULT B1(); };
[uuid(B0000003-0000-0000-0000-000000000003), version(1.0)] library LibB { importlib("LibA.tlb"); interface IB; };)",
                 options);
    const Library lib = Compile(R"(
[object, uuid(B0000004-0000-0000-0000-000000000004)] interface IC : IB { HRESULT C1(); };
[uuid(B0000005-0000-0000-0000-000000000005), version(1.0)] library LibC { importlib("libb.DLL"); interface IC; };)",
                                options)
                            .library;
    const Func& c1 = Type(lib, "IC").funcs.at(0);
    EXPECT_EQ(c1.member_id, 0x60030000);
    EXPECT_EQ(Slot(c1), 6);
}

TEST(IdlCompilerTest, FileWithoutLibraryStillCompiles) {
    const CompiledIdl idl = Compile(R"(
import "Other.idl";
[object, uuid(C0000001-0000-0000-0000-000000000001)] interface IOnly : IUnknown { HRESULT Go(); };)");
    EXPECT_FALSE(idl.has_library);
    EXPECT_EQ(idl.library.types.size(), 1u);
    EXPECT_EQ(idl.header_includes, std::vector<std::string>{"Other.h"});
}

// Malformed input: each case must give the expected message at the expected place, never a
// crash. The place is given as the text the diagnostic must point at: the `occurrence`-th
// appearance of `at` in the source (nullptr: only the line is checked, it is line 1; "":
// the end of the source).
struct BadInput {
    const char* source;
    const char* at;
    const char* message;
    int occurrence = 1;
};

SourceLocation PositionOf(const std::string& source, const char* at, int occurrence) {
    std::size_t offset = source.size();
    if (*at != '\0') {
        offset = std::string::npos;
        for (int i = 0; i < occurrence; ++i) {
            offset = source.find(at, offset == std::string::npos ? 0 : offset + 1);
        }
    }
    SourceLocation location{1, 1};
    for (std::size_t i = 0; i < offset && i < source.size(); ++i) {
        if (source[i] == '\n') {
            ++location.line;
            location.column = 1;
        } else {
            ++location.column;
        }
    }
    return location;
}

class IdlCompilerErrorTest : public ::testing::TestWithParam<BadInput> {};

TEST_P(IdlCompilerErrorTest, ReportsFileLineAndColumn) {
    const BadInput& bad = GetParam();
    CompiledIdl result;
    Diagnostic error;
    ASSERT_FALSE(CompileIdl(bad.source, "bad.idl", {}, result, error)) << bad.source;
    const std::string text = error.ToString();
    EXPECT_EQ(text.rfind("bad.idl:", 0), 0u) << text;
    if (bad.at == nullptr) {
        EXPECT_EQ(error.location.line, 1) << text;
    } else {
        const SourceLocation expected = PositionOf(bad.source, bad.at, bad.occurrence);
        EXPECT_EQ(error.location.line, expected.line) << text;
        EXPECT_EQ(error.location.column, expected.column) << text;
    }
    EXPECT_NE(error.message.find(bad.message), std::string::npos) << text;
}

#define ITF "[object, uuid(D0000001-0000-0000-0000-000000000001)] interface I : IUnknown "

INSTANTIATE_TEST_SUITE_P(
    Table, IdlCompilerErrorTest,
    ::testing::Values(
        // Lexical errors.
        BadInput{"#include \"x.h\"", "#include", "preprocessor directives"},
        BadInput{"interface I;\n/* never closed", "/*", "unterminated comment"},
        BadInput{ITF "{ [helpstring(\"open)] HRESULT F(); };", "\"open", "unterminated string"},
        BadInput{ITF "{ [helpstring(\"a\\qb\")] HRESULT F(); };", "\\q",
                 "unknown escape sequence '\\q'"},
        BadInput{ITF "{ [helpstring(\"\\x100\")] HRESULT F(); };", "\\x", "escape out of range"},
        BadInput{"interface I : IUnknown { HRESULT F(); } @", "@", "unexpected character '@'"},
        BadInput{"\xC3\xA9", "\xC3", "unexpected character 0xC3"},
        BadInput{
            "[object, uuid(D0000009-0000-0000-0000-000000000009), version(1.x)] interface I {};",
            "1.x", "invalid number"},
        BadInput{"typedef enum { A = 099 } E;", "099", "invalid digit in octal"},
        BadInput{"typedef enum { A = 0x1FFFFFFFFFFFFFFFF } E;", "0x1F", "number too large"},
        // Syntax errors.
        BadInput{ITF "{ HRESULT F() };", "};", "expected ';', found '}'"},
        BadInput{"import \"a.idl\"", "", "expected ';', found end of file"},
        BadInput{"[object, uuid(D0000001-0000-0000-0000-000000000001)]\ninterface I : IUnknown {\n "
                 " HRESULT F(;\n};",
                 ";\n};", "expected a type, found ';'"},
        BadInput{"typedef struct { long a; } S;", "struct", "only 'typedef enum'"},
        BadInput{"dispinterface D { };", "dispinterface", "not supported"},
        BadInput{"[uuid(D0000009-0000-0000-0000-000000000009)] library L { }; library M { };",
                 "library M", "a second library"},
        BadInput{
            "typedef enum { A = ((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((1"
            "))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))) } E;",
            nullptr, "nested too deeply"},
        BadInput{ITF "{ HRESULT F([in] long x[4]); };", "[4]",
                 "array parameters are not supported"},
        // Declarations.
        BadInput{"\n\n  interface I : IUnknown { HRESULT F(); };", "interface",
                 "lacks the 'object' attribute"},
        BadInput{"[object] interface I : IUnknown { HRESULT F(); };", "interface", "needs a uuid"},
        BadInput{"[object, uuid(not-a-guid)] interface I : IUnknown {};", "not-a-guid",
                 "invalid GUID"},
        BadInput{"[object, uuid(D0000001-0000-0000-0000-000000000001)] interface I : INope {};",
                 "INope", "unknown base interface 'INope'"},
        BadInput{"[object, uuid(D0000001-0000-0000-0000-000000000001)] interface I : J {};"
                 "[object, uuid(D0000002-0000-0000-0000-000000000001)] interface J : I {};",
                 "interface I", "inherits from itself"},
        BadInput{ITF "{ HRESULT F(); }; [object, dual, uuid(D0000002-0000-0000-0000-000000000001)] "
                     "interface J : I {};",
                 "interface J", "must derive from IDispatch"},
        BadInput{"typedef enum { A = 1 } E; typedef enum { B = 1 } E;", "typedef enum { B",
                 "already defined at line 1"},
        BadInput{"library L { };", "library", "needs a uuid"},
        BadInput{"[uuid(D0000009-0000-0000-0000-000000000009)] library L { "
                 "importlib(\"Nowhere.dll\"); };",
                 "importlib", "cannot find Nowhere.tlb"},
        // Attributes.
        BadInput{ITF "{ [frobnicate] HRESULT F(); };", "frobnicate",
                 "'frobnicate' is not supported on a method"},
        BadInput{ITF "{ [in] HRESULT F(); };", "in]", "'in' is not supported on a method"},
        BadInput{ITF "{ [helpstring(\"a\", \"b\")] HRESULT F(); };", "helpstring",
                 "takes one argument"},
        BadInput{ITF "{ [helpcontext(1), helpcontext(2)] HRESULT F(); };", "helpcontext(2)",
                 "given twice"},
        BadInput{ITF "{ [propget, propput] HRESULT F([in] long x); };", "propput",
                 "at most one of"},
        // Methods and parameters.
        BadInput{ITF "{ HRESULT F([in] Missing x); };", "Missing", "unknown type 'Missing'"},
        BadInput{ITF "{ HRESULT F([out] long x); };", "[out] long", "is [out] but not a pointer"},
        BadInput{ITF "{ HRESULT F([retval] long* x); };", "[retval]", "is [retval] but not [out]"},
        BadInput{ITF "{ HRESULT F([out, retval] long* x, [in] long y); };", "[in] long y",
                 "must be the last one"},
        BadInput{ITF "{ HRESULT F([in, optional] VARIANT a, [in] long b); };", "[in] long b",
                 "cannot follow an optional one"},
        BadInput{ITF "{ HRESULT F([in] long***x); };", "long***",
                 "more than two levels of pointers"},
        BadInput{ITF "{ HRESULT F([in] void x); };", "void x", "only a result type"},
        BadInput{ITF "{ HRESULT F([in] IUnknown p); };", "IUnknown p", "passed by pointer"},
        BadInput{ITF "{ HRESULT F([in] SAFEARRAY(SAFEARRAY(long)) p); };", "SAFEARRAY(long)",
                 "SAFEARRAY of SAFEARRAYs"},
        BadInput{ITF "{ [propget] HRESULT P(); };", "HRESULT P", "needs an [out] parameter last"},
        BadInput{ITF "{ [propput] HRESULT P([out] long* v); };", "HRESULT P",
                 "needs an input parameter last"},
        BadInput{ITF "{ HRESULT F(); HRESULT F(); };", "HRESULT F", "declared twice", 2},
        BadInput{ITF "{ [propget] HRESULT F([out] long* v); HRESULT F(); };", "HRESULT F",
                 "declared twice", 2},
        BadInput{ITF "{ [id(5)] HRESULT F(); [id(5)] HRESULT G(); };", "HRESULT G",
                 "already used by F"},
        BadInput{ITF "{ [propget, id(1)] HRESULT P([out,retval] long* v); [propput, id(2)] HRESULT "
                     "P([in] long); };",
                 "HRESULT P([in]", "must carry the same id"},
        // Constants.
        BadInput{ITF "{ HRESULT F([in, defaultvalue(\"x\")] long p); };", "\"x\"",
                 "must be an integer"},
        BadInput{ITF "{ HRESULT F([in, defaultvalue(70000)] short p); };", "70000", "out of range"},
        BadInput{ITF "{ HRESULT F([in, defaultvalue(1)] BSTR p); };", "1)] BSTR",
                 "must be a string"},
        BadInput{"typedef enum { A = 0x100000000 } E;", "0x100000000", "does not fit in 32 bits"},
        BadInput{"typedef enum { A = -0x80000001 } E;", "-0x8", "does not fit in 32 bits"},
        BadInput{"typedef enum { A = 0x7FFFFFFF, B } E;", "B }", "implicit value of B"},
        BadInput{"typedef enum { A = 1, A = 2 } E;", "A = 2", "'A' is already defined"},
        BadInput{"typedef enum { A = B } E;", "B }", "unknown name 'B'"},
        BadInput{"typedef enum { A = 1 << 63 } E;", "<<", "shift count out of range"},
        BadInput{"typedef enum { A = 0x7FFFFFFFFFFFFFFF + 1 } E;", "+", "constant overflows"},
        // Coclasses.
        BadInput{"[uuid(D0000009-0000-0000-0000-000000000009)] coclass C { interface INope; };",
                 "interface INope", "unknown interface 'INope'"},
        BadInput{"typedef enum { A } E; [uuid(D0000009-0000-0000-0000-000000000009)] coclass C { "
                 "interface E; };",
                 "interface E", "is not an interface"},
        BadInput{
            ITF
            "{}; [uuid(D0000009-0000-0000-0000-000000000009)] coclass C { [default] interface I; "
            "[default] interface IUnknown; };",
            "interface IUnknown", "two default interfaces"},
        BadInput{ITF "{}; [uuid(D0000009-0000-0000-0000-000000000009)] coclass C { interface I; "
                     "interface I; };",
                 "interface I;", "listed twice", 2}));

TEST(IdlCompilerTest, FileErrorsNameTheFile) {
    CompiledIdl result;
    Diagnostic error;
    EXPECT_FALSE(CompileIdlFile("/nonexistent/x.idl", {}, result, error));
    EXPECT_EQ(error.ToString(), "/nonexistent/x.idl: cannot open the file");

    // A damaged imported library is reported at the importlib that names it.
    tevo::testing::TempDir dir;
    tevo::testing::WriteFile(dir / "Broken.tlb", "TEVOTLB\x1a garbage");
    CompileOptions options;
    options.library_paths.push_back(dir.path().string());
    EXPECT_FALSE(
        CompileIdl("[uuid(D0000009-0000-0000-0000-000000000009)]\nlibrary L {\n  "
                   "importlib(\"Broken.dll\"); };",
                   "x.idl", options, result, error));
    EXPECT_EQ(error.location.line, 3);
    EXPECT_NE(error.message.find("Broken.tlb"), std::string::npos) << error.message;
}

}  // namespace
}  // namespace tevo::idl
