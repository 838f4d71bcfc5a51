// Checks a header that tevo-midl generated at build time (testdata/Gadget.idl, which
// imports testdata/GadgetBase.idl): it compiles, a C++ object implements its interface,
// and every method sits in the vtable slot that the generated type library records.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "Gadget.h"
#include "tevo/idl/typelib_format.h"

namespace tevo::idl {
namespace {

static_assert(sizeof(GadgetColour) == 4);
static_assert(std::is_same_v<std::underlying_type_t<GadgetColour>, std::int32_t>);
static_assert(GadgetColourBlue == 0x10);
static_assert(GadgetColourFault == static_cast<std::int32_t>(0x80040210u));
static_assert(GadgetColourNext == static_cast<std::int32_t>(0x80040211u));
static_assert(std::is_base_of_v<IGadgetCounter, IGadget>);
static_assert(std::is_base_of_v<IUnknown, IGadgetCounter>);
static_assert(std::is_abstract_v<IGadget>);
static_assert(sizeof(IGadget) == sizeof(void*));  // the vtable pointer and nothing else

class Gadget : public IGadget {
  public:
    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IGadgetCounter || iid == IID_IGadget) {
            *out = static_cast<IGadget*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }
    HRESULT get_Count(LONG* value) override {
        *value = count_;
        return S_OK;
    }
    HRESULT Increment(LONG step) override {
        count_ += step;
        return S_OK;
    }
    HRESULT put_Colour(GadgetColour colour) override {
        colour_ = colour;
        return S_OK;
    }
    HRESULT get_Colour(GadgetColour* colour) override {
        *colour = colour_;
        return S_FALSE;  // a distinct result, to tell the accessors apart
    }
    HRESULT get_Level(DOUBLE* level) override {
        *level = level_;
        return S_OK;
    }
    HRESULT put_Level(DOUBLE level) override {
        level_ = level;
        return S_OK;
    }
    HRESULT Describe(BSTR prefix, BSTR* text) override {
        *text = prefix;
        return 7;
    }
    HRESULT Sum(SAFEARRAY* values, DOUBLE* sum) override {
        *sum = -1.0;
        return values == nullptr ? E_POINTER : S_OK;
    }
    HRESULT Read(LONG count, BYTE* response) override {
        for (LONG i = 0; i < count; ++i) {
            response[i] = static_cast<BYTE>('a' + i);
        }
        return S_OK;
    }

