// Test helper: the operations' context implemented over a real driver object (as the main
// object will implement it), with the analyzer emulator to talk to.
#pragma once

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "attributes/attribute_test_context.h"
#include "operations/operation_context.h"

namespace tevo::driver::testing {

class DriverOperationContext final : public OperationContext {
  public:
    explicit DriverOperationContext(ITevo* driver)
        : object_(dynamic_cast<CTevo*>(driver)),
          operation_(As<IIviDriverOperation>(driver)),
          recording_(operation_.Get()),
          table_(this) {}

    IIviDriverOperation* OwnDriverOperation() override { return &recording_; }
    InstrumentIo& AttributeIo() override { return object_->Io(); }
    const TranslateMaps& Maps() const override { return maps_; }
    HRESULT ReadActiveScreen(TevoActiveScreenEnum* screen) override {
        return table_.Get(AttributeId::kTevoDisplayActiveScreen, screen);
    }
    TevoActiveScreenEnum StoredActiveScreen() const override { return screen_; }
    void StoreActiveScreen(TevoActiveScreenEnum screen) override { screen_ = screen; }
    LONG StoredActiveMarker() const override { return marker_; }
    void StoreActiveMarker(LONG marker) override { marker_ = marker; }
    ErrorSource AttributeErrors() const override { return object_->Errors(); }
    AttributeTable& Attributes() override { return table_; }
    OperationState& Operations() override { return state_; }

    bool Bound() const { return object_ != nullptr; }

  private:
    CTevo* object_;
    ComPtr<IIviDriverOperation> operation_;
    RecordingOperation recording_;
    TranslateMaps maps_;
    TevoActiveScreenEnum screen_ = TevoActiveScreenA;
    LONG marker_ = 1;
    OperationState state_;
    AttributeTable table_;
};

// A driver initialized against the emulator (or in simulation) with the operations'
// context.
class OperationSession : public ::testing::Test {
  protected:
    explicit OperationSession(
        tevo::emulator::EmulatorOptions options = RunningEmulator::InstantOptions())
        : emulator_(std::move(options)) {}

    void Open(const wchar_t* options = L"Simulate=false") {
        driver_ = NewDriver();
        ASSERT_EQ(driver_->Initialize(emulator_.Resource().Get(), VARIANT_FALSE, VARIANT_FALSE,
                                      Bstr(options).Get()),
                  S_OK);
        context_ = std::make_unique<DriverOperationContext>(driver_.Get());
        ASSERT_TRUE(context_->Bound());
        emulator_->ClearReceivedMessages();
        SetErrorInfo(0, nullptr);
    }
    void TearDown() override {
        context_.reset();
        if (driver_) {
            driver_->Close();
        }
    }
    OperationContext& Context() { return *context_; }

    std::vector<std::string> Sent() {
        return emulator_.SentSinceLastCheck(context_->AttributeIo());
    }

    RunningEmulator emulator_;
    ComPtr<ITevo> driver_;
    std::unique_ptr<DriverOperationContext> context_;
};

}  // namespace tevo::driver::testing
