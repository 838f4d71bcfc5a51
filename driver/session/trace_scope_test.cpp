#include "session/trace_scope.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "session/call_frame.h"
#include "session/trace_state.h"
#include "testing/driver_test_support.h"
#include "tevo/testing/temp_dir.h"

namespace tevo::driver {
namespace {

using testing::As;
using testing::Bstr;
using testing::ComPtr;
using testing::NewDriver;

// The driver's type library as the build made it, registered in the test's system root
// (the driver's own registration is not part of these tests).
void RegisterDriverTypeLibrary() {
    const std::filesystem::path tlb =
        std::filesystem::path(TEVO_DRIVER_MODULE).parent_path().parent_path() / "generated" /
        "tevo" / "Tevo.tlb";
    const std::wstring path = tevo::win::Utf8ToWide(tlb.string());
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLib(path.c_str(), &library), S_OK) << tlb;
    ASSERT_EQ(RegisterTypeLib(library.Get(), path.c_str(), nullptr), S_OK);
}

std::string ThreadTag() {
    return std::to_string(static_cast<int>(GetCurrentThreadId()));
}

class CallTracing : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv("TEVO_TRACE_FILE")) {
            old_variable_ = old;
        }
        setenv("TEVO_TRACE_FILE", log_.c_str(), 1);
    }
    void TearDown() override {
        if (old_variable_.empty()) {
            unsetenv("TEVO_TRACE_FILE");
        } else {
            setenv("TEVO_TRACE_FILE", old_variable_.c_str(), 1);
        }
    }

    // The texts of the log's lines, without their time stamp and process prefix.
    std::vector<std::string> Lines() const {
        std::vector<std::string> texts;
        std::ifstream in(log_);
        const std::regex record(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[\d+\] (.*))");
        for (std::string line; std::getline(in, line);) {
            std::smatch match;
            EXPECT_TRUE(std::regex_match(line, match, record)) << line;
            texts.push_back(match[1].str());
        }
        return texts;
    }
    std::vector<std::string> LinesFrom(size_t first) const {
        std::vector<std::string> all = Lines();
        return std::vector<std::string>(
            all.begin() + static_cast<long>(std::min(first, all.size())), all.end());
    }

    static ComPtr<ITevo> TracedDriver() {
        ComPtr<ITevo> driver = NewDriver();
        EXPECT_EQ(As<ITraceSwitch>(driver.Get())->put_Enabled(VARIANT_TRUE), S_OK);
        return driver;
    }
    static HRESULT InitializeSimulated(ITevo* driver) {
        return driver->Initialize(Bstr(L"GPIB0::20::INSTR").Get(), VARIANT_FALSE, VARIANT_FALSE,
                                  Bstr(L"Simulate=true").Get());
    }

    tevo::testing::TempDir dir_;
    std::string log_ = (dir_ / "calls.log").string();
    std::string old_variable_;
};

// Every interface method asks TracingMayBeOn first; while it is false the call takes no lock
// and asks no switch. It must be true whenever an object's trace switch is on.
TEST_F(CallTracing, TracingMayBeOnFollowsTheTraceSwitchesNotJustTheInstalledService) {
    RegisterDriverTypeLibrary();
    ComPtr<ITevo> driver = NewDriver();  // installs its tracing state, switch off
    ComPtr<ITraceSwitch> trace_switch = As<ITraceSwitch>(driver.Get());
    EXPECT_FALSE(TracingMayBeOn());
    ASSERT_EQ(trace_switch->put_Enabled(VARIANT_TRUE), S_OK);
    EXPECT_TRUE(TracingMayBeOn());
    ASSERT_EQ(trace_switch->put_Enabled(VARIANT_TRUE), S_OK);  // on twice, off once: off
    ASSERT_EQ(trace_switch->put_Enabled(VARIANT_FALSE), S_OK);
    EXPECT_FALSE(TracingMayBeOn());
    ASSERT_EQ(trace_switch->put_Enabled(VARIANT_FALSE), S_OK);  // never counts below zero
    ASSERT_EQ(trace_switch->put_Enabled(VARIANT_TRUE), S_OK);
    EXPECT_TRUE(TracingMayBeOn());
    ASSERT_EQ(trace_switch->put_Enabled(VARIANT_FALSE), S_OK);
}

