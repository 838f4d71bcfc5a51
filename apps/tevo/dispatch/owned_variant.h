// A VARIANT that owns its value (cleared on destruction) and can be moved.
#pragma once

#include <utility>

#include "tevo/com/variant.h"

namespace tevo::cli {

class OwnedVariant {
  public:
    OwnedVariant() { VariantInit(&value_); }
    OwnedVariant(OwnedVariant&& other) noexcept : value_(other.value_) {
        VariantInit(&other.value_);
    }
    OwnedVariant& operator=(OwnedVariant&& other) noexcept {
        if (this != &other) {
            VariantClear(&value_);
            value_ = other.value_;
            VariantInit(&other.value_);
        }
        return *this;
    }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { VariantClear(&value_); }

    VARIANT* Get() { return &value_; }
    const VARIANT* Get() const { return &value_; }
    // Cleared, for an out-parameter.
    VARIANT* Out() {
        VariantClear(&value_);
        return &value_;
    }

  private:
    VARIANT value_;
};

}  // namespace tevo::cli
