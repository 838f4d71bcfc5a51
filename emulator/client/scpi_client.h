// A minimal SCPI client over a plain POSIX TCP socket, for tests and tools that talk to
// the emulator without the VISA layer. Each message is sent with one write and a line
// feed; reads wait at most the given time.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tevo::emulator {

class ScpiClient {
  public:
    using Milliseconds = std::chrono::milliseconds;
    static constexpr Milliseconds kDefaultTimeout{5000};

    // Connects to host:port (an IPv4 or IPv6 address). Throws std::system_error.
    explicit ScpiClient(uint16_t port, const std::string& host = "127.0.0.1");
    ~ScpiClient();
    ScpiClient(const ScpiClient&) = delete;
    ScpiClient& operator=(const ScpiClient&) = delete;

    // Sends the message and a line feed. False when the connection failed.
    bool Send(std::string_view message);
    // Sends the bytes as they are.
    bool SendRaw(std::string_view bytes);

    // The next line without its line feed; nothing on timeout or when the connection
    // closed before a whole line arrived.
    std::optional<std::string> ReadLine(Milliseconds timeout = kDefaultTimeout);
    // Exactly count bytes; nothing on timeout or close.
    std::optional<std::string> ReadBytes(size_t count, Milliseconds timeout = kDefaultTimeout);
    // An IEEE 488.2 definite-length block ("#<n><length><data>") and the line feed after
    // it; returns the data. Nothing on timeout, close or a malformed header.
    std::optional<std::string> ReadBlock(Milliseconds timeout = kDefaultTimeout);
    // Sends a query and reads the reply line. Throws std::runtime_error on timeout.
    std::string Query(std::string_view message, Milliseconds timeout = kDefaultTimeout);

    // True when no byte arrives within the time (for "did not happen" checks).
    bool Quiet(Milliseconds time);
    // True when the peer closes the connection within the time (bytes that arrive before
    // are discarded).
    bool WaitForClose(Milliseconds timeout = kDefaultTimeout);
    // Limits the kernel's send buffer of the connection (tests of flow control).
    void SetSendBufferSize(int bytes);
    // Bytes received but not yet read.
    const std::string& pending() const { return buffer_; }
    void Close();

  private:
    // Reads more bytes into the buffer; false on timeout or close.
    bool Fill(std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    bool closed_ = false;
    std::string buffer_;
};

}  // namespace tevo::emulator
