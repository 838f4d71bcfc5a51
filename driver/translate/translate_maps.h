// TranslateMaps: the numbered token tables between interface values and SCPI tokens, and
// the window suffix of the screen-dependent SCPI subsystems.
//
// A forward map turns a 32-bit interface value (an enumerator, or a VARIANT_BOOL: false 0,
// true -1) into the token a command template needs; a reverse map turns a reply token back
// into the value. Each map identifier names one map of one direction. The constructor
// builds every map with the fixed AddForward/AddReverse/Commit sequence; afterwards the
// object is only read (under the driver's call lock, so it needs no lock of its own).
//
// Several forward tokens are completed by their template: "O%s" with "N" or "FF" sends ON
// or OFF, "L%s" with "IN"/"OG" LIN/LOG, "S%s" with "ING"/"PL" SING/SPL, "CALC:MARK:M%s"
// with "AX"... MAX... Reverse maps always hold the complete reply token.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "tevo/win/types.h"

namespace tevo::driver {

enum class TranslateMap : int {
    kNone = 0,  // no map: never filed
    kDetectorForward,
    kDetectorReverse,
    kOnOffForward,
    kVerticalScaleForward,
    kVerticalScaleReverse,
    kScreenSelectForward,
    kWindowForward,
    kDisplayFormatForward,
    kDisplayFormatReverse,
    kAmplitudeUnitsForward,
    kAmplitudeUnitsReverse,
    kOnOffTextReverse,
    kMarkerSearchForward,
    kInstrumentSettingForward,
    kMarkerTypeReverse,
    kCounterOnOffForward,
    kServicePasswordForward,
    kInputCalForward,
    kInputCalReverse,
    kTriggerSourceForward,
    kTriggerSourceReverse,
    kExternalSlopeForward,
    kExternalSlopeReverse,
    kVideoSlopeForward,
    kVideoSlopeReverse,
    kAcquisitionStatusReverse,
    kMarkerTraceEnableForward,
    kTraceTypeForward,
    kTraceTypeReverse,
};

class TranslateMaps {
  public:
    // Builds every map of the driver.
    TranslateMaps();

    // ---- Building: entries go to the pending table of their direction; Commit files the
    // pending forward table (or, when there is none, the pending reverse table) under the
    // identifier and empties both. Within a table the first entry of a key stays. Commit
    // with nothing pending shows the message box "Bad use of translate maps" ("Error",
    // MB_OK) and files nothing.
    void AddForward(LONG value, const wchar_t* token);
    void AddReverse(const wchar_t* token, LONG value);
    void Commit(TranslateMap map);

    // ---- Lookups: exact and case-sensitive; false when the map, the value or the token is
    // missing. The empty token is never a reply the driver accepts: FromToken refuses it.
    bool ToToken(TranslateMap map, LONG value, std::wstring* token) const;
    bool FromToken(TranslateMap map, const std::wstring& token, LONG* value) const;

    // The window suffix for the active screen (0 screen A: "1", 1 screen B: "2"); false
    // for any other screen value. The caller reads the active screen through the driver's
    // own ITevoDisplay.ActiveScreen get for every command, so the suffix always follows
    // the stored screen and is never cached.
    bool WindowSuffix(LONG active_screen, std::wstring* suffix) const;

  private:
    using ForwardTable = std::map<LONG, std::wstring>;
    using ReverseTable = std::map<std::wstring, LONG>;

    void Build();
    void BuildMeasurementMaps();
    void BuildDisplayMaps();
    void BuildMarkerMaps();
    void BuildTriggerMaps();
    void BuildServiceAndTraceMaps();

    std::map<TranslateMap, ForwardTable> forward_;
    std::map<TranslateMap, ReverseTable> reverse_;
    std::optional<ForwardTable> pending_forward_;
    std::optional<ReverseTable> pending_reverse_;
};

}  // namespace tevo::driver
