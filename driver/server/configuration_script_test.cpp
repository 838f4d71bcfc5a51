// The IVI configuration-store scripts that registration and unregistration of the built
// driver module run through the script host: the entries they leave in the master store
// (read back with ivi-config), what a second registration keeps, concurrent runs, and the
// failures that must change nothing.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "server/configuration_script.h"
#include "testing/thread_watchdog.h"
#include "tevo/IviConfigServer.h"
#include "tevo/com/activation.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/holders.h"
#include "tevo/testing/run_program.h"
#include "tevo/testing/temp_dir.h"

namespace tevo::driver {
namespace {

namespace fs = std::filesystem;
using tevo::com::Bstr;
using tevo::com::ComPtr;

using ServerFunction = HRESULT (*)();

std::string Config(const std::vector<std::string>& args) {
    const auto run = tevo::testing::RunProgram(TEVO_IVI_CONFIG_PROGRAM, args);
    EXPECT_EQ(run.exit_code, 0) << args[0] << ": " << run.err;
    return run.out;
}

// Everything the master store holds, as ivi-config lists and shows it.
std::string StoreContents() {
    std::string all = Config({"list"});
    for (const auto& [kind, name] :
         {std::pair{"hardware-asset", "Tevo.Hardware"},
          std::pair{"software-module", "Tevo.Software"},
          std::pair{"driver-session", "Tevo.DriverSession"}, std::pair{"logical-name", "Tevo"}}) {
        const auto run = tevo::testing::RunProgram(TEVO_IVI_CONFIG_PROGRAM, {"show", kind, name});
        all += run.exit_code == 0 ? run.out : std::string(kind) + " missing\n";
    }
    return all;
}

constexpr const char* kEntryList =
    "hardware-asset Tevo.Hardware\n"
    "software-module Tevo.Software\n"
    "driver-session Tevo.DriverSession\n"
    "logical-name Tevo\n"
    "published-api IviDriver 1.0 IVI-COM\n"
    "published-api IviSpecAn 1.0 IVI-COM\n";
constexpr const char* kHardwareAsset =
    "Name: Tevo.Hardware\n"
    "Description: Tevo hardware asset description\n"
    "IOResourceDescriptor: GPIB0::20::INSTR\n";
constexpr const char* kSoftwareModule =
    "Name: Tevo.Software\n"
    "Description: Tevo software module description\n"
    "ProgID: Tevo.Tevo\n"
    "Prefix: Tevo\n"
    "SupportedInstrumentModels: KLA,KLBR,KLC,KLD,KLF\n"
    "PhysicalName: SpecAnTrace:SpecAnTrace:range1:1:3\n"
    "PhysicalName: Trace:Trace:range1:1:6\n"
    "PublishedAPI: IviDriver 1.0 IVI-COM\n"
    "PublishedAPI: IviSpecAn 1.0 IVI-COM\n";
constexpr const char* kDriverSession =
    "Name: Tevo.DriverSession\n"
    "Description: Tevo driver session description\n"
    "HardwareAsset: Tevo.Hardware\n"
    "SoftwareModuleName: Tevo.Software\n"
    "Cache: true\n"
    "DriverSetup: \n"
    "InterchangeCheck: false\n"
    "QueryInstrStatus: true\n"
    "RangeCheck: false\n"
    "RecordCoercions: false\n"
    "Simulate: false\n"
    "VirtualName: Tr1=SpecAnTrace1\n"
    "VirtualName: Tr2=SpecAnTrace2\n"
    "VirtualName: Tr3=SpecAnTrace3\n"
    "VirtualName: Trace1=Trace1\n"
    "VirtualName: Trace2=Trace2\n"
    "VirtualName: Trace3=Trace3\n"
    "VirtualName: Trace4=Trace4\n"
    "VirtualName: Trace5=Trace5\n"
    "VirtualName: Trace6=Trace6\n";
constexpr const char* kLogicalName =
    "Name: Tevo\n"
    "Description: Tevo logical name description\n"
    "Session: Tevo.DriverSession\n";

std::string RegisteredStore() {
    return std::string(kEntryList) + kHardwareAsset + kSoftwareModule + kDriverSession +
           kLogicalName;
}

fs::path TemporaryDirectory() {
    char path[MAX_PATH + 1] = {};
    EXPECT_GT(GetTempPathA(sizeof path, path), 0u);
    return path;
}

// The files in the temporary directory (none when it does not exist).
std::vector<std::string> TemporaryFiles() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(TemporaryDirectory(), error)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// Loads the master store, lets `change` edit it and saves it, as a user's tool would.
template <class Change>
void EditMasterStore(Change change) {
    ComPtr<IIviConfigStore> store;
    ASSERT_EQ(CoCreateInstance(CLSID_IviConfigStore, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IIviConfigStore, reinterpret_cast<void**>(&store)),
              S_OK);
    Bstr location;
    ASSERT_EQ(store->get_MasterLocation(&location), S_OK);
    ASSERT_EQ(store->Deserialize(location.Get()), S_OK);
    change(store.Get());
    ASSERT_EQ(store->Serialize(location.Get()), S_OK);
}

VARIANT ByName(const Bstr& name) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_BSTR;
    index.bstrVal = name.Get();  // borrowed
    return index;
}

class ConfigurationScripts : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryA(TEVO_DRIVER_MODULE);
        ASSERT_NE(module_, nullptr) << TEVO_DRIVER_MODULE;
        register_ = reinterpret_cast<ServerFunction>(GetProcAddress(module_, "DllRegisterServer"));
        unregister_ =
            reinterpret_cast<ServerFunction>(GetProcAddress(module_, "DllUnregisterServer"));
        ASSERT_NE(register_, nullptr);
        ASSERT_NE(unregister_, nullptr);
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    HMODULE module_ = nullptr;
    ServerFunction register_ = nullptr;
    ServerFunction unregister_ = nullptr;
};