  private:
    ULONG refs_ = 1;
    LONG count_ = 0;
    GadgetColour colour_ = GadgetColourRed;
    DOUBLE level_ = 0;
};

// The function in vtable slot `slot` of `object`, as a plain function taking the object
// first, which is how the ABI passes `this`.
template <class Function>
Function SlotOf(IGadget* object, int slot) {
    void* const* vtable = *reinterpret_cast<void* const* const*>(object);
    Function function;
    std::memcpy(&function, &vtable[slot], sizeof function);
    return function;
}

// The vtable slot that a pointer to a virtual member function designates (the Itanium C++
// ABI stores 1 + the slot's byte offset).
template <class Member>
std::ptrdiff_t SlotOfMember(Member member) {
    static_assert(sizeof(Member) == 2 * sizeof(std::ptrdiff_t));
    std::ptrdiff_t parts[2];
    std::memcpy(parts, &member, sizeof parts);
    EXPECT_EQ(parts[0] & 1, 1) << "not a virtual function";
    return (parts[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(GeneratedHeaderTest, CallsThroughRawVtableSlots) {
    Gadget gadget;
    IGadget* object = &gadget;

    EXPECT_EQ(SlotOf<HRESULT (*)(IGadget*, LONG)>(object, 4)(object, 5), S_OK);  // Increment
    LONG count = 0;
    EXPECT_EQ(SlotOf<HRESULT (*)(IGadget*, LONG*)>(object, 3)(object, &count), S_OK);  // get_Count
    EXPECT_EQ(count, 5);

    EXPECT_EQ(SlotOf<HRESULT (*)(IGadget*, GadgetColour)>(object, 5)(object, GadgetColourBlue),
              S_OK);
    GadgetColour colour = GadgetColourRed;
    EXPECT_EQ(SlotOf<HRESULT (*)(IGadget*, GadgetColour*)>(object, 6)(object, &colour), S_FALSE);
    EXPECT_EQ(colour, GadgetColourBlue);

    // Level: the get accessor comes first here.
    EXPECT_EQ(SlotOf<HRESULT (*)(IGadget*, DOUBLE)>(object, 8)(object, 2.5), S_OK);
    DOUBLE level = 0;
    EXPECT_EQ(SlotOf<HRESULT (*)(IGadget*, DOUBLE*)>(object, 7)(object, &level), S_OK);
    EXPECT_EQ(level, 2.5);

    OLECHAR prefix[] = L"x";
    BSTR text = nullptr;
    EXPECT_EQ(SlotOf<HRESULT (*)(IGadget*, BSTR, BSTR*)>(object, 9)(object, prefix, &text), 7);
    EXPECT_EQ(text, prefix);
    DOUBLE sum = 0;
    EXPECT_EQ(SlotOf<HRESULT (*)(IGadget*, SAFEARRAY*, DOUBLE*)>(object, 10)(object, nullptr, &sum),
              E_POINTER);
    EXPECT_EQ(sum, -1.0);
    BYTE buffer[3] = {};
    EXPECT_EQ(SlotOf<HRESULT (*)(IGadget*, LONG, BYTE*)>(object, 11)(object, 3, buffer), S_OK);
    EXPECT_EQ(buffer[2], 'c');

    void* same = nullptr;
    EXPECT_EQ(
        SlotOf<HRESULT (*)(IGadget*, REFIID, void**)>(object, 0)(object, IID_IGadgetCounter, &same),
        S_OK);
    EXPECT_EQ(same, object);
}

TEST(GeneratedHeaderTest, HeaderSlotsMatchTheGeneratedTypeLibrary) {
    Library lib;
    std::string error;
    ASSERT_TRUE(ReadTypeLibFile(TEVO_GADGET_TLB, lib, error)) << error;
    EXPECT_EQ(lib.name, "GadgetLib");
    EXPECT_EQ(lib.major_version, 2);
    EXPECT_EQ(lib.minor_version, 1);
    EXPECT_TRUE(lib.libid == LIBID_GadgetLib);
    ASSERT_GE(lib.imports.size(), 1u);
    EXPECT_EQ(lib.imports[0].name, "GadgetBaseLib");

    const int index = lib.FindType("IGadget");
    ASSERT_GE(index, 0);
    const TypeInfo& gadget = lib.types[static_cast<std::size_t>(index)];
    EXPECT_TRUE(gadget.guid == IID_IGadget);
    EXPECT_EQ(gadget.doc.help_string, "Gadget ");
    EXPECT_EQ(lib.RefName(gadget.impl_types.at(0).ref), "IGadgetCounter");
    EXPECT_TRUE(lib.types[static_cast<std::size_t>(lib.FindType("Gadget"))].guid == CLSID_Gadget);

    // Each method of the C++ struct sits in the slot the library gives its function.
    const std::pair<const char*, std::ptrdiff_t> header_slots[] = {
        {"put_Colour", SlotOfMember(&IGadget::put_Colour)},
        {"get_Colour", SlotOfMember(&IGadget::get_Colour)},
        {"get_Level", SlotOfMember(&IGadget::get_Level)},
        {"put_Level", SlotOfMember(&IGadget::put_Level)},
        {"Describe", SlotOfMember(&IGadget::Describe)},
        {"Sum", SlotOfMember(&IGadget::Sum)},
        {"Read", SlotOfMember(&IGadget::Read)},
    };
    ASSERT_EQ(gadget.funcs.size(), std::size(header_slots));
    for (std::size_t i = 0; i < gadget.funcs.size(); ++i) {
        const Func& func = gadget.funcs[i];
        const std::string prefix = func.invoke_kind == InvokeKind::kPropertyGet   ? "get_"
                                   : func.invoke_kind == InvokeKind::kPropertyPut ? "put_"
                                                                                  : "";
        EXPECT_EQ(prefix + func.name, header_slots[i].first);
        EXPECT_EQ(func.vtable_offset / static_cast<int>(kPointerSize), header_slots[i].second)
            << func.name;
    }
    EXPECT_EQ(SlotOfMember(&IGadget::get_Count), 3);
    EXPECT_EQ(SlotOfMember(&IGadget::Increment), 4);
    EXPECT_EQ(gadget.funcs.front().member_id, 0x60020000);  // derived from an imported interface
}

}  // namespace
}  // namespace tevo::idl
