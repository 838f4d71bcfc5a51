// libFuzzer target: any bytes as an IVI configuration store file, read into a store object
// and checked as loading a store does. A store that loads must be written as a document that
// loads into a store written out the same again (what is saved loads back unchanged); one
// that does not load must say why. Run with -DTEVO_FUZZ=ON under clang (see
// platform/ivi/configserver/CMakeLists.txt).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config_store.h"
#include "store_xml.h"

namespace {

using tevo::ivi::config::ConfigStoreObject;
using tevo::ivi::config::MakeObject;
using tevo::ivi::config::ReadStoreXml;
using tevo::ivi::config::ValidateStore;
using tevo::ivi::config::WriteStoreXml;

constexpr wchar_t kMasterLocation[] = L"/ProgramData/IVI Foundation/IVI/IviConfigurationStore.xml";

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Loads as Deserialize does; the reason when the bytes are refused.
bool Load(std::string_view bytes, ConfigStoreObject& store, std::wstring* error) {
    return ReadStoreXml(bytes, store, error) && ValidateStore(store, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto store = MakeObject<ConfigStoreObject>();
    std::wstring error;
    if (!Load(bytes, *store.Get(), &error)) {
        Require(!error.empty());
        store->Clear();  // entries refer to their collections and back
        return 0;
    }
    const std::string written = WriteStoreXml(*store.Get(), kMasterLocation);
    const auto again = MakeObject<ConfigStoreObject>();
    Require(Load(written, *again.Get(), &error));
    Require(WriteStoreXml(*again.Get(), kMasterLocation) == written);
    store->Clear();
    again->Clear();
    return 0;
}
