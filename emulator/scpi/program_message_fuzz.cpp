// libFuzzer target: any bytes as what a client sends to the analyzer, framed into program
// messages and run by one instrument in process (no sockets), as the server runs them: a
// message that waits for pending operations is continued at the instrument's next event.
// Framing must not depend on how the bytes were split into reads; every message must come
// to an end; responses end with a line feed, and the error queue reads as code,"text".
// Run with -DTEVO_FUZZ=ON under clang (see emulator/scpi/CMakeLists.txt).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/instrument.h"
#include "scpi/error_codes.h"
#include "scpi/message_framer.h"
#include "scpi/program_message.h"

namespace {

using tevo::emulator::Execution;
using tevo::emulator::Identity;
using tevo::emulator::Instrument;
using tevo::emulator::scpi::MessageFramer;

// Small enough that the overrun path is reached, large enough for realistic messages.
constexpr size_t kMaxMessageBytes = 2048;
// Events (sweep and calibration ends) one message may wait for before it counts as hung.
constexpr int kMaxWaits = 10000;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<MessageFramer::Message> Frame(std::string_view bytes, size_t split) {
    MessageFramer framer(kMaxMessageBytes);
    framer.Append(bytes.substr(0, split));
    std::vector<MessageFramer::Message> messages;
    MessageFramer::Message message;
    while (framer.Next(message)) {
        messages.push_back(message);
    }
    framer.Append(bytes.substr(split));
    while (framer.Next(message)) {
        messages.push_back(message);
    }
    return messages;
}

bool SameMessages(const std::vector<MessageFramer::Message>& a,
                  const std::vector<MessageFramer::Message>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].text != b[i].text || a[i].overrun != b[i].overrun) {
            return false;
        }
    }
    return true;
}

// Runs one message to its end, moving the clock to each event it waits for.
std::string Run(Instrument& instrument, std::string message, double& now) {
    Execution execution;
    Instrument::Begin(execution, std::move(message));
    for (int waits = 0; !instrument.Continue(execution, now); ++waits) {
        const double next = instrument.NextEventTime();
        // A message that waits with nothing pending would wait for ever.
        Require(std::isfinite(next) && waits < kMaxWaits);
        now = std::max(now, next);
    }
    return Instrument::ResponseMessage(execution);
}

// code,"text" and a line feed, as SYST:ERR? answers.
bool IsErrorAnswer(std::string_view answer) {
    size_t at = answer.starts_with('-') ? 1 : 0;
    const size_t digits = at;
    while (at < answer.size() && answer[at] >= '0' && answer[at] <= '9') {
        ++at;
    }
    return at > digits && answer.substr(at).starts_with(",\"") && answer.ends_with("\"\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto messages = Frame(bytes, size);
    Require(SameMessages(messages, Frame(bytes, size / 2)));
    Require(SameMessages(messages, Frame(bytes, size / 3)));

    Instrument instrument(Identity{}, 0.001);
    double now = 0;
    for (const MessageFramer::Message& message : messages) {
        if (message.overrun) {
            Require(message.text.empty());
            instrument.ReportInputOverrun();
            continue;
        }
        Require(message.text.size() <= kMaxMessageBytes);
        const std::string response = Run(instrument, message.text, now);
        Require(response.empty() || response.back() == '\n');
    }
    Require(IsErrorAnswer(Run(instrument, "SYST:ERR?", now)));
    return 0;
}
