#include <gtest/gtest.h>

#include <thread>

#include "tevo/com/apartment.h"

namespace {

APTTYPE CurrentType() {
    APTTYPE type = APTTYPE_CURRENT;
    APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
    CoGetApartmentType(&type, &qualifier);
    return type;
}

TEST(Apartment, InitializationIsCountedPerThread) {
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    EXPECT_EQ(CoGetApartmentType(&type, &qualifier), CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE), S_FALSE);
    EXPECT_EQ(CurrentType(), APTTYPE_MTA);

    HRESULT other = E_FAIL;
    std::thread([&] {
        other = CoInitialize(nullptr);
        EXPECT_EQ(CurrentType(), APTTYPE_STA);
        CoUninitialize();
    }).join();
    EXPECT_EQ(other, S_OK);  // the other thread starts uninitialized

    CoUninitialize();
    EXPECT_EQ(CurrentType(), APTTYPE_MTA);  // one call still unbalanced
    CoUninitialize();
    EXPECT_EQ(CoGetApartmentType(&type, &qualifier), CO_E_NOTINITIALIZED);
    CoUninitialize();  // one too many: ignored
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

TEST(Apartment, AskingForTheOtherModelIsRefusedAndNotCounted) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    EXPECT_EQ(CoGetApartmentType(&type, &qualifier), CO_E_NOTINITIALIZED);
    int reserved = 0;
    EXPECT_EQ(CoInitializeEx(&reserved, COINIT_MULTITHREADED), E_INVALIDARG);
    EXPECT_EQ(CoInitializeEx(nullptr, 0x100), E_INVALIDARG);
    EXPECT_EQ(CoGetApartmentType(&type, &qualifier), CO_E_NOTINITIALIZED);
}

}  // namespace
