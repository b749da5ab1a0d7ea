#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "errors/uerror.h"
#include "remote/connection.h"
#include "remote/host_key.h"
#include "remote/session_state.h"

namespace fieldkeep {

std::string connAddress;
std::string connLogin;
const char* connPassword = nullptr;
const char* connKnownHosts = nullptr;

namespace remote {

SessionState& sessionState() {
    static SessionState state;
    return state;
}

void freeCurrentChannel() {
    SessionState& st = sessionState();
    if (st.channel != nullptr) {
        libssh2_channel_free(st.channel);
        st.channel = nullptr;
    }
}

void waitForSocket() {
    SessionState& st = sessionState();
    const int directions = libssh2_session_block_directions(st.session);
    pollfd fd{st.socket, 0, 0};
    if (directions & LIBSSH2_SESSION_BLOCK_INBOUND) {
        fd.events |= POLLIN;
    }
    if (directions & LIBSSH2_SESSION_BLOCK_OUTBOUND) {
        fd.events |= POLLOUT;
    }
    // With no direction recorded, nap briefly instead of spinning.
    const int timeoutMs = fd.events != 0 ? -1 : 10;
    if (fd.events == 0) {
        fd.events = POLLIN;
    }
    poll(&fd, 1, timeoutMs);
}

}  // namespace remote

namespace {

constexpr int kDisconnectByApplication = 11;

sockaddr_in resolveAddress() {
    const hostent* host = gethostbyname(connAddress.c_str());
    if (host == nullptr || host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr) {
        throw TUError{"Failed to get network host entry"};
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(remote::kSshPort);
    const auto length = static_cast<std::size_t>(host->h_length);
    std::memcpy(&address.sin_addr, host->h_addr_list[0],
                length < sizeof address.sin_addr ? length : sizeof address.sin_addr);
    return address;
}

void openSocket(const sockaddr_in& address) {
    remote::SessionState& st = remote::sessionState();
    st.socket = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(st.socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw TUError{"Failed to connect"};
    }
    // Each request waits for its reply; Nagle's delay would only add round trips.
    int on = 1;
    setsockopt(st.socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void startSession() {
    remote::SessionState& st = remote::sessionState();
    st.session = libssh2_session_init();
    if (st.session == nullptr) {
        throw TUError{"Failure establishing SSH session"};
    }
    if (libssh2_session_handshake(st.session, st.socket) != 0) {
        throw TUError{"Failure establishing SSH session"};
    }
}

bool offersPassword(const char* methods) {
    return methods == nullptr || std::strstr(methods, "password") != nullptr;
}

void authenticate() {
    remote::SessionState& st = remote::sessionState();
    const char* password = connPassword != nullptr ? connPassword : "";
    const int rc = libssh2_userauth_password_ex(
        st.session, connLogin.data(), static_cast<unsigned>(connLogin.size()), password,
        static_cast<unsigned>(std::strlen(password)), nullptr);
    if (rc == 0) {
        return;
    }
    const char* methods = libssh2_userauth_list(st.session, connLogin.data(),
                                                static_cast<unsigned>(connLogin.size()));
    if (!offersPassword(methods)) {
        throw TUError{"Unable to connect to " + connAddress +
                      ". The server does not support password authentication method. You should "
                      "ask your game hosting account provider to enable password authentication "
                      "method."};
    }
    throw TUError{"Authentication failed"};
}

}  // namespace

void connectRemote() {
    const sockaddr_in address = resolveAddress();
    openSocket(address);
    startSession();
    remote::verifyHostKey();
    authenticate();
}

void disconnectRemote() noexcept {
    remote::SessionState& st = remote::sessionState();
    remote::freeCurrentChannel();
    if (st.session != nullptr) {
        libssh2_session_disconnect_ex(st.session, kDisconnectByApplication, "Normal Shutdown", "");
        libssh2_session_free(st.session);
        st.session = nullptr;
    }
    if (st.socket != -1) {
        close(st.socket);
        st.socket = -1;
    }
}

}  // namespace fieldkeep