TEST_F(ConfigurationScripts, RegistrationAddsExactlyTheEntriesOfTheDriver) {
    const auto temporary_before = TemporaryFiles();
    ASSERT_EQ(register_(), S_OK);
    EXPECT_EQ(StoreContents(), RegisteredStore());
    EXPECT_EQ(TemporaryFiles(), temporary_before);
    EXPECT_EQ(unregister_(), S_OK);
}

TEST_F(ConfigurationScripts, RegisteringAgainKeepsOneOfEachAndWhatTheUserChanged) {
    ASSERT_EQ(register_(), S_OK);
    EditMasterStore([](IIviConfigStore* store) {
        ComPtr<IIviHardwareAssetCollection> assets;
        ASSERT_EQ(store->get_HardwareAssets(&assets), S_OK);
        ComPtr<IIviHardwareAsset> asset;
        const Bstr asset_name = Bstr::FromUtf8("Tevo.Hardware");
        ASSERT_EQ(assets->get_Item(ByName(asset_name), &asset), S_OK);
        const Bstr resource = Bstr::FromUtf8("TCPIP0::analyzer::5025::SOCKET");
        ASSERT_EQ(asset->put_IOResourceDescriptor(resource.Get()), S_OK);

        ComPtr<IIviDriverSessionCollection> sessions;
        ASSERT_EQ(store->get_DriverSessions(&sessions), S_OK);
        ComPtr<IIviDriverSession> session;
        const Bstr session_name = Bstr::FromUtf8("Tevo.DriverSession");
        ASSERT_EQ(sessions->get_Item(ByName(session_name), &session), S_OK);
        ASSERT_EQ(session->put_Simulate(VARIANT_TRUE), S_OK);
        ComPtr<IIviVirtualNameCollection> virtual_names;
        ASSERT_EQ(session->get_VirtualNames(&virtual_names), S_OK);
        ComPtr<IIviVirtualName> tr1;
        const Bstr tr1_name = Bstr::FromUtf8("Tr1");
        ASSERT_EQ(virtual_names->get_Item(ByName(tr1_name), &tr1), S_OK);
        const Bstr mapped = Bstr::FromUtf8("Trace1");
        ASSERT_EQ(tr1->put_MapTo(mapped.Get()), S_OK);

        ComPtr<IIviLogicalNameCollection> logical_names;
        ASSERT_EQ(store->get_LogicalNames(&logical_names), S_OK);
        ComPtr<IIviLogicalName> logical;
        const Bstr logical_name = Bstr::FromUtf8("Tevo");
        ASSERT_EQ(logical_names->get_Item(ByName(logical_name), &logical), S_OK);
        const Bstr description = Bstr::FromUtf8("my analyzer");
        ASSERT_EQ(logical->put_Description(description.Get()), S_OK);
    });
    // A physical name the user took out comes back; the rest stays as the user left it.
    Config({"remove", "software-module", "Tevo.Software"});
    Config({"add", "software-module", "Tevo.Software", "--progid", "Tevo.Tevo", "--physical-name",
            "Trace:Trace:range1:1:6"});
    const std::string changed_module =
        "Name: Tevo.Software\n"
        "Description: \n"
        "ProgID: Tevo.Tevo\n"
        "Prefix: \n"
        "SupportedInstrumentModels: \n"
        "PhysicalName: Trace:Trace:range1:1:6\n"
        "PhysicalName: SpecAnTrace:SpecAnTrace:range1:1:3\n"
        "PublishedAPI: IviDriver 1.0 IVI-COM\n"
        "PublishedAPI: IviSpecAn 1.0 IVI-COM\n";

    ASSERT_EQ(register_(), S_OK);

    std::string expected = RegisteredStore();
    auto replace = [&expected](const std::string& from, const std::string& to) {
        const std::size_t at = expected.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        expected.replace(at, from.size(), to);
    };
    replace("IOResourceDescriptor: GPIB0::20::INSTR",
            "IOResourceDescriptor: "
            "TCPIP0::analyzer::5025::SOCKET");
    replace(kSoftwareModule, changed_module);
    replace("Simulate: false", "Simulate: true");
    replace("Tr1=SpecAnTrace1", "Tr1=Trace1");
    replace("Description: Tevo logical name description", "Description: my analyzer");
    EXPECT_EQ(StoreContents(), expected);
    EXPECT_EQ(unregister_(), S_OK);
}