TEST_F(CallTracing, TracingMayBeOnForgetsASwitchLeftOnWithItsObject) {
    RegisterDriverTypeLibrary();
    {
        ComPtr<ITevo> traced = TracedDriver();
        ASSERT_TRUE(TracingMayBeOn());
    }
    ComPtr<ITevo> driver = NewDriver();
    EXPECT_FALSE(TracingMayBeOn());
    ASSERT_EQ(As<ITraceSwitch>(driver.Get())->put_Enabled(VARIANT_TRUE), S_OK);
    EXPECT_TRUE(TracingMayBeOn());
    ASSERT_EQ(As<ITraceSwitch>(driver.Get())->put_Enabled(VARIANT_FALSE), S_OK);
}

TEST_F(CallTracing, PutCacheShowsItsValueThenTheNestedInitializedQuery) {
    RegisterDriverTypeLibrary();
    ComPtr<ITevo> driver = TracedDriver();
    ASSERT_EQ(InitializeSimulated(driver.Get()), S_OK);
    const std::string t = ThreadTag();
    const std::vector<std::string> initialize = Lines();
    ASSERT_FALSE(initialize.empty());
    EXPECT_EQ(initialize.front(),
              ">>> " + t +
                  ": IIviDriver::Initialize([in] ResourceName = \"GPIB0::20::INSTR\", [in] "
                  "IdQuery = 0, [in] Reset = 0, [in] OptionString = \"Simulate=true\")");
    EXPECT_EQ(initialize.back(), "<<< " + t + ": IIviDriver::Initialize()");

    ComPtr<IIviDriverOperation> operation = As<IIviDriverOperation>(driver.Get());
    ASSERT_EQ(operation->put_Cache(VARIANT_TRUE), S_OK);
    EXPECT_EQ(LinesFrom(initialize.size()),
              (std::vector<std::string>{
                  ">>> " + t + ": IIviDriverOperation::put_Cache([in] Value = 1)",
                  ">>> " + t + ": IIviDriver::get_Initialized()",
                  "<<< " + t + ": IIviDriver::get_Initialized([out,retval] pVal = 1)",
                  "<<< " + t + ": IIviDriverOperation::put_Cache()",
              }));
    ASSERT_EQ(driver->Close(), S_OK);
}

TEST_F(CallTracing, OutputsAreShownOnExitAndFailedCallsStillTraced) {
    RegisterDriverTypeLibrary();
    ComPtr<ITevo> driver = TracedDriver();
    const std::string t = ThreadTag();
    // Before Initialize a SessionFrame method fails; its lines are written all the same.
    VARIANT_BOOL cache = VARIANT_TRUE;
    EXPECT_EQ(As<IIviDriverOperation>(driver.Get())->get_Cache(&cache), 0x8004701D);
    ComPtr<IIviDriverOperation> operation;
    ASSERT_EQ(driver->get_DriverOperation(&operation), S_OK);
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], ">>> " + t + ": IIviDriverOperation::get_Cache()");
    // The output was cleared by nobody: the frame stopped before the inner call.
    EXPECT_EQ(lines[1], "<<< " + t + ": IIviDriverOperation::get_Cache([out,retval] pVal = 1)");
    EXPECT_EQ(lines[2], ">>> " + t + ": IIviDriver::get_DriverOperation()");
    EXPECT_TRUE(std::regex_match(
        lines[3],
        std::regex(
            "<<< " + t +
            R"(: IIviDriver::get_DriverOperation\(\[out,retval\] pVal = \[User-Defined\] 0x[0-9A-F]{8,16}\))")))
        << lines[3];
}

TEST_F(CallTracing, UnknownInterfaceOrMethodGivesThePlaceholderAndNoExitLine) {
    RegisterDriverTypeLibrary();
    ComPtr<ITevo> driver = TracedDriver();
    const std::string t = ThreadTag();
    {
        const FrameSite site{"IIviDriverOperation", "get_NoSuchProperty", IID_IIviDriverOperation};
        TraceScope scope(site, {});
        EXPECT_TRUE(scope.Active());
    }
    {
        const FrameSite site{"INoSuchInterface", "Run", IID_IUnknown};
        TraceScope scope(site, {});
    }
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           ">>> " + t + ": IIviDriverOperation::[Unknown Method]",
                           ">>> " + t + ": [Unknown Interface]",
                       }));
}

