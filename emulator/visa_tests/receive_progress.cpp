// Kept apart from the other test helpers: <linux/tcp.h>, which has the full tcp_info, cannot
// be included together with <netinet/tcp.h>.
#include "receive_progress.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstddef>

namespace tevo::visa::emulator_tests {

std::optional<ReceiveProgress> ReceiveProgressOf(int fd) {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
        length < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received) {
        return std::nullopt;
    }
    ReceiveProgress progress;
    progress.received = info.tcpi_bytes_received;
    if (ioctl(fd, FIONREAD, &progress.unread) != 0) {
        return std::nullopt;
    }
    return progress;
}

}  // namespace tevo::visa::emulator_tests