TEST_F(ConfigurationScripts, UnregistrationRemovesTheSoftwareModuleFromTheSavedStore) {
    ASSERT_EQ(register_(), S_OK);
    const auto temporary_before = TemporaryFiles();
    ASSERT_EQ(unregister_(), S_OK);
    // Read back by another process from the file: the change was saved.
    EXPECT_EQ(StoreContents(),
              "hardware-asset Tevo.Hardware\n"
              "driver-session Tevo.DriverSession\n"
              "logical-name Tevo\n"
              "published-api IviDriver 1.0 IVI-COM\n"
              "published-api IviSpecAn 1.0 IVI-COM\n" +
                  std::string(kHardwareAsset) + "software-module missing\n" + kDriverSession +
                  kLogicalName);
    EXPECT_EQ(TemporaryFiles(), temporary_before);
    // Unregistering again finds nothing to remove and still succeeds.
    EXPECT_EQ(unregister_(), S_OK);
}

// The master store file's path.
fs::path MasterStorePath() {
    ComPtr<IIviConfigStore> store;
    EXPECT_EQ(CoCreateInstance(CLSID_IviConfigStore, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IIviConfigStore, reinterpret_cast<void**>(&store)),
              S_OK);
    Bstr location;
    EXPECT_EQ(store->get_MasterLocation(&location), S_OK);
    return location.ToUtf8();
}

// Counts the times a file is written whole in its folder, in place or by renaming a
// finished file onto it, from the moment the watch starts.
class StoreWrites {
  public:
    explicit StoreWrites(const fs::path& file) : name_(file.filename().string()) {
        fs::create_directories(file.parent_path());
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        EXPECT_GE(fd_, 0);
        EXPECT_GE(inotify_add_watch(fd_, file.parent_path().c_str(), IN_CLOSE_WRITE | IN_MOVED_TO),
                  0);
    }
    ~StoreWrites() { close(fd_); }
    StoreWrites(const StoreWrites&) = delete;
    StoreWrites& operator=(const StoreWrites&) = delete;

