// The OLE Automation standard library (stdole2.tlb), built in: IUnknown and IDispatch, so
// that every library can name its base interfaces without a file on disk.
#pragma once

#include "tevo/idl/typelib_model.h"

namespace tevo::idl {

// {00020430-0000-0000-C000-000000000046}, version 2.0.
inline constexpr GUID kStdole2Libid = {
    0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID kIidIUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID kIidIDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The model of stdole2: library "stdole", IUnknown (index 0, hidden, three restricted
// functions) and IDispatch (index 1, derived from IUnknown, four restricted functions).
// Parameters that point to structures (GUID, DISPPARAMS, EXCEPINFO) are described as
// void pointers: nothing in this system inspects them.
const Library& Stdole2();

// True for the file names that mean the built-in library ("stdole2.tlb", "stdole32.tlb",
// in any letter case, with or without a folder).
bool IsStdoleFileName(std::string_view file_name);

}  // namespace tevo::idl
