#include "SilentListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cq::test {

SilentListener::SilentListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    // The kernel completes the handshake of queued connections: a client sees a server that
    // accepted and then says nothing.
    ::listen(listener_, 8);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

SilentListener::~SilentListener() {
    for (const int fd : clients_)
        ::close(fd);
    ::close(listener_);
}

std::string SilentListener::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
}

bool SilentListener::takeClient(int timeoutMs) {
    pollfd wait{listener_, POLLIN, 0};
    if (::poll(&wait, 1, timeoutMs) != 1)
        return false;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
        return false;
    clients_.push_back(client);
    return true;
}

} // namespace cq::test
