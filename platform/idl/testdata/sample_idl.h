// IDL sources shared by the tests of the compiler, the format and the header generator.
#pragma once

namespace tevo::idl::testing {

// Every construct of the supported subset: imports, an enumeration with hex, negative,
// implicit and HRESULT-sized values, interfaces with property pairs in both orders, an
// unnamed put value, SAFEARRAY and enumeration parameters, optional and default values,
// explicit ids, a derived interface, a dual interface, and coclasses with member flags.
inline constexpr const char* kSampleIdl = R"IDL(
// Sample library for the tests.
import "oaidl.idl";
import "ocidl.idl";

cpp_quote("// ignored")

typedef [helpstring("Modes of a widget"), helpcontext(300), v1_enum] enum tagWidgetMode {
    [helpstring("Off"), helpcontext(301)] WidgetModeOff = 0,
    WidgetModeSlow = 0x10,
    WidgetModeReverse = -3,
    WidgetModeNext,
    WidgetModeFault = 0x80040210,
    WidgetModeFlags = (WidgetModeSlow | 1) << 2,
} WidgetMode;

interface IWidgetChild;

[
    object,
    uuid(11111111-2222-3333-4444-555555555555),
    helpstring("Widget interface "),
    helpcontext(100),
    oleautomation,
    nonextensible,
    pointer_default(unique)
]
interface IWidget : IUnknown
{
    [helpstring("Configures it."), helpcontext(101)]
    HRESULT Configure([in] VARIANT_BOOL Enabled, [in] long Count, [in] WidgetMode Mode,
                      [in] SAFEARRAY(double) Points, [in, defaultvalue(-1)] long Option);
    [propput, helpstring("The mode."), helpcontext(102)] HRESULT Mode([in] WidgetMode);
    [propget, helpstring("The mode."), helpcontext(102)] HRESULT Mode([out, retval] WidgetMode* pVal);
    [propget] HRESULT Scale([out, retval] double* pVal);
    [propput] HRESULT Scale([in] double);
    [propget] HRESULT Name([in] long Index, [out, retval] BSTR* pVal);
    HRESULT Read([in] long Count, [out, retval] unsigned char* pResponse);
    HRESULT Fill([in, out] SAFEARRAY(long)* Values, [in, out] SAFEARRAY(BSTR)* Names);
    [id(0x42), hidden, restricted, helpstring("Tab\there \"quoted\" \x41\101")]
    HRESULT Secret([in] VARIANT Data, [in, optional] VARIANT Extra);
    HRESULT Child([out, retval] IWidgetChild** ppChild);
    HRESULT Defaults([in, defaultvalue("abc")] BSTR Text, [in, defaultvalue(2.5)] double Real,
                     [in, defaultvalue(WidgetModeSlow)] WidgetMode Mode);
};

[object, uuid(22222222-2222-3333-4444-555555555555), helpstring("Derived widget"), oleautomation]
interface IWidgetChild : IWidget
{
    [propget] HRESULT Level([out, retval] short* pVal);
    HRESULT Ping(void);
    HRESULT Parent([out] IUnknown** ppUnknown, [in] int Flags, [in] float Ratio);
};

[
    uuid(77777777-2222-3333-4444-555555555555),
    version(1.2),
    lcid(0x0409),
    helpstring("Widget 1.2 Type Library"),
    helpfile("Widget.chm"),
    helpcontext(7)
]
library WidgetLib
{
    importlib("stdole2.tlb");

    [object, uuid(33333333-2222-3333-4444-555555555555), oleautomation, dual, hidden]
    interface IWidgetScript : IDispatch
    {
        [id(1), propget] HRESULT Value([out, retval] long* pVal);
        [id(1), propput] HRESULT Value([in] long newValue);
    };

    [object, uuid(44444444-2222-3333-4444-555555555555)]
    interface IWidgetEvents : IUnknown
    {
        HRESULT Changed([in] unsigned long Count, [in] unsigned short Code, [in] DOUBLE Level);
    };

    [uuid(55555555-2222-3333-4444-555555555555), helpstring("Widget Class"), helpcontext(500)]
    coclass Widget
    {
        [default] interface IWidget;
        interface IWidgetChild;
        [default, source] interface IWidgetEvents;
    };

    [uuid(66666666-2222-3333-4444-555555555555), noncreatable, hidden, appobject]
    coclass WidgetItem
    {
        [default] interface IWidgetChild;
    };
};
)IDL";

}  // namespace tevo::idl::testing
