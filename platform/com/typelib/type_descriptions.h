// The COM structures that describe a type library's types and members (TLIBATTR,
// TYPEATTR, FUNCDESC, VARDESC), built from the type-library model, and the hreftypes that
// name referenced types inside them.
//
// Each structure is one allocation that holds everything it points to (parameter
// descriptions, nested type descriptions, default values), so the matching Delete...
// function frees it whole. The New... functions return null when memory runs out.
#pragma once

#include <cstdint>

#include "tevo/com/typeinfo.h"
#include "tevo/idl/typelib_model.h"

namespace tevo::com::typelib {

// An hreftype names a type the library refers to: one of its own types (even numbers,
// twice the type's index) or an entry of its imported types (odd numbers).
HREFTYPE HrefOf(const idl::TypeRef& ref);
idl::TypeRef TypeRefOf(HREFTYPE href);

// A constant as a VARIANT of the constant's type; a string becomes a new BSTR. E_OUTOFMEMORY
// when that string cannot be allocated (the VARIANT is then VT_EMPTY).
HRESULT ValueToVariant(const idl::Value& value, VARIANT* out);

// `flags` are the library flags to report (the model's flags with what the loader adds).
TLIBATTR* NewLibAttr(const idl::Library& library, WORD flags);
void DeleteLibAttr(TLIBATTR* attr);

TYPEATTR* NewTypeAttr(const idl::Library& library, const idl::TypeInfo& type);
void DeleteTypeAttr(TYPEATTR* attr);

FUNCDESC* NewFuncDesc(const idl::Func& func);
void DeleteFuncDesc(FUNCDESC* desc);

VARDESC* NewVarDesc(const idl::Var& var);
void DeleteVarDesc(VARDESC* desc);

}  // namespace tevo::com::typelib
