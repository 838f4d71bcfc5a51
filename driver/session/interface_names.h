// The driver's interfaces with the names the call frame gives them (trace lines, error
// texts). kInterfaceName<I> exists only for these interfaces.
#pragma once

#include "tevo/Tevo.h"

namespace tevo::driver {

template <class Interface>
inline constexpr const char* kInterfaceName = nullptr;

template <>
inline constexpr const char* kInterfaceName<IIviClassWrapper> = "IIviClassWrapper";
template <>
inline constexpr const char* kInterfaceName<IIviComponentIdentity> = "IIviComponentIdentity";
template <>
inline constexpr const char* kInterfaceName<IIviDriver> = "IIviDriver";
template <>
inline constexpr const char* kInterfaceName<IIviDriverIdentity> = "IIviDriverIdentity";
template <>
inline constexpr const char* kInterfaceName<IIviDriverOperation> = "IIviDriverOperation";
template <>
inline constexpr const char* kInterfaceName<IIviDriverUtility> = "IIviDriverUtility";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAn> = "IIviSpecAn";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnAcquisition> = "IIviSpecAnAcquisition";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnDisplay> = "IIviSpecAnDisplay";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnExternalMixer> = "IIviSpecAnExternalMixer";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnExternalMixerBias> =
    "IIviSpecAnExternalMixerBias";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnExternalMixerConversionLossTable> =
    "IIviSpecAnExternalMixerConversionLossTable";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnFrequency> = "IIviSpecAnFrequency";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnLevel> = "IIviSpecAnLevel";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnMarker> = "IIviSpecAnMarker";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnMarkerFrequencyCounter> =
    "IIviSpecAnMarkerFrequencyCounter";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnPreselector> = "IIviSpecAnPreselector";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnSweepCoupling> = "IIviSpecAnSweepCoupling";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnTrace> = "IIviSpecAnTrace";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnTraces> = "IIviSpecAnTraces";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnTracesMath> = "IIviSpecAnTracesMath";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnTrigger> = "IIviSpecAnTrigger";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnTriggerExternal> =
    "IIviSpecAnTriggerExternal";
template <>
inline constexpr const char* kInterfaceName<IIviSpecAnTriggerVideo> = "IIviSpecAnTriggerVideo";
template <>
inline constexpr const char* kInterfaceName<ITevo> = "ITevo";
template <>
inline constexpr const char* kInterfaceName<ITevoAcquisition> = "ITevoAcquisition";
template <>
inline constexpr const char* kInterfaceName<ITevoCalibration> = "ITevoCalibration";
template <>
inline constexpr const char* kInterfaceName<ITevoDisplay> = "ITevoDisplay";
template <>
inline constexpr const char* kInterfaceName<ITevoFrequency> = "ITevoFrequency";
template <>
inline constexpr const char* kInterfaceName<ITevoInstrumentIO> = "ITevoInstrumentIO";
template <>
inline constexpr const char* kInterfaceName<ITevoLevel> = "ITevoLevel";
template <>
inline constexpr const char* kInterfaceName<ITevoList> = "ITevoList";
template <>
inline constexpr const char* kInterfaceName<ITevoMarker> = "ITevoMarker";
template <>
inline constexpr const char* kInterfaceName<ITevoMarkerFrequencyCounter> =
    "ITevoMarkerFrequencyCounter";
template <>
inline constexpr const char* kInterfaceName<ITevoService> = "ITevoService";
template <>
inline constexpr const char* kInterfaceName<ITevoSweepCoupling> = "ITevoSweepCoupling";
template <>
inline constexpr const char* kInterfaceName<ITevoTrace> = "ITevoTrace";
template <>
inline constexpr const char* kInterfaceName<ITevoTraces> = "ITevoTraces";
template <>
inline constexpr const char* kInterfaceName<ITevoTracesMath> = "ITevoTracesMath";
template <>
inline constexpr const char* kInterfaceName<ITevoTrigger> = "ITevoTrigger";
template <>
inline constexpr const char* kInterfaceName<ITevoTriggerExternal> = "ITevoTriggerExternal";
template <>
inline constexpr const char* kInterfaceName<ITevoTriggerIFPower> = "ITevoTriggerIFPower";
template <>
inline constexpr const char* kInterfaceName<ITevoTriggerRFPower> = "ITevoTriggerRFPower";
template <>
inline constexpr const char* kInterfaceName<ITevoTriggerVideo> = "ITevoTriggerVideo";

}  // namespace tevo::driver