    // The writes since the last call.
    int Count() {
        int writes = 0;
        alignas(inotify_event) char buffer[16384];
        while (true) {
            const ssize_t length = read(fd_, buffer, sizeof buffer);
            if (length <= 0) {
                EXPECT_TRUE(length < 0 && errno == EAGAIN) << "inotify read failed";
                return writes;
            }
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                writes += event->len > 0 && name_ == event->name;
                EXPECT_EQ(event->mask & IN_Q_OVERFLOW, 0u);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

  private:
    std::string name_;
    int fd_ = -1;
};

// All steps run against one loaded store: a registration saves it once, and one that finds
// every entry present does not save it at all.
TEST_F(ConfigurationScripts, RegistrationSavesTheStoreOnceAndNotWhenNothingIsMissing) {
    StoreWrites writes(MasterStorePath());
    ASSERT_EQ(register_(), S_OK);
    EXPECT_EQ(writes.Count(), 1);
    EXPECT_EQ(StoreContents(), RegisteredStore());
    ASSERT_EQ(register_(), S_OK);
    EXPECT_EQ(writes.Count(), 0);
    EXPECT_EQ(StoreContents(), RegisteredStore());
    EXPECT_EQ(unregister_(), S_OK);
    EXPECT_EQ(writes.Count(), 1);
}

// The configuration step of several registrations at once. (Whole registrations at once
// race in the registry scripts instead, whose ForceRemove keys one run deletes while the
// other writes below them.)
TEST_F(ConfigurationScripts, RegistrationScriptsRunningAtOnceAllCompleteWithOneOfEachEntry) {
    const auto temporary_before = TemporaryFiles();
    auto ran = std::make_shared<std::array<bool, 3>>();
    {
        tevo::driver::testing::WatchedThreads threads;
        for (std::size_t i = 0; i < ran->size(); ++i) {
            threads.Start([ran, i, module = module_] {
                (*ran)[i] = RunConfigurationScript(module, kRegisterConfigurationScript);
            });
        }
        ASSERT_TRUE(threads.JoinWithin(std::chrono::seconds(120))) << "registration hangs";
    }
    EXPECT_EQ(*ran, (std::array<bool, 3>{true, true, true}));
    EXPECT_EQ(StoreContents(), RegisteredStore());
    EXPECT_EQ(TemporaryFiles(), temporary_before);
}

TEST_F(ConfigurationScripts, AMissingScriptOrScriptHostRunsNothingAndLeavesNoFiles) {
    const auto temporary_before = TemporaryFiles();
    EXPECT_FALSE(RunConfigurationScript(module_, 299));
    EXPECT_FALSE(
        RunConfigurationScript(module_, kRegisterConfigurationScript, L"no-such-script-host.exe"));
    EXPECT_EQ(TemporaryFiles(), temporary_before);
    EXPECT_EQ(Config({"list"}), "");
    // The script host itself runs it.
    EXPECT_TRUE(RunConfigurationScript(module_, kRegisterConfigurationScript));
    EXPECT_EQ(StoreContents(), RegisteredStore());
    EXPECT_EQ(TemporaryFiles(), temporary_before);
}

TEST_F(ConfigurationScripts, AScriptThatCannotBeWrittenChangesNothingInTheResult) {
    // A file where the temporary directory should be: no script file can be created.
    fs::path temporary = TemporaryDirectory();
    if (!temporary.has_filename()) {
        temporary = temporary.parent_path();  // without the trailing separator
    }
    fs::remove_all(temporary);
    fs::create_directories(temporary.parent_path());
    tevo::testing::WriteFile(temporary.string(), "not a folder");
    EXPECT_EQ(register_(), S_OK);
    EXPECT_EQ(Config({"list"}), "");
    EXPECT_EQ(unregister_(), S_OK);
    EXPECT_EQ(tevo::testing::ReadFile(temporary.string()), "not a folder");
}

}  // namespace
}  // namespace tevo::driver
