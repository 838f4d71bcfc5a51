#include <gtest/gtest.h>

#include <thread>

#include "tevo/com/bstr.h"
#include "tevo/com/errorinfo.h"

namespace {

constexpr GUID kInterface = {
    0x11223344, 0x5566, 0x7788, {0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00}};

// A new error object with the given description, as IErrorInfo (one reference).
IErrorInfo* MakeError(const wchar_t* description) {
    ICreateErrorInfo* create = nullptr;
    EXPECT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(description));
    IErrorInfo* info = nullptr;
    EXPECT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    create->Release();
    return info;
}

std::wstring DescriptionOf(IErrorInfo* info) {
    BSTR text = nullptr;
    EXPECT_EQ(info->GetDescription(&text), S_OK);
    std::wstring result = text == nullptr ? L"<null>" : std::wstring(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

// The reference count of an object, read through AddRef/Release.
ULONG RefsOf(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

TEST(ErrorObject, HoldsWhatWasSet) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);

    // Nothing set yet.
    GUID guid = kInterface;
    EXPECT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, GUID_NULL);
    EXPECT_EQ(DescriptionOf(info), L"<null>");
    DWORD context = 7;
    EXPECT_EQ(info->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 0u);

    create->SetGUID(kInterface);
    create->SetSource(const_cast<LPOLESTR>(L"Tevo.Tevo.1"));
    create->SetDescription(const_cast<LPOLESTR>(L"Tevo: Cannot recover.\r\n\nError Code: 1"));
    create->SetHelpFile(const_cast<LPOLESTR>(L"\"Tevo.chm\""));
    create->SetHelpContext(42);
    EXPECT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, kInterface);
    BSTR text = nullptr;
    ASSERT_EQ(info->GetSource(&text), S_OK);
    EXPECT_STREQ(text, L"Tevo.Tevo.1");
    SysFreeString(text);
    EXPECT_EQ(DescriptionOf(info), L"Tevo: Cannot recover.\r\n\nError Code: 1");
    ASSERT_EQ(info->GetHelpFile(&text), S_OK);
    EXPECT_STREQ(text, L"\"Tevo.chm\"");
    SysFreeString(text);
    EXPECT_EQ(info->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 42u);
    EXPECT_EQ(info->GetDescription(nullptr), E_INVALIDARG);

    // One object behind both interfaces.
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    create->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    info->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    EXPECT_EQ(a, b);
    void* other = &guid;
    EXPECT_EQ(info->QueryInterface(IID_ISupportErrorInfo, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    a->Release();
    b->Release();
    EXPECT_EQ(info->Release(), 1u);
    EXPECT_EQ(create->Release(), 0u);
}

TEST(ErrorSlot, GetErrorInfoHandsTheObjectOverAndClearsTheSlot) {
    IErrorInfo* info = MakeError(L"first");
    ASSERT_EQ(SetErrorInfo(0, info), S_OK);
    EXPECT_EQ(RefsOf(info), 2u);  // ours and the slot's

    IErrorInfo* taken = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
    EXPECT_EQ(taken, info);
    EXPECT_EQ(RefsOf(info), 2u);  // the slot's reference moved to us
    taken->Release();

    IErrorInfo* again = info;
    EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(info->Release(), 0u);
}

TEST(ErrorSlot, SettingReplacesAndReleasesThePreviousObject) {
    IErrorInfo* first = MakeError(L"first");
    IErrorInfo* second = MakeError(L"second");
    SetErrorInfo(0, first);
    SetErrorInfo(0, second);
    EXPECT_EQ(RefsOf(first), 1u);
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(RefsOf(second), 1u);
    IErrorInfo* none = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
    EXPECT_EQ(SetErrorInfo(1, first), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(1, &none), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
    first->Release();
    second->Release();
}

TEST(ErrorSlot, EachThreadHasItsOwn) {
    IErrorInfo* mine = MakeError(L"main thread");
    SetErrorInfo(0, mine);
    std::wstring seenByOther;
    HRESULT otherGet = E_FAIL;
    std::thread other([&] {
        IErrorInfo* found = nullptr;
        otherGet = GetErrorInfo(0, &found);
        IErrorInfo* own = MakeError(L"other thread");
        SetErrorInfo(0, own);
        own->Release();
        IErrorInfo* back = nullptr;
        if (GetErrorInfo(0, &back) == S_OK) {
            seenByOther = DescriptionOf(back);
            back->Release();
        }
    });
    other.join();
    EXPECT_EQ(otherGet, S_FALSE);
    EXPECT_EQ(seenByOther, L"other thread");
    IErrorInfo* back = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &back), S_OK);
    EXPECT_EQ(back, mine);
    back->Release();
    mine->Release();
}

TEST(ErrorSlot, AThreadsObjectIsReleasedWhenTheThreadEnds) {
    IErrorInfo* info = MakeError(L"left behind");
    std::thread worker([info] { SetErrorInfo(0, info); });
    worker.join();
    EXPECT_EQ(RefsOf(info), 1u);
    EXPECT_EQ(info->Release(), 0u);
}

}  // namespace
