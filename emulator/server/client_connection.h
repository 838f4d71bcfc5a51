// One client connection of the server: its socket, the messages it sent, the output
// queued for it, what it waits for, and when it last made progress.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "instrument/instrument.h"
#include "scpi/message_framer.h"
#include "server/fault_plan.h"
#include "server/socket_io.h"

namespace tevo::emulator {

struct ClientConnection {
    using SteadyClock = std::chrono::steady_clock;

    ClientConnection(size_t number, int socket, SteadyClock::time_point now,
                     bool whole_replies = false)
        : id(number), fd(socket), framed_replies(whole_replies), last_progress(now) {}

    // The next message waits while the previous one is unfinished or its reply has not
    // been handed to the socket in full.
    bool Busy() const { return !output.empty() || waiting || delayed_reply; }
    bool HasMessageToRun() const { return !Busy() && framer.HasComplete(); }
    // Input is read only while no whole message is buffered: what a client sends beyond
    // that stays in the socket, so a client that floods the analyzer is slowed down by TCP
    // instead of filling memory.
    bool WantsInput() const { return !framer.HasComplete(); }
    // The emulator owes the client an answer (an operation or a reply held back) and has
    // nothing queued for it to read: the client cannot be blamed for being quiet.
    bool AwaitsTheEmulator() const { return output.empty() && (waiting || delayed_reply); }

    void NoteProgress(SteadyClock::time_point now) { last_progress = now; }
    // The time at which the client counts as idle, if it can be idle now; never for a zero
    // timeout or a gateway's link.
    std::optional<SteadyClock::time_point> IdleDeadline(std::chrono::milliseconds timeout) const {
        if (timeout.count() <= 0 || AwaitsTheEmulator() || framed_replies)
            return std::nullopt;
        return last_progress + timeout;
    }

    const size_t id;  // numbered from 1 in the order of acceptance
    const int fd;
    // A gateway's link (InstrumentLink): each reply goes out framed by its length. The
    // gateway watches its own clients, so the link is never idle-dropped.
    const bool framed_replies;
    scpi::MessageFramer framer;
    OutputQueue output;
    std::unique_ptr<Execution> waiting;  // a message that waits for an operation
    FaultPlan::Decision waiting_decision;
    std::optional<std::string> delayed_reply;  // a reply held back by a fault until reply_due
    SteadyClock::time_point reply_due;
    SteadyClock::time_point last_progress;
    bool lost = false;  // the peer closed the connection or it failed
};

}  // namespace tevo::emulator
