// Trace transfer: the instrument's answer to "TRAC? TRACE<n>" as an IEEE 488.2
// definite-length block of little-endian 32-bit reals, and the caller's array of doubles
// that receives it.
//
// The block is read whole, by the length that its header announces, however long the
// trace is; the VISA session consumes the line feed that follows it, so the next query gets
// its own reply. A header that is not a definite-length block header ("#", a digit 1 to 9,
// that many decimal digits), or data shorter than announced, fails with error 30002 naming
// what was wrong, after a device clear; "#0" (no length digits) is an empty trace.
#pragma once

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "operations/operation_context.h"

namespace tevo::driver::operations {

// Leaves new elements uninitialised: a trace's bytes are read straight into the buffer, so
// zero-filling it first would only be a second pass over the whole block.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    explicit UninitializedAllocator(const UninitializedAllocator<U>& /*other*/) {}
    template <class U>
    void construct(U* place) {
        ::new (static_cast<void*>(place)) U;
    }
    template <class U, class... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

using TraceBytes = std::vector<BYTE, UninitializedAllocator<BYTE>>;

// Queries trace trace_number and leaves its data bytes (without the header) in data. The
// exchange ends with the instrument status check.
HRESULT ReadTraceBlock(OperationContext& context, LONG trace_number, TraceBytes* data);

// Checks the caller's array before any I/O: none, or a one-dimensional array of doubles.
// Anything else is error 30008 for the method's parameter "Amplitude".
HRESULT CheckCallerArray(const OperationContext& context, const char* method, SAFEARRAY* array);

// Widens the block's values (4 bytes each; a remainder is ignored) into the caller's array:
// a new array when there is none, the array enlarged when it is shorter than the trace.
// Elements beyond the trace keep their contents.
HRESULT StoreTraceValues(const TraceBytes& data, SAFEARRAY** array);

// The simulated trace: a new array of 100 zeros replaces the caller's array.
HRESULT StoreSimulatedTrace(SAFEARRAY** array);

}  // namespace tevo::driver::operations
