// COM initialization of a thread.
//
// There are no apartments: every object has threading model Both and is called directly
// from any thread. What is kept is COM's per-thread bookkeeping: an initialization count
// (S_OK for the first CoInitializeEx of a thread, S_FALSE for further ones, each to be
// balanced by CoUninitialize) and the concurrency model asked for first, so that asking
// for the other model while initialized gives RPC_E_CHANGED_MODE as in COM.
#pragma once

#include "tevo/win/types.h"
#include "tevo/win/winerror.h"

enum COINIT {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8
};

enum APTTYPE {
    APTTYPE_CURRENT = -1,
    APTTYPE_STA = 0,
    APTTYPE_MTA = 1,
    APTTYPE_NA = 2,
    APTTYPE_MAINSTA = 3
};

enum APTTYPEQUALIFIER {
    APTTYPEQUALIFIER_NONE = 0,
    APTTYPEQUALIFIER_IMPLICIT_MTA = 1,
    APTTYPEQUALIFIER_NA_ON_MTA = 2,
    APTTYPEQUALIFIER_NA_ON_STA = 3,
    APTTYPEQUALIFIER_NA_ON_IMPLICIT_MTA = 4,
    APTTYPEQUALIFIER_NA_ON_MAINSTA = 5,
    APTTYPEQUALIFIER_APPLICATION_STA = 6
};

extern "C" {
// pvReserved must be null; dwCoInit a combination of the COINIT_ flags.
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED).
HRESULT CoInitialize(LPVOID pvReserved);
// Balances one successful CoInitialize(Ex); does nothing on a thread that is not
// initialized.
void CoUninitialize();
// The model the calling thread was initialized with (APTTYPE_STA or APTTYPE_MTA), or
// CO_E_NOTINITIALIZED.
HRESULT CoGetApartmentType(APTTYPE* pAptType, APTTYPEQUALIFIER* pAptQualifier);
}
