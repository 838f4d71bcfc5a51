#include "instrument/instrument_state.h"

#include "instrument/couplings.h"

namespace tevo::emulator {

void ResetScreen(ScreenState& screen, const ModelInfo& model) {
    screen = ScreenState{};
    screen.start = 0;
    screen.stop = model.max_frequency;
    for (int t = 0; t < kTraceCount; ++t)
        screen.traces[t].mode = t == 0 ? kTraceWrite : kTraceBlank;
    for (MarkerState& marker : screen.markers)
        marker.x = (screen.start + screen.stop) / 2;
    ApplyCouplings(screen);
}

void ResetInstrument(InstrumentState& state, const ModelInfo& model) {
    for (ScreenState& screen : state.screens)
        ResetScreen(screen, model);
    GlobalState& global = state.global;
    global.data_format = kFormatAscii;
    global.real_length = 32;
    global.byte_order = kByteOrderSwapped;
    global.display_format = kDisplaySingle;
    global.display_update = false;
    global.selected_window = 1;
    global.calibrating = false;
}

}  // namespace tevo::emulator
