#include "class_registry.h"

#include <string>

#include "tevo/com/guid.h"
#include "tevo/win/registry.h"
#include "tevo/win/winerror.h"

namespace tevo::com::activation {

LONG ReadClassesRootString(const std::string& subkey, bool expand, std::string* value) {
    const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | (expand ? 0 : RRF_NOEXPAND);
    // Another process may change the value between asking for its size and reading it;
    // a value that keeps growing is given up on after a few tries.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = 0;
        LONG status = RegGetValueA(HKEY_CLASSES_ROOT, subkey.c_str(), nullptr, flags, nullptr,
                                   nullptr, &size);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        std::string data(size, '\0');
        status = RegGetValueA(HKEY_CLASSES_ROOT, subkey.c_str(), nullptr, flags, nullptr,
                              data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        data.resize(size);
        value->assign(data.c_str());  // up to the first zero
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

std::string ClassKey(const CLSID& clsid) {
    return "CLSID\\" + GuidToUtf8(clsid);
}

HRESULT ReadInprocServerPath(const CLSID& clsid, std::string* path) {
    const LONG status = ReadClassesRootString(ClassKey(clsid) + "\\InprocServer32", true, path);
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_UNSUPPORTED_TYPE ||
        (status == ERROR_SUCCESS && path->empty())) {
        return REGDB_E_CLASSNOTREG;
    }
    if (status != ERROR_SUCCESS) {
        return REGDB_E_READREGDB;
    }
    return S_OK;
}

bool HasLocalServer(const CLSID& clsid) {
    HKEY key = nullptr;
    const std::string name = ClassKey(clsid) + "\\LocalServer32";
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

}  // namespace tevo::com::activation