TEST_F(CallTracing, SwitchOffWritesNothingAndTheSwitchCanBeTurnedOnAndOff) {
    RegisterDriverTypeLibrary();
    ComPtr<ITevo> driver = NewDriver();
    ComPtr<ITraceSwitch> trace_switch = As<ITraceSwitch>(driver.Get());
    VARIANT_BOOL enabled = VARIANT_TRUE;
    ASSERT_EQ(trace_switch->get_Enabled(&enabled), S_OK);
    EXPECT_EQ(enabled, VARIANT_FALSE);
    ASSERT_EQ(InitializeSimulated(driver.Get()), S_OK);
    EXPECT_FALSE(std::filesystem::exists(log_));

    ASSERT_EQ(trace_switch->put_Enabled(VARIANT_TRUE), S_OK);
    VARIANT_BOOL initialized = VARIANT_FALSE;
    ASSERT_EQ(driver->get_Initialized(&initialized), S_OK);
    EXPECT_EQ(Lines().size(), 2u);
    ASSERT_EQ(trace_switch->put_Enabled(VARIANT_FALSE), S_OK);
    ASSERT_EQ(driver->get_Initialized(&initialized), S_OK);
    EXPECT_EQ(Lines().size(), 2u);
    ASSERT_EQ(driver->Close(), S_OK);
}

TEST_F(CallTracing, WithoutTheServiceCallsWorkUntraced) {
    RegisterDriverTypeLibrary();
    ASSERT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "CLSID\\{07ADA726-FEC7-4F1E-9CAF-A481F454F340}"),
              ERROR_SUCCESS);
    ComPtr<ITevo> driver = TracedDriver();
    ASSERT_EQ(InitializeSimulated(driver.Get()), S_OK);
    ComPtr<IIviDriverOperation> operation = As<IIviDriverOperation>(driver.Get());
    EXPECT_EQ(operation->put_Cache(VARIANT_TRUE), S_OK);
    VARIANT_BOOL cache = VARIANT_FALSE;
    EXPECT_EQ(operation->get_Cache(&cache), S_OK);
    EXPECT_EQ(cache, VARIANT_TRUE);
    ASSERT_EQ(driver->Close(), S_OK);
    EXPECT_FALSE(std::filesystem::exists(log_));
}

TEST_F(CallTracing, TheLatestObjectsSwitchRulesAndAnyDestructionEndsTracing) {
    RegisterDriverTypeLibrary();
    ComPtr<ITevo> first = TracedDriver();
    ComPtr<ITevo> second = NewDriver();  // its switch, off, now decides
    VARIANT_BOOL initialized = VARIANT_TRUE;
    ASSERT_EQ(first->get_Initialized(&initialized), S_OK);
    EXPECT_FALSE(std::filesystem::exists(log_));

    ASSERT_EQ(As<ITraceSwitch>(second.Get())->put_Enabled(VARIANT_TRUE), S_OK);
    ASSERT_EQ(first->get_Initialized(&initialized), S_OK);  // traced through the state
    EXPECT_EQ(Lines().size(), 2u);

    first = nullptr;  // destroying any driver object clears the state
    ASSERT_EQ(second->get_Initialized(&initialized), S_OK);
    EXPECT_EQ(Lines().size(), 2u);
}

// Driver objects are created and destroyed on some threads while others make traced
// calls; run under ThreadSanitizer in CI.
TEST_F(CallTracing, ConcurrentCreateDestroyAndTracedCalls) {
    RegisterDriverTypeLibrary();
    ComPtr<ITevo> shared = TracedDriver();
    ASSERT_EQ(InitializeSimulated(shared.Get()), S_OK);
    constexpr int kThreads = 4;
    constexpr int kRounds = 25;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                if (t % 2 == 0) {
                    ComPtr<ITevo> own = TracedDriver();
                    if (!own || InitializeSimulated(own.Get()) != S_OK || own->Close() != S_OK) {
                        ++failures;
                    }
                } else {
                    ComPtr<IIviDriverOperation> operation = As<IIviDriverOperation>(shared.Get());
                    VARIANT_BOOL cache = VARIANT_FALSE;
                    if (operation->put_Cache(round % 2 == 0 ? VARIANT_TRUE : VARIANT_FALSE) !=
                            S_OK ||
                        operation->get_Cache(&cache) != S_OK) {
                        ++failures;
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    // Every line that was written is whole.
    const std::regex line(
        R"((>>>|<<<) -?\d+: [A-Za-z]+::[A-Za-z_]+\(.*\)|>>> -?\d+: .*\[Unknown .*)");
    for (const std::string& text : Lines()) {
        EXPECT_TRUE(std::regex_match(text, line)) << text;
    }
    ASSERT_EQ(shared->Close(), S_OK);
}

}  // namespace
}  // namespace tevo::driver
