// The IDL compiler's front end: from MIDL source to a type-library model.
//
// Names are resolved in this order: the file's own types, then the types of the libraries
// named by importlib (in their order), then IUnknown and IDispatch of the built-in stdole2
// library (which is added as an import when the file does not import it itself). A file
// named by importlib("X.dll"), importlib("X.tlb") or importlib("X") is read from X.tlb,
// looked up in the search paths and then in the folder of the IDL file; stdole2.tlb and
// stdole32.tlb are built in. `import "X.idl"` makes the header include "X.h" (oaidl.idl,
// ocidl.idl, unknwn.idl, objidl.idl and wtypes.idl are built in and add nothing): the
// types of another library are resolved through its compiled type library.
//
// Every type the file defines, inside or outside the library block, goes into the library
// in source order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tevo/idl/diagnostic.h"
#include "tevo/idl/typelib_model.h"

namespace tevo::idl {

struct CompileOptions {
    // Folders searched for the .tlb files of imported libraries.
    std::vector<std::string> library_paths;
};

struct CompiledIdl {
    // False when the file has no library block: a header can still be generated, but there
    // is no type library to write.
    bool has_library = false;
    Library library;
    // Headers of imported IDL files and imported libraries, in first-use order
    // ("IviDriverTypeLib.h").
    std::vector<std::string> header_includes;
};

// Compiles IDL text; `file_name` is used in messages and to find imported libraries next
// to the file. Returns false with the first error in `error`.
bool CompileIdl(std::string_view source, const std::string& file_name,
                const CompileOptions& options, CompiledIdl& result, Diagnostic& error);

// Reads and compiles an IDL file.
bool CompileIdlFile(const std::string& path, const CompileOptions& options, CompiledIdl& result,
                    Diagnostic& error);

}  // namespace tevo::idl
