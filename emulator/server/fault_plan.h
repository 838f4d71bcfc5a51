// The test hooks that decide what happens to a received message before and after the
// analyzer executes it: injected faults and the scripted protocol. Not thread-safe: the
// emulator serialises access.
#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "tevo/emulator/emulator.h"

namespace tevo::emulator {

class FaultPlan {
  public:
    // What the faults that matched a message ask for.
    struct Decision {
        bool close_connection = false;
        bool drop_reply = false;
        std::chrono::milliseconds delay{0};
        std::optional<size_t> keep_bytes;
        std::optional<std::string> replacement;

        // The reply to send instead of reply (possibly empty: nothing is sent).
        std::string Apply(std::string reply) const;
    };

    void Add(Fault fault);
    void Clear();
    // Takes every fault that matches the message (using up one of its times).
    Decision OnMessage(const std::string& message);

    // Scripted protocol.
    void ExpectQuery(std::string message, std::string reply);
    void ExpectCommand(std::string message);
    void ClearScript();
    // Checks a message against the script. Returns the scripted reply (with its line feed)
    // when the message is the next expected query; otherwise the message is to be executed.
    std::optional<std::string> OnScript(const std::string& message);
    std::vector<std::string> VerifyScript() const;

  private:
    struct Expectation {
        std::string message;
        std::optional<std::string> reply;  // set for queries
    };

    std::vector<Fault> faults_;
    bool script_active_ = false;
    std::deque<Expectation> script_;
    std::vector<std::string> script_problems_;
};

}  // namespace tevo::emulator
