// Test helper: the attribute engine's context implemented over a real driver object (as
// the main object will implement it), with the analyzer emulator to talk to. The active
// screen is read through the engine's own ActiveScreen get, the path the object tree's
// ITevoDisplay.ActiveScreen takes.
#pragma once

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "attributes/attribute_table.h"
#include "testing/driver_test_support.h"

namespace tevo::driver::testing {

// The object's IIviDriverOperation with a record of the session settings read through it.
class RecordingOperation final : public IIviDriverOperation {
  public:
    explicit RecordingOperation(IIviDriverOperation* inner) : inner_(inner) {}
    std::vector<std::string> reads;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return inner_->QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return inner_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return inner_->Release(); }
    HRESULT STDMETHODCALLTYPE get_LogicalName(BSTR* v) override {
        return inner_->get_LogicalName(v);
    }
    HRESULT STDMETHODCALLTYPE get_IoResourceDescriptor(BSTR* v) override {
        return inner_->get_IoResourceDescriptor(v);
    }
    HRESULT STDMETHODCALLTYPE get_Cache(VARIANT_BOOL* v) override {
        reads.emplace_back("Cache");
        return inner_->get_Cache(v);
    }
    HRESULT STDMETHODCALLTYPE put_Cache(VARIANT_BOOL v) override { return inner_->put_Cache(v); }
    HRESULT STDMETHODCALLTYPE get_InterchangeCheck(VARIANT_BOOL* v) override {
        return inner_->get_InterchangeCheck(v);
    }
    HRESULT STDMETHODCALLTYPE put_InterchangeCheck(VARIANT_BOOL v) override {
        return inner_->put_InterchangeCheck(v);
    }
    HRESULT STDMETHODCALLTYPE get_QueryInstrumentStatus(VARIANT_BOOL* v) override {
        return inner_->get_QueryInstrumentStatus(v);
    }
    HRESULT STDMETHODCALLTYPE put_QueryInstrumentStatus(VARIANT_BOOL v) override {
        return inner_->put_QueryInstrumentStatus(v);
    }
    HRESULT STDMETHODCALLTYPE get_RangeCheck(VARIANT_BOOL* v) override {
        reads.emplace_back("RangeCheck");
        return inner_->get_RangeCheck(v);
    }
    HRESULT STDMETHODCALLTYPE put_RangeCheck(VARIANT_BOOL v) override {
        return inner_->put_RangeCheck(v);
    }
    HRESULT STDMETHODCALLTYPE get_RecordCoercions(VARIANT_BOOL* v) override {
        reads.emplace_back("RecordCoercions");
        return inner_->get_RecordCoercions(v);
    }
    HRESULT STDMETHODCALLTYPE put_RecordCoercions(VARIANT_BOOL v) override {
        return inner_->put_RecordCoercions(v);
    }
    HRESULT STDMETHODCALLTYPE get_Simulate(VARIANT_BOOL* v) override {
        reads.emplace_back("Simulate");
        return inner_->get_Simulate(v);
    }
    HRESULT STDMETHODCALLTYPE put_Simulate(VARIANT_BOOL v) override {
        return inner_->put_Simulate(v);
    }
    HRESULT STDMETHODCALLTYPE get_DriverSetup(BSTR* v) override {
        return inner_->get_DriverSetup(v);
    }
    HRESULT STDMETHODCALLTYPE InvalidateAllAttributes() override {
        return inner_->InvalidateAllAttributes();
    }
    HRESULT STDMETHODCALLTYPE ClearInterchangeWarnings() override {
        return inner_->ClearInterchangeWarnings();
    }
    HRESULT STDMETHODCALLTYPE GetNextInterchangeWarning(BSTR* v) override {
        return inner_->GetNextInterchangeWarning(v);
    }
    HRESULT STDMETHODCALLTYPE ResetInterchangeCheck() override {
        return inner_->ResetInterchangeCheck();
    }
    HRESULT STDMETHODCALLTYPE GetNextCoercionRecord(BSTR* v) override {
        return inner_->GetNextCoercionRecord(v);
    }

  private:
    IIviDriverOperation* inner_;
};

class DriverAttributeContext final : public AttributeContext {
  public:
    explicit DriverAttributeContext(ITevo* driver)
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

    AttributeTable& Table() { return table_; }
    bool Bound() const { return object_ != nullptr; }
    // The session settings read since the last call, in order.
    std::vector<std::string> TakeSettingReads() { return std::exchange(recording_.reads, {}); }

  private:
    CTevo* object_;
    ComPtr<IIviDriverOperation> operation_;
    RecordingOperation recording_;
    TranslateMaps maps_;
    TevoActiveScreenEnum screen_ = TevoActiveScreenA;
    LONG marker_ = 1;
    AttributeTable table_;
};

// A driver initialized against the emulator (or in simulation) with its attribute table.
class AttributeSession : public ::testing::Test {
  protected:
    void Open(const wchar_t* options = L"Simulate=false") {
        driver_ = NewDriver();
        ASSERT_EQ(driver_->Initialize(emulator_.Resource().Get(), VARIANT_FALSE, VARIANT_FALSE,
                                      Bstr(options).Get()),
                  S_OK);
        context_ = std::make_unique<DriverAttributeContext>(driver_.Get());
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
    AttributeTable& Table() { return context_->Table(); }

    std::vector<std::string> Sent() {
        return emulator_.SentSinceLastCheck(context_->AttributeIo());
    }

    RunningEmulator emulator_;
    ComPtr<ITevo> driver_;
    std::unique_ptr<DriverAttributeContext> context_;
};

}  // namespace tevo::driver::testing
