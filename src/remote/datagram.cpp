#include "remote/datagram.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "remote/session_state.h"

namespace fieldkeep {
namespace {

constexpr std::size_t kLargestDatagram = 65536;

// The address and port the session's connection goes to; false unless IPv4 or IPv6.
bool sessionPeer(const remote::SessionState& st, sockaddr_storage& peer, socklen_t& size) {
    size = sizeof peer;
    return getpeername(st.socket, reinterpret_cast<sockaddr*>(&peer), &size) == 0 &&
           (peer.ss_family == AF_INET || peer.ss_family == AF_INET6);
}

// A UDP socket connected to the port of the session's peer: the kernel then
// passes on only datagrams from that address and port.
class PeerSocket {
public:
    PeerSocket(const remote::SessionState& st, int port) {
        sockaddr_storage peer{};
        socklen_t size = 0;
        if (!sessionPeer(st, peer, size)) {
            return;
        }
        if (peer.ss_family == AF_INET) {
            reinterpret_cast<sockaddr_in*>(&peer)->sin_port = htons(static_cast<uint16_t>(port));
        } else {
            reinterpret_cast<sockaddr_in6*>(&peer)->sin6_port = htons(static_cast<uint16_t>(port));
        }
        fd_ = socket(peer.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&peer), size) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~PeerSocket() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    PeerSocket(const PeerSocket&) = delete;
    PeerSocket& operator=(const PeerSocket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

}  // namespace

std::string reachedAddressAsKernelWrites(const remote::SessionState& st) {
    sockaddr_storage peer{};
    socklen_t size = 0;
    if (!sessionPeer(st, peer, size)) {
        return "";
    }
    const auto* bytes = peer.ss_family == AF_INET
                            ? reinterpret_cast<const unsigned char*>(
                                  &reinterpret_cast<const sockaddr_in*>(&peer)->sin_addr)
                            : reinterpret_cast<const unsigned char*>(
                                  &reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_addr);
    const std::size_t length = peer.ss_family == AF_INET ? 4 : 16;
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t word = 0; word < length; word += 4) {
        for (std::size_t i = 4; i-- > 0;) {
            text += {kHex[bytes[word + i] >> 4], kHex[bytes[word + i] & 0xf]};
        }
    }
    return text;
}

bool askByDatagram(const remote::SessionState& st, const DatagramQuestion& question,
                   const std::function<bool(std::string_view)>& take) {
    const PeerSocket peer(st, question.port);
    if (peer.fd() < 0) {
        return false;
    }
    std::vector<char> buffer(kLargestDatagram);
    auto deadline = std::chrono::steady_clock::now();
    for (int sent = 0; sent < question.requests; ++sent) {
        // A refused send (the port closed for now) waits all the same.
        (void)send(peer.fd(), question.request.data(), question.request.size(), MSG_NOSIGNAL);
        deadline += question.interval;
        for (int left; (left = remote::millisecondsUntil(deadline)) > 0;) {
            pollfd ready{peer.fd(), POLLIN, 0};
            if (poll(&ready, 1, left) <= 0) {
                continue;
            }
            const ssize_t n = recv(peer.fd(), buffer.data(), buffer.size(), 0);
            if (n < 0) {
                continue;  // the host said the port is closed: no answer from this request
            }
            if (take(std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace fieldkeep
