// How far a TCP socket of this process has got with what its peer sent: the data bytes its
// kernel has received so far, and how many of them still wait to be read. Lets a test
// sender know that bytes have reached the receiver, and that the receiver has read them,
// without waiting for the receiver's (possibly delayed) acknowledgement.
#pragma once

#include <cstdint>
#include <optional>

namespace tevo::visa::emulator_tests {

struct ReceiveProgress {
    uint64_t received = 0;  // data bytes received in order since the connection opened
    int unread = 0;         // of those, the bytes not yet read by the application
};

// nullopt when fd is not a TCP socket (or the kernel does not report the count).
std::optional<ReceiveProgress> ReceiveProgressOf(int fd);

}  // namespace tevo::visa::emulator_tests
