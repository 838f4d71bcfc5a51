#include "translate/translate_maps.h"

#include "tevo/win/messagebox.h"

namespace tevo::driver {

namespace {

constexpr LONG kFalse = 0;
constexpr LONG kTrue = -1;

}  // namespace

TranslateMaps::TranslateMaps() {
    Build();
}

void TranslateMaps::AddForward(LONG value, const wchar_t* token) {
    if (!pending_forward_) {
        pending_forward_.emplace();
    }
    pending_forward_->emplace(value, token);  // an existing key keeps its first token
}

void TranslateMaps::AddReverse(const wchar_t* token, LONG value) {
    if (!pending_reverse_) {
        pending_reverse_.emplace();
    }
    pending_reverse_->emplace(token, value);  // an existing token keeps its first value
}

void TranslateMaps::Commit(TranslateMap map) {
    if (pending_forward_) {
        forward_[map] = std::move(*pending_forward_);
    } else if (pending_reverse_) {
        reverse_[map] = std::move(*pending_reverse_);
    } else {
        MessageBoxA(nullptr, "Bad use of translate maps", "Error", MB_OK);
    }
    pending_forward_.reset();
    pending_reverse_.reset();
}

bool TranslateMaps::ToToken(TranslateMap map, LONG value, std::wstring* token) const {
    const auto table = forward_.find(map);
    if (table == forward_.end()) {
        return false;
    }
    const auto entry = table->second.find(value);
    if (entry == table->second.end()) {
        return false;
    }
    *token = entry->second;
    return true;
}

bool TranslateMaps::FromToken(TranslateMap map, const std::wstring& token, LONG* value) const {
    if (token.empty()) {
        return false;
    }
    const auto table = reverse_.find(map);
    if (table == reverse_.end()) {
        return false;
    }
    const auto entry = table->second.find(token);
    if (entry == table->second.end()) {
        return false;
    }
    *value = entry->second;
    return true;
}

bool TranslateMaps::WindowSuffix(LONG active_screen, std::wstring* suffix) const {
    return ToToken(TranslateMap::kWindowForward, active_screen, suffix);
}

void TranslateMaps::Build() {
    BuildMeasurementMaps();
    BuildDisplayMaps();
    BuildMarkerMaps();
    BuildTriggerMaps();
    BuildServiceAndTraceMaps();
}

void TranslateMaps::BuildMeasurementMaps() {
    AddForward(1, L"APE");
    AddForward(2, L"AVER");
    AddForward(3, L"MAX");
    AddForward(4, L"MIN");
    AddForward(5, L"SAMP");
    AddForward(6, L"RMS");
    Commit(TranslateMap::kDetectorForward);
    AddReverse(L"APE", 1);
    AddReverse(L"AVER", 2);
    AddReverse(L"MAX", 3);
    AddReverse(L"MIN", 4);
    AddReverse(L"SAMP", 5);
    AddReverse(L"RMS", 6);
    Commit(TranslateMap::kDetectorReverse);

    // "O%s": ON / OFF.
    AddForward(kFalse, L"FF");
    AddForward(kTrue, L"N");
    Commit(TranslateMap::kOnOffForward);
    AddReverse(L"OFF", kFalse);
    AddReverse(L"ON", kTrue);
    Commit(TranslateMap::kOnOffTextReverse);

    AddForward(1, L"DBM");
    AddForward(2, L"DBMV");
    AddForward(3, L"DBUV");
    AddForward(4, L"V");
    AddForward(5, L"W");
    Commit(TranslateMap::kAmplitudeUnitsForward);
    AddReverse(L"DBM", 1);
    AddReverse(L"DBMV", 2);
    AddReverse(L"DBUV", 3);
    AddReverse(L"V", 4);
    AddReverse(L"W", 5);
    Commit(TranslateMap::kAmplitudeUnitsReverse);
}

void TranslateMaps::BuildDisplayMaps() {
    // "L%s": LIN / LOG.
    AddForward(1, L"IN");
    AddForward(2, L"OG");
    Commit(TranslateMap::kVerticalScaleForward);
    AddReverse(L"LIN", 1);
    AddReverse(L"LOG", 2);
    Commit(TranslateMap::kVerticalScaleReverse);

    // "DISP:WIND%s": the token takes the place of the window suffix.
    AddForward(0, L"1:SEL");
    AddForward(1, L"2:SEL");
    Commit(TranslateMap::kScreenSelectForward);
    AddForward(0, L"1");
    AddForward(1, L"2");
    Commit(TranslateMap::kWindowForward);

    // "S%s": SING / SPL.
    AddForward(0, L"ING");
    AddForward(1, L"PL");
    Commit(TranslateMap::kDisplayFormatForward);
    AddReverse(L"SING", 0);
    AddReverse(L"SPL", 1);
    Commit(TranslateMap::kDisplayFormatReverse);
}

void TranslateMaps::BuildMarkerMaps() {
    // "CALC:MARK:M%s": MAX, MAX:NEXT, MAX:LEFT, MAX:RIGHT, MIN.
    AddForward(1, L"AX");
    AddForward(2, L"AX:NEXT");
    AddForward(3, L"AX:LEFT");
    AddForward(4, L"AX:RIGHT");
    AddForward(10, L"IN");
    Commit(TranslateMap::kMarkerSearchForward);
    AddForward(3, L"CENT");
    AddForward(5, L"REF");
    Commit(TranslateMap::kInstrumentSettingForward);
    // The marker type is read with the delta-marker state query "CALC%s:DELT?", whose
    // Boolean reply tells a normal marker (0) from a delta marker (1). The reference type
    // has no reply of its own on this instrument.
    AddReverse(L"0", 1);
    AddReverse(L"1", 2);
    Commit(TranslateMap::kMarkerTypeReverse);
    // "CALC:MARK:COUN O%s %f": switches the counter and sets its resolution in one line.
    AddForward(kFalse, L"FF;RES");
    AddForward(kTrue, L"N;RES");
    Commit(TranslateMap::kCounterOnOffForward);
    // Tokens of the marker-trace enable operation, still to be chosen by that operation.
    AddForward(kFalse, L"");
    AddForward(kTrue, L"");
    Commit(TranslateMap::kMarkerTraceEnableForward);
}

void TranslateMaps::BuildTriggerMaps() {
    // The software enumerator (3) is the instrument's video source, the video enumerator
    // (5) its TV source.
    AddForward(1, L"EXT");
    AddForward(2, L"IMM");
    AddForward(3, L"VID");
    AddForward(5, L"TV");
    AddForward(1001, L"IFP");
    AddForward(1002, L"RFP");
    Commit(TranslateMap::kTriggerSourceForward);
    AddReverse(L"EXT", 1);
    AddReverse(L"IMM", 2);
    AddReverse(L"VID", 3);
    AddReverse(L"TV", 5);
    AddReverse(L"IFP", 1001);
    AddReverse(L"RFP", 1002);
    Commit(TranslateMap::kTriggerSourceReverse);

    AddForward(1, L"POS");
    AddForward(2, L"NEG");
    Commit(TranslateMap::kExternalSlopeForward);
    AddReverse(L"POS", 1);
    AddReverse(L"NEG", 2);
    Commit(TranslateMap::kExternalSlopeReverse);
    AddForward(1, L"POS");
    AddForward(2, L"NEG");
    Commit(TranslateMap::kVideoSlopeForward);
    AddReverse(L"POS", 1);
    AddReverse(L"NEG", 2);
    Commit(TranslateMap::kVideoSlopeReverse);
}

void TranslateMaps::BuildServiceAndTraceMaps() {
    AddForward(kFalse, L"0");
    AddForward(kTrue, L"573018");
    Commit(TranslateMap::kServicePasswordForward);
    AddForward(kFalse, L"RF");
    AddForward(kTrue, L"CAL");
    Commit(TranslateMap::kInputCalForward);
    AddReverse(L"RF", kFalse);
    AddReverse(L"CAL", kTrue);
    Commit(TranslateMap::kInputCalReverse);

    // Tokens of the acquisition status, still to be chosen by that operation: all share
    // the empty key, so only the first stays (and FromToken never accepts it).
    AddReverse(L"", 1);
    AddReverse(L"", 0);
    AddReverse(L"", -1);
    Commit(TranslateMap::kAcquisitionStatusReverse);

    // Trace modes of "DISP:WIND%s:TRAC%d:MODE": clear write, max hold, min hold, video
    // average, view, and store as the blanked mode (the trace is kept in memory and not
    // drawn, so it changes no more).
    AddForward(1, L"WRIT");
    AddForward(2, L"MAXH");
    AddForward(3, L"MINH");
    AddForward(4, L"AVER");
    AddForward(5, L"VIEW");
    AddForward(6, L"BLAN");
    Commit(TranslateMap::kTraceTypeForward);
    AddReverse(L"WRIT", 1);
    AddReverse(L"MAXH", 2);
    AddReverse(L"MINH", 3);
    AddReverse(L"AVER", 4);
    AddReverse(L"VIEW", 5);
    AddReverse(L"BLAN", 6);
    Commit(TranslateMap::kTraceTypeReverse);
}

}  // namespace tevo::driver
