#include "server/fault_plan.h"

#include <algorithm>
#include <utility>

namespace tevo::emulator {

Fault Fault::DelayReply(std::string message, std::chrono::milliseconds delay) {
    Fault fault;
    fault.kind = Kind::kDelayReply;
    fault.message = std::move(message);
    fault.delay = delay;
    return fault;
}

Fault Fault::NoReply(std::string message) {
    Fault fault;
    fault.kind = Kind::kNoReply;
    fault.message = std::move(message);
    return fault;
}

Fault Fault::CloseConnection(std::string message) {
    Fault fault;
    fault.kind = Kind::kCloseConnection;
    fault.message = std::move(message);
    return fault;
}

Fault Fault::CutReply(std::string message, size_t keep_bytes) {
    Fault fault;
    fault.kind = Kind::kCutReply;
    fault.message = std::move(message);
    fault.keep_bytes = keep_bytes;
    return fault;
}

Fault Fault::ReplaceReply(std::string message, std::string bytes) {
    Fault fault;
    fault.kind = Kind::kReplaceReply;
    fault.message = std::move(message);
    fault.bytes = std::move(bytes);
    return fault;
}

std::string FaultPlan::Decision::Apply(std::string reply) const {
    if (replacement)
        return *replacement;
    if (drop_reply)
        return {};
    if (keep_bytes && reply.size() > *keep_bytes)
        reply.resize(*keep_bytes);
    return reply;
}

void FaultPlan::Add(Fault fault) {
    if (fault.times != 0)
        faults_.push_back(std::move(fault));
}

void FaultPlan::Clear() {
    faults_.clear();
}

FaultPlan::Decision FaultPlan::OnMessage(const std::string& message) {
    Decision decision;
    for (Fault& fault : faults_) {
        if (!fault.message.empty() && fault.message != message)
            continue;
        switch (fault.kind) {
            case Fault::Kind::kDelayReply:
                decision.delay = std::max(decision.delay, fault.delay);
                break;
            case Fault::Kind::kNoReply:
                decision.drop_reply = true;
                break;
            case Fault::Kind::kCloseConnection:
                decision.close_connection = true;
                break;
            case Fault::Kind::kCutReply:
                decision.keep_bytes = decision.keep_bytes
                                          ? std::min(*decision.keep_bytes, fault.keep_bytes)
                                          : fault.keep_bytes;
                break;
            case Fault::Kind::kReplaceReply:
                decision.replacement = fault.bytes;
                break;
        }
        if (fault.times > 0)
            --fault.times;
    }
    std::erase_if(faults_, [](const Fault& fault) { return fault.times == 0; });
    return decision;
}

void FaultPlan::ExpectQuery(std::string message, std::string reply) {
    script_active_ = true;
    script_.push_back(Expectation{std::move(message), std::move(reply)});
}

void FaultPlan::ExpectCommand(std::string message) {
    script_active_ = true;
    script_.push_back(Expectation{std::move(message), std::nullopt});
}

void FaultPlan::ClearScript() {
    script_active_ = false;
    script_.clear();
    script_problems_.clear();
}

std::optional<std::string> FaultPlan::OnScript(const std::string& message) {
    if (!script_active_)
        return std::nullopt;
    if (script_.empty()) {
        script_problems_.push_back("unexpected message \"" + message +
                                   "\" after the end of the script");
        return std::nullopt;
    }
    Expectation& next = script_.front();
    if (next.message != message) {
        script_problems_.push_back("unexpected message \"" + message + "\" (expected \"" +
                                   next.message + "\")");
        return std::nullopt;
    }
    std::optional<std::string> reply;
    if (next.reply)
        reply = *next.reply + "\n";
    script_.pop_front();
    return reply;
}

std::vector<std::string> FaultPlan::VerifyScript() const {
    std::vector<std::string> problems = script_problems_;
    for (const Expectation& expectation : script_)
        problems.push_back("expected message \"" + expectation.message + "\" never arrived");
    return problems;
}

}  // namespace tevo::emulator
