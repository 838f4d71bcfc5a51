#include "session/errors.h"

#include <array>
#include <cstdio>

#include "tevo/com/com_ptr.h"
#include "tevo/com/errorinfo.h"
#include "tevo/com/holders.h"

namespace tevo::cli {

std::string HresultText(HRESULT hr) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%08X", static_cast<unsigned>(hr));
    return text.data();
}

std::string TakeErrorDescription() {
    tevo::com::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) {
        return {};
    }
    tevo::com::Bstr description;
    if (FAILED(info->GetDescription(&description))) {
        return {};
    }
    // Descriptions end their lines Windows-style; a terminal wants plain line feeds.
    std::string text;
    for (const char c : description.ToUtf8()) {
        if (c != '\r') {
            text += c;
        }
    }
    return text;
}

void Check(HRESULT hr, std::string_view what) {
    if (SUCCEEDED(hr)) {
        return;
    }
    std::string description = TakeErrorDescription();
    if (description.empty()) {
        description = "failed with HRESULT " + HresultText(hr);
    }
    throw DriverError(std::string(what) + ": " + description, hr);
}

}  // namespace tevo::cli
